// Image files: bitmap to PNG, the GeoTIFF header report, raster to PNG (the
// command and the test open mode) and the current tile as a TIFF.

#include "app/modules.h"

#include <algorithm>
#include <cctype>

#include "app/app_core.h"
#include "app/command_ids.h"
#include "imagefiles/png_output.h"
#include "imagefiles/image_form_conv.h"
#include "imagefiles/tif_gen.h"
#include "platform/text.h"
#include "platform/ui.h"

namespace tessarin::imagefiles {

namespace {

using app::CommandContext;
using document::CTessarinDoc;

// Whether a path names a TIFF file (".tif" or ".tiff", any case).
bool hasTiffExtension(const std::string& path) {
    std::string lower(path.size() >= 5 ? path.substr(path.size() - 5) : path);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return endsWith(lower, ".tif") || endsWith(lower, ".tiff");
}

// The PNG export on a raster the user chose: 3 channels of 2 bytes, the
// size of a canvas, unmapped. The user's raster is kept.
void rasterToPng(CTessarinDoc& doc, const std::string& path) {
    doc.exportPng({path, doc.canvas().width(), doc.canvas().height(), 3, 2}, path + "alpha.png", false, false);
}

bool openRasterToPngTest(CTessarinDoc& doc) {
    rasterToPng(doc, doc.path());
    return true;
}

}  // namespace

void registerModule(app::AppCore& app) {
    namespace cmd = app::cmd;
    constexpr auto area = app::CommandArea::ImageFiles;

    document::OpenModeRow rasterTest;
    rasterTest.mode = 200;
    rasterTest.open = openRasterToPngTest;
    app.addOpenMode(rasterTest);
    app.registerOpenCommands(area);

    // The chosen bitmap as a PNG beside it, black transparent; the bitmap
    // file is the user's and stays.
    app.registerHandler(area, cmd::kBmp2Png,
                        {[](CommandContext& ctx) {
                             FileDialog dialog;
                             dialog.title = "Bmp2Png";
                             dialog.filter = "*.bmp";
                             const auto path = ctx.ui.openFile(dialog);
                             if (!path) return;
                             ctx.ui.message(*path);
                             ctx.ui.status(bitmapFileToPng(*path));
                         },
                         {},
                         {}});
    app.registerHandler(area, cmd::kDecodeGeoTifHeader,
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
    // "Convert Raster to PNG": the PNG export on a raster the user chooses.
    app.registerHandler(area, cmd::kConvertRasterToPng,
                        {[](CommandContext& ctx) {
                             FileDialog dialog;
                             dialog.title = "Select PALSAR2 L1.5/3.1 file";
                             const auto path = ctx.ui.openFile(dialog);
                             if (!path) return;
                             rasterToPng(*ctx.doc, *path);
                         },
                         {},
                         {}});
    // "Save Current Tile": the canvas as a 48-bit TIFF of amplitudes.
    app.registerHandler(area, cmd::kSaveCurrentTile,
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
                         app::hasData,
                         {}});
    app.declareAreaComplete(area);
    registerConversionCommands(app);
}

}  // namespace tessarin::imagefiles
