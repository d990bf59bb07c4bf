// The "Polygon " menu: display toggles, deleting, the ".ply" and ".gpy"
// files beside the canvas, the list and the sigma-naught statistics.

#include <filesystem>
#include <system_error>

#include "app/app_core.h"
#include "app/command_ids.h"
#include "app/modules.h"
#include "display/poly_mgr.h"
#include "display/view_controller.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/form.h"
#include "platform/format.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "products/alos2.h"

namespace tessarin::display {

namespace {

using app::CommandContext;

// "PolygonFolder" or "GeoPolygonFolder" beside the canvas file, created
// when missing.
std::string polygonFolder(const document::CTessarinDoc& doc, const char* name) {
    const std::string folder = joinPath(splitPath(doc.canvasPath()).folder, name);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) throw Error(format("The folder \"%s\" cannot be made: %s", folder.c_str(), ec.message().c_str()));
    return folder;
}

std::string polygonPath(const CommandContext& ctx, const char* folder, const char* extension) {
    const auto& s = ctx.doc->canvasState();
    return joinPath(polygonFolder(*ctx.doc, folder), polygonFileName(s.kx0, s.ky0, extension));
}

void importPolygons(CommandContext& ctx, const char* folder, const char* extension, bool geographic) {
    const std::string expected = polygonPath(ctx, folder, extension);
    ctx.ui.message("Current matched plygon file name is\n\n  " + splitPath(expected).name);
    FileDialog dialog;
    dialog.title = geographic ? "Import Lat/lon Polygon" : "Import Poly (pix/lin)";
    dialog.filter = std::string("*") + extension;
    dialog.initialPath = expected;
    const auto chosen = ctx.ui.openFile(dialog);
    if (!chosen) return;
    const auto bytes = readWholeFile(*chosen, geographic ? kGpyBytes : kPlyBytes);
    auto& polygons = ctx.view()->polygons();
    if (geographic) {
        const auto& scene = ctx.doc->reader(0).params();
        polygons.readGpy(bytes, *chosen, [&](double lat, double lon) { return products::pixelLineOfLatLon(scene, {lat, lon}); });
    } else {
        polygons.readPly(bytes, *chosen);
    }
    ctx.view()->resetPicks();
}

void calcStatistics(CommandContext& ctx) {
    const document::CTessarinDoc& doc = *ctx.doc;
    const bool three = doc.threeChannelCanvas();
    const int channels = three ? 3 : 1;
    const int width = doc.canvas().width(), height = doc.canvas().height();
    const std::uint64_t expected =
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * static_cast<std::uint64_t>(channels) * 2;
    if (!fileExists(doc.canvasPath())) throw Error(format("There is no canvas file \"%s\" to measure", doc.canvasPath().c_str()));
    const auto bytes = readWholeFile(doc.canvasPath(), expected);
    if (bytes.size() != expected)
        throw Error(format("The canvas file \"%s\" holds %zu bytes, not the %llu of its canvas", doc.canvasPath().c_str(),
                           bytes.size(), static_cast<unsigned long long>(expected)));
    std::vector<std::uint16_t> values(bytes.size() / 2);
    for (std::size_t k = 0; k < values.size(); ++k) values[k] = static_cast<std::uint16_t>(bytes[2 * k] | bytes[2 * k + 1] << 8);
    CanvasSamples canvas;
    canvas.values = &values;
    canvas.width = width;
    canvas.height = height;
    canvas.channels = channels;
    canvas.originX = doc.canvasState().origin.x;
    canvas.originY = doc.canvasState().origin.y;
    // Complex canvases hold 2 A plus a phase bit, whatever the open mode;
    // the amplitude scale is the readout's.
    canvas.complex = doc.tileKind() == tiles::TileKind::Complex;
    canvas.divisor = doc.levelCode() == document::kLevelCodeAmplitude ? 1.0 : doc.equalizingval();
    canvas.calib_dB = doc.calib();
    canvas.reportChannels = three ? std::clamp(doc.channelCount(), 1, 3) : 1;
    const auto stats = polygonStatistics(ctx.view()->polygons(), canvas);
    const std::string report = statisticsReport(stats);
    const std::string csv = polygonPath(ctx, "PolygonFolder", ".csv");
    writeWholeFile(csv, std::vector<std::uint8_t>(report.begin(), report.end()));
    const std::string power = powerReport(stats);
    const std::string powerCsv = csv.substr(0, csv.size() - 4) + ".power.csv";
    writeWholeFile(powerCsv, std::vector<std::uint8_t>(power.begin(), power.end()));
    ctx.ui.message(report);
}

}  // namespace

