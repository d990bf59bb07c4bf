// Rebuilding a polarimetric CompositeCanvas at a new origin: eight complex
// tiles read (four of each member), the 24 MiB cut file written, and the
// render of display slots 1 and 2; against the floor of reading the same
// tile bytes and writing the same number of bytes in the same run.
//
//   bench_composite [--runs N]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "composites/pol_composite.h"
#include "display/raw_dib.h"
#include "platform/file.h"
#include "platform/ui.h"
#include "tiles/tile_store.h"

using namespace tessarin;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kTiles = 4;  // a 4 x 4 tile scene

double msSince(Clock::time_point a) { return std::chrono::duration<double, std::milli>(Clock::now() - a).count(); }

void writeTileFile(const std::string& path, const tiles::TileGrid& grid, unsigned seed) {
    std::vector<std::uint8_t> bytes(grid.fileBytes(tiles::TileKind::Complex));
    unsigned v = seed;
    for (auto& b : bytes) {
        v = v * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(v >> 16);
    }
    writeWholeFile(path, bytes);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 15;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));
    const std::string dir = (std::filesystem::temp_directory_path() / "tessarin-bench-composite").string();
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);

    const tiles::TileGrid grid = tiles::TileGrid::make(kTiles * tiles::kTileSize, kTiles * tiles::kTileSize);
    const std::string hh = dir + "/IMG-HH-ALOS2011502960-140724-UBSR1.1__Atile.cpx";
    const std::string hv = dir + "/IMG-HV-ALOS2011502960-140724-UBSR1.1__Atile.cpx";
    writeTileFile(hh, grid, 1);
    writeTileFile(hv, grid, 2);
    const composites::Member m1 = composites::memberOf(hh, tiles::TileKind::Complex);
    const composites::Member m2 = composites::memberOf(hv, tiles::TileKind::Complex);
    const std::vector<const composites::Member*> members{&m1, &m2};
    const composites::ChannelPlan plan = composites::dualPlan(true);
    const std::string cut = m1.index + "FBDCocut";
    const std::string floorOut = dir + "/floor.out";

    composites::CompositeCanvas canvas(grid.tpix, grid.tlin);
    display::DisplaySlots slots;
    ScriptedUi ui;
    std::vector<std::uint8_t> tile(grid.tileBytes(tiles::TileKind::Complex));
    std::vector<std::uint8_t> written(canvas.bytes().size());
    std::vector<double> floorMs, buildMs, renderMs, totalMs;
    // Alternate between two blocks so every run reads other tiles.
    const tiles::GlobalPoint origins[2] = {{1000, 1000}, {3000, 3000}};
    for (int r = 0; r < runs; ++r) {
        const tiles::GlobalPoint at = origins[r % 2];
        const int kx0 = (grid.tpix / 2 + static_cast<int>(at.x)) / grid.tpix;
        const int ky0 = (grid.tlin / 2 + static_cast<int>(at.y)) / grid.tlin;
        auto a = Clock::now();
        for (const std::string& path : {hh, hv}) {
            File in(path, File::Mode::Read);
            for (int j = 0; j < 2; ++j)
                for (int i = 0; i < 2; ++i) tiles::readTile(in, grid, kx0 + i, ky0 + j, tiles::TileKind::Complex, tile);
        }
        writeWholeFile(floorOut, written);
        floorMs.push_back(msSince(a));

        a = Clock::now();
        composites::buildCompositeCanvas(at, grid, members, plan, cut, canvas);
        const double built = msSince(a);
        const auto b = Clock::now();
        const RasterFile raster{cut, canvas.width(), canvas.height(), 3, 2};
        for (int s : {display::slot::kMain, display::slot::kMagnifier}) slots.RenderDisplaySlot(s, raster, dir, ui);
        const double rendered = msSince(b);
        buildMs.push_back(built);
        renderMs.push_back(rendered);
        totalMs.push_back(built + rendered);
        ui.statuses.clear();
    }
    const double floor = median(floorMs), build = median(buildMs);
    std::printf("composite canvas rebuild (2 complex members, 8 tiles read, %zu MiB written): median %.1f ms\n",
                canvas.bytes().size() >> 20, build);
    std::printf("floor (read the same 8 tiles, write the same bytes): median %.1f ms; ratio %.2f (target <= 1.5)\n",
                floor, build / floor);
    std::printf("render of slots 1 and 2 on top: median %.1f ms; rebuild and render: median %.1f ms over %d runs, "
                "ratio %.2f to the floor\n",
                median(renderMs), median(totalMs), runs, median(totalMs) / floor);
    std::filesystem::remove_all(dir);
    return 0;
}
