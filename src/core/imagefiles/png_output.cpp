#include "imagefiles/png_output.h"

#include <filesystem>
#include <system_error>

#include <png.h>

#include "imagefiles/dib.h"
#include "imagefiles/tif_gen.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/text.h"

namespace tessarin {

namespace {

constexpr std::size_t kRgbaBytes = 4;
constexpr std::uint8_t kOpaque = 255;
constexpr std::uint8_t kTransparent = 0;
constexpr int kGreyLevels = 256;

bool greyRamp(const std::vector<PaletteEntry>& palette) {
    if (palette.size() != kGreyLevels) return false;
    for (std::size_t i = 0; i < palette.size(); ++i)
        if (palette[i].red != i || palette[i].green != i || palette[i].blue != i) return false;
    return true;
}

}  // namespace

std::vector<std::uint8_t> encodePngRgba(int width, int height, std::span<const std::uint8_t> rgba) {
    if (width < 1 || height < 1)
        throw Error(format("a PNG of %d x %d pixels cannot be written", width, height));
    const std::size_t stride = static_cast<std::size_t>(width) * kRgbaBytes;
    if (rgba.size() < stride * static_cast<std::size_t>(height))
        throw Error(format("%zu bytes of pixels are fewer than the %zu of a %d x %d PNG", rgba.size(),
                           stride * static_cast<std::size_t>(height), width, height));
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    const auto rowStride = static_cast<png_int_32>(stride);
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), rowStride, nullptr))
        throw Error(format("PNG encoding failed: %s", image.message));
    std::vector<std::uint8_t> out(static_cast<std::size_t>(size));
    if (!png_image_write_to_memory(&image, out.data(), &size, 0, rgba.data(), rowStride, nullptr))
        throw Error(format("PNG encoding failed: %s", image.message));
    out.resize(static_cast<std::size_t>(size));
    return out;
}

std::vector<std::uint8_t> rgbaWithBlackTransparent(const TopDownBitmap& bitmap) {
    if (bitmap.bitsPerPixel != 24 && bitmap.bitsPerPixel != 32) throw Error(kNotRgbText);
    const std::size_t bytesPerPixel = static_cast<std::size_t>(bitmap.bitsPerPixel / 8);
    const auto w = static_cast<std::size_t>(bitmap.width);
    std::vector<std::uint8_t> rgba(w * static_cast<std::size_t>(bitmap.height) * kRgbaBytes);
    for (int y = 0; y < bitmap.height; ++y) {
        const auto src = bitmap.row(y);
        std::uint8_t* dst = rgba.data() + static_cast<std::size_t>(y) * w * kRgbaBytes;
        for (std::size_t x = 0; x < w; ++x) {
            const std::uint8_t blue = src[x * bytesPerPixel];
            const std::uint8_t green = src[x * bytesPerPixel + 1];
            const std::uint8_t red = src[x * bytesPerPixel + 2];
            dst[x * 4] = red;
            dst[x * 4 + 1] = green;
            dst[x * 4 + 2] = blue;
            dst[x * 4 + 3] = (red | green | blue) == 0 ? kTransparent : kOpaque;
        }
    }
    return rgba;
}

PngPaths pngPathsFor(const std::string& path) {
    PngPaths p;
    p.base = endsWith(path, ".png") ? path.substr(0, path.size() - 4) : path;
    p.bmp = p.base + ".bmp";
    p.png = p.base + ".png";
    return p;
}

void writeTransparentPng(const std::string& pngPath, const TopDownBitmap& bitmap) {
    const std::vector<std::uint8_t> rgba = rgbaWithBlackTransparent(bitmap);
    writeWholeFile(pngPath, encodePngRgba(bitmap.width, bitmap.height, rgba));
}

std::string bitmapToPng(const std::string& path, const TopDownBitmap& bitmap) {
    const PngPaths paths = pngPathsFor(path);
    CDib::fromBitmap(bitmap).writeFile(paths.bmp);
    const CDib loaded = CDib::readFile(paths.bmp);
    if (loaded.bitsPerPixel != 24 && loaded.bitsPerPixel != 32) throw Error(kNotRgbText);
    writeTransparentPng(paths.png, loaded.toBitmap());
    removeFile(paths.bmp);
    return paths.png;
}

std::string bitmapFileToPng(const std::string& bmpPath, const std::string& pngPath) {
    std::string out = pngPath;
    if (out.empty()) {
        const SplitPath split = splitPath(bmpPath);
        const auto dot = split.name.rfind('.');
        out = joinPath(split.folder, (dot == std::string::npos ? split.name : split.name.substr(0, dot)) + ".png");
    } else {
        out = pngPathsFor(out).png;
    }
    // A bitmap named "x.png" would otherwise be replaced by its own PNG.
    std::error_code ec;
    if (out == bmpPath || std::filesystem::equivalent(out, bmpPath, ec))
        throw Error(format("\"%s\" would be written over the bitmap itself", bmpPath.c_str()));
    const CDib dib = CDib::readFile(bmpPath);
    if (dib.bitsPerPixel != 24 && dib.bitsPerPixel != 32) throw Error(kNotRgbText);
    writeTransparentPng(out, dib.toBitmap());
    return out;
}

void bitmapToTiff(const std::string& path, const TopDownBitmap& bitmap) {
    if (bitmap.width < 1 || bitmap.height < 1 ||
        (bitmap.bitsPerPixel != 8 && bitmap.bitsPerPixel != 24 && bitmap.bitsPerPixel != 32) ||
        bitmap.pixels.size() < bitmap.stride() * static_cast<std::size_t>(bitmap.height))
        throw Error(format("a bitmap of %d x %d pixels at %d bits cannot be saved as TIFF", bitmap.width, bitmap.height,
                           bitmap.bitsPerPixel));
    CTIFGen gen;
    const auto w = static_cast<std::size_t>(bitmap.width);
    if (bitmap.bitsPerPixel == 8 && greyRamp(bitmap.palette)) {
        writeTiffFile(path, gen, TiffKind::Plain, bitmap.width, bitmap.height, 8,
                      [&](int y, std::span<std::uint8_t> row) {
                          const auto src = bitmap.row(y);
                          std::copy_n(src.begin(), w, row.begin());
                      });
        return;
    }
    writeTiffFile(path, gen, TiffKind::Plain, bitmap.width, bitmap.height, 24, [&](int y, std::span<std::uint8_t> row) {
        const auto src = bitmap.row(y);
        for (std::size_t x = 0; x < w; ++x) {
            if (bitmap.bitsPerPixel == 8) {
                // Indexes beyond a short palette show black.
                const std::size_t index = src[x];
                const PaletteEntry p = index < bitmap.palette.size() ? bitmap.palette[index] : PaletteEntry{};
                row[x * 3] = p.red;
                row[x * 3 + 1] = p.green;
                row[x * 3 + 2] = p.blue;
            } else {
                const std::size_t bpp = static_cast<std::size_t>(bitmap.bitsPerPixel / 8);
                row[x * 3] = src[x * bpp + 2];
                row[x * 3 + 1] = src[x * bpp + 1];
                row[x * 3 + 2] = src[x * bpp];
            }
        }
    });
}

}  // namespace tessarin
