// The EGM96 geoid readers (a DAC grid, proj-data's GTX grid) and the raw
// raster input of raster2tif, over files from arbitrary bytes: a wrong size
// or header is refused, and what is read answers every position with a
// finite height.
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstdint>
#include <filesystem>
#include <string>

#include "dem/geoid_grid.h"
#include "imagefiles/tif_gen.h"
#include "platform/error.h"
#include "support/fuzz_scratch.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/ui.h"

namespace {

std::string scratchFolder() { return tessarin::testing::fuzzScratchFolder(); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    using namespace tessarin;
    const std::string path = scratchFolder() + "/input";
    writeWholeFile(path, std::span<const std::uint8_t>(data + 3, size - 3));
    ScriptedUi ui;
    try {
        switch (data[0] % 3) {
            case 0:
            case 1: {
                const dem::GeoidGrid g = data[0] % 3 == 0 ? dem::readDacGeoid(path) : dem::readGtxGeoid(path);
                for (double lat : {-90.0, -45.3, 0.0, 89.9, 90.0})
                    for (double lon : {-180.0, 0.0, 359.9, 360.0})
                        if (!std::isfinite(g.undulation_m(lat, lon))) __builtin_trap();
                break;
            }
            default: {
                // Width, lines and sample layout from the next two bytes; some
                // layouts have no TIFF form.
                const int width = 1 + data[1] % 64, lines = 1 + data[2] % 64;
                const int bytesPerSample = 1 + ((data[1] >> 6) & 1);
                const int bytesPerPixel = bytesPerSample * (1 + ((data[1] >> 7) & 1) * 2);
                GeoReference geo;
                const std::string out = rasterToTiff(ui, rasterOfPixelBytes(path, width, lines, bytesPerPixel, bytesPerSample), geo);
                if (File(out, File::Mode::Read).size() < static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(lines)) __builtin_trap();
                break;
            }
        }
    } catch (const Error&) {
    }
    return 0;
}
