#include "imagefiles/top_down_bitmap.h"

#include "platform/error.h"
#include "platform/format.h"

namespace tessarin {

namespace {

constexpr int kGreyLevels = 256;
// Keeps width x height x 4 bytes well inside memory and int arithmetic.
constexpr long long kMaxPixels = 1LL << 28;

void checkSize(int width, int height) {
    if (width < 1 || height < 1 || static_cast<long long>(width) * height > kMaxPixels)
        throw Error(format("a bitmap of %d x %d pixels cannot be made", width, height));
}

}  // namespace

std::size_t TopDownBitmap::strideFor(int width, int bitsPerPixel) {
    const std::size_t bits = static_cast<std::size_t>(width) * static_cast<std::size_t>(bitsPerPixel);
    return (bits + 31) / 32 * 4;
}

std::span<std::uint8_t> TopDownBitmap::row(int y) {
    return std::span<std::uint8_t>(pixels).subspan(static_cast<std::size_t>(y) * stride(), stride());
}

std::span<const std::uint8_t> TopDownBitmap::row(int y) const {
    return std::span<const std::uint8_t>(pixels).subspan(static_cast<std::size_t>(y) * stride(), stride());
}

TopDownBitmap TopDownBitmap::grey8(int width, int height) {
    checkSize(width, height);
    TopDownBitmap b;
    b.width = width;
    b.height = height;
    b.bitsPerPixel = 8;
    b.palette.resize(kGreyLevels);
    for (int i = 0; i < kGreyLevels; ++i) {
        const auto v = static_cast<std::uint8_t>(i);
        b.palette[static_cast<std::size_t>(i)] = {v, v, v, 0};
    }
    b.pixels.assign(b.stride() * static_cast<std::size_t>(height), 0);
    return b;
}

TopDownBitmap TopDownBitmap::bgr24(int width, int height) {
    checkSize(width, height);
    TopDownBitmap b;
    b.width = width;
    b.height = height;
    b.bitsPerPixel = 24;
    b.pixels.assign(b.stride() * static_cast<std::size_t>(height), 0);
    return b;
}

}  // namespace tessarin
