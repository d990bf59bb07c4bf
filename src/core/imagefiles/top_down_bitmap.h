#pragma once
// The image files' bitmap in memory: 8 bits per pixel through a palette
// (grey for the display), 24 bits (blue, green, red) or 32 bits (blue, green,
// red, alpha). Rows run top to bottom, each padded to a multiple of 4 bytes,
// so a window toolkit can wrap the rows without copying them. (A display
// slot keeps its rows bottom-up, as bitmap files store them:
// display::BottomUpBitmap.)

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tessarin {

struct PaletteEntry {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t flags = 0;
};

struct TopDownBitmap {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 24;
    std::vector<PaletteEntry> palette;  // 8-bit bitmaps only
    std::vector<std::uint8_t> pixels;   // height rows of stride() bytes, top row first

    // Bytes per row, padded to 4 bytes.
    static std::size_t strideFor(int width, int bitsPerPixel);
    std::size_t stride() const { return strideFor(width, bitsPerPixel); }

    std::span<std::uint8_t> row(int y);
    std::span<const std::uint8_t> row(int y) const;

    // A black bitmap with a 256-entry grey palette.
    static TopDownBitmap grey8(int width, int height);
    // A black 24-bit bitmap.
    static TopDownBitmap bgr24(int width, int height);
};

}  // namespace tessarin
