// Ctrl+click re-centring in the overview on a complex TileSet: canvas reload
// from four tiles plus the render of display slots 1 and 2, median over
// runs, with a read of the same four tiles' bytes as a floor.
//
//   bench_recentre [--runs N]

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "app/app_core.h"
#include "display/view_controller.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/ui.h"
#include "support/product_fixture.h"

using namespace tessarin;
using Clock = std::chrono::steady_clock;

constexpr int kScenePixels = 3 * 1024;
constexpr int kSceneLines = 3 * 1024;

int main(int argc, char** argv) {
    int runs = 21;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));
    const std::string dir = (std::filesystem::temp_directory_path() / "tessarin-bench-recentre").string();
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir + "/work");
    ::setenv("TESSARIN_WORKDIR", (dir + "/work").c_str(), 1);
    const std::string linkName = format("link_data_bench_recentre_%d", static_cast<int>(::getpid()));

    const testing::Samples samples{.complex = [](std::size_t x, int n) {
        return std::complex<float>(static_cast<float>(300 + (x * 7 + static_cast<std::size_t>(n) * 3) % 2000),
                                   static_cast<float>(n % 500));
    }};
    const std::string image =
        testing::writePlausibleProduct(dir + "/product", {.pixels = kScenePixels, .lines = kSceneLines}, samples)
            .imagePaths.at(0);

    ScriptedUi ui;
    int code = 0;
    {
        app::AppCore core(ui, linkName);
        app::registerModules(core);
        core.linkBlock().writeOpenMode(1);
        document::CTessarinDoc* doc = core.openDocument(image);
        if (!doc) {
            std::fprintf(stderr, "the bench scene could not be opened\n");
            return 1;
        }
        display::ViewController view(*doc, ui);
        view.paint(1600, 1100);
        const display::Rect overview = view.geometry().overview;
        const double sx = doc->paintInput().overviewScaleX, sy = doc->paintInput().overviewScaleY;
        // Two scene points in different 2 x 2 blocks, clicked in turn.
        const display::Point near{overview.left + static_cast<int>(200 / sx), overview.top + static_cast<int>(200 / sy)};
        const display::Point far{overview.left + static_cast<int>(2600 / sx), overview.top + static_cast<int>(2600 / sy)};

        std::vector<double> ms, floorMs;
        std::vector<std::uint8_t> tile(doc->grid().tileBytes(doc->tileKind()));
        for (int r = 0; r < runs; ++r) {
            // Floor: read the four tiles of a block.
            auto a = Clock::now();
            File tiles(doc->tileNames().tile, File::Mode::Read);
            for (long long t : {0LL, 1LL, 3LL, 4LL}) tiles.readAt(doc->grid().tileOffset(t, doc->tileKind()), tile);
            auto b = Clock::now();
            floorMs.push_back(std::chrono::duration<double, std::milli>(b - a).count());

            a = Clock::now();
            view.leftButtonDown(r % 2 ? near : far, {.ctrl = true});
            b = Clock::now();
            ms.push_back(std::chrono::duration<double, std::milli>(b - a).count());
            ui.statuses.clear();
        }
        const auto origin = doc->canvasState().origin;
        std::sort(ms.begin(), ms.end());
        std::sort(floorMs.begin(), floorMs.end());
        const double median = ms[ms.size() / 2], floor = floorMs[floorMs.size() / 2];
        std::printf("Ctrl+click re-centre on a complex TileSet (%d x %d tiles; canvas reload, slots 1 and 2): "
                    "median %.1f ms over %d runs (target < 100 ms); last canvas origin %lld,%lld\n",
                    doc->grid().ntx, doc->grid().nty, median, runs, origin.x, origin.y);
        std::printf("floor (read the four tiles): median %.1f ms; ratio %.2f\n", floor, median / floor);
        if (origin.x != 0 && origin.x != 2048) code = 1;
        core.closeDocument(doc);
    }
    LinkBlock::remove(linkName);
    std::filesystem::remove_all(dir);
    return code;
}
