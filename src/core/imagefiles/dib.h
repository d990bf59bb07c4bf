#pragma once
// CDib: bitmap (".bmp") files. A file header of 14 bytes, an information
// header of 40 bytes, the colour table and the pixel rows (bottom row first,
// as in the file).

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "imagefiles/top_down_bitmap.h"

namespace tessarin {

class ByteSource;

class CDib {
public:
    // The texts the user sees for a refused or unreadable file and for a
    // failed write.
    static constexpr const char* kHeaderErrorText = "error";
    static constexpr const char* kReadErrorText = "Read error";
    static constexpr const char* kWriteErrorText = "write error";

    static constexpr std::uint16_t kFileType = 19778;  // "BM" as a little-endian 16-bit value
    static constexpr std::uint32_t kFileHeaderBytes = 14;
    static constexpr std::uint32_t kInfoHeaderBytes = 40;
    static constexpr std::uint16_t kPaletteVersion = 0x300;
    static constexpr std::uint32_t kCompressionNone = 0;
    static constexpr std::uint32_t kCompressionBitfields = 3;

    // File header.
    std::uint32_t fileSize = 0;
    std::uint16_t reserved1 = 0;
    std::uint16_t reserved2 = 0;
    std::uint32_t pixelOffset = 0;
    // Information header.
    std::int32_t width = 0;
    std::int32_t height = 0;  // negative: rows stored top row first
    std::uint16_t planes = 1;
    std::uint16_t bitsPerPixel = 0;
    std::uint32_t compression = kCompressionNone;
    std::uint32_t sizeImage = 0;
    std::int32_t xPelsPerMeter = 0;
    std::int32_t yPelsPerMeter = 0;
    std::uint32_t colorsUsed = 0;
    std::uint32_t colorsImportant = 0;

    // One entry per colour-table entry (red, green, blue from the table's
    // blue, green, red order).
    std::vector<PaletteEntry> palette;
    std::uint16_t paletteVersion = kPaletteVersion;
    std::vector<std::uint8_t> image;

    // Colour-table entries: the colours-used value when it is not 0, else 2,
    // 16 or 256 for 1, 4 or 8 bits per pixel and none for 16, 24 or 32.
    std::uint64_t colorTableEntries() const;
    // The header's image size, or when it is 0 the padded rows' size.
    std::uint64_t imageSize() const;

    // Throws Error(kHeaderErrorText) for a short or foreign header and
    // Error(kReadErrorText) when the pixels are not all there.
    static CDib read(ByteSource& in);
    static CDib readFile(const std::string& path);

    static CDib fromBitmap(const TopDownBitmap& bitmap);
    std::vector<std::uint8_t> serialise() const;
    // Writes through a temporary file; throws Error(kWriteErrorText).
    void writeFile(const std::string& path) const;

    // The pixels as a top-down bitmap; 8 (palette), 24 and 32 bits,
    // uncompressed. Throws Error otherwise.
    TopDownBitmap toBitmap() const;
};

}  // namespace tessarin
