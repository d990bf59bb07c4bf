// Bitmap files from arbitrary bytes. What CDib reads and can show must come
// back unchanged through a write and a second read, and must convert to a
// transparent-black RGBA image when it is 24 or 32 bits.
#include <cstddef>
#include <cstdint>

#include "imagefiles/byte_source.h"
#include "imagefiles/dib.h"
#include "imagefiles/png_output.h"
#include "platform/error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tessarin::MemorySource source(std::span<const std::uint8_t>(data, size), "fuzz.bmp");
    try {
        const tessarin::CDib dib = tessarin::CDib::read(source);
        if (dib.image.size() > size) __builtin_trap();
        const tessarin::TopDownBitmap bitmap = dib.toBitmap();
        const std::vector<std::uint8_t> again = tessarin::CDib::fromBitmap(bitmap).serialise();
        tessarin::MemorySource second(again, "again.bmp");
        const tessarin::TopDownBitmap back = tessarin::CDib::read(second).toBitmap();
        if (back.pixels != bitmap.pixels || back.width != bitmap.width || back.height != bitmap.height) __builtin_trap();
        if (bitmap.bitsPerPixel == 24 || bitmap.bitsPerPixel == 32) {
            const std::vector<std::uint8_t> rgba = tessarin::rgbaWithBlackTransparent(bitmap);
            for (std::size_t i = 0; i + 3 < rgba.size(); i += 4) {
                const bool black = (rgba[i] | rgba[i + 1] | rgba[i + 2]) == 0;
                if (rgba[i + 3] != (black ? 0 : 255)) __builtin_trap();
            }
        }
    } catch (const tessarin::Error&) {
    }
    return 0;
}
