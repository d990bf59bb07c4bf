// Rendering a 2048 x 2048 16-bit canvas into display slots 1 and 2
// (statistics, mapping, display files, bitmaps), median over runs, and a
// pass over the same bytes as a floor.
//
//   bench_render [--runs N]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "display/raw_dib.h"
#include "platform/file.h"
#include "platform/ui.h"

using namespace tessarin;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
    int runs = 21;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));
    const std::string dir = (std::filesystem::temp_directory_path() / "tessarin-bench-render").string();
    std::filesystem::create_directories(dir);
    const int n = 2048;
    std::vector<std::uint8_t> canvas(static_cast<std::size_t>(n) * n * 2);
    std::uint32_t h = 7;
    for (std::size_t k = 0; k < canvas.size(); k += 2) {
        h = h * 1664525u + 1013904223u;
        const std::uint16_t v = static_cast<std::uint16_t>((h >> 16) % 4000);
        canvas[k] = static_cast<std::uint8_t>(v & 0xFF);
        canvas[k + 1] = static_cast<std::uint8_t>(v >> 8);
    }
    const std::string path = dir + "/bench.cut";
    writeWholeFile(path, canvas);

    ScriptedUi ui;
    display::DisplaySlots slots;
    std::vector<double> ms, floorMs;
    for (int r = 0; r < runs; ++r) {
        // Floor: read the canvas and write one byte per sample, as a render must at least.
        auto a = Clock::now();
        const auto bytes = readWholeFile(path);
        std::vector<std::uint8_t> out(bytes.size() / 2);
        for (std::size_t k = 0; k < out.size(); ++k) out[k] = bytes[2 * k + 1];
        writeWholeFile(dir + "/floor.b", out);
        auto b = Clock::now();
        floorMs.push_back(std::chrono::duration<double, std::milli>(b - a).count());

        a = Clock::now();
        for (int slot : {1, 2}) slots.RenderDisplaySlot(slot, {path, n, n, 1, 2}, dir, ui);
        b = Clock::now();
        ms.push_back(std::chrono::duration<double, std::milli>(b - a).count());
        ui.statuses.clear();
    }
    std::sort(ms.begin(), ms.end());
    std::sort(floorMs.begin(), floorMs.end());
    const double median = ms[ms.size() / 2];
    const double floor = floorMs[floorMs.size() / 2];
    std::printf("render 2048 x 2048 16-bit canvas into slots 1 and 2: median %.1f ms over %d runs (target < 60 ms)\n",
                median, runs);
    std::printf("floor (read, one byte per sample, write): median %.1f ms; ratio %.2f\n", floor, median / floor);
    std::filesystem::remove_all(dir);
    return 0;
}
