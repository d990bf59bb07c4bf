// The handlers of the commands whose processing is built.

#include <algorithm>
#include <cctype>

#include "app/app_core.h"
#include "app/application.h"
#include "display/view_controller.h"
#include "platform/error.h"
#include "platform/ui.h"
#include "geometry/earth_table.h"
#include "geometry/reports.h"
#include "imagefiles/png_output.h"
#include "imagefiles/tif_gen.h"
#include "platform/text.h"
#include "platform/work_folder.h"
#include "tiles/tile_store.h"

namespace tessarin::app {

namespace {

constexpr int kScanSarCommand = 32966;
constexpr int kComplexMultiTemporalCommand = 32802;
constexpr int kBmp2PngCommand = 32891;
constexpr int kAboutCommand = 57664;
constexpr int kExitCommand = 57665;
constexpr int kCpxPhaseCommand = 32784;
constexpr int kSaveTileImageCommand = 32792;
constexpr int kObservationDateTimeCommand = 32897;
constexpr int kSceneFrameParameterCommand = 32898;
constexpr int kCurrentTileIdCommand = 32918;
constexpr int kCheckOrbitCommand = 32972;
constexpr int kEarthTableCommand = 32839;
constexpr int kDecodeGeoTiffHeaderCommand = 32878;
constexpr int kConvertRasterToPngCommand = 32954;
constexpr int kSaveCurrentTileCommand = 32816;

bool hasData(const CommandContext& ctx) { return ctx.doc && ctx.doc->hasData(); }
bool hasView(const CommandContext& ctx) { return hasData(ctx) && ctx.view() != nullptr; }

// Whether a path names a TIFF file (".tif" or ".tiff", any case).
bool hasTiffExtension(const std::string& path) {
    std::string lower(path.size() >= 5 ? path.substr(path.size() - 5) : path);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return endsWith(lower, ".tif") || endsWith(lower, ".tiff");
}

// View commands: the position dialog, tile selection, the geographic format.
constexpr int kPutSceneCenterCommand = 32778;
constexpr int kPositionDialogCommand = 32776;
constexpr int kImageCenterModifyCommand = 32779;
constexpr int kSelectTileCommand = 32905;
constexpr int kGeoDmsCommand = 32894;
constexpr int kGeoDecimalCommand = 32895;

void registerViewCommands(AppCore& app) {
    for (int id : {kPutSceneCenterCommand, kPositionDialogCommand, kImageCenterModifyCommand})
        app.registerHandler(id, {[](CommandContext& ctx) { ctx.view()->positionDialog(); }, hasView, {}});
    app.registerHandler(kSelectTileCommand, {[](CommandContext& ctx) { ctx.view()->selectTileById(); }, hasView, {}});
    app.registerHandler(kGeoDmsCommand,
                        {[](CommandContext& ctx) { ctx.view()->setGeoFormat(GeoTextFormat::DegreesMinutesSeconds); },
                         [](const CommandContext& ctx) { return ctx.doc && ctx.view(); },
                         [](const CommandContext& ctx) {
                             return ctx.view() && ctx.view()->geoFormat() == GeoTextFormat::DegreesMinutesSeconds;
                         }});
    app.registerHandler(kGeoDecimalCommand,
                        {[](CommandContext& ctx) { ctx.view()->setGeoFormat(GeoTextFormat::Decimal); },
                         [](const CommandContext& ctx) { return ctx.doc && ctx.view(); },
                         [](const CommandContext& ctx) {
                             return ctx.view() && ctx.view()->geoFormat() == GeoTextFormat::Decimal;
                         }});
}

// The open-command pattern: the file dialog, then the OpenMode into the link
// block, then the framework's open. A cancelled dialog changes nothing.
void openWithDialog(CommandContext& ctx, const CommandInfo& info) {
    FileDialog dialog;
    dialog.title = std::string(info.dialogTitle);
    dialog.filter = std::string(info.filter);
    const auto path = ctx.ui.openFile(dialog);
    if (!path) return;
    ctx.app.linkBlock().writeOpenMode(info.openMode);
    ctx.app.openDocument(*path);
}

void registerOpenCommand(AppCore& app, const CommandInfo& info) {
    const int id = info.id;
    app.registerHandler(id, {[id](CommandContext& ctx) {
                                 const CommandInfo* cmd = findCommand(id);
                                 if (id == kScanSarCommand)
                                     ctx.ui.message(
                                         "This menu works only for ALOS2 Scan SAR SLC skimmed line data.\n"
                                         "Original data must be modified to pick up line data at given interval.");
                                 openWithDialog(ctx, *cmd);
                             },
                             {},
                             {}});
}

}  // namespace

void registerBuiltinCommands(AppCore& app) {
    // Open commands whose OpenMode is built. The ScanSAR-like entries of
    // other products (COSMO-SkyMed, plain SLC) share OpenMode 11 but need
    // their own readers, so only the ALOS-2 entry is registered.
    for (const CommandInfo& info : commandTable()) {
        if (info.openMode < 0 || info.owner != CommandOwner::Application || !info.hasHandler) continue;
        if (app.hasRegisteredHandler(info.id)) continue;
        if (info.area != CommandArea::Tiles && info.area != CommandArea::Products && info.area != CommandArea::Composites &&
            info.area != CommandArea::ImageFiles)
            continue;
        const bool built = document::isBuiltOpenMode(info.openMode) &&
                           (info.openMode != document::open_mode::kScanSarL11 || info.id == kScanSarCommand) &&
                           (info.openMode != document::open_mode::kComplexMultiTemporal ||
                            info.id == kComplexMultiTemporalCommand);
        if (built) registerOpenCommand(app, info);
    }

    app.registerHandler(kAboutCommand, {[](CommandContext& ctx) { ctx.ui.message(kAboutText); }, {}, {}});
    app.registerHandler(kExitCommand, {[](CommandContext& ctx) { ctx.app.exitRequested = true; }, {}, {}});
    // The chosen bitmap as a PNG beside it, black transparent; the bitmap
    // file is the user's and stays.
    app.registerHandler(kBmp2PngCommand, {[](CommandContext& ctx) {
                                              FileDialog dialog;
                                              dialog.title = "Bmp2Png";
                                              dialog.filter = "*.bmp";
                                              const auto path = ctx.ui.openFile(dialog);
                                              if (!path) return;
                                              ctx.ui.message(*path);
                                              const std::string png = bitmapFileToPng(*path);
                                              ctx.ui.status(png);
                                          },
                                          {},
                                          {}});
    // Shown in the menu with a handler that does nothing.
    app.registerHandler(kCpxPhaseCommand, {[](CommandContext&) {}, {}, {}});

    // Scene reports of the document.
    app.registerHandler(kObservationDateTimeCommand,
                        {[](CommandContext& ctx) {
                             const auto first = geometry::sceneDateOf(ctx.doc->reader(0).params());
                             const auto second = geometry::sceneDateOf(ctx.doc->reader(1).params());
                             geometry::showObservationDateTime(ctx.ui, ctx.doc->openMode(), first, second);
                         },
                         {},
                         {}});
    app.registerHandler(kSceneFrameParameterCommand,
                        {[](CommandContext& ctx) {
                             const auto& reader = ctx.doc->reader(0);
                             geometry::showSceneFrameParameter(ctx.ui, reader.params(), reader.productLevel(),
                                                               ctx.doc->hasData());
                         },
                         {},
                         {}});
    app.registerHandler(kCurrentTileIdCommand,
                        {[](CommandContext& ctx) {
                             geometry::showCurrentTileId(ctx.ui, ctx.doc->canvasState(), ctx.doc->grid(),
                                                         ctx.doc->reader(0).params());
                         },
                         hasData,
                         {}});
    app.registerHandler(kCheckOrbitCommand,
                        {[](CommandContext& ctx) {
                             geometry::CScPosDlog dialog;
                             dialog.pixel = ctx.doc->ctrorigin().x;
                             dialog.line = ctx.doc->ctrorigin().y;
                             geometry::checkOrbitByImageAddress(ctx.ui, ctx.doc->reader(0).params(), dialog);
                         },
                         hasData,
                         {}});
    app.registerHandler(kEarthTableCommand,
                        {[](CommandContext& ctx) {
                             geometry::writeEarthRadiusTable(joinPath(workFolder(), "ReEarthTable.csv"));
                         },
                         {},
                         {}});
    app.registerHandler(kDecodeGeoTiffHeaderCommand,
                        {[](CommandContext& ctx) {
                             FileDialog dialog;
                             dialog.title = "Select GeoTif file";
                             dialog.filter = "All Files (*.*)|*.*||";
                             const auto path = ctx.ui.openFile(dialog);
                             if (!path) return;
                             CTIFGen::writeHeaderReport(*path);
                             ctx.ui.message(CTIFGen::kDecodeCompleteText);
                         },
                         {},
                         {}});

    registerViewCommands(app);

    // "Convert Raster to PNG": the PNG export on a raster the user chooses.
    app.registerHandler(kConvertRasterToPngCommand,
                        {[](CommandContext& ctx) {
                             FileDialog dialog;
                             dialog.title = "Select PALSAR2 L1.5/3.1 file";
                             const auto path = ctx.ui.openFile(dialog);
                             if (!path) return;
                             ctx.doc->exportPng(*path, *path + "alpha.png", ctx.doc->canvas().width(),
                                                ctx.doc->canvas().height(), false, 2, false);
                         },
                         {},
                         {}});

    // "Save Current Tile": the canvas as a 48-bit TIFF of amplitudes.
    app.registerHandler(kSaveCurrentTileCommand,
                        {[](CommandContext& ctx) {
                             FileDialog dialog;
                             dialog.title = "Save Current Tile";
                             dialog.filter = "TIFF (*.tif;*.tiff)|*.tif;*.tiff||";
                             dialog.initialPath = ctx.doc->currentTileImagePath();
                             const auto chosen = ctx.ui.saveFile(dialog);
                             if (!chosen) return;
                             // A name typed without the extension gets it, as the filter promises.
                             const std::string path = hasTiffExtension(*chosen) ? *chosen : *chosen + ".tif";
                             {
                                 BusyScope busy(ctx.ui);
                                 ctx.doc->saveCurrentTile(path);
                             }
                             ctx.ui.message("Save current tile complete\n" + path);
                         },
                         hasData,
                         {}});

    // "Save Tile Image": only for a TileSet just made from an original product.
    app.registerHandler(kSaveTileImageCommand,
                        {[](CommandContext& ctx) {
                             tiles::saveTileSet(ctx.ui, ctx.doc->tileNames(), ctx.doc->tileKind());
                         },
                         [](const CommandContext& ctx) {
                             return ctx.doc && ctx.doc->hasData() &&
                                    (ctx.doc->openMode() == document::open_mode::kOriginalL15 ||
                                     ctx.doc->openMode() == document::open_mode::kOriginalL11);
                         },
                         {}});
}

}  // namespace tessarin::app
