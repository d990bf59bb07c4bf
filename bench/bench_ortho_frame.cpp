// One table-driven ortho frame of 2048 x 2048 in the middle of a 10000 x
// 30000 scene of known geometry (a mapping table of full size), over a
// smooth terrain: the seeded cell search on one and on all cores against the
// plain bracket search from the table's middle for every pixel, plus the
// profile variant.
//
//   bench_ortho_frame [--repeat N]
//
// Prints the seconds of each (best of N, default 3), the ratios measured in
// this run, whether every result is identical to the bit, and the peak
// resident size. Exits 1 when results differ.

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "dem/ortho_frame.h"
#include "geometry/mapping_table.h"
#include "geometry/ortho_matrix.h"
#include "geometry/scene_geometry.h"
#include "platform/ui.h"
#include "products/alos2.h"
#include "core/geometry/sar_scene_fixture.h"

using namespace tessarin;
using namespace tessarin::dem;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

template <typename Run>
double bestOf(int repeat, OrthoImage& out, Run run) {
    double best = 1e300;
    for (int i = 0; i < repeat; ++i) {
        const auto t0 = Clock::now();
        out = run();
        best = std::min(best, seconds(t0, Clock::now()));
    }
    return best;
}

bool same(const OrthoImage& a, const OrthoImage& b) { return a.rgb == b.rgb && a.alpha == b.alpha; }

}  // namespace

int main(int argc, char** argv) {
    int repeat = 3;
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--repeat" && i + 1 < argc) repeat = std::max(1, std::atoi(argv[++i]));

    geometry::fixture::SarSceneSpec setup;
    setup.pixels = 10000;
    setup.lines = 30000;
    setup.pixsz_m = 2.86;
    setup.prf_hz = 2000.0;
    setup.fitMarginTime_s = 12.0;
    const geometry::fixture::SarScene sar(setup);
    const products::SceneParameters& scene = sar.params();

    geometry::MappingTable table;
    ScriptedUi ui;
    auto t0 = Clock::now();
    geometry::buildMappingTable(scene, geometry::sceneGeometry(scene), table, ui);
    const geometry::CellIndex index(table);
    std::printf("scene 10000 x 30000, mapping table %d x %d built with its index in %.3f s\n", table.rows, table.columns,
                seconds(t0, Clock::now()));

    OrthoInputs in;
    in.scene = &scene;
    in.table = &table;
    in.cellIndex = &index;
    // A smooth relief of a few hundred metres (no DEM lookup: the bilinear
    // of the import is not timed here).
    in.height = [](double lat, double lon) { return 200.0 + 150.0 * std::sin(lat * 300.0) * std::cos(lon * 250.0); };

    OrthoFrameRequest frame = OrthoFrameRequest::ofTiles(4, 14, 1024, 1024, OrthoVariant::TableDriven);
    const BandBox box = orthoBand(frame, displacesTowardSmallerPixels(in, frame));
    OrthoSource band;
    band.originX = box.originX, band.originY = box.originY, band.width = box.width, band.height = box.height;
    band.values.resize(static_cast<std::size_t>(box.width) * static_cast<std::size_t>(box.height));
    band.present.assign(band.values.size(), 0);
    for (int y = 0; y < box.height; ++y)
        for (int x = 0; x < box.width; ++x) {
            const long long gx = box.originX + x, gy = box.originY + y;
            const std::size_t k = static_cast<std::size_t>(y) * static_cast<std::size_t>(box.width) +
                                  static_cast<std::size_t>(x);
            band.values[k] = static_cast<std::uint16_t>((gx * 7 + gy * 13) & 0xFFFF) | 1;
            band.present[k] = gx >= 0 && gy >= 0 && gx < scene.pixel && gy < scene.line;
        }

    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    OrthoImage seededOne, seededAll, plainOne, plainAll, profile;
    OrthoFrameRequest f = frame;
    f.threads = 1;
    const double tSeededOne = bestOf(repeat, seededOne, [&] { return orthoFrame(in, band, f); });
    f.threads = cores;
    const double tSeededAll = bestOf(repeat, seededAll, [&] { return orthoFrame(in, band, f); });
    f.search = CellSearch::Plain;
    f.threads = 1;
    const double tPlainOne = bestOf(1, plainOne, [&] { return orthoFrame(in, band, f); });
    f.threads = cores;
    const double tPlainAll = bestOf(1, plainAll, [&] { return orthoFrame(in, band, f); });
    OrthoFrameRequest p = frame;
    p.variant = OrthoVariant::ProfileDriven;
    p.threads = cores;
    const BandBox pbox = orthoBand(p, displacesTowardSmallerPixels(in, p));
    const double tProfile = (pbox.originX == box.originX && pbox.originY == box.originY)
                                ? bestOf(repeat, profile, [&] { return orthoFrame(in, band, p); })
                                : -1.0;

    const bool identical = same(seededOne, seededAll) && same(seededOne, plainOne) && same(seededOne, plainAll);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("ortho frame 2048 x 2048 -> %d rows x %d columns (%.1f M output pixels)\n", seededOne.grid.rows,
                seededOne.grid.columns, seededOne.grid.rows * static_cast<double>(seededOne.grid.columns) / 1e6);
    std::printf("  table, seeded search, 1 thread    %8.3f s\n", tSeededOne);
    std::printf("  table, seeded search, %d threads   %8.3f s  (target <= 0.5 s)\n", cores, tSeededAll);
    std::printf("  table, plain search, 1 thread     %8.3f s\n", tPlainOne);
    std::printf("  table, plain search, %d threads    %8.3f s\n", cores, tPlainAll);
    if (tProfile >= 0) std::printf("  profile, %d threads                %8.3f s\n", cores, tProfile);
    std::printf("  plain / seeded (same threads)     %8.1f x  (target >= 5 x)\n", tPlainAll / tSeededAll);
    std::printf("  1 thread / %d threads (seeded)     %8.2f x\n", cores, tSeededOne / tSeededAll);
    std::printf("  results                           %s\n", identical ? "identical for every thread count and search"
                                                                       : "DIFFERENT");
    std::printf("peak resident size: %.0f MB\n", usage.ru_maxrss / 1024.0);
    return identical ? 0 : 1;
}