void registerPolygonCommands(app::AppCore& app) {
    namespace cmd = app::cmd;
    constexpr auto area = app::CommandArea::Polygons;
    const auto viewReady = app::hasView;
    app.registerHandler(area, cmd::kDrawPolygonOnOff,
                        {[](CommandContext& ctx) { ctx.view()->state().polygonDisplay = !ctx.view()->state().polygonDisplay; },
                         [](const CommandContext& ctx) { return ctx.doc && ctx.view(); },
                         [](const CommandContext& ctx) { return ctx.view() && ctx.view()->state().polygonDisplay; }});
    app.registerHandler(area, cmd::kDrawPolyIdNumber,
                        {[](CommandContext& ctx) { ctx.view()->setPolygonNumbers(!ctx.view()->polygonNumbers()); },
                         [](const CommandContext& ctx) { return ctx.doc && ctx.view(); },
                         [](const CommandContext& ctx) { return ctx.view() && ctx.view()->polygonNumbers(); }});
    app.registerHandler(area, cmd::kDeleteAllPoly,
                        {[](CommandContext& ctx) { ctx.view()->polygons().deleteAll(); }, viewReady, {}});
    app.registerHandler(area, cmd::kDeleteAPoly,
                        {[](CommandContext& ctx) {
                             Form form("Put Delete Polygon ID");
                             form.addInt("id", "ID ", 0);
                             if (!ctx.ui.form(form)) return;
                             const long long id = form.intValue("id");
                             if (id >= 0 && id < kMaxPolygons) ctx.view()->polygons().deletePolygon(static_cast<int>(id));
                         },
                         viewReady,
                         {}});
    app.registerHandler(area, cmd::kSavePolygonLatLon,
                        {[](CommandContext& ctx) {
                             const auto& scene = ctx.doc->reader(0).params();
                             const auto bytes = ctx.view()->polygons().gpyBytes(
                                 [&](double x, double y) { return products::latLonOfPixelLine(scene, {x, y}); });
                             const std::string path = polygonPath(ctx, "GeoPolygonFolder", ".gpy");
                             writeWholeFile(path, bytes);
                             ctx.ui.status(path);
                         },
                         viewReady,
                         {}});
    app.registerHandler(area, cmd::kImportLatLonPolygon,
                        {[](CommandContext& ctx) { importPolygons(ctx, "GeoPolygonFolder", ".gpy", true); }, viewReady, {}});
    app.registerHandler(area, cmd::kSavePolyPixLin,
                        {[](CommandContext& ctx) {
                             const std::string path = polygonPath(ctx, "PolygonFolder", ".ply");
                             writeWholeFile(path, ctx.view()->polygons().plyBytes());
                             ctx.ui.status(path);
                         },
                         viewReady,
                         {}});
    app.registerHandler(area, cmd::kImportPolyPixLin,
                        {[](CommandContext& ctx) { importPolygons(ctx, "PolygonFolder", ".ply", false); }, viewReady, {}});
    app.registerHandler(area, cmd::kResetPolyStartFlag,
                        {[](CommandContext& ctx) {
                             ctx.view()->resetPicks();
                             ctx.ui.message("poly start flag is reset");
                         },
                         viewReady,
                         {}});
    app.registerHandler(area, cmd::kDisplayPolygonList,
                        {[](CommandContext& ctx) { ctx.ui.message(ctx.view()->polygons().listText()); }, viewReady, {}});
    app.registerHandler(area, cmd::kCalcPvStatistics, {calcStatistics, viewReady, {}});
    app.declareAreaComplete(area);
}

}  // namespace tessarin::display
