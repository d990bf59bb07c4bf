#pragma once
// PNG output with transparency, and bitmaps saved as TIFF.
//
// Exported pictures are PNG files whose pure black pixels are transparent,
// so that image areas without data do not hide the map underneath. The
// display's export slot renders a raster into a TopDownBitmap and hands it
// to bitmapToPng(); anything else holding a 24- or 32-bit TopDownBitmap can
// do the same.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "imagefiles/top_down_bitmap.h"

namespace tessarin {

inline constexpr const char* kNotRgbText = "File type is not RGB or PNG";

// Encodes rows of red, green, blue, alpha (width x 4 bytes each, top row
// first) as an 8-bit RGBA PNG.
std::vector<std::uint8_t> encodePngRgba(int width, int height, std::span<const std::uint8_t> rgba);

// A 24- or 32-bit bitmap as RGBA rows with alpha 0 exactly where blue,
// green and red are all 0, 255 elsewhere. Throws Error(kNotRgbText) for
// other depths.
std::vector<std::uint8_t> rgbaWithBlackTransparent(const TopDownBitmap& bitmap);

// Names used by bitmapToPng: the path without a trailing ".png", and that
// base followed by ".bmp" and ".png".
struct PngPaths {
    std::string base;
    std::string bmp;
    std::string png;
};
PngPaths pngPathsFor(const std::string& path);

// Saves the bitmap as base + ".bmp", loads that file, makes its black
// transparent, writes base + ".png" and deletes the ".bmp". A bitmap file
// of another depth than 24 or 32 bits throws Error(kNotRgbText) and leaves
// the ".bmp". Returns the PNG path.
std::string bitmapToPng(const std::string& path, const TopDownBitmap& bitmap);

// Writes a PNG straight from a bitmap, with the same transparency, without
// the intermediate bitmap file (for bitmaps that came from a ".bmp" the
// user keeps).
void writeTransparentPng(const std::string& pngPath, const TopDownBitmap& bitmap);

// A bitmap file the user keeps, as a PNG with the same transparency. The
// PNG goes to pngPath, by default the bitmap path with its extension
// replaced by ".png" (".png" added when the name has none). The bitmap file
// is only read, never deleted or overwritten. Throws Error(kNotRgbText) for
// other depths than 24 and 32 bits, CDib's errors for a short or foreign
// file. Returns the PNG path.
std::string bitmapFileToPng(const std::string& bmpPath, const std::string& pngPath = {});

// Saves a bitmap as an uncompressed TIFF: 8-bit grey when its palette is
// the grey ramp, else 24-bit RGB (32-bit bitmaps lose their alpha).
void bitmapToTiff(const std::string& path, const TopDownBitmap& bitmap);

}  // namespace tessarin
