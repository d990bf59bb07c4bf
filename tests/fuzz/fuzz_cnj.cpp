// Tie-point files: any bytes either refused with the table unchanged, or a
// table whose bytes read back the same and whose blending, once its layout
// is accepted, gives finite positions.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "insar/conjugate_point_table.h"
#include "platform/error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tessarin::insar;
    ConjugatePointTable t;
    const auto before = encodeCnj(t, CnjLayout::Full);
    try {
        const CnjLayout layout = decodeCnj(std::span<const std::uint8_t>(data, size), "fuzz", t);
        const auto again = encodeCnj(t, layout);
        if (again.size() != size || !std::equal(again.begin(), again.end(), data)) __builtin_trap();
        if (!layoutProblem(t, -1024.0, 1024.0 * 31)) {
            for (double x : {-1024.0, 0.0, 5000.0, 31744.0})
                for (double y : {-1024.0, 0.0, 30000.0}) {
                    const auto s = slavePosition(t, x, y);
                    if (!std::isfinite(s.pixel) || !std::isfinite(s.line)) __builtin_trap();
                }
        }
    } catch (const tessarin::Error&) {
        if (encodeCnj(t, CnjLayout::Full) != before) __builtin_trap();
    }
    return 0;
}
