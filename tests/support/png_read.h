#pragma once
// libpng's own reader, as the independent check of the PNG files we write:
// the image as 8-bit RGBA rows, or width 0 when libpng cannot read it.

#include <png.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tessarin::testing {

struct Rgba {
    int width = 0, height = 0;
    std::vector<std::uint8_t> pixels;
    std::array<std::uint8_t, 4> at(int x, int y) const {
        const std::size_t i =
            (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 4;
        return {pixels[i], pixels[i + 1], pixels[i + 2], pixels[i + 3]};
    }
};

inline Rgba readPng(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Rgba out;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return out;
    image.format = PNG_FORMAT_RGBA;
    out.width = static_cast<int>(image.width);
    out.height = static_cast<int>(image.height);
    out.pixels.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, out.pixels.data(), 0, nullptr)) out = {};
    return out;
}

}  // namespace tessarin::testing
