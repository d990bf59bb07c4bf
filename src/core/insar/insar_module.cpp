// Interferometric pairs: the pair project commands, the open of a pair
// (mode 8 side by side, mode 9 co-registered), and the tie-point commands.
// Pure SLC pairs of raster TileSets (mode 30) open side by side; mode 31 is
// known and opens an empty document.

#include "app/modules.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>

#include "app/app_core.h"
#include "app/command_ids.h"
#include "app/command_table.h"
#include "composites/pol_composite.h"
#include "document/tessarin_doc.h"
#include "insar/fringe_commands.h"
#include "insar/pair_state.h"
#include "insar/tie_points.h"
#include "insar/tie_point_matcher.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/form.h"
#include "platform/set_file.h"
#include "platform/bytes.h"
#include "platform/format.h"
#include "platform/arithmetic.h"
#include "platform/ui.h"
#include "composites/composite_state.h"
#include "tiles/canvas.h"
#include "tiles/raw_raster.h"
#include "tiles/scene_tiling.h"
#include "imagefiles/channel_tiff.h"
#include "imagefiles/tif_gen.h"
#include "platform/text.h"
#include "display/view_controller.h"

namespace tessarin::insar {

namespace {

using app::CommandContext;
using document::CTessarinDoc;
using document::ObservationDates;
using document::OpenModeRow;

constexpr int kNewPairMode = 8;
constexpr int kOpenPairMode = 9;
constexpr int kPurePairMode = 30;
constexpr const char* kNotReady = "Tie point list is not ready";

// Documents whose tie-point file carries the phase ramp and reverse flag.
const document::TiePointRules& rulesOf(const CTessarinDoc& doc) { return doc.openModeRow().tiePoints; }
CnjLayout layoutOf(bool full) { return full ? CnjLayout::Full : CnjLayout::Short; }

std::string tiePointPath(const CTessarinDoc& doc) { return doc.path() + ".cnj"; }

// ---- the table: validation, save, load

// The widest master columns any working area or canvas evaluates.
std::optional<std::string> problemOf(const CTessarinDoc& doc, const ConjugatePointTable& t) {
    const double last = static_cast<double>(doc.grid().tpix) * (doc.grid().ntx + 1);
    return layoutProblem(t, -static_cast<double>(doc.grid().tpix), last);
}

// Marks the table ready when its layout can be blended; otherwise it stays
// not ready and the user is told which corners are wrong.
bool makeReady(CTessarinDoc& doc, ConjugatePointTable& t) {
    if (const auto problem = problemOf(doc, t)) {
        t.ready = false;
        doc.ui().message(std::string(kNotReady) + ": " + *problem);
        return false;
    }
    t.ready = true;
    return true;
}

void saveTable(CTessarinDoc& doc, const ConjugatePointTable& t, CnjLayout layout) {
    if (!t.ready) throw Error(kNotReady);
    writeWholeFile(tiePointPath(doc), encodeCnj(t, layout));
}

// Loads and validates the table; on any refusal the table is unchanged and
// an Error names the file.
CnjLayout loadTable(CTessarinDoc& doc, ConjugatePointTable& t) {
    const std::string path = tiePointPath(doc);
    if (!fileExists(path)) throw Error(format("The tie point file \"%s\" does not exist", path.c_str()));
    const auto bytes = readWholeFile(path, kMaxSetFileBytes);
    ConjugatePointTable loaded = t;
    const CnjLayout layout = decodeCnj(bytes, path, loaded);
    if (const auto problem = problemOf(doc, loaded))
        throw Error(format("%s: \"%s\": %s", kNotReady, path.c_str(), problem->c_str()));
    loaded.ready = true;
    t = loaded;
    return layout;
}

// ---- the pair open

// Decodes a member's leader and header copies into a channel slot; a scene
// without size or mapping polynomials is refused naming the file.
void decodeMember(CTessarinDoc& doc, int slot, const composites::Member& m) {
    if (!fileExists(m.tile)) throw Error(format("The tile file \"%s\" of this pair does not exist", m.tile.c_str()));
    auto& reader = doc.reader(slot);
    reader.setImagePath(m.base);
    reader.setLookDirection(m.base);
    reader.setLeaderPath(m.leaderCopy);
    reader.DecodeLeaderFile();
    reader.DecodeImageFileDescriptor(m.headerCopy);
    const auto& p = reader.params();
    const bool mapped = std::any_of(p.pl2lat.begin(), p.pl2lat.end(), [](double c) { return c != 0.0; }) &&
                        std::any_of(p.ll2pix.begin(), p.ll2pix.end(), [](double c) { return c != 0.0; });
    if (p.pixel <= 0 || p.line <= 0)
        throw Error(format("The header copy \"%s\" of this TileSet is missing or empty", m.headerCopy.c_str()));
    if (!mapped)
        throw Error(format("The leader copy \"%s\" of this TileSet holds no mapping polynomials", m.leaderCopy.c_str()));
    doc.markSlotDecoded(slot);
}

tiles::TileGrid gridOf(const CTessarinDoc& doc, int slot) {
    const auto& p = doc.reader(slot).params();
    return tiles::TileGrid::make(p.pixel, p.line, doc.tpix(), doc.tlin());
}

void requireTileFileSize(const composites::Member& m, const tiles::TileGrid& grid) {
    if (const auto reason = composites::unusableReason(m, grid))
        throw Error(format("The tile file \"%s\" of this pair cannot be used: %s", m.tile.c_str(), reason->c_str()));
}

RasterFile quickLookOf(const composites::Member& m) {
    return {tiles::namesForExistingTileSet(m.tile).quickLook, tiles::kQuickLookSize, tiles::kQuickLookSize, 1, 1};
}

// Mode 8: the master and slave canvases of the working area side by side.
void assembleSideBySide(CTessarinDoc& doc) {
    auto& pair = doc.moduleState<PairState>();
    const tiles::SceneMapping mapping = tiles::sceneMappingOf(doc.reader(0));
    doc.setCanvasState(tiles::mergeComplex(doc.ctrorigin(), pair.masterGrid, pair.names.master.tile,
                                           pair.names.masterCanvas, doc.canvas(), &mapping));
    // The slave at the same block: the pair shares the master's tile numbers.
    tiles::mergeComplex(doc.ctrorigin(), pair.slaveGrid, pair.names.slave.tile, pair.names.slaveCanvas,
                        pair.slaveCanvas);
    const RasterFile slave{pair.names.slaveCanvas, pair.slaveCanvas.width(), pair.slaveCanvas.height(), 1, 2};
    for (int s : {display::slot::kSecondMain, display::slot::kSecondMagnifier})
        doc.displaySlots().RenderDisplaySlot(s, slave, doc.workFolder(), doc.ui());
}

// Mode 9: the interferogram merger at the working area around ctrorigin,
// its files and displays. Without a usable table it says so and leaves the
// displays as they were.
// The merger at the block of tiles from (kx0, ky0); the convention it finds
// is kept for the document and said once.
MergerResult runMerger(CTessarinDoc& doc, int kx0, int ky0) {
    auto& pair = doc.moduleState<PairState>();
    const ConjugatePointTable& table = doc.moduleState<TiePointState>().table;
    const auto& grid = pair.masterGrid;
    MergerInput in;
    in.master = pair.pure ? &pair.pureMaster : &doc.reader(0).params();
    in.slave = pair.pure ? nullptr : &doc.reader(1).params();
    in.masterGrid = grid;
    in.slaveGrid = pair.slaveGrid;
    in.masterTile = pair.names.master.tile;
    in.slaveTile = pair.names.slave.tile;
    in.table = table;
    in.topLeft = {static_cast<long long>(grid.tpix) * kx0, static_cast<long long>(grid.tlin) * ky0};
    const auto* composite = doc.findModuleState<composites::CompositeState>();
    in.thirdChannelCopy = composite && composite->thirdChannelCopy;
    in.convention = pair.convention;
    doc.ui().status("sub-TileMergerPureSLCInterfrogram");
    BusyScope busy(doc.ui());
    MergerResult r = mergeInterferogram(in, [&doc](const std::string& text) { doc.ui().status(text); });
    if (r.conventionDecided && r.convention != pair.convention) doc.ui().status(conventionText(r.convention));
    pair.convention = r.convention;
    return r;
}

// Whether the table can drive the merger; says why not.
bool tableUsable(CTessarinDoc& doc, const char* notReadyText) {
    const ConjugatePointTable& table = doc.moduleState<TiePointState>().table;
    if (!table.ready) {
        doc.ui().status(notReadyText);
        return false;
    }
    if (const auto problem = problemOf(doc, table)) {
        doc.ui().message(std::string(kNotReady) + ": " + *problem);
        return false;
    }
    return true;
}

void mergeWorkingArea(CTessarinDoc& doc) {
    if (!tableUsable(doc, "Tie point Table is not ready")) return;
    auto& pair = doc.moduleState<PairState>();
    const auto& grid = pair.masterGrid;
    // The tile boundary nearest ctrorigin, as the complex canvases take it.
    const int kx0 = static_cast<int>(floorDiv(grid.tpix / 2 + doc.ctrorigin().x, grid.tpix));
    const int ky0 = static_cast<int>(floorDiv(grid.tlin / 2 + doc.ctrorigin().y, grid.tlin));
    MergerResult r = runMerger(doc, kx0, ky0);
    const tiles::GlobalPoint topLeft = r.masterTopLeft;

    writeWholeFile(pair.names.coherence, r.coherence);
    writeWholeFile(pair.names.cut, r.cut.bytes());
    writeWholeFile(pair.names.interferogram, r.fringe);
    writeWholeFile(pair.names.savedFringe, r.savedFringe);

    tiles::CanvasState state;
    state.kx0 = kx0;
    state.ky0 = ky0;
    state.tileRangeX[0] = kx0;
    state.tileRangeX[1] = kx0 + 2;
    state.tileRangeY[0] = ky0;
    state.tileRangeY[1] = ky0 + 2;
    state.currentTile = grid.tileNumber(kx0, ky0);
    state.origin = topLeft;
    state.ctrInCanvas = state.toCanvas(doc.ctrorigin());
    doc.setCanvasState(state);

    // The flattened phase as the main pane's alternative, the coherence alone.
    auto& slots = doc.displaySlots();
    slots.RenderDisplaySlotRaw(display::slot::kAlternativeMain, {pair.names.interferogram, r.width, r.height, 1, 1},
                               doc.workFolder(), doc.ui());
    slots.RenderDisplaySlotRaw(display::slot::kAlone, {pair.names.coherence, r.width, r.height, 1, 1}, doc.workFolder(),
                               doc.ui());
    doc.setAlternativeRaster(true);
    display::HistogramOverlay overlay;
    for (std::size_t c = 0; c < kAmplitudeClasses; ++c) {
        for (std::size_t b = 0; b < kHistogramBins; ++b) overlay.curves[c][b] = static_cast<int>(r.histograms[c].scaled[b]);
        overlay.markers[c] = r.histograms[c].maxBin;
    }
    doc.setHistogramOverlay(overlay);
    pair.last = std::move(r);
    pair.merged = true;
}

// The steps from the overview on, common to the open and "ALOS2 Infero
// Generation".
void showPair(CTessarinDoc& doc) {
    auto& pair = doc.moduleState<PairState>();
    auto& ts = doc.tileSet();
    const auto& p = doc.reader(0).params();
    ts.bucketX = p.pixel / tiles::kQuickLookSize;
    ts.bucketY = p.line / tiles::kQuickLookSize;
    ts.overviewReduction = document::kOverviewReduction;
    const std::vector<const composites::Member*> members{&pair.names.master, &pair.names.slave};
    writeWholeFile(pair.names.overviewComposite, composites::overviewComposite(members, composites::dualPlan(false)));
    doc.setCtrorigin(workingAreaTopLeft(pair.masterGrid));
    if (!doc.openModeRow().threeChannelCanvas) {  // side by side
        ts.overviewPath.clear();  // the master's own quick-look
        ts.canvasPath = pair.names.masterCanvas;
        ts.displayChannels = 1;
        doc.renderOverview();
        doc.displaySlots().RenderDisplaySlot(display::slot::kSecondOverview, quickLookOf(pair.names.slave),
                                             doc.workFolder(), doc.ui());
        doc.assembleCanvas();
        doc.renderCanvasDisplays();
    } else {
        ts.overviewPath = pair.names.overviewComposite;
        ts.canvasPath = pair.names.cut;
        ts.displayChannels = static_cast<int>(composites::kCompositeChannels);
        doc.renderOverview();
        doc.assembleCanvas();
        if (pair.merged) doc.renderCanvasDisplays();
    }
}

void createGeometricTable(CTessarinDoc& doc);

bool openPair(CTessarinDoc& doc) {
    // A pair whose display is built through its tie-point table opens with
    // the saved table; else it starts one from the geometry.
    const bool savedTable = rulesOf(doc).rebuildsFromTable;
    if (savedTable) doc.ui().status("sub-OpenALOS2InferoPair");
    const PairProject project = readPairProject(doc.path());
    PairNames names = pairNamesOf(doc.path(), project);
    doc.ui().status("ImageFile header cut");
    doc.ui().status("End ImageFile header cut");
    doc.ui().status("Master Leader file decode");
    decodeMember(doc, 0, names.master);
    doc.takeOverCalibration();
    doc.ui().status("Slave Leader fole decode");
    decodeMember(doc, 1, names.slave);
    doc.ui().status("End Leader fole decode");
    if (doc.reader(0).pointingLeft() != doc.reader(1).pointingLeft())
        throw Error(format("The master \"%s\" and the slave \"%s\" look to different sides: they cannot interfere",
                           names.master.tile.c_str(), names.slave.tile.c_str()));
    const tiles::TileGrid masterGrid = gridOf(doc, 0), slaveGrid = gridOf(doc, 1);
    requireTileFileSize(names.master, masterGrid);
    requireTileFileSize(names.slave, slaveGrid);

    // Everything decoded: commit the pair.
    auto& pair = doc.moduleState<PairState>();
    pair.names = std::move(names);
    pair.masterGrid = masterGrid;
    pair.slaveGrid = slaveGrid;
    pair.lookSide = doc.reader(0).pointingLeft();
    pair.pixsz = doc.pixsz();
    pair.linsz = doc.linsz();
    pair.requestedOrigin = {document::kDefaultCentre, document::kDefaultCentre};
    pair.open = true;
    auto& ts = doc.tileSet();
    ts.grid = masterGrid;
    ts.kind = tiles::TileKind::Complex;
    ts.names = tiles::namesForExistingTileSet(pair.names.master.tile);
    doc.moduleState<TiePointState>().scenes = {{
        {pair.names.master.tile, tiles::TileKind::Complex, masterGrid, masterGrid.pixel, masterGrid.line},
        {pair.names.slave.tile, tiles::TileKind::Complex, slaveGrid, slaveGrid.pixel, slaveGrid.line}}};

    auto& table = doc.moduleState<TiePointState>().table;
    if (savedTable) {
        try {
            loadTable(doc, table);
        } catch (const Error& e) {
            table.ready = false;
            doc.ui().message(std::string("Tie point Table is not ready\n") + e.what());
        }
    } else {
        table.ready = false;
    }
    showPair(doc);
    doc.openState().hasData = true;
    if (!savedTable) createGeometricTable(doc);
    return true;
}

// ---- pure SLC pairs (mode 30)

std::optional<std::string> askName(CommandContext& ctx, const char* title, const char* filter, bool save);

constexpr std::string_view kPurePairSuffix = "PINF.prj";

// A member's tile file from its raster TileSet project ("...tile.cpx.prj").
std::string pureTileOf(const std::string& project) {
    if (!endsWith(project, "tile.cpx.prj"))
        throw Error(format("\"%s\" is not the project of a raster TileSet (its name must end in \"tile.cpx.prj\")",
                           project.c_str()));
    return project.substr(0, project.size() - 4);
}

void assemblePureSideBySide(CTessarinDoc& doc) {
    auto& pair = doc.moduleState<PairState>();
    doc.setCanvasState(tiles::mergeComplexOnGrid(doc.ctrorigin(), pair.masterGrid, pair.names.master.tile,
                                                 pair.names.masterCanvas, doc.canvas()));
    tiles::mergeComplexOnGrid(doc.ctrorigin(), pair.slaveGrid, pair.names.slave.tile, pair.names.slaveCanvas,
                              pair.slaveCanvas);
    const RasterFile slave{pair.names.slaveCanvas, pair.slaveCanvas.width(), pair.slaveCanvas.height(), 1, 2};
    for (int s : {display::slot::kSecondMain, display::slot::kSecondMagnifier})
        doc.displaySlots().RenderDisplaySlot(s, slave, doc.workFolder(), doc.ui());
}

// The identity table: raster pairs are most often co-registered already
// (stacks from other processors); the tie-point commands refine it.
ConjugatePointTable identityTable(const tiles::TileGrid& grid) {
    ConjugatePointTable t;
    const std::int32_t xs[] = {0, grid.pixel - 1, 0, grid.pixel - 1};
    const std::int32_t ys[] = {0, 0, grid.line - 1, grid.line - 1};
    for (std::size_t k = 0; k < kTiePoints; ++k) t.setPoint(k, {xs[k], ys[k]}, 0.0, 0.0);
    return t;
}

bool openPurePair(CTessarinDoc& doc) {
    const PairProject projects = readPairProject(doc.path());
    const tiles::RasterParameters master = tiles::readRasterProject(projects.master);
    const tiles::RasterParameters slave = tiles::readRasterProject(projects.slave);
    PairNames names = pairNamesOf(doc.path(), {pureTileOf(projects.master), pureTileOf(projects.slave)});
    for (const tiles::RasterParameters* p : {&master, &slave})
        if (p->pixel <= 0 || p->line <= 0)
            throw Error(format("The raster project of \"%s\" gives no size", p->rasterPath.c_str()));
    const tiles::TileGrid masterGrid = tiles::TileGrid::make(master.pixel, master.line, doc.tpix(), doc.tlin());
    const tiles::TileGrid slaveGrid = tiles::TileGrid::make(slave.pixel, slave.line, doc.tpix(), doc.tlin());
    for (const auto* m : {&names.master, &names.slave})
        if (!fileExists(m->tile)) throw Error(format("The tile file \"%s\" of this pair does not exist", m->tile.c_str()));
    requireTileFileSize(names.master, masterGrid);
    requireTileFileSize(names.slave, slaveGrid);

    auto& pair = doc.moduleState<PairState>();
    pair.names = std::move(names);
    pair.masterGrid = masterGrid;
    pair.slaveGrid = slaveGrid;
    pair.pure = true;
    pair.pureMaster = {};
    pair.pureMaster.pixel = master.pixel;
    pair.pureMaster.line = master.line;
    pair.pixsz = master.pixSpace;
    pair.linsz = master.lineSpace;
    pair.requestedOrigin = {document::kDefaultCentre, document::kDefaultCentre};
    pair.open = true;
    if (std::isfinite(master.equalizingval) && master.equalizingval > 0.0) doc.setEqualizingval(master.equalizingval);
    auto& ts = doc.tileSet();
    ts.grid = masterGrid;
    ts.kind = tiles::TileKind::Complex;
    ts.names = tiles::namesForExistingTileSet(pair.names.master.tile);
    ts.bucketX = master.pixel / tiles::kQuickLookSize;
    ts.bucketY = master.line / tiles::kQuickLookSize;
    ts.overviewReduction = document::kOverviewReduction;

    // The measurements read the complex tiles themselves: no leader needed.
    doc.moduleState<TiePointState>().scenes = {{
        {pair.names.master.tile, tiles::TileKind::Complex, masterGrid, masterGrid.pixel, masterGrid.line},
        {pair.names.slave.tile, tiles::TileKind::Complex, slaveGrid, slaveGrid.pixel, slaveGrid.line}}};

    auto& table = doc.moduleState<TiePointState>().table;
    if (fileExists(tiePointPath(doc))) {
        loadTable(doc, table);
    } else {
        table = identityTable(masterGrid);
        if (makeReady(doc, table)) saveTable(doc, table, CnjLayout::Full);
    }
    ts.canvasPath = pair.names.masterCanvas;
    ts.displayChannels = 1;
    if (fileExists(ts.names.quickLook)) doc.renderOverview();
    if (fileExists(pair.names.slave.index))
        doc.displaySlots().RenderDisplaySlot(display::slot::kSecondOverview, quickLookOf(pair.names.slave),
                                             doc.workFolder(), doc.ui());
    doc.setCtrorigin(workingAreaTopLeft(masterGrid));
    doc.assembleCanvas();
    doc.renderCanvasDisplays();
    doc.openState().hasData = true;
    return true;
}

void newPurePair(CommandContext& ctx) {
    const auto project = askName(ctx, "Put dual pure cpx project Name", "*PINF.prj", true);
    if (!project) return;
    const auto master = askName(ctx, "Select master prj", "*tile.cpx.prj", false);
    if (!master) return;
    const auto slave = askName(ctx, "Select slave prj", "*tile.cpx.prj", false);
    if (!slave) return;
    std::string chosen = *project;
    if (!endsWith(chosen, kPurePairSuffix)) chosen += std::string(kPurePairSuffix);
    const std::string path = std::filesystem::absolute(chosen).string();
    writePairProject(path, {std::filesystem::absolute(*master).string(), std::filesystem::absolute(*slave).string()});
    ctx.app.linkBlock().writeOpenMode(kPurePairMode);
    ctx.app.openDocument(path);
}

// ---- tie-point commands

PairState* openPairOf(CTessarinDoc& doc) {
    auto* pair = doc.findModuleState<PairState>();
    return pair && pair->open ? pair : nullptr;
}

void createGeometricTable(CTessarinDoc& doc) {
    if (!doc.slotDecoded(0) || !doc.slotDecoded(1)) throw Error("Data set is wrong.");
    auto& table = doc.moduleState<TiePointState>().table;
    ConjugatePointTable t = geometricTable(doc.reader(0).params(), doc.reader(1).params());
    t.adjustX = t.adjustY = 0.0;
    if (!makeReady(doc, t)) return;
    if (rulesOf(doc).fullLayoutOnCreate) {
        t.phaseIncH = t.phaseIncV = 0.0;
        t.reversePhase = 0;
    }
    table = t;
    saveTable(doc, table, layoutOf(rulesOf(doc).fullLayoutOnCreate));
    loadTable(doc, table);
    if (!rulesOf(doc).createdMessage.empty()) doc.ui().message(std::string(rulesOf(doc).createdMessage));
}

std::optional<std::string> askName(CommandContext& ctx, const char* title, const char* filter, bool save) {
    FileDialog dialog;
    dialog.title = title;
    dialog.filter = filter;
    return save ? ctx.ui.saveFile(dialog) : ctx.ui.openFile(dialog);
}

void newPair(CommandContext& ctx) {
    ctx.ui.message("InferoMenu1 id=8");
    const auto project = askName(ctx, "Put Infero images set Name", "*.INF", true);
    if (!project) return;
    const auto master = askName(ctx, "Select master tile file", "*cpx", false);
    if (!master) return;
    const auto slave = askName(ctx, "Select slave tile file", "*cpx", false);
    if (!slave) return;
    // Absolute member paths, so that the project opens from anywhere.
    const std::string path = std::filesystem::absolute(withProjectExtension(*project)).string();
    writePairProject(path, {std::filesystem::absolute(*master).string(), std::filesystem::absolute(*slave).string()});
    ctx.app.linkBlock().writeOpenMode(kNewPairMode);
    ctx.app.openDocument(path);
}

bool hasDoc(const CommandContext& ctx) { return ctx.doc != nullptr; }

using Action = void (*)(CTessarinDoc& doc, ConjugatePointTable& t);

void registerTableCommand(app::AppCore& app, int id, Action action) {
    app.registerHandler(app::CommandArea::Insar, id,
                        {[action](CommandContext& ctx) {
                             CTessarinDoc& doc = *ctx.doc;
                             action(doc, doc.moduleState<TiePointState>().table);
                         },
                         hasDoc,
                         {}});
}

void registerTieCommands(app::AppCore& app) {
    namespace cmd = app::cmd;
    registerTableCommand(app, cmd::kCreateNewTiePointTable,
                         [](CTessarinDoc& doc, ConjugatePointTable&) { createGeometricTable(doc); });
    registerTableCommand(app, cmd::kCalcTiePointFromGeoTable, [](CTessarinDoc& doc, ConjugatePointTable& table) {
        if (!doc.slotDecoded(0) || !doc.slotDecoded(1)) throw Error("Data set is wrong.");
        ConjugatePointTable t = geometricTable(doc.reader(0).params(), doc.reader(1).params());
        if (!makeReady(doc, t)) return;
        const bool full = rulesOf(doc).fullLayoutOnCalc;
        if (full) {
            t.phaseIncH = t.phaseIncV = 0.0;
            t.reversePhase = 0;
        }
        table = t;
        saveTable(doc, table, layoutOf(full));
    });
    registerTableCommand(app, cmd::kSaveConjugatePointTable, [](CTessarinDoc& doc, ConjugatePointTable& t) {
        if (!t.ready) {
            doc.ui().message(kNotReady);
            return;
        }
        saveTable(doc, t, layoutOf(rulesOf(doc).fullLayoutOnSave));
    });
    registerTableCommand(app, cmd::kLoadExistingConjugatepointData, [](CTessarinDoc& doc, ConjugatePointTable& t) {
        const CnjLayout layout = loadTable(doc, t);
        doc.ui().message(loadedText(t, layout));
    });
    registerTableCommand(app, cmd::kDisplayCurrentTiePointTable,
                         [](CTessarinDoc& doc, ConjugatePointTable& t) { doc.ui().message(tableText(t)); });
    registerTableCommand(app, cmd::kResetConjugatePointTable, [](CTessarinDoc&, ConjugatePointTable& t) {
        // The phase ramp and the reverse flag belong to the interferogram, not to the points.
        ConjugatePointTable cleared;
        cleared.phaseIncH = t.phaseIncH;
        cleared.phaseIncV = t.phaseIncV;
        cleared.reversePhase = t.reversePhase;
        cleared.adjustX = t.adjustX;
        cleared.adjustY = t.adjustY;
        t = cleared;
    });
    registerTableCommand(app, cmd::kResetTiePointDisplacement, [](CTessarinDoc& doc, ConjugatePointTable& t) {
        if (!t.ready) {
            doc.ui().message(kNotReady);
            return;
        }
        t.adjustX = t.adjustY = 0.0;
        saveTable(doc, t, layoutOf(rulesOf(doc).fullLayoutOnSave));
        doc.ui().message("tie point displacement value was reset to zero. \n\n Press p key to redraw.");
    });
    registerTableCommand(app, cmd::kAdjustTiePointDisplacement, [](CTessarinDoc& doc, ConjugatePointTable& t) {
        if (!t.ready) {
            doc.ui().message(kNotReady);
            return;
        }
        Form form("Tie Point displacement set");
        form.addReal("horizontal", "Horizontal", t.adjustX);
        form.addReal("vertical", "Vertical", t.adjustY);
        if (!doc.ui().form(form)) return;
        ConjugatePointTable changed = t;
        changed.adjustX = form.realValue("horizontal");
        changed.adjustY = form.realValue("vertical");
        // Saved through the codec's own checks, so an absurd value is refused as a loaded one would be.
        const CnjLayout layout = layoutOf(rulesOf(doc).fullLayoutOnCreate);
        ConjugatePointTable checked = changed;
        decodeCnj(encodeCnj(changed, layout), tiePointPath(doc), checked);
        t = changed;
        saveTable(doc, t, layout);
        if (rulesOf(doc).rebuildsFromTable && doc.hasData()) {
            doc.assembleCanvas();
            doc.renderCanvasDisplays();
        }
    });
}

// ---- measurements by correlation at the marked point


// The marked master point; none without a view or a mark.
std::optional<tiles::GlobalPoint> markedPoint(CommandContext& ctx) {
    auto* view = ctx.view();
    if (!view || !view->state().markShown) return std::nullopt;
    return view->markGlobalPoints()[0];
}

// The slave position the measurement starts from: the mark on the slave
// image when both are shown, else the table's prediction when it is ready,
// else the geometry's.
tiles::GlobalPoint slaveEstimate(CommandContext& ctx, tiles::GlobalPoint m) {
    CTessarinDoc& doc = *ctx.doc;
    if (doc.openModeRow().twoImages && ctx.view()) return ctx.view()->markGlobalPoints()[1];
    const auto& table = doc.moduleState<TiePointState>().table;
    ScenePoint s;
    if (table.ready) {
        s = slavePosition(table, static_cast<double>(m.x), static_cast<double>(m.y));
    } else {
        const GeoPoint g = doc.reader(0).latLonOfPixelLine({static_cast<double>(m.x), static_cast<double>(m.y)});
        s = doc.reader(1).pixelLineOfLatLon(g);
    }
    return {static_cast<long long>(std::floor(s.pixel)), static_cast<long long>(std::floor(s.line))};
}

std::string reportText(tiles::GlobalPoint m, tiles::GlobalPoint s, const MatchResult& r) {
    std::string text = format("Center M=%d, %d\nCenter S=%d, %d\n", int(m.x), int(m.y), int(s.x), int(s.y));
    text += format("CutTL M=%d, %d\nCutTL S=%d,%d\n", int(m.x - kScanHalf), int(m.y - kScanHalf), int(s.x - 2 * kScanHalf),
                   int(s.y - 2 * kScanHalf));
    text += format("cut winsz M=%d, %d\ncut winsz S=%d, %d scanrhalf=%d, %d\n", kMasterWindow, kMasterWindow, kSlaveWindow,
                   kSlaveWindow, kScanHalf, kScanHalf);
    const double sx = static_cast<double>(s.x), sy = static_cast<double>(s.y);
    text += format("tiepoint=%.4f, %.4f\n", sx + r.dx, sy + r.dy);
    text += format("relative displace =%.4f, %.4f\nD displace=%.4f, %.4f\n", sx + r.dx - static_cast<double>(m.x),
                   sy + r.dy - static_cast<double>(m.y), r.dx, r.dy);
    if (r.borderPeak) text += "the peak lies on the border of the search: no sub-pixel step there\n";
    if (!r.accepted) text += r.refusal + "\n";
    return text;
}

// One correlation at m around s; a refused one gives shift (0, 0) and says why.
MatchResult measure(CommandContext& ctx, tiles::GlobalPoint m, tiles::GlobalPoint s, bool reporting) {
    const auto& scenes = *ctx.doc->moduleState<TiePointState>().scenes;
    MatchResult r = matchAt(scenes[0], scenes[1], m, s, !reporting);
    if (reporting) ctx.ui.message(reportText(m, s, r));
    else if (!r.accepted) ctx.ui.message(r.refusal);
    if (!r.accepted) r.dx = r.dy = 0.0;
    return r;
}

std::string displacementText(tiles::GlobalPoint m, tiles::GlobalPoint s, const MatchResult& r) {
    return format("displacement at masterpoint %d,%d is %d,%d\n evaluated target point value=%.3f, %.3f\n displace "
                  "value=%.3f, %.3f",
                  int(m.x), int(m.y), int(s.x - m.x), int(s.y - m.y), static_cast<double>(s.x - m.x) + r.dx,
                  static_cast<double>(s.y - m.y) + r.dy, r.dx, r.dy);
}

// After a change: ready and saved when the layout holds, else not ready.
void commitMeasured(CTessarinDoc& doc, ConjugatePointTable& t) {
    if (makeReady(doc, t)) saveTable(doc, t, layoutOf(rulesOf(doc).fullLayoutOnSave));
}

// The scenes the measurements read: a pair's, or a multi-temporal set's.
bool hasScenes(CTessarinDoc& doc) {
    const auto* state = doc.findModuleState<TiePointState>();
    return state && state->scenes.has_value();
}

bool requirePairAndMark(CommandContext& ctx, tiles::GlobalPoint& m) {
    if (!hasScenes(*ctx.doc)) {
        ctx.ui.message("Open infero pair in advance");
        return false;
    }
    const auto mark = markedPoint(ctx);
    if (!mark) {
        ctx.ui.message("Set bright mark in current tile by Hold 'c' key and mouse click");
        return false;
    }
    m = *mark;
    return true;
}

void measureCorner(CommandContext& ctx, std::size_t k) {
    tiles::GlobalPoint m;
    if (!requirePairAndMark(ctx, m)) return;
    CTessarinDoc& doc = *ctx.doc;
    const MatchScene& master = (*doc.moduleState<TiePointState>().scenes)[0];
    const double P = master.pixel, L = master.line;
    const double mx = static_cast<double>(m.x), my = static_cast<double>(m.y);
    const auto warn = [&](const char* where) {
        ctx.ui.message(format("current point is not in %s area.\n if you go by the point just click OK.\n If not, change "
                              "the point and do this menu again after click OK.",
                              where));
    };
    if (k == 1 && (mx < 0.8 * P || my > 0.2 * L)) warn("top right");
    if (k == 2 && (mx > 0.2 * P || my < 0.8 * L)) warn("bottom left");
    if (k == 3 && (mx < 0.8 * P || my < 0.8 * L)) warn("bottom right");
    const tiles::GlobalPoint s = slaveEstimate(ctx, m);
    const bool reporting = rulesOf(doc).cornerMatchReport;
    const MatchResult r = measure(ctx, m, s, reporting);
    auto& t = doc.moduleState<TiePointState>().table;
    const bool wasReady = t.ready;
    t.setPoint(k, {static_cast<std::int32_t>(m.x), static_cast<std::int32_t>(m.y)}, static_cast<double>(s.x - m.x) + r.dx,
               static_cast<double>(s.y - m.y) + r.dy);
    t.cornerSet[k] = true;
    ctx.ui.message(displacementText(m, s, r));
    if (wasReady || std::all_of(t.cornerSet.begin(), t.cornerSet.end(), [](bool b) { return b; })) commitMeasured(doc, t);
}

void singlePointMatching(CommandContext& ctx) {
    tiles::GlobalPoint m;
    if (!requirePairAndMark(ctx, m)) return;
    CTessarinDoc& doc = *ctx.doc;
    const tiles::GlobalPoint s = slaveEstimate(ctx, m);
    const bool reporting = rulesOf(doc).singleMatchReport;
    const MatchResult r = measure(ctx, m, s, reporting);
    auto& t = doc.moduleState<TiePointState>().table;
    // The master scene's own size: a raster pair has no leader to give it.
    const MatchScene& master = (*doc.moduleState<TiePointState>().scenes)[0];
    const std::array<MasterPoint, kTiePoints> corners{
        {{0, 0}, {master.pixel, 0}, {0, master.line}, {master.pixel, master.line}}};
    for (std::size_t k = 0; k < kTiePoints; ++k) {
        t.setPoint(k, corners[k], static_cast<double>(s.x - m.x) + r.dx, static_cast<double>(s.y - m.y) + r.dy);
        t.cornerSet[k] = true;
    }
    ctx.ui.message(displacementText(m, s, r));
    commitMeasured(doc, t);
}

void adjustParameter(CommandContext& ctx) {
    CTessarinDoc& doc = *ctx.doc;
    if (!rulesOf(doc).adjustParameter) {
        ctx.ui.message("Invalid menu selection. Process ingnored.");
        return;
    }
    tiles::GlobalPoint m;
    if (!requirePairAndMark(ctx, m)) return;
    auto& t = doc.moduleState<TiePointState>().table;
    if (!t.ready) {
        ctx.ui.message(kNotReady);
        return;
    }
    // Measured against the table's own displacement at the point, so a
    // table refined by correlation is not corrected twice.
    const ScenePoint g = blendedDisplacement(t, static_cast<double>(m.x), static_cast<double>(m.y));
    const ScenePoint predicted = slavePosition(t, static_cast<double>(m.x), static_cast<double>(m.y));
    const tiles::GlobalPoint s{static_cast<long long>(std::floor(predicted.pixel)),
                               static_cast<long long>(std::floor(predicted.line))};
    ctx.ui.status(format("target point Master=(%d, %d)\nSlave point displace=(%.4f, %.4f)", int(m.x), int(m.y), g.pixel,
                         g.line));
    const MatchResult r = measure(ctx, m, s, rulesOf(doc).adjustMatchReport);
    t.point4DispX = static_cast<double>(s.x - m.x) + r.dx;
    t.point4DispY = static_cast<double>(s.y - m.y) + r.dy;
    t.point4SlaveX = static_cast<double>(s.x) + r.dx;
    t.point4SlaveY = static_cast<double>(s.y) + r.dy;
    t.adjustX = t.point4DispX - g.pixel;
    t.adjustY = t.point4DispY - g.line;
    commitMeasured(doc, t);
    ctx.app.run(*app::findCommand(app::cmd::kAdjustTiePointDisplacement), &doc);
}

// Manual pick-up of corner k: the mark on the master image and, where the
// two images are shown panned against each other, the same window point on
// the slave image. Memory only until the next save; ready once all four
// corners are set and their layout holds.
void manualPickUp(CommandContext& ctx, std::size_t k) {
    CTessarinDoc& doc = *ctx.doc;
    auto* view = ctx.view();
    if (!hasScenes(doc) || !doc.openModeRow().twoImages || !view || !view->state().markShown) {
        ctx.ui.message("Mark point is not set yet");
        return;
    }
    const auto& points = view->markGlobalPoints();
    auto& t = doc.moduleState<TiePointState>().table;
    const double dx = static_cast<double>(points[1].x - points[0].x), dy = static_cast<double>(points[1].y - points[0].y);
    t.setPoint(k, {static_cast<std::int32_t>(points[0].x), static_cast<std::int32_t>(points[0].y)}, dx, dy);
    t.cornerSet[k] = true;
    ctx.ui.message(format(" K=%d, master Px,y=%d, %d, displace x,y=%.2f, %.2f\n", static_cast<int>(k),
                          static_cast<int>(points[0].x), static_cast<int>(points[0].y), dx, dy));
    if (std::all_of(t.cornerSet.begin(), t.cornerSet.end(), [](bool b) { return b; })) makeReady(doc, t);
}

// ---- TIFF products of a working area

// Writes a raw file, converts it into raw + ".tif" and removes the raw file
// only once the TIFF is there with the size it must have; a conversion that
// leaves no usable TIFF keeps the raw result and says so.
void rawToCheckedTiff(CTessarinDoc& doc, const std::string& raw, std::span<const std::uint8_t> bytes, int width,
                      int lines, int channels, int bytesPerSample) {
    writeWholeFile(raw, bytes);
    const std::string tif = raw + ".tif";
    try {
        if (bytesPerSample == 2) {
            std::vector<std::uint16_t> samples(bytes.size() / 2);
            for (std::size_t i = 0; i < samples.size(); ++i)
                samples[i] = static_cast<std::uint16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
            writeChannelTiff48(tif, width, lines, channels, samples);
        } else {
            rasterToTiff(doc.ui(), RasterFile{raw, width, lines, channels, bytesPerSample}, {});
        }
        const GeoTiffInfo info = readGeoTiffFile(tif);
        if (static_cast<int>(info.width) != width || static_cast<int>(info.lines) != lines)
            throw Error(format("it holds %d x %d pixels", static_cast<int>(info.width), static_cast<int>(info.lines)));
    } catch (const Error& e) {
        doc.ui().message(format("The TIFF \"%s\" could not be made (%s): the raw result \"%s\" is kept", tif.c_str(),
                                e.what(), raw.c_str()));
        return;
    }
    removeFile(raw);
}

// "Pure SLC Infero Generation" at the block of tiles from (kx0, ky0).
bool generateProducts(CTessarinDoc& doc, int kx0, int ky0) {
    auto& pair = doc.moduleState<PairState>();
    if (!openPairOf(doc) || !rulesOf(doc).pureProducts) {
        doc.ui().message("Open infero pair in advance");
        return false;
    }
    if (!doc.moduleState<TiePointState>().table.ready) {
        doc.ui().message("4 corner tie point set is not ready yet");
        return false;
    }
    if (!tableUsable(doc, "4 corner tie point set is not ready yet")) return false;
    if (pair.namesFromUser && pair.outputCut.empty()) {
        doc.ui().message("output filename is not set yet.");
        return false;
    }
    const std::string cut = pair.namesFromUser ? pair.outputCut : pair.names.master.index + "cut.img";
    const std::string fringe = pair.namesFromUser ? pair.outputFringe : pair.names.project + "frg.img";
    const std::string coherence = pair.namesFromUser ? pair.outputCoherence : pair.names.project + "coho.img";
    BusyScope busy(doc.ui());
    const MergerResult r = runMerger(doc, kx0, ky0);
    rawToCheckedTiff(doc, cut, r.cut.bytes(), r.width, r.height, 3, 2);
    rawToCheckedTiff(doc, fringe, r.fringe, r.width, r.height, 1, 1);
    rawToCheckedTiff(doc, coherence, r.coherence, r.width, r.height, 1, 1);
    pair.produced = true;
    if (pair.pure) pair.last = r;  // a raster pair shows no working area of its own
    return true;
}

void generateAtWorkingArea(CTessarinDoc& doc) {
    const auto& grid = doc.grid();
    generateProducts(doc, static_cast<int>(floorDiv(grid.tpix / 2 + doc.ctrorigin().x, grid.tpix)),
                     static_cast<int>(floorDiv(grid.tlin / 2 + doc.ctrorigin().y, grid.tlin)));
}

// "Infero Generation by address input": every block of two by two tiles.
void wholeScene(CommandContext& ctx) {
    CTessarinDoc& doc = *ctx.doc;
    auto* pair = openPairOf(doc);
    if (!pair) {
        ctx.ui.message("Open infero pair in advance");
        return;
    }
    FileDialog dialog;
    dialog.title = "Put Full scene proces project Name (new folder recommended)";
    dialog.filter = "*FS.prj";
    auto chosen = ctx.ui.saveFile(dialog);
    if (!chosen) return;
    if (!endsWith(*chosen, "FS.prj")) *chosen += "FS.prj";
    const SplitPath where = splitPath(*chosen);
    pair->namesFromUser = true;
    const auto& grid = pair->masterGrid;
    int count = 0;
    for (int b = 0; b < grid.nty; b += 2)
        for (int c = 0; c < grid.ntx; c += 2) {
            ctx.ui.status(format("Line block=%d of %d, Pix bloc=%d of %d", b, grid.nty, c, grid.ntx));
            const std::string stem = joinPath(where.folder, where.name + format("id%d_%d", b, c));
            pair->outputCut = stem + "amp.img";
            pair->outputFringe = stem + "frg.img";
            pair->outputCoherence = stem + "coh.img";
            if (!generateProducts(doc, c, b)) break;
            ++count;
        }
    // The names belong to this run only.
    pair->outputCut.clear();
    pair->outputFringe.clear();
    pair->outputCoherence.clear();
    ctx.ui.message(format("Whole scene process complete. %d tiles are created", count));
}

// "Tie position calc at C-key clicked point": the correlation on the two
// side-by-side canvases at the clicked canvas position, its two windows
// written beside them for inspection.
void diagnosticCorrelation(CommandContext& ctx) {
    CTessarinDoc& doc = *ctx.doc;
    auto* pair = openPairOf(doc);
    if (!pair) {
        ctx.ui.message("Open infero pair in advance");
        return;
    }
    auto* view = ctx.view();
    if (!view || !view->state().markShown) {
        ctx.ui.message("Set bright mark in current tile by Hold 'c' key and mouse click");
        return;
    }
    constexpr int kMaster = 41, kSlave = 61;
    const display::Point at = view->markImagePoints()[0];
    const auto window = [&](const std::string& canvasPath, int size) {
        if (!fileExists(canvasPath))
            throw Error(format("The canvas \"%s\" of the pair does not exist: open the pair under OpenMode 8 first",
                               canvasPath.c_str()));
        tiles::Canvas canvas(pair->masterGrid.tpix, pair->masterGrid.tlin);
        canvas.read(canvasPath);
        std::vector<std::uint16_t> w(static_cast<std::size_t>(size) * static_cast<std::size_t>(size), 0);
        for (int r = 0; r < size; ++r)
            for (int c = 0; c < size; ++c) {
                const long long x = at.x - size / 2 + c, y = at.y - size / 2 + r;
                if (x >= 0 && y >= 0 && x < canvas.width() && y < canvas.height())
                    w[static_cast<std::size_t>(r) * static_cast<std::size_t>(size) + static_cast<std::size_t>(c)] =
                        canvas.at(x, y);
            }
        ByteWriter out;
        for (std::uint16_t v : w) out.le<std::uint16_t>(v);
        writeWholeFile(canvasPath + "wcut.img", out.buffer());
        return w;
    };
    const auto master = window(pair->names.masterCanvas, kMaster);
    const auto slave = window(pair->names.slaveCanvas, kSlave);
    const MatchResult r = correlateGrid(master, kMaster, slave, kSlave, false);
    constexpr int kHalf = (kSlave - kMaster) / 2;
    ctx.ui.message(format("CurrentPos X,Y=%d, %d\n", at.x, at.y) +
                   format("jmax=%d, imax=%d, scanx,scany=%d, %d\n", r.row, r.column, kHalf, kHalf) +
                   format("dx,dy=%.2f, %.2f", r.dx, r.dy));
}

// "Infero Conj Table repair": a pair's tie-point file rewritten in the full
// layout. Only a size that identifies a layout is taken; the file as it was
// is kept beside it as ".bak".
void repairTable(CommandContext& ctx) {
    const auto project = askName(ctx, "Select Infero project Name", "*.INF", false);
    if (!project) return;
    const std::string path = *project + ".cnj";
    if (!fileExists(path)) throw Error(format("The tie point file \"%s\" does not exist", path.c_str()));
    const auto bytes = readWholeFile(path, kMaxSetFileBytes);
    ConjugatePointTable t;
    const CnjLayout layout = decodeCnj(bytes, path, t);  // refuses any other size
    writeWholeFile(path + ".bak", bytes);
    writeWholeFile(path, encodeCnj(t, CnjLayout::Full));
    ctx.ui.message(loadedText(t, CnjLayout::Full) +
                   (layout == CnjLayout::Short ? "\nrewritten from the short layout" : "\nrewritten"));
}

void registerPairCommands(app::AppCore& app) {
    namespace cmd = app::cmd;
    constexpr auto area = app::CommandArea::Insar;
    // A pair made under mode 8 produces its interferogram without a reopen.
    app.registerHandler(area, cmd::kAlos2InferoGeneration,
                        {[](CommandContext& ctx) {
                             CTessarinDoc& doc = *ctx.doc;
                             if (!doc.interferometry() || !openPairOf(doc)) {
                                 ctx.ui.message("Data set is wrong.");
                                 return;
                             }
                             auto& table = doc.moduleState<TiePointState>().table;
                             loadTable(doc, table);  // refused: the table stays as it was
                             const auto* row = ctx.app.openModes().find(kOpenPairMode);
                             doc.changeOpenMode(*row);
                             showPair(doc);
                         },
                         hasDoc,
                         {}});
    app.registerHandler(area, cmd::kDisplayMtInferoComposite,
                        {[](CommandContext& ctx) {
                             CTessarinDoc& doc = *ctx.doc;
                             if (!doc.moduleState<TiePointState>().table.ready) {
                                 ctx.ui.message("Tie point Table is not ready");
                                 return;
                             }
                             if (const auto refusal = rulesOf(doc).compositeRefusal; openPairOf(doc) && !refusal.empty()) {
                                 ctx.ui.message(std::string(refusal));
                                 return;
                             }
                             if (!rulesOf(doc).rebuildsFromTable || !doc.hasData()) return;
                             doc.assembleCanvas();
                             doc.renderCanvasDisplays();
                         },
                         hasDoc,
                         {}});
    const std::pair<int, std::size_t> corners[] = {{cmd::kTopLeftCorner, 0}, {cmd::kTopRightCorner, 1},
                                                   {cmd::kBottomLeftCorner, 2}, {cmd::kBottomRightCorner, 3}};
    for (const auto& [id, k] : corners)
        app.registerHandler(area, id, {[k = k](CommandContext& ctx) { measureCorner(ctx, k); }, hasDoc, {}});
    app.registerHandler(area, cmd::kSinglePointMatching, {singlePointMatching, hasDoc, {}});
    const std::pair<int, std::size_t> pickUps[] = {{cmd::kTopLeftPickUpManual, 0}, {cmd::kTopRightPickUpManual, 1},
                                                   {cmd::kBottomLeftPickUpManual, 2}, {cmd::kBottomRightPickUpManual, 3}};
    for (const auto& [id, k] : pickUps)
        app.registerHandler(area, id, {[k = k](CommandContext& ctx) { manualPickUp(ctx, k); }, hasDoc, {}});
    app.registerHandler(area, cmd::kPureSlcInferoGeneration,
                        {[](CommandContext& ctx) { generateAtWorkingArea(*ctx.doc); }, hasDoc, {}});
    app.registerHandler(area, cmd::kPureInterferogramDisplay,
                        {[](CommandContext& ctx) {
                             generateAtWorkingArea(*ctx.doc);
                             if (rulesOf(*ctx.doc).redrawsPureProducts) {
                                 ctx.doc->assembleCanvas();
                                 ctx.doc->renderCanvasDisplays();
                             }
                         },
                         hasDoc,
                         {}});
    app.registerHandler(area, cmd::kInferoGenerationByAddressInput, {wholeScene, hasDoc, {}});
    app.registerHandler(area, cmd::kInferoConjTableRepair, {repairTable, {}, {}});
    app.registerHandler(area, cmd::kTiePositionCalcAtCKeyClickedPoint, {diagnosticCorrelation, hasDoc, {}});
    app.registerHandler(area, cmd::kCalcTiePointAdjustParameter, {adjustParameter, hasDoc, {}});
    app.registerHandler(area, cmd::kDisplayCoherenceHistogram,
                        {[](CommandContext& ctx) {
                             if (auto* view = ctx.view()) view->state().histogramShown = !view->state().histogramShown;
                         },
                         [](const CommandContext& ctx) {
                             const auto* pair = ctx.doc ? ctx.doc->findModuleState<PairState>() : nullptr;
                             return pair && pair->merged;
                         },
                         [](const CommandContext& ctx) {
                             const auto* view = ctx.view();
                             return view && view->state().histogramShown;
                         }});
}

}  // namespace

std::string tiePointFilePath(const CTessarinDoc& doc) { return tiePointPath(doc); }
std::optional<std::string> tiePointTableProblem(const CTessarinDoc& doc, const ConjugatePointTable& table) {
    return problemOf(doc, table);
}
CnjLayout loadTiePointTable(CTessarinDoc& doc, ConjugatePointTable& table) { return loadTable(doc, table); }
void createTiePointTableFromGeometry(CTessarinDoc& doc) { createGeometricTable(doc); }

void registerModule(app::AppCore& app) {
    namespace cmd = app::cmd;
    OpenModeRow newPairRow;
    newPairRow.mode = kNewPairMode;
    newPairRow.label = "Infero";
    newPairRow.message = "New ALOS2 Interferometry set open";
    newPairRow.levelCode = document::kLevelCodeComplex;
    newPairRow.channelCount = 2;
    newPairRow.complexFlag = true;
    newPairRow.existingTiles = true;
    newPairRow.interferometry = true;
    newPairRow.profileOrtho = true;
    // Side by side: each canvas holds one scene's single channel.
    newPairRow.threeChannelCanvas = false;
    newPairRow.twoImages = true;
    newPairRow.dates = ObservationDates::Two;
    newPairRow.open = openPair;
    newPairRow.assemble = assembleSideBySide;
    newPairRow.stepInclination = stepInclination;
    newPairRow.inclinationDisplay = true;
    newPairRow.tiePoints = {.fullLayoutOnCreate = true, .fullLayoutOnCalc = true, .fullLayoutOnSave = true,
                            .cornerMatchReport = true, .singleMatchReport = true, .pureProducts = true,
                            .createdMessage = "Close View and select 'Open ALOS2 Infero prj'",
                            .compositeRefusal = "Restart Program by selcting Open Alo2 Infero"};
    app.addOpenMode(newPairRow);

    OpenModeRow openPairRow = newPairRow;
    openPairRow.mode = kOpenPairMode;
    openPairRow.message = "Open ALOS2 Inteferometry set";
    openPairRow.threeChannelCanvas = true;
    openPairRow.twoImages = false;
    openPairRow.assemble = mergeWorkingArea;
    openPairRow.colourCombination = true;
    openPairRow.tiePoints = {.fullLayoutOnCreate = true, .fullLayoutOnCalc = true, .fullLayoutOnSave = true,
                             .singleMatchReport = true, .adjustParameter = true, .adjustMatchReport = true,
                             .pureProducts = true, .rebuildsFromTable = true, .redrawsPureProducts = true};
    app.addOpenMode(openPairRow);

    OpenModeRow purePair;  // pure SLC pairs
    purePair.mode = kPurePairMode;
    purePair.label = "Infero";
    purePair.levelCode = document::kLevelCodeComplex;
    purePair.channelCount = 2;
    purePair.complexFlag = true;
    purePair.existingTiles = true;
    purePair.twoImages = true;
    // Its table is written in the full layout when the pair opens and the
    // merger applies the ramp and the reverse flag it carries: a save in
    // the short layout would drop them.
    purePair.tiePoints = {.fullLayoutOnSave = true, .cornerMatchReport = true, .singleMatchReport = true,
                          .pureProducts = true, .redrawsPureProducts = true};
    purePair.inclinationDisplay = true;
    purePair.open = openPurePair;
    purePair.assemble = assemblePureSideBySide;
    app.addOpenMode(purePair);
    OpenModeRow purePairAlso;
    purePairAlso.mode = 31;
    purePairAlso.tiePoints = {.cornerMatchReport = true, .singleMatchReport = true};
    app.addOpenMode(purePairAlso);

    app.registerHandler(app::CommandArea::Insar, cmd::kNewAlos2InferoPair, {newPair, {}, {}});
    app.registerHandler(app::CommandArea::Insar, cmd::kNewPureSlcInferoPair, {newPurePair, {}, {}});
    app.registerOpenCommands(app::CommandArea::Insar);
    registerTieCommands(app);
    registerPairCommands(app);
    registerFringeCommands(app);
}

}  // namespace tessarin::insar
