// The dialogs of "Image Format Conversion": the operation, the file, the
// geometry and, where the mode needs them, the byte order, the line range or
// the tile sizes; then the conversion.

#include <climits>

#include "app/app_core.h"
#include "app/command_ids.h"
#include "imagefiles/image_form_conv.h"
#include "platform/bytes.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/work_folder.h"

namespace tessarin::imagefiles {

namespace {

using app::CommandContext;

int intOf(const Form& form, const char* name) {
    const long long v = form.intValue(name);
    if (v < INT_MIN || v > INT_MAX) throw Error(format("%s: %lld is out of range", name, v));
    return static_cast<int>(v);
}

std::optional<std::string> askFile(Ui& ui, const char* title) {
    FileDialog dialog;
    dialog.title = title;
    dialog.filter = "All Files (*.*)|*.*||";
    return ui.openFile(dialog);
}

bool askSize(Ui& ui, ConversionRequest& r) {
    Form form("Image Parameter");
    form.addInt("pixels", "Pixel", r.pixels).addInt("lines", "Line", r.lines);
    if (!ui.form(form)) return false;
    r.pixels = intOf(form, "pixels");
    r.lines = intOf(form, "lines");
    return true;
}

bool askByteOrder(Ui& ui, ConversionRequest& r) {
    Form form("Byte Order Dialog");
    form.addRadio("byteOrder", "Byte Order", {"No Byte Swap", "Byte Swap"}, r.byteOrder);
    if (!ui.form(form)) return false;
    r.byteOrder = form.choice("byteOrder");
    return true;
}

// The ten values i x 1024 and ten values -i x 1024, little-endian: a file
// against which another tool's byte order can be checked.
void writeByteTest() {
    ByteWriter w;
    for (int i = 0; i < 10; ++i) w.le<std::int16_t>(static_cast<std::int16_t>(i * 1024));
    for (int i = 0; i < 10; ++i) w.le<std::int16_t>(static_cast<std::int16_t>(-i * 1024));
    try {
        writeWholeFile(joinPath(workFolder(), "bytetest"), w.buffer());
    } catch (const Error&) {
        // The work folder may be read-only; the test file is not needed.
    }
}

void imageFormatConversion(CommandContext& ctx) {
    Ui& ui = ctx.ui;
    Form modeForm("Conv mode dlog");
    modeForm.addRadio("mode", "Operation mode",
                      {"Float Byte Swap", "Short Byte Swap", "Float 2 Short", "S-Short 2 Float", "Short 2 Tiff",
                       "Pick Pure Image", "Raster to Tile", "Tile 2 Raster"},
                      0);
    if (!ui.form(modeForm)) return;
    ConversionRequest r;
    r.mode = static_cast<ConversionMode>(modeForm.choice("mode"));
    std::optional<std::string> input;
    switch (r.mode) {
        case ConversionMode::FloatSwap:
        case ConversionMode::ShortSwap:
        case ConversionMode::FloatToShort:
        case ConversionMode::ShortToFloat:
        case ConversionMode::ShortToTiff:
            input = askFile(ui, "Select Image file");
            if (!input || !askSize(ui, r)) return;
            if (r.mode != ConversionMode::FloatSwap && r.mode != ConversionMode::ShortSwap && !askByteOrder(ui, r))
                return;
            break;
        case ConversionMode::PickPure: {
            ui.message("Select pure cpx image to Convert");
            input = askFile(ui, "Select ALOS/ALOS2 Image file");
            if (!input || !askSize(ui, r)) return;
            Form range("Line range");
            range.addInt("first", "First line", 0).addInt("last", "Last line", r.lines - 1);
            if (!ui.form(range)) return;
            r.firstLine = intOf(range, "first");
            r.lastLine = intOf(range, "last");
            break;
        }
        case ConversionMode::RasterToTile: {
            input = askFile(ui, "Select Image file");
            if (!input) return;
            Form tiling("Tiling parameter");
            tiling.addInt("pr", "Pr", 0).addInt("lr", "Lr", 0).addInt("pt", "Pt", 1024).addInt("lt", "Lt", 1024);
            tiling.addRadio("b", "B", {"1 byte", "2 bytes", "4 bytes", "8 bytes"}, 2);
            if (!ui.form(tiling)) return;
            r.pixels = intOf(tiling, "pr");
            r.lines = intOf(tiling, "lr");
            r.tilePixels = intOf(tiling, "pt");
            r.tileLines = intOf(tiling, "lt");
            r.bytesPerPixel = 1 << tiling.choice("b");
            break;
        }
        case ConversionMode::TileToRaster: {
            ui.message("Select pure cpx image to open");
            input = askFile(ui, "Select Tile image file");
            if (!input) return;
            Form tiles("Tile parameter");
            tiles.addInt("pt", "Pt", 1024).addInt("lt", "Lt", 1024).addInt("nx", "Nx", 1).addInt("ny", "Ny", 1);
            tiles.addRadio("b", "B", {"2 bytes", "4 bytes", "8 bytes"}, 1);
            if (!ui.form(tiles)) return;
            r.tilePixels = intOf(tiles, "pt");
            r.tileLines = intOf(tiles, "lt");
            r.tilesAcross = intOf(tiles, "nx");
            r.tilesDown = intOf(tiles, "ny");
            r.bytesPerPixel = 2 << tiles.choice("b");
            break;
        }
    }
    r.input = *input;
    writeByteTest();
    const ConversionReport rep = CImageFormConv::run(r, ui);
    ui.status("written " + rep.output);
}

// The view's conversion commands take a file and its size and stop there.
void collectOnly(CommandContext& ctx, bool byteOrder) {
    const auto input = askFile(ctx.ui, "Select Image file");
    ConversionRequest r;
    if (!input || !askSize(ctx.ui, r)) return;
    if (byteOrder && !askByteOrder(ctx.ui, r)) return;
    ctx.ui.status("nothing converted: \"Image Format Conversion\" converts files");
}

}  // namespace

void registerConversionCommands(app::AppCore& app) {
    namespace cmd = app::cmd;
    constexpr auto area = app::CommandArea::Conversion;
    app.registerHandler(area, cmd::kImageFormatConversion, {imageFormatConversion, {}, {}});
    for (const int id : {cmd::kConvertShortByteOrder, cmd::kConvertFloat2SignedShort, cmd::kConvertFloatByteOrder})
        app.registerHandler(area, id, {[](CommandContext& ctx) { collectOnly(ctx, false); }, {}, {}});
    app.registerHandler(area, cmd::kConvertFloat2Tiff, {[](CommandContext& ctx) { collectOnly(ctx, true); }, {}, {}});
    app.declareAreaComplete(area);
}

}  // namespace tessarin::imagefiles
