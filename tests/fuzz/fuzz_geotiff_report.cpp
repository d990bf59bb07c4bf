// The header decode report over arbitrary bytes: text for every entry it
// could decode and a failure message for the rest, never a crash.
#include <cstddef>
#include <cstdint>
#include <string>

#include "imagefiles/byte_source.h"
#include "imagefiles/tif_gen.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tessarin::MemorySource source(std::span<const std::uint8_t>(data, size), "fuzz.tif");
    const tessarin::HeaderReport report = tessarin::CTIFGen::decodeHeader(source);
    // The first lines are always there.
    if (report.text.rfind(",,DECODE GeoTif File Contents\n\n", 0) != 0) __builtin_trap();
    if (report.failure && report.failure->empty()) __builtin_trap();
    return 0;
}
