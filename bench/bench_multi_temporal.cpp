// Rebuilding a multi-temporal composite at a new origin: the master's four
// amplitude tiles, the second date's 2096 x 2096 cut from up to nine tiles
// (only the rows it needs), the blended displacement, the nearest-sample
// gather and the 24 MiB cut file written; against the floor of reading the
// same tiles' rows and writing the same number of bytes in the same run.
//
//   bench_multi_temporal [--runs N]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "composites/multi_temporal.h"
#include "platform/file.h"
#include "tiles/tile_store.h"

using namespace tessarin;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kTiles = 5;  // a 5 x 5 tile scene for each date

double msSince(Clock::time_point a) { return std::chrono::duration<double, std::milli>(Clock::now() - a).count(); }

void writeTileFile(const std::string& path, const tiles::TileGrid& grid, unsigned seed) {
    std::vector<std::uint8_t> bytes(grid.fileBytes(tiles::TileKind::Amplitude));
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
    const std::string dir = (std::filesystem::temp_directory_path() / "tessarin-bench-multi-temporal").string();
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);

    const int size = kTiles * tiles::kTileSize;
    composites::MultiTemporalInput in;
    in.masterGrid = in.secondGrid = tiles::TileGrid::make(size, size);
    in.masterTile = dir + "/IMG-HH-ALOS2011502960-140724-UBSR1.5__Dtile";
    in.secondTile = dir + "/IMG-HH-ALOS2013572960-140807-UBSR1.5__Dtile";
    writeTileFile(in.masterTile, in.masterGrid, 1);
    writeTileFile(in.secondTile, in.secondGrid, 2);
    // A field of a few samples across the scene, as a table from geometry gives.
    const insar::MasterPoint corners[4] = {{0, 0}, {size - 1, 0}, {0, size - 1}, {size - 1, size - 1}};
    const double dx[4] = {3.3, 2.8, 3.4, 2.7}, dy[4] = {-5.0, -5.1, -4.9, -5.2};
    for (std::size_t k = 0; k < 4; ++k) in.table.setPoint(k, corners[k], dx[k], dy[k]);
    in.table.adjustX = 0.4;
    in.table.adjustY = -0.3;
    in.table.ready = true;
    in.useCorners = true;
    in.thirdChannelCopy = true;
    const std::string cut = dir + "/IMG-HH-ALOS2011502960-140724-UBSR1.5__D.cut";
    const std::string floorOut = dir + "/floor.out";

    composites::CompositeCanvas canvas(in.masterGrid.tpix, in.masterGrid.tlin);
    composites::MultiTemporalBuffers buffers;
    std::vector<std::uint8_t> tile(in.masterGrid.tileBytes(tiles::TileKind::Amplitude));
    std::vector<std::uint8_t> written(canvas.bytes().size());
    std::vector<double> floorMs, buildMs;
    const tiles::GlobalPoint origins[2] = {{1500, 1500}, {2600, 2600}};
    std::size_t secondTilesRead = 0;
    for (int r = 0; r < runs; ++r) {
        const tiles::GlobalPoint at = origins[r % 2];
        const auto& g = in.masterGrid;
        const long long kx0 = (g.tpix / 2 + at.x) / g.tpix, ky0 = (g.tlin / 2 + at.y) / g.tlin;
        // The cut of the second date around the same block, as the build takes it.
        const long long sx = kx0 * g.tpix + 2 - composites::kSecondDateMargin;
        const long long sy = ky0 * g.tlin - 6 - composites::kSecondDateMargin;
        const long long cutSize = 2 * g.tpix + 2 * composites::kSecondDateMargin;

        auto a = Clock::now();
        {
            File master(in.masterTile, File::Mode::Read);
            for (int j = 0; j < 2; ++j)
                for (int i = 0; i < 2; ++i)
                    tiles::readTile(master, g, static_cast<int>(kx0) + i, static_cast<int>(ky0) + j,
                                    tiles::TileKind::Amplitude, tile);
            File second(in.secondTile, File::Mode::Read);
            secondTilesRead = 0;
            for (long long ky = sy / g.tlin; ky <= (sy + cutSize - 1) / g.tlin; ++ky)
                for (long long kx = sx / g.tpix; kx <= (sx + cutSize - 1) / g.tpix; ++kx) {
                    if (!g.contains(static_cast<int>(kx), static_cast<int>(ky))) continue;
                    // The tile's rows the cut covers, in one read.
                    const long long first = std::max(sy, ky * g.tlin) - ky * g.tlin;
                    const long long last = std::min(sy + cutSize, (ky + 1) * g.tlin) - ky * g.tlin;
                    const std::size_t bytes = static_cast<std::size_t>(last - first) * static_cast<std::size_t>(g.tpix) * 2;
                    second.readAt(g.tileLineOffset(kx, ky, first, tiles::TileKind::Amplitude), std::span(tile.data(), bytes));
                    ++secondTilesRead;
                }
        }
        writeWholeFile(floorOut, written);
        floorMs.push_back(msSince(a));

        a = Clock::now();
        composites::buildMultiTemporalCanvas(at, in, canvas, cut, &buffers);
        buildMs.push_back(msSince(a));
    }
    const double floor = median(floorMs), build = median(buildMs);
    std::printf("multi-temporal canvas rebuild (4 master tiles, the second date's cut from %zu tiles, blending, gather, "
                "%zu MiB written): median %.1f ms over %d runs\n",
                secondTilesRead, canvas.bytes().size() >> 20, build, runs);
    std::printf("floor (read the same tiles' rows, write the same bytes): median %.1f ms; ratio %.2f (target <= 2)\n", floor,
                build / floor);
    std::filesystem::remove_all(dir);
    return 0;
}
