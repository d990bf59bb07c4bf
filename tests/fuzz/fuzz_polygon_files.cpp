// Polygon files: the ".ply" and ".gpy" layouts from arbitrary bytes (the
// first byte picks the layout, the rest is padded or cut to its size so the
// checks behind the size are reached). What is taken must write back alike.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "display/poly_mgr.h"
#include "platform/error.h"

using namespace tessarin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const bool geographic = data[0] & 1;
    std::vector<std::uint8_t> bytes(data + 1, data + size);
    // Mostly the exact size, so the parser goes past its size check.
    if (!(data[0] & 2)) bytes.resize(geographic ? display::kGpyBytes : display::kPlyBytes, 0xFF);
    display::CPolyMgr polygons;
    try {
        if (geographic) {
            polygons.readGpy(bytes, "fuzz.gpy", [](double lat, double lon) { return ScenePoint{lon * 1000.0, lat * 1000.0}; });
        } else {
            polygons.readPly(bytes, "fuzz.ply");
            if (polygons.plyBytes().size() != display::kPlyBytes) __builtin_trap();
        }
        for (int p = 0; p < polygons.polygonCount(); ++p)
            if (polygons.polygon(p).size() < 4 || polygons.polygon(p).size() > display::kMaxVertices) __builtin_trap();
        (void)polygons.listText();
    } catch (const Error&) {
    }
    return 0;
}
