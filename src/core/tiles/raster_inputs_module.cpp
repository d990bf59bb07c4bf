// The raw complex raster inputs: a raster described by hand and tiled like a
// level 1.1 scene (mode 26), its header-stripping cut (mode 29), raster
// TileSets reopened through their ".hdr" (mode 12), and "Save Pure Tile
// Image", two raster TileSets overlaid (mode 16), and the tiling project of
// mode 28, which opens nothing. Mode 27 is known and opens an empty document.

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>
#include <utility>

#include "app/app_core.h"
#include "app/command_ids.h"
#include "app/modules.h"
#include "display/raw_dib.h"
#include "platform/archive_string.h"
#include "platform/bytes.h"
#include "document/module_state.h"
#include "document/tessarin_doc.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "tiles/canvas.h"
#include "tiles/raw_raster.h"

namespace tessarin::tiles {

namespace {

using app::CommandContext;
using document::CTessarinDoc;
using document::OpenModeRow;

constexpr std::string_view kComplexTileSuffix = "tile.cpx";
constexpr std::string_view kProjectSuffix = ".prj";
constexpr long long kRasterCentre = 1000;  // the first canvas of a raster just tiled

// What a document opened from a raster keeps.
struct RasterState : document::ModuleState {
    bool fromRaster = false;  // mode 26: "Save Pure Tile Image" applies
    RasterParameters params;  // as tiled, with the amplitude scale in use
    std::string headerPath;   // the TileSet's ".hdr"
    // Mode 16: the second TileSet, shown in the second display slots.
    TileGrid secondGrid;
    std::string secondTile, secondCanvasPath;
    Canvas secondCanvas;
};

std::string projectPathFor(const std::string& path) {
    return endsWith(path, kProjectSuffix) ? path : path + std::string(kProjectSuffix);
}

std::string withoutSuffix(const std::string& s, std::string_view suffix) {
    return s.size() >= suffix.size() ? s.substr(0, s.size() - suffix.size()) : std::string();
}

// The raster size against its file: refused when the file is missing or
// holds no line, a warning when it is short (the missing lines tile as zeros).
void checkRasterFile(const RasterParameters& p, Ui& ui) {
    checkRasterParameters(p);
    const std::uint64_t size = File(p.rasterPath, File::Mode::Read).size();
    const std::uint64_t need = rasterBytesNeeded(p);
    if (size >= need) return;
    const std::uint64_t first = static_cast<std::uint64_t>(p.fileheader) + static_cast<std::uint64_t>(p.lineheader) +
                                kRasterSampleBytes * static_cast<std::uint64_t>(p.pixel);
    if (size < first)
        throw Error(format("\"%s\" holds %llu bytes, less than one line of the stated raster (%llu bytes needed)",
                           p.rasterPath.c_str(), static_cast<unsigned long long>(size),
                           static_cast<unsigned long long>(need)));
    ui.message(format("\"%s\" holds %llu of the %llu bytes the stated raster needs; the lines past its end are left "
                      "zero",
                      p.rasterPath.c_str(), static_cast<unsigned long long>(size),
                      static_cast<unsigned long long>(need)));
}

void assembleOnGrid(CTessarinDoc& doc) {
    const auto& ts = doc.tileSet();
    doc.setCanvasState(mergeComplexOnGrid(doc.ctrorigin(), ts.grid, ts.names.tile, ts.canvasPath, doc.canvas()));
}

TileSetNames rasterTileNames(const std::string& tilePath, const std::string& canvasPath) {
    TileSetNames n;
    const SplitPath sp = splitPath(tilePath);
    n.folder = sp.folder;
    n.imageName = withoutSuffix(sp.name, kComplexTileSuffix);
    n.rest = n.imageName;
    n.tile = tilePath;
    n.quickLook = withoutSuffix(tilePath, kComplexTileSuffix) + ".idx";
    n.canvas = canvasPath;
    return n;
}

void showTileSet(CTessarinDoc& doc, const TileSetNames& names, const TileGrid& grid, GlobalPoint centre) {
    auto& ts = doc.tileSet();
    ts.names = names;
    ts.kind = TileKind::Complex;
    ts.grid = grid;
    ts.bucketX = grid.pixel / kQuickLookSize;
    ts.bucketY = grid.line / kQuickLookSize;
    ts.overviewReduction = document::kOverviewReduction;
    ts.channelLabels = {};
    if (fileExists(names.quickLook)) doc.renderOverview();
    ts.canvasPath = names.canvas;
    doc.setCtrorigin(centre);
    doc.assembleCanvas();
    doc.renderCanvasDisplays();
    doc.openState().hasData = true;
}

// Mode 26: estimate the amplitude scale, tile the raster into the work
// folder with its ".hdr", and show it.
bool openPureRaster(CTessarinDoc& doc) {
    Ui& ui = doc.ui();
    const std::string projectPath = projectPathFor(doc.path());
    RasterParameters p = readRasterProject(projectPath);
    checkRasterFile(p, ui);
    const AmplitudeEstimate e = estimateAmplitude(p);
    p.equalizingval = e.equalizingval;
    if (e.skipped > 0)
        ui.message(format("%lld samples of the estimation grid are not finite numbers; they were left out of the mean",
                          e.skipped));

    std::error_code ec;
    std::filesystem::create_directories(doc.workFolder(), ec);
    const TileSetNames names = namesForNewTileSet(p.rasterPath, doc.workFolder(), TileKind::Complex);
    ConversionOptions options;
    options.tpix = doc.tpix();
    options.tlin = doc.tlin();
    options.equalizingval = p.equalizingval;
    options.phaseSign = doc.phaseSign();
    AtomicFile tileOut(names.tile);
    AtomicFile quickOut(names.quickLook);
    ui.status("Tiling process start");
    const ConversionResult conv = convertComplex(rasterLayout(p), tileOut, quickOut, ui, options);
    const std::string headerPath = rasterHeaderPathOf(names.tile);
    AtomicFile headerOut(headerPath);
    headerOut.file().write(rasterHeaderText({p.pixel, p.line, p.byteSwap}));
    tileOut.commit();
    quickOut.commit();
    headerOut.commit();
    writeRasterProject(projectPath, p);
    const double samples = static_cast<double>(p.pixel) * static_cast<double>(p.line);
    ui.status(format("amplitude scale %.6g (mean magnitude %.6g over %lld samples); %llu of %.0f samples (%.4f %%) at "
                     "the top amplitude code",
                     p.equalizingval, e.meanMagnitude, e.samples, static_cast<unsigned long long>(conv.saturated),
                     samples, 100.0 * static_cast<double>(conv.saturated) / samples));

    auto& state = doc.moduleState<RasterState>();
    state.fromRaster = true;
    state.params = p;
    state.headerPath = headerPath;
    doc.setEqualizingval(p.equalizingval);
    TileSetNames shown = names;
    shown.headerCopy.clear();
    shown.leaderCopy.clear();
    shown.volume.clear();
    showTileSet(doc, shown, conv.grid, {kRasterCentre, kRasterCentre});
    return true;
}

// Mode 29: the raster without its headers beside it ("PurRaster").
bool cutPureRaster(CTessarinDoc& doc) {
    const RasterParameters p = readRasterProject(projectPathFor(doc.path()));
    cutRasterHeaders(p, p.rasterPath + "PurRaster", doc.ui());
    doc.ui().message("pure cut complete");
    return true;
}

// Opens the raster TileSet at tilePath through its ".hdr" for channel slot s.
void openRasterTileSetSlot(CTessarinDoc& doc, const std::string& tilePath, int slot) {
    if (!endsWith(tilePath, kComplexTileSuffix))
        throw Error(format("\"%s\" is not a complex tile file (its name must end in \"tile.cpx\")", tilePath.c_str()));
    const std::string headerPath = rasterHeaderPathOf(tilePath);
    const RasterHeader h = readRasterHeader(headerPath);
    const TileGrid grid = TileGrid::make(h.pixel, h.line, doc.tpix(), doc.tlin());
    const std::uint64_t tileBytes = File(tilePath, File::Mode::Read).size();
    if (tileBytes < grid.fileBytes(TileKind::Complex))
        doc.ui().message(format("\"%s\" holds %llu of the %llu bytes its header's %d x %d samples need; the missing "
                                "tiles show as zeros",
                                tilePath.c_str(), static_cast<unsigned long long>(tileBytes),
                                static_cast<unsigned long long>(grid.fileBytes(TileKind::Complex)), h.pixel, h.line));
    auto& state = doc.moduleState<RasterState>();
    state.headerPath = headerPath;
    state.params = {};
    state.params.pixel = h.pixel;
    state.params.line = h.line;
    state.params.byteSwap = h.byteOrder == 1 ? 1 : 0;
    // A TileSet saved with its project carries the amplitude scale it was
    // packed with; the readout divides by it.
    const std::string project = tilePath + std::string(kProjectSuffix);
    if (fileExists(project)) {
        const RasterParameters saved = readRasterProject(project);
        if (std::isfinite(saved.equalizingval) && saved.equalizingval > 0.0) doc.setEqualizingval(saved.equalizingval);
        state.params = saved;
    }
    const std::string quickLook = withoutSuffix(tilePath, kComplexTileSuffix) + ".idx";
    const std::string canvas = withoutSuffix(quickLook, "idx") + format("ID%d_.cut", slot);
    showTileSet(doc, rasterTileNames(tilePath, canvas), grid, {document::kDefaultCentre, document::kDefaultCentre});
}

bool openRasterTileSet(CTessarinDoc& doc) {
    openRasterTileSetSlot(doc, doc.path(), 0);
    return true;
}

// Mode 27: a saved raster TileSet reopened through its project
// ("<name>tile.cpx.prj", written by "Save Pure Tile Image"), as mode 12
// opens it through its tile file.
bool openTileProject(CTessarinDoc& doc) {
    const std::string& project = doc.path();
    const std::string tileProject = std::string(kComplexTileSuffix) + std::string(kProjectSuffix);
    if (endsWith(project, "PINF.prj"))
        throw Error(format("\"%s\" is the project of a pure SLC pair: open it with \"Open Pure SLC Infero prj\"",
                           project.c_str()));
    if (!endsWith(project, tileProject))
        throw Error(format("\"%s\" is not the project of a saved raster TileSet (its name must end in \"%s\"); a "
                           "raster's own project opens with \"Pure SLC Raster Image (flt point)\"",
                           project.c_str(), tileProject.c_str()));
    const std::string tile = project.substr(0, project.size() - kProjectSuffix.size());
    if (!fileExists(tile))
        throw Error(format("The tile file \"%s\" of the project \"%s\" does not exist", tile.c_str(), project.c_str()));
    openRasterTileSetSlot(doc, tile, 0);
    return true;
}

// ---- mode 16: the overlay project (an int32 count, then one or two tile paths)

std::vector<std::string> readOverlayProject(const std::string& path) {
    const auto bytes = readWholeFile(path, 1u << 20);
    ByteReader r(bytes, path);
    std::vector<std::string> tiles;
    std::int32_t count = 0;
    try {
        count = r.le<std::int32_t>();
    } catch (const Error& e) {
        throw Error(format("\"%s\" is not an overlay project: %s", path.c_str(), e.what()));
    }
    if (count < 1 || count > 2)
        throw Error(format("\"%s\" names %d TileSets; an overlay takes one or two", path.c_str(), count));
    try {
        for (std::int32_t k = 0; k < count; ++k) tiles.push_back(readArchiveString(r));
    } catch (const Error& e) {
        throw Error(format("\"%s\" is not an overlay project: %s", path.c_str(), e.what()));
    }
    return tiles;
}

void writeOverlayProject(const std::string& path, const std::vector<std::string>& tiles) {
    ByteWriter w;
    w.le<std::int32_t>(static_cast<std::int32_t>(tiles.size()));
    for (const auto& t : tiles) writeArchiveString(w, t);
    writeWholeFile(path, w.buffer());
}

void assembleOverlay(CTessarinDoc& doc) {
    assembleOnGrid(doc);
    auto& state = doc.moduleState<RasterState>();
    if (state.secondTile.empty()) return;
    mergeComplexOnGrid(doc.ctrorigin(), state.secondGrid, state.secondTile, state.secondCanvasPath, state.secondCanvas);
    const RasterFile second{state.secondCanvasPath, state.secondCanvas.width(), state.secondCanvas.height(), 1, 2};
    for (int s : {display::slot::kSecondMain, display::slot::kSecondMagnifier})
        doc.displaySlots().RenderDisplaySlot(s, second, doc.workFolder(), doc.ui());
}

// Opens the first TileSet for slot 0 and the second for slot 1; both share
// the canvas position, so they pan together.
bool openOverlay(CTessarinDoc& doc) {
    const std::vector<std::string> tiles = readOverlayProject(doc.path());
    auto& state = doc.moduleState<RasterState>();
    if (tiles.size() == 2) {
        const std::string& second = tiles[1];
        if (!endsWith(second, kComplexTileSuffix))
            throw Error(format("\"%s\" is not a complex tile file (its name must end in \"tile.cpx\")", second.c_str()));
        const RasterHeader h = readRasterHeader(rasterHeaderPathOf(second));
        state.secondGrid = TileGrid::make(h.pixel, h.line, doc.tpix(), doc.tlin());
        state.secondTile = second;
        const std::string quickLook = withoutSuffix(second, kComplexTileSuffix) + ".idx";
        state.secondCanvasPath = withoutSuffix(quickLook, "idx") + "ID1_.cut";
        state.secondCanvas = Canvas(doc.tpix(), doc.tlin());
        if (fileExists(quickLook))
            doc.displaySlots().RenderDisplaySlot(display::slot::kSecondOverview,
                                                 {quickLook, kQuickLookSize, kQuickLookSize, 1, 1}, doc.workFolder(),
                                                 doc.ui());
    }
    openRasterTileSetSlot(doc, tiles[0], 0);
    return true;
}

// "Dual SLC Tile Overlay": the project name, the two TileSets, the open.
void overlayCommand(CommandContext& ctx) {
    FileDialog dialog;
    dialog.title = "Put dual cpx images set Name";
    dialog.filter = "*.cmt";
    const auto project = ctx.ui.saveFile(dialog);
    if (!project) return;
    dialog.filter = "cpx tile Files (*slctile.cpx)|*slctile.cpx||";
    dialog.title = "Select master tile file";
    const auto first = ctx.ui.openFile(dialog);
    if (!first) return;
    dialog.title = "Select slave tile file";
    const auto second = ctx.ui.openFile(dialog);
    if (!second) return;
    const std::string path = endsWith(*project, ".cmt") ? *project : *project + ".cmt";
    writeOverlayProject(path, {std::filesystem::absolute(*first).string(), std::filesystem::absolute(*second).string()});
    ctx.app.linkBlock().writeOpenMode(16);
    ctx.app.openDocument(path);
}

// ---- mode 28: a tiling project (the raster, its size, a tile size, the
// spacings and the byte order); the raster is not opened.

constexpr std::string_view kTilingProjectSuffix = ".tprj";

struct TilingProject {
    std::string rasterPath;
    int pixel = 0, line = 0, tilePixels = 0, tileLines = 0;
    double pixSpace = 0.0, lineSpace = 0.0, minSlantRange = 0.0;
    int byteSwap = 0;
};

void writeTilingProject(const std::string& path, const TilingProject& t) {
    ByteWriter w;
    writeArchiveString(w, t.rasterPath);
    for (const int v : {t.pixel, t.line, t.tilePixels, t.tileLines}) w.le<std::int32_t>(v);
    for (const double v : {t.pixSpace, t.lineSpace, t.minSlantRange}) w.le<double>(v);
    w.le<std::int32_t>(t.byteSwap);
    writeWholeFile(path, w.buffer());
}

TilingProject readTilingProject(const std::string& path) {
    const auto bytes = readWholeFile(path, 1u << 20);
    ByteReader r(bytes, path);
    TilingProject t;
    try {
        t.rasterPath = readArchiveString(r);
        for (int* v : {&t.pixel, &t.line, &t.tilePixels, &t.tileLines}) *v = r.le<std::int32_t>();
        for (double* v : {&t.pixSpace, &t.lineSpace, &t.minSlantRange}) *v = r.le<double>();
        t.byteSwap = r.le<std::int32_t>();
    } catch (const Error& e) {
        throw Error(format("\"%s\" is not a tiling project: %s", path.c_str(), e.what()));
    }
    return t;
}

bool openTilingProject(CTessarinDoc& doc) {
    doc.ui().message("original tile with arbitral tile size");
    const std::string path = endsWith(doc.path(), kTilingProjectSuffix) ? doc.path()
                                                                          : doc.path() + std::string(kTilingProjectSuffix);
    const TilingProject t = readTilingProject(path);
    doc.ui().status(format("\"%s\": %d x %d samples in tiles of %d x %d; this project opens no image", t.rasterPath.c_str(),
                           t.pixel, t.line, t.tilePixels, t.tileLines));
    return true;
}

void tilingCommand(CommandContext& ctx) {
    ctx.ui.message("Select pure cpx image to open");
    FileDialog dialog;
    dialog.title = "Put Image prj file";
    const auto chosen = ctx.ui.openFile(dialog);
    if (!chosen) return;
    Form form("Tiling parameter");
    form.addInt("pixel", "Pixel", 0)
        .addInt("line", "Line", 0)
        .addInt("tilePixels", "Tile pixels", kTileSize)
        .addInt("tileLines", "Tile lines", kTileSize)
        .addReal("pixSpace", "pix space (m)", 0.0)
        .addReal("lineSpace", "line space (m)", 0.0)
        .addReal("minSlantRange", "Min slant range (m)", 0.0)
        .addRadio("byteOrder", "Byte Order", {"No Byte Swap", "Bye Swap"}, 0);
    if (!ctx.ui.form(form)) return;
    TilingProject t;
    t.rasterPath = *chosen;
    const auto positive = [&](const char* name) {
        const long long v = form.intValue(name);
        if (v <= 0 || v > kMaxRasterLines) throw Error(format("Tiling parameter: %s %lld is out of range", name, v));
        return static_cast<int>(v);
    };
    t.pixel = positive("pixel");
    t.line = positive("line");
    t.tilePixels = positive("tilePixels");
    t.tileLines = positive("tileLines");
    t.pixSpace = form.realValue("pixSpace");
    t.lineSpace = form.realValue("lineSpace");
    t.minSlantRange = form.realValue("minSlantRange");
    t.byteSwap = form.choice("byteOrder");
    const std::string path = *chosen + std::string(kTilingProjectSuffix);
    writeTilingProject(path, t);
    ctx.app.linkBlock().writeOpenMode(28);
    ctx.app.openDocument(path);
}

// "Pure SLC Raster Image (flt point)" and "ALOS/ALOS2 Pure Cut": the raster,
// its parameters, the project beside it, then the open.
void rasterCommand(CommandContext& ctx, int mode, const char* notice) {
    ctx.ui.message(notice);
    FileDialog dialog;
    dialog.title = "Put Image prj file";
    const auto chosen = ctx.ui.openFile(dialog);
    if (!chosen) return;
    const std::string rasterPath = endsWith(*chosen, kProjectSuffix) ? withoutSuffix(*chosen, kProjectSuffix) : *chosen;
    RasterParameters p;
    p.rasterPath = rasterPath;
    const std::string projectPath = rasterPath + std::string(kProjectSuffix);
    if (fileExists(projectPath)) {
        try {
            p = readRasterProject(projectPath);
            p.rasterPath = rasterPath;
        } catch (const Error&) {
            p = RasterParameters{};  // a damaged project is replaced; its values are not offered
            p.rasterPath = rasterPath;
        }
    }
    Form form("Image Parameter");
    form.addInt("pixel", "Pixel", p.pixel)
        .addInt("line", "Line", p.line)
        .addReal("pixSpace", "pix space (m)", p.pixSpace)
        .addReal("lineSpace", "line space (m)", p.lineSpace)
        .addReal("minSlantRange", "Min slant range (m)", p.minSlantRange)
        .addInt("fileHeader", "File Header size", p.fileheader)
        .addInt("lineHeader", "Line Header size", p.lineheader)
        .addInt("lineBytes", "LineBytes (0: Line Header size + 8 x Pixel)", p.linebytes)
        .addRadio("byteOrder", "Byte Order", {"No Byte Swap", "Bye Swap"}, p.byteSwap == 1 ? 1 : 0);
    if (!ctx.ui.form(form)) return;
    const auto asInt = [&](const char* name) {
        const long long v = form.intValue(name);
        if (v < INT_MIN || v > INT_MAX) throw Error(format("Image Parameter: %s %lld is out of range", name, v));
        return static_cast<int>(v);
    };
    p.pixel = asInt("pixel");
    p.line = asInt("line");
    p.pixSpace = form.realValue("pixSpace");
    p.lineSpace = form.realValue("lineSpace");
    p.minSlantRange = form.realValue("minSlantRange");
    p.fileheader = asInt("fileHeader");
    p.lineheader = asInt("lineHeader");
    p.linebytes = asInt("lineBytes");
    if (p.linebytes == 0 && p.pixel > 0 && p.lineheader >= 0 && p.pixel <= kMaxRasterPixels)
        p.linebytes = p.lineheader + static_cast<int>(kRasterSampleBytes) * p.pixel;
    p.byteSwap = form.choice("byteOrder");
    p.equalizingval = 1.0;
    checkRasterFile(p, ctx.ui);
    writeRasterProject(projectPath, p);
    ctx.app.linkBlock().writeOpenMode(mode);
    ctx.app.openDocument(projectPath);
}

// Copies `from` to `to` under a temporary name and renames it; the sizes are
// compared before anything is removed.
void copyChecked(const std::string& from, const std::string& to) {
    {
        AtomicFile out(to);
        File in(from, File::Mode::Read);
        std::vector<std::uint8_t> buf(4u << 20);
        for (;;) {
            const std::size_t got = in.readSome(buf);
            if (got == 0) break;
            out.file().write(std::span<const std::uint8_t>(buf.data(), got));
        }
        out.commit();
    }
    const std::uint64_t a = File(from, File::Mode::Read).size(), b = File(to, File::Mode::Read).size();
    if (a != b)
        throw Error(format("copying \"%s\" to \"%s\" gave %llu of %llu bytes; the original is kept", from.c_str(),
                           to.c_str(), static_cast<unsigned long long>(b), static_cast<unsigned long long>(a)));
}

// "Save Pure Tile Image": the project beside the chosen tile name, then the
// tile file, quick-look and header moved there (copied, checked, and only
// then removed from the work folder).
void savePureTileImage(CommandContext& ctx) {
    CTessarinDoc& doc = *ctx.doc;
    auto& state = doc.moduleState<RasterState>();
    const TileSetNames& names = doc.tileNames();
    FileDialog dialog;
    dialog.title = "Save Pure Tile Image";
    dialog.filter = "*tile.cpx)|*tile.cpx|all(*.*)|*.*||";
    dialog.initialPath = names.tile;
    auto chosen = ctx.ui.saveFile(dialog);
    if (!chosen) return;
    std::string target = *chosen;
    if (!endsWith(target, kComplexTileSuffix)) target += std::string(kComplexTileSuffix);
    RasterParameters p = state.params;
    p.equalizingval = doc.equalizingval();
    const std::string targetBase = withoutSuffix(target, kComplexTileSuffix);
    std::error_code ec;
    const bool same = std::filesystem::equivalent(target, names.tile, ec);
    if (!same) {
        const std::pair<std::string, std::string> moves[] = {{names.tile, target},
                                                             {names.quickLook, targetBase + ".idx"},
                                                             {state.headerPath, targetBase + ".hdr"}};
        for (const auto& [from, to] : moves)
            if (fileExists(from)) copyChecked(from, to);
        writeRasterProject(target + std::string(kProjectSuffix), p);
        for (const auto& [from, to] : moves) removeFile(from);
        auto& ts = doc.tileSet();
        ts.names.tile = target;
        ts.names.quickLook = targetBase + ".idx";
        ts.names.folder = splitPath(target).folder;
        state.headerPath = targetBase + ".hdr";
    } else {
        writeRasterProject(target + std::string(kProjectSuffix), p);
    }
    ctx.ui.status(format("saved \"%s\" and its project", target.c_str()));
}

}  // namespace

void registerRasterModule(app::AppCore& app) {
    using app::CommandArea;
    const document::TiePointRules none{}, reporting{.cornerMatchReport = true, .singleMatchReport = true};

    OpenModeRow raster;  // mode 26
    raster.mode = 26;
    raster.levelCode = document::kLevelCodeComplex;
    raster.channelCount = 1;
    raster.displayType = 1;
    raster.complexFlag = true;
    raster.tiePoints = reporting;
    raster.open = openPureRaster;
    raster.assemble = assembleOnGrid;
    app.addOpenMode(raster);

    OpenModeRow tileSet = raster;  // mode 12
    tileSet.mode = 12;
    tileSet.existingTiles = true;
    tileSet.tiePoints = {.fullLayoutOnCreate = true};
    tileSet.open = openRasterTileSet;
    app.addOpenMode(tileSet);

    OpenModeRow cut;  // mode 29: nothing is displayed
    cut.mode = 29;
    cut.open = cutPureRaster;
    app.addOpenMode(cut);

    OpenModeRow pureTile = tileSet;  // mode 27: the TileSet of mode 12 through its project
    pureTile.mode = 27;
    pureTile.tiePoints = reporting;
    pureTile.open = openTileProject;
    app.addOpenMode(pureTile);
    OpenModeRow tiling;  // mode 28: the tiling project, nothing displayed
    tiling.mode = 28;
    tiling.tiePoints = none;
    tiling.open = openTilingProject;
    app.addOpenMode(tiling);
    OpenModeRow overlay = tileSet;  // two raw-raster TileSets overlaid
    overlay.mode = 16;
    overlay.channelCount = 2;
    overlay.open = openOverlay;
    overlay.assemble = assembleOverlay;
    overlay.twoImages = true;
    overlay.showsImageName = true;
    overlay.tiePoints = {.fullLayoutOnCreate = true, .cornerMatchReport = true, .singleMatchReport = true};
    app.addOpenMode(overlay);

    app.registerHandler(CommandArea::Rasters, app::cmd::kPureSlcRasterImage,
                        {[](CommandContext& ctx) { rasterCommand(ctx, 26, "Select pure cpx image to open"); }, {}, {}});
    app.registerHandler(CommandArea::Rasters, app::cmd::kAlosAlos2PureCut,
                        {[](CommandContext& ctx) { rasterCommand(ctx, 29, "Select pure cpx image to Convert"); }, {}, {}});
    app.registerHandler(CommandArea::Rasters, app::cmd::kDualSlcTileOverlay, {overlayCommand, {}, {}});
    app.registerHandler(CommandArea::Rasters, app::cmd::kPureSlcTileImage, {tilingCommand, {}, {}});
    app.registerHandler(CommandArea::Rasters, app::cmd::kSavePureTileImage,
                        {savePureTileImage,
                         [](const CommandContext& ctx) {
                             if (!app::hasData(ctx)) return false;
                             const auto* s = ctx.doc->findModuleState<RasterState>();
                             return s && s->fromRaster;
                         },
                         {}});
    app.registerOpenCommands(CommandArea::Rasters);
}

}  // namespace tessarin::tiles
