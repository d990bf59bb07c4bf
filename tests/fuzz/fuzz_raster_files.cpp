// Raster projects and raster TileSet headers from arbitrary bytes: the first
// byte chooses the reader. A project that parses writes back to a project
// that parses to the same fields; a header's values are whatever its lines
// say, and the checks never fail on what parses.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/error.h"
#include "tiles/raw_raster.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::span<const std::uint8_t> rest(data + 1, size - 1);
    if (data[0] & 1) {
        try {
            const auto p = tessarin::tiles::decodeRasterProject(rest, "fuzz.prj");
            const auto again = tessarin::tiles::decodeRasterProject(tessarin::tiles::encodeRasterProject(p), "again");
            // NaN fields compare unequal; compare their bits.
            if (again.rasterPath != p.rasterPath || again.pixel != p.pixel || again.line != p.line ||
                again.linebytes != p.linebytes || again.byteSwap != p.byteSwap)
                __builtin_trap();
            try {
                tessarin::tiles::checkRasterParameters(p);
                if (p.pixel <= 0 || p.line <= 0 || p.linebytes < p.lineheader + 8LL * p.pixel) __builtin_trap();
                (void)tessarin::tiles::rasterBytesNeeded(p);
                (void)tessarin::tiles::estimationStride(p.pixel, p.line);
            } catch (const tessarin::Error&) {
            }
        } catch (const tessarin::Error&) {
        }
    } else {
        const std::string_view text(reinterpret_cast<const char*>(rest.data()), rest.size());
        const auto h = tessarin::tiles::parseRasterHeader(text);
        const auto back = tessarin::tiles::parseRasterHeader(tessarin::tiles::rasterHeaderText(h));
        if (!(back == h)) __builtin_trap();
    }
    return 0;
}
