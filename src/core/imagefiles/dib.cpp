#include "imagefiles/dib.h"

#include <algorithm>
#include <cstdlib>

#include "imagefiles/byte_source.h"
#include "platform/bytes.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"

namespace tessarin {

namespace {

constexpr std::uint32_t kBytesPerTableEntry = 4;
constexpr std::uint32_t kBitfieldMaskBytes = 12;
constexpr std::int64_t kMaxDimension = 1 << 20;

std::uint64_t defaultTableEntries(int bitsPerPixel) {
    switch (bitsPerPixel) {
        case 1: return 2;
        case 4: return 16;
        case 8: return 256;
        default: return 0;
    }
}

bool knownDepth(int bits) { return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32; }

std::uint64_t absHeight(std::int32_t h) { return static_cast<std::uint64_t>(std::llabs(static_cast<long long>(h))); }

}  // namespace

std::uint64_t CDib::colorTableEntries() const {
    return colorsUsed != 0 ? colorsUsed : defaultTableEntries(bitsPerPixel);
}

std::uint64_t CDib::imageSize() const {
    if (sizeImage != 0) return sizeImage;
    const std::uint64_t bits = static_cast<std::uint64_t>(bitsPerPixel) * static_cast<std::uint64_t>(std::max(width, 0));
    if (bits == 0) return 0;
    return ((bits - 1) / 32 + 1) * 4 * absHeight(height);
}

CDib CDib::read(ByteSource& in) {
    if (in.size() < kFileHeaderBytes) throw Error(kHeaderErrorText);
    std::vector<std::uint8_t> fh(kFileHeaderBytes);
    in.readAt(0, fh, "the bitmap file header");
    if (loadLE<std::uint16_t>(fh, 0) != kFileType) throw Error(kHeaderErrorText);
    CDib d;
    d.fileSize = loadLE<std::uint32_t>(fh, 2);
    d.reserved1 = loadLE<std::uint16_t>(fh, 6);
    d.reserved2 = loadLE<std::uint16_t>(fh, 8);
    d.pixelOffset = loadLE<std::uint32_t>(fh, 10);

    // The rest of the headers runs up to the pixels; it must at least hold
    // the information header, and be in the file.
    if (d.pixelOffset < kFileHeaderBytes + kInfoHeaderBytes || !in.fits(kFileHeaderBytes, d.pixelOffset - kFileHeaderBytes))
        throw Error(kHeaderErrorText);
    std::vector<std::uint8_t> rest(d.pixelOffset - kFileHeaderBytes);
    in.readAt(kFileHeaderBytes, rest, "the bitmap headers");
    if (loadLE<std::uint32_t>(rest, 0) != kInfoHeaderBytes) throw Error(kHeaderErrorText);
    d.width = loadLE<std::int32_t>(rest, 4);
    d.height = loadLE<std::int32_t>(rest, 8);
    d.planes = loadLE<std::uint16_t>(rest, 12);
    d.bitsPerPixel = loadLE<std::uint16_t>(rest, 14);
    d.compression = loadLE<std::uint32_t>(rest, 16);
    d.sizeImage = loadLE<std::uint32_t>(rest, 20);
    d.xPelsPerMeter = loadLE<std::int32_t>(rest, 24);
    d.yPelsPerMeter = loadLE<std::int32_t>(rest, 28);
    d.colorsUsed = loadLE<std::uint32_t>(rest, 32);
    d.colorsImportant = loadLE<std::uint32_t>(rest, 36);
    if (!knownDepth(d.bitsPerPixel) || d.width <= 0 || d.width > kMaxDimension || d.height == 0 ||
        static_cast<std::int64_t>(absHeight(d.height)) > kMaxDimension)
        throw Error(kHeaderErrorText);

    // The colour table follows the header (and the three masks of a
    // bit-field bitmap); a table larger than the headers' room is a lie.
    const std::uint64_t tableAt = kInfoHeaderBytes + (d.compression == kCompressionBitfields ? kBitfieldMaskBytes : 0);
    const std::uint64_t entries = d.colorTableEntries();
    if (tableAt + entries * kBytesPerTableEntry > rest.size()) throw Error(kHeaderErrorText);
    d.palette.resize(static_cast<std::size_t>(entries));
    for (std::size_t i = 0; i < d.palette.size(); ++i) {
        const std::size_t p = static_cast<std::size_t>(tableAt) + i * kBytesPerTableEntry;
        d.palette[i] = {rest[p + 2], rest[p + 1], rest[p], 0};
    }
    d.paletteVersion = kPaletteVersion;

    const std::uint64_t size = d.imageSize();
    if (!in.fits(d.pixelOffset, size)) throw Error(kReadErrorText);
    d.image.resize(static_cast<std::size_t>(size));
    in.readAt(d.pixelOffset, d.image, "the bitmap pixels");
    return d;
}

CDib CDib::readFile(const std::string& path) {
    File f(path, File::Mode::Read);
    FileSource source(f);
    return read(source);
}

CDib CDib::fromBitmap(const TopDownBitmap& bitmap) {
    if (bitmap.width < 1 || bitmap.height < 1 ||
        (bitmap.bitsPerPixel != 8 && bitmap.bitsPerPixel != 24 && bitmap.bitsPerPixel != 32) ||
        bitmap.pixels.size() < bitmap.stride() * static_cast<std::size_t>(bitmap.height))
        throw Error(format("a bitmap of %d x %d pixels at %d bits cannot be saved", bitmap.width, bitmap.height,
                           bitmap.bitsPerPixel));
    CDib d;
    d.width = bitmap.width;
    d.height = bitmap.height;
    d.bitsPerPixel = static_cast<std::uint16_t>(bitmap.bitsPerPixel);
    d.palette = bitmap.palette;
    if (bitmap.bitsPerPixel != 8) d.palette.clear();
    // A full table is implied by colours-used 0.
    d.colorsUsed = d.palette.size() == defaultTableEntries(bitmap.bitsPerPixel) ? 0 : static_cast<std::uint32_t>(d.palette.size());
    const std::size_t stride = bitmap.stride();
    d.sizeImage = static_cast<std::uint32_t>(stride * static_cast<std::size_t>(bitmap.height));
    d.image.resize(d.sizeImage);
    for (int y = 0; y < bitmap.height; ++y) {
        const auto src = bitmap.row(y);
        std::copy(src.begin(), src.end(), d.image.begin() + static_cast<std::ptrdiff_t>(stride * static_cast<std::size_t>(bitmap.height - 1 - y)));
    }
    d.pixelOffset = kFileHeaderBytes + kInfoHeaderBytes + static_cast<std::uint32_t>(d.palette.size()) * kBytesPerTableEntry;
    d.fileSize = d.pixelOffset + d.sizeImage;
    return d;
}

std::vector<std::uint8_t> CDib::serialise() const {
    const std::uint32_t offset = kFileHeaderBytes + kInfoHeaderBytes + static_cast<std::uint32_t>(palette.size()) * kBytesPerTableEntry;
    std::vector<std::uint8_t> out(offset + image.size());
    constexpr ByteOrder le = ByteOrder::Little;
    store<std::uint16_t>(out, 0, kFileType, le);
    store<std::uint32_t>(out, 2, static_cast<std::uint32_t>(out.size()), le);
    store<std::uint16_t>(out, 6, reserved1, le);
    store<std::uint16_t>(out, 8, reserved2, le);
    store<std::uint32_t>(out, 10, offset, le);
    constexpr std::size_t h = kFileHeaderBytes;
    store<std::uint32_t>(out, h, kInfoHeaderBytes, le);
    store<std::int32_t>(out, h + 4, width, le);
    store<std::int32_t>(out, h + 8, height, le);
    store<std::uint16_t>(out, h + 12, planes, le);
    store<std::uint16_t>(out, h + 14, bitsPerPixel, le);
    store<std::uint32_t>(out, h + 16, compression, le);
    store<std::uint32_t>(out, h + 20, sizeImage, le);
    store<std::int32_t>(out, h + 24, xPelsPerMeter, le);
    store<std::int32_t>(out, h + 28, yPelsPerMeter, le);
    store<std::uint32_t>(out, h + 32, colorsUsed, le);
    store<std::uint32_t>(out, h + 36, colorsImportant, le);
    std::size_t p = kFileHeaderBytes + kInfoHeaderBytes;
    for (const PaletteEntry& e : palette) {
        out[p++] = e.blue;
        out[p++] = e.green;
        out[p++] = e.red;
        out[p++] = 0;
    }
    std::copy(image.begin(), image.end(), out.begin() + static_cast<std::ptrdiff_t>(p));
    return out;
}

void CDib::writeFile(const std::string& path) const {
    try {
        writeWholeFile(path, serialise());
    } catch (const Error&) {
        throw Error(kWriteErrorText);
    }
}

TopDownBitmap CDib::toBitmap() const {
    const bool bitfields32 = compression == kCompressionBitfields && bitsPerPixel == 32;
    if ((compression != kCompressionNone && !bitfields32) ||
        (bitsPerPixel != 8 && bitsPerPixel != 24 && bitsPerPixel != 32))
        throw Error(format("bitmaps of %u bits per pixel with compression %u cannot be shown", bitsPerPixel, compression));
    const int lines = static_cast<int>(absHeight(height));
    // The pixels must be there before the bitmap is made: a header may claim
    // any size over a few bytes.
    const std::size_t stride = TopDownBitmap::strideFor(std::max(width, 0), bitsPerPixel);
    if (image.size() < stride * static_cast<std::size_t>(lines))
        throw Error(format("the bitmap holds %zu bytes of pixels, fewer than the %zu of %d x %d pixels", image.size(),
                           stride * static_cast<std::size_t>(lines), width, lines));
    TopDownBitmap b = bitsPerPixel == 8 ? TopDownBitmap::grey8(width, lines) : TopDownBitmap::bgr24(width, lines);
    if (bitsPerPixel == 8) {
        if (!palette.empty()) b.palette = palette;
    } else if (bitsPerPixel == 32) {
        b.bitsPerPixel = 32;
        b.pixels.assign(stride * static_cast<std::size_t>(lines), 0);
    }
    const bool bottomUp = height > 0;
    for (int y = 0; y < b.height; ++y) {
        const int fileRow = bottomUp ? b.height - 1 - y : y;
        const auto src = image.begin() + static_cast<std::ptrdiff_t>(stride * static_cast<std::size_t>(fileRow));
        std::copy(src, src + static_cast<std::ptrdiff_t>(stride), b.row(y).begin());
    }
    return b;
}

}  // namespace tessarin
