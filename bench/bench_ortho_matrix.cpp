// The ortho matrix by the bucket search against the plain scan over every
// cell of the mapping table, on a 10000 x 30000 scene of known geometry.
//
//   bench_ortho_matrix [--repeat N]
//
// Builds the scene (orbit, fitted polynomials, through the CEOS writer and
// reader), its scene geometry and mapping table, then times both ortho
// matrix builds (best of N runs each, default 3), checks that the grids are
// identical to the bit and prints the speed ratio. Exits 1 when the grids
// differ.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/geometry/sar_scene_fixture.h"
#include "geometry/ortho_matrix.h"
#include "geometry/scene_geometry.h"
#include "platform/ui.h"

using namespace tessarin;
using namespace tessarin::geometry;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

bool sameBits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

template <typename Build>
double bestOf(int repeat, Build build) {
    double best = 1e300;
    for (int i = 0; i < repeat; ++i) {
        const auto t0 = Clock::now();
        build();
        best = std::min(best, seconds(t0, Clock::now()));
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    int repeat = 3;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--repeat" && i + 1 < argc) repeat = std::max(1, std::atoi(argv[++i]));
    }

    fixture::SarSceneSpec setup;
    setup.pixels = 10000;
    setup.lines = 30000;
    setup.pixsz_m = 2.86;
    setup.prf_hz = 2000.0;
    setup.fitMarginTime_s = 12.0;
    auto t0 = Clock::now();
    const fixture::SarScene scene(setup);
    const SceneParameters& p = scene.params();
    const SceneGeometry geometry = sceneGeometry(p);
    MappingTable table;
    ScriptedUi ui;
    buildMappingTable(p, geometry, table, ui);
    const double tableTime = seconds(t0, Clock::now());
    std::printf("scene %d x %d, half span %d s, mapping table %d rows x %d columns (%d cells), built in %.3f s\n",
                p.pixel, p.line, geometry.halfSpan_s, table.rows, table.columns, (table.rows - 1) * (table.columns - 1),
                tableTime);

    OrthoMatrix fast, reference;
    const double fastTime = bestOf(repeat, [&] { buildOrthoMatrix(table, p.pixel, p.line, fast, ui); });
    const double scanTime = bestOf(repeat, [&] { buildOrthoMatrixReference(table, p.pixel, p.line, reference); });

    const CellIndex index(table);
    for (int j = 0; j < fast.ny; ++j)
        for (int i = 0; i < fast.nx; ++i) index.nearest(i * 100.0, j * 100.0);
    const double nodes = static_cast<double>(fast.nx) * fast.ny;

    const bool identical = fast.nx == reference.nx && fast.ny == reference.ny &&
                           sameBits(fast.incidence, reference.incidence) &&
                           sameBits(fast.pixelSensitivity, reference.pixelSensitivity) &&
                           sameBits(fast.lineSensitivity, reference.lineSensitivity);
    std::printf("ortho matrix %d x %d nodes\n", fast.nx, fast.ny);
    std::printf("  plain scan      %9.4f s\n", scanTime);
    std::printf("  bucket search   %9.4f s  (%.1f cells visited per node)\n", fastTime,
                static_cast<double>(index.cellsVisited()) / nodes);
    std::printf("  ratio           %9.1f x  (target >= 20 x)\n", scanTime / fastTime);
    std::printf("  grids           %s\n", identical ? "identical" : "DIFFERENT");
    return identical ? 0 : 1;
}
