// Multi-temporal composites: the level 1.5 set's creation (mode 10: both
// dates side by side and the tie-point table from their geometry) and open
// (mode 6: the composite of the master and the registered second date), the
// refused complex set (mode 7), and their commands.

#include "composites/multi_temporal_module.h"

#include <algorithm>
#include <filesystem>

#include "app/app_core.h"
#include "app/command_ids.h"
#include "composites/composite_state.h"
#include "composites/multi_temporal.h"
#include "display/raw_dib.h"
#include "document/tessarin_doc.h"
#include "insar/pair_state.h"
#include "insar/tie_points.h"
#include "platform/arithmetic.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/form.h"
#include "platform/format.h"
#include "platform/text.h"
#include "platform/ui.h"

namespace tessarin::composites {

namespace {

using app::CommandContext;
using document::CTessarinDoc;
using document::ObservationDates;
using document::OpenModeRow;
using tiles::TileKind;

constexpr int kNewSetMode = 10;
constexpr int kOpenSetMode = 6;
constexpr int kComplexSetMode = 7;
constexpr long long kCompositeCentre = 2000;
constexpr const char* kTableNotReady = "Tie point Table is not ready";
constexpr const char* kSetExtension = ".mlt";
constexpr const char* kComplexSetExtension = ".cmt";

// What a multi-temporal document keeps beside the composite's own state.
struct MultiTemporalState : document::ModuleState {
    tiles::TileGrid masterGrid, secondGrid;
    bool sideBySide = false;         // the dates are shown apart, not composited
    tiles::Canvas secondCanvas;      // the second date's own canvas when they are
    std::string secondCanvasPath;
    std::optional<MultiTemporalResult> last;
    MultiTemporalBuffers buffers;  // reused by every rebuild
};

// ---- opening

// A date's leader and header copies into a channel slot; without a size or
// mapping polynomials the set cannot be registered and is refused.
void decodeDate(CTessarinDoc& doc, int slot, const Member& m) {
    auto& reader = doc.reader(slot);
    reader.setImagePath(joinPath(splitPath(m.base).folder, m.imageName));
    reader.setLeaderPath(m.leaderCopy);
    reader.DecodeLeaderFile();
    reader.DecodeImageFileDescriptor(m.headerCopy);
    const auto& p = reader.params();
    if (p.pixel <= 0 || p.line <= 0)
        throw Error(format("The header copy \"%s\" of this TileSet is missing or empty", m.headerCopy.c_str()));
    const bool mapped = std::any_of(p.pl2lat.begin(), p.pl2lat.end(), [](double c) { return c != 0.0; }) &&
                        std::any_of(p.ll2pix.begin(), p.ll2pix.end(), [](double c) { return c != 0.0; });
    if (!mapped)
        throw Error(format("The leader copy \"%s\" of this TileSet holds no mapping polynomials", m.leaderCopy.c_str()));
    doc.markSlotDecoded(slot);
}

// The common steps of modes 10 and 6 up to the displays: the set, both
// dates decoded, their grids, which tile files can be read, the scenes the
// tie-point tools measure on.
void openDates(CTessarinDoc& doc) {
    const MultiTemporalSet set = readMultiTemporalSet(doc.path());
    std::vector<Member> members{amplitudeMember(set.master, doc.path()), amplitudeMember(set.second, doc.path())};
    decodeDate(doc, 0, members[0]);
    decodeDate(doc, 1, members[1]);
    // The look side from the master's name; any other character keeps it.
    doc.reader(0).setLookDirection(members[0].base);
    doc.takeOverCalibration();
    const auto& pm = doc.reader(0).params();
    const auto& ps = doc.reader(1).params();
    const tiles::TileGrid masterGrid = tiles::TileGrid::make(pm.pixel, pm.line, doc.tpix(), doc.tlin());
    const tiles::TileGrid secondGrid = tiles::TileGrid::make(ps.pixel, ps.line, doc.tpix(), doc.tlin());

    // Everything decoded: commit.
    auto& composite = doc.moduleState<CompositeState>();
    composite.members = members;
    composite.averagedCross = false;
    composite.usable.assign(2, true);
    for (std::size_t m = 0; m < 2; ++m)
        if (const auto reason = unusableReason(composite.members[m], m == 0 ? masterGrid : secondGrid)) {
            composite.usable[m] = false;
            doc.ui().message(format("The %s TileSet cannot be used: %s; its channel stays zero",
                                    m == 0 ? "master" : "second date", reason->c_str()));
        }
    composite.overviewPath = composite.members[0].index + "FBDCompo";
    composite.cutPath = composite.members[0].base + ".cut";
    auto& mt = doc.moduleState<MultiTemporalState>();
    mt.masterGrid = masterGrid;
    mt.secondGrid = secondGrid;
    mt.secondCanvasPath = composite.members[1].base + ".cut";
    mt.secondCanvas = tiles::Canvas(doc.tpix(), doc.tlin());

    auto& ts = doc.tileSet();
    doc.setGridFrom(pm);
    ts.overviewReduction = document::kOverviewReduction;
    ts.kind = TileKind::Amplitude;
    ts.names = tiles::namesForExistingTileSet(composite.members[0].tile);
    ts.channelLabels = {"master", "second date"};
    doc.moduleState<insar::TiePointState>().scenes = {{
        {composite.members[0].tile, TileKind::Amplitude, masterGrid, pm.pixel, pm.line},
        {composite.members[1].tile, TileKind::Amplitude, secondGrid, ps.pixel, ps.line}}};
}

// The members' own single-channel canvases at ctrorigin, the master in the
// document's slots and the second date in the second image's.
void showSideBySide(CTessarinDoc& doc) {
    auto& composite = doc.moduleState<CompositeState>();
    auto& mt = doc.moduleState<MultiTemporalState>();
    auto& ts = doc.tileSet();
    const bool switched = !mt.sideBySide;
    mt.sideBySide = true;
    ts.canvasPath = composite.cutPath;
    ts.displayChannels = 1;
    ts.overviewPath.clear();  // the master's own quick-look
    const auto merge = [&](std::size_t m, const tiles::TileGrid& grid, const std::string& path, tiles::Canvas& canvas) {
        if (composite.usable.at(m)) return tiles::mergeAmplitude(doc.ctrorigin(), grid, composite.members[m].tile, path, canvas);
        std::fill(canvas.values().begin(), canvas.values().end(), 0);
        canvas.write(path);
        return tiles::blockState(static_cast<int>(floorDiv(doc.ctrorigin().x, static_cast<long long>(grid.tpix))),
                                 static_cast<int>(floorDiv(doc.ctrorigin().y, static_cast<long long>(grid.tlin))),
                                 doc.ctrorigin(), grid);
    };
    doc.setCanvasState(merge(0, mt.masterGrid, composite.cutPath, doc.canvas()));
    merge(1, mt.secondGrid, mt.secondCanvasPath, mt.secondCanvas);
    auto& slots = doc.displaySlots();
    const RasterFile second{mt.secondCanvasPath, mt.secondCanvas.width(), mt.secondCanvas.height(), 1, 2};
    for (int s : {display::slot::kSecondMain, display::slot::kSecondMagnifier})
        slots.RenderDisplaySlot(s, second, doc.workFolder(), doc.ui());
    if (switched) {
        doc.recordWorkFile(mt.secondCanvasPath);
        doc.renderOverview();
        const RasterFile look{composite.members[1].index, tiles::kQuickLookSize, tiles::kQuickLookSize, 1, 1};
        if (fileExists(look.path)) slots.RenderDisplaySlot(display::slot::kSecondOverview, look, doc.workFolder(), doc.ui());
    }
}

// The composite at ctrorigin: the corner model when asked and usable, else
// no corner displacement (the global displacement still applies).
void showComposite(CTessarinDoc& doc, bool useCorners) {
    auto& composite = doc.moduleState<CompositeState>();
    auto& mt = doc.moduleState<MultiTemporalState>();
    auto& ts = doc.tileSet();
    const bool switched = mt.sideBySide || ts.overviewPath != composite.overviewPath;
    mt.sideBySide = false;
    ts.canvasPath = composite.cutPath;
    ts.overviewPath = composite.overviewPath;
    ts.displayChannels = static_cast<int>(kCompositeChannels);
    if (switched) {
        writeWholeFile(composite.overviewPath, overviewComposite(composite.readable(), composite.plan()));
        doc.renderOverview();
    }
    MultiTemporalInput in;
    in.masterGrid = mt.masterGrid;
    in.secondGrid = mt.secondGrid;
    in.masterTile = composite.usable.at(0) ? composite.members[0].tile : std::string();
    in.secondTile = composite.usable.at(1) ? composite.members[1].tile : std::string();
    in.table = doc.moduleState<insar::TiePointState>().table;
    in.useCorners = useCorners;
    in.thirdChannelCopy = composite.thirdChannelCopy;
    BusyScope busy(doc.ui());
    const MultiTemporalResult r = buildMultiTemporalCanvas(doc.ctrorigin(), in, composite.canvas, composite.cutPath, &mt.buffers);
    doc.setCanvasState(r.state);
    doc.ui().status(registrationText(r));
    mt.last = r;
}

// Whether the table can drive the composite; a layout that cannot be
// blended is named.
bool tableUsable(CTessarinDoc& doc) {
    const auto& table = doc.moduleState<insar::TiePointState>().table;
    if (!table.ready) return false;
    if (const auto problem = insar::tiePointTableProblem(doc, table)) {
        doc.ui().message(std::string("Tie point list is not ready: ") + *problem);
        return false;
    }
    return true;
}

// Mode 6's canvas after a move, a tile selection or a change of the table:
// the composite when the table is ready, else the dates side by side.
void assembleMultiTemporal(CTessarinDoc& doc) {
    if (tableUsable(doc)) showComposite(doc, true);
    else showSideBySide(doc);
}

// Mode 10 shows the dates side by side whatever the table.
void assembleNewSet(CTessarinDoc& doc) { showSideBySide(doc); }

bool openNewSet(CTessarinDoc& doc) {
    openDates(doc);
    doc.moduleState<insar::TiePointState>().table.ready = false;
    doc.setCtrorigin({document::kDefaultCentre, document::kDefaultCentre});
    doc.assembleCanvas();
    doc.renderCanvasDisplays();
    doc.openState().hasData = true;
    insar::createTiePointTableFromGeometry(doc);
    return true;
}

bool openSet(CTessarinDoc& doc) {
    openDates(doc);
    auto& table = doc.moduleState<insar::TiePointState>().table;
    try {
        insar::loadTiePointTable(doc, table);
    } catch (const Error& e) {
        table.ready = false;
        doc.ui().message(std::string(kTableNotReady) + "\n" + e.what());
    }
    doc.setCtrorigin({kCompositeCentre, kCompositeCentre});
    // Without a usable table the dates are still composited, unregistered
    // but for the global displacement, so that the open shows the composite.
    showComposite(doc, tableUsable(doc));
    doc.renderCanvasDisplays();
    doc.openState().hasData = true;
    return true;
}

bool refuseComplexSet(CTessarinDoc& doc) {
    doc.ui().message("Restart program as Inteferometry mode");
    doc.ui().message("Process image as Interferpmetry. Restart program..");
    return false;
}

bool claimsSet(const std::string& path) { return endsWith(path, kSetExtension); }

// ---- commands

std::optional<std::string> ask(CommandContext& ctx, const char* title, const char* filter, bool save) {
    FileDialog dialog;
    dialog.title = title;
    dialog.filter = filter;
    return save ? ctx.ui.saveFile(dialog) : ctx.ui.openFile(dialog);
}

std::string withExtension(const std::string& chosen, const char* extension) {
    return endsWith(chosen, extension) ? chosen : chosen + extension;
}

void openUnder(CommandContext& ctx, int mode, const std::string& path) {
    ctx.app.linkBlock().writeOpenMode(mode);
    ctx.app.openDocument(path);
}

// "New ALOS2L1.5 MT Compo": the set's name and both dates; nothing is
// written until all three are known and both are amplitude TileSets.
void newSet(CommandContext& ctx) {
    const auto name = ask(ctx, "Put Mulitemporal images set Name", "*.mlt", true);
    if (!name) return;
    const auto master = ask(ctx, "Select master tile file", "*.*tile", false);
    if (!master) return;
    const auto second = ask(ctx, "Select second date tile file", "*.*tile", false);
    if (!second) return;
    const std::string path = std::filesystem::absolute(withExtension(*name, kSetExtension)).string();
    MultiTemporalSet set{std::filesystem::absolute(*master).string(), std::filesystem::absolute(*second).string()};
    amplitudeMember(set.master, path);  // refused before anything is written
    amplitudeMember(set.second, path);
    writeMultiTemporalSet(path, set);  // a failed write stops here
    openUnder(ctx, kNewSetMode, path);
}

// "Open ALOS2L1.5 MT Compo" with the save-style dialog: it picks an
// existing set, so a name that does not exist is refused.
void openExistingSet(CommandContext& ctx) {
    const auto name = ask(ctx, "Put Mulitemporal images set Name", "*.mlt", true);
    if (!name) return;
    if (!fileExists(*name)) {
        ctx.ui.message(format("The multi-temporal set \"%s\" does not exist", name->c_str()));
        return;
    }
    openUnder(ctx, kOpenSetMode, *name);
}

// "ALOS2L1.1 MT Compo": the complex set is named and written, then refused
// by its open (complex dates are an interferometric pair).
void newComplexSet(CommandContext& ctx) {
    const auto name = ask(ctx, "Put Multi temporal(cpx) images set Name", "*.cmt", true);
    if (!name) return;
    Form form("Multi Temporal Composite");
    form.addRadio("files", "Files", {"Dual Files", "Triple Files"}, 0);
    if (!ctx.ui.form(form)) return;
    ComplexMultiTemporalSet set;
    set.count = form.choice("files") == 1 ? 3 : 2;
    const auto master = ask(ctx, "Select master tile file", "*cpx", false);
    if (!master) return;
    const auto slave = ask(ctx, "Select slave tile file", "*cpx", false);
    if (!slave) return;
    set.master = std::filesystem::absolute(*master).string();
    set.slave = std::filesystem::absolute(*slave).string();
    if (set.count == 3) {
        const auto third = ask(ctx, "Select 3rd date tile file", "*cpx", false);
        if (!third) return;
        set.third = std::filesystem::absolute(*third).string();
    }
    const std::string path = std::filesystem::absolute(withExtension(*name, kComplexSetExtension)).string();
    writeComplexMultiTemporalSet(path, set);
    openUnder(ctx, kComplexSetMode, path);
}

}  // namespace

void addMultiTemporalModes(app::AppCore& app) {
    OpenModeRow open;
    open.mode = kOpenSetMode;
    open.label = "AmpMT";
    open.message = "Open ALOS2 L1.5 Multi Temporal Tile Open";
    open.levelCode = document::kLevelCodeAmplitude;
    open.channelCount = 2;
    open.displayType = 2;
    open.amplitudeFlag = true;
    open.existingTiles = true;
    open.threeChannelCanvas = true;
    open.dates = ObservationDates::Two;
    open.tiePoints = {.adjustParameter = true, .rebuildsFromTable = true};
    open.open = openSet;
    open.assemble = assembleMultiTemporal;
    open.claims = claimsSet;
    // Without a ready table the dates are shown apart and V switches them.
    open.secondImageShown = [](const CTessarinDoc& doc) {
        const auto* mt = doc.findModuleState<MultiTemporalState>();
        return mt && mt->sideBySide;
    };
    app.addOpenMode(open);

    OpenModeRow complexSet;
    complexSet.mode = kComplexSetMode;
    complexSet.label = "CpxMT";
    complexSet.message = "Open L1.1 Multi Temporal Tile Open";
    complexSet.levelCode = document::kLevelCodeComplex;
    complexSet.threeChannelCanvas = true;
    complexSet.dates = ObservationDates::Two;
    complexSet.open = refuseComplexSet;
    complexSet.tiePoints = {.fullLayoutOnCreate = true, .fullLayoutOnCalc = true, .cornerMatchReport = true,
                            .singleMatchReport = true, .adjustParameter = true, .adjustMatchReport = true};
    app.addOpenMode(complexSet);

    OpenModeRow create;
    create.mode = kNewSetMode;
    create.label = "AmpMT";
    create.message = "Open ALOS2 L1.5 Multi Temporal Tile Creation";
    create.levelCode = document::kLevelCodeAmplitude;
    create.channelCount = 2;
    create.amplitudeFlag = true;
    create.existingTiles = true;
    create.twoImages = true;
    create.dates = ObservationDates::Two;
    create.tiePoints = {.createdMessage = "Close View and select 'Open ALOS2L1.5 MT Compo'"};
    create.open = openNewSet;
    create.assemble = assembleNewSet;
    app.addOpenMode(create);
}

void registerMultiTemporalCommands(app::AppCore& app) {
    namespace cmd = app::cmd;
    constexpr auto area = app::CommandArea::Composites;
    app.registerHandler(area, cmd::kNewAlos2L15MtComposite, {newSet, {}, {}});
    app.registerHandler(area, cmd::kOpenMultiTemporalSet, {openExistingSet, {}, {}});
    app.registerHandler(area, cmd::kAlos2L11MtComposite, {newComplexSet, {}, {}});
}

}  // namespace tessarin::composites
