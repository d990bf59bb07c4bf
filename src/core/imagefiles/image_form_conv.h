#pragma once
// CImageFormConv: whole-file conversions of headerless rasters (byte-order
// swaps, float <-> signed short, complex short to an 8-bit amplitude TIFF,
// line cuts, raster <-> tiles). Each streams its input in blocks, checks the
// input's size against the stated geometry before writing anything, and
// writes its output under a temporary name that it renames when complete;
// nothing else is written beside the input.

#include <cstdint>
#include <string>

namespace tessarin {
class Ui;
}

namespace tessarin::imagefiles {

enum class ConversionMode {
    FloatSwap = 0,     // "Float Byte Swap"
    ShortSwap = 1,     // "Short Byte Swap"
    FloatToShort = 2,  // "Float 2 Short"
    ShortToFloat = 3,  // "S-Short 2 Float"
    ShortToTiff = 4,   // "Short 2 Tiff": complex 16-bit to 8-bit amplitude
    PickPure = 5,      // "Pick Pure Image": lines of a complex float raster
    RasterToTile = 6,  // "Raster to Tile"
    TileToRaster = 7,  // "Tile 2 Raster"
};

struct ConversionRequest {
    ConversionMode mode = ConversionMode::FloatSwap;
    std::string input;
    int pixels = 0;  // raster pixels (modes 0-6; Pr in mode 6)
    int lines = 0;   // raster lines (modes 0-6; Lr in mode 6)
    int byteOrder = 0;  // modes 2-4: 1 = the samples are big-endian (and so is the output)
    int firstLine = 0, lastLine = 0;  // mode 5, inclusive
    int tilePixels = 0, tileLines = 0;  // modes 6, 7: Pt, Lt
    int tilesAcross = 0, tilesDown = 0;  // mode 7: Nx, Ny
    int bytesPerPixel = 0;               // modes 6, 7: B
};

struct ConversionReport {
    std::string output;
    long long clamped = 0;    // mode 2: samples limited to -32767..32767
    long long nonFinite = 0;  // mode 2: NaN (written as 0) and infinities
    bool zeroMean = false;    // mode 4: the mean amplitude was 0, zeros written
    double meanAmplitude = 0.0;  // mode 4
};

// The output name each mode gives its input.
std::string conversionOutputPath(ConversionMode mode, const std::string& input);

// Float to signed short: clamped in floating point, then truncated toward
// zero; NaN gives 0. 40000 -> 32767, -40000 -> -32767, 12.9 -> 12.
std::int16_t floatToSignedShort(float v);

class CImageFormConv {
public:
    // Runs one conversion; throws Error (nothing written) when the input is
    // missing, shorter than its geometry, or the geometry is invalid. Shows
    // the block progress and the completion texts.
    static ConversionReport run(const ConversionRequest& request, Ui& ui);
};

}  // namespace tessarin::imagefiles

namespace tessarin::app {
class AppCore;
}
namespace tessarin::imagefiles {
// "Image Format Conversion" and the view's conversion commands, which only
// collect their input.
void registerConversionCommands(app::AppCore& app);
}  // namespace tessarin::imagefiles
