// The GeoTIFF reader over arbitrary bytes: either a result or an Error,
// never a crash, an out-of-bounds read or an allocation from a lying count.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "imagefiles/byte_source.h"
#include "imagefiles/tif_gen.h"
#include "platform/error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tessarin::MemorySource source(std::span<const std::uint8_t>(data, size), "fuzz.tif");
    tessarin::CTIFGen gen;
    try {
        const tessarin::GeoTiffInfo& info = gen.read(source);
        // Whatever was read was in the file: every value takes a byte at least.
        if (info.stripOffsets.size() > size || info.geoKeys.size() * 4 > size) __builtin_trap();
        for (const auto& c : info.corners)
            if (c.latLonKnown && info.utm && (std::fabs(c.lat_deg) > 91.0)) __builtin_trap();
    } catch (const tessarin::Error&) {
    }
    return 0;
}
