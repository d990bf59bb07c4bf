// The geo export of a simulated scene with terrain, opened as its complex
// TileSet (profile-driven ortho) and as the level 1.1 image (table-driven):
//
//   bench_export [--size N] [--repeat R] [--all-frames]
//
// Simulates an N x N scene (default 7168) with its DEM, tiles it, imports
// the SRTM-3 DEM and prints, for "Export KML for current tile", the median
// of R runs (default 3) per frame against the target of 1.5 s, and its
// parts: the ortho frame, the brightness mapping to RGBA, the PNG encoding
// (parallel at zlib level 3, against libpng's own single-threaded default as
// the floor to beat), the KML. With --all-frames it then exports every frame
// of the scene ("Export Multiple Tiles " over the whole grid) and prints the
// time per frame and the peak resident memory.

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/app_core.h"
#include "app/command_table.h"
#include "dem/geoid_grid.h"
#include "display/view_controller.h"
#include "document/tessarin_doc.h"
#include "export/export_commands.h"
#include "export/frame_png.h"
#include "export/ortho_source.h"
#include "imagefiles/png_output.h"
#include "imagefiles/png_parallel.h"
#include "platform/format.h"
#include "platform/ui.h"
#include "products/alos2.h"
#include "simulator/scene_simulator.h"
#include "simulator/simulated_dem.h"
#include "tiles/scene_tiling.h"

using namespace tessarin;
using Clock = std::chrono::steady_clock;

namespace {

// Keeps nothing: a long export would otherwise hold every status text.
class QuietUi : public ScriptedUi {
public:
    void status(const std::string&) override {}
    void message(const std::string& text) override { last = text; }
    std::string last;
};

template <typename Run>
double medianOf(int repeat, Run run) {
    std::vector<double> t;
    for (int i = 0; i < repeat; ++i) {
        const auto t0 = Clock::now();
        run();
        t.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

double peakMegabytes() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
    int size = 7168, repeat = 3;
    bool allFrames = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--size" && i + 1 < argc) size = std::max(2048, std::atoi(argv[++i]));
        else if (a == "--repeat" && i + 1 < argc) repeat = std::max(1, std::atoi(argv[++i]));
        else if (a == "--all-frames") allFrames = true;
    }
    if (!std::filesystem::exists(dem::kProjDataEgm96Gtx)) {
        std::printf("needs %s (proj-data)\n", dem::kProjDataEgm96Gtx);
        return 1;
    }
    const auto root = std::filesystem::temp_directory_path() / ("tessarin-bench-export-" + std::to_string(::getpid()));
    std::filesystem::remove_all(root);
    simulator::SimulatorOptions o;
    o.folder = (root / "product").string();
    o.pixels = o.lines = size;
    const auto t0 = Clock::now();
    const simulator::SimulationTruth truth = simulator::simulateScene(o);
    const simulator::WrittenDem dem =
        simulator::writeSimulatedDem({o.folder, truth.terrain, truth.corners}, dem::readGtxGeoid(dem::kProjDataEgm96Gtx));
    QuietUi ui;
    products::Alos2 reader;
    const std::string tiles = (root / "tiles").string();
    std::filesystem::create_directories(tiles);
    const std::string tileFile = tiles::tileOriginalProduct(truth.products.at(0).imagePaths.at(0), tiles, reader, ui).names.tile;
    std::printf("scene %d x %d simulated and tiled in %.1f s\n", size, size,
                std::chrono::duration<double>(Clock::now() - t0).count());

    ::setenv("TESSARIN_WORKDIR", (root / "work").string().c_str(), 1);
    const std::string link = format("link_data_bench_export_%d", static_cast<int>(::getpid()));
    std::string hgt;
    for (const auto& t : dem.tiles)
        if (t.source == dem::DemSource::Srtm3) hgt = t.path;

    for (const int mode : {5, 1}) {
        app::AppCore core(ui, link);
        app::registerModules(core);
        core.linkBlock().writeOpenMode(mode);
        document::CTessarinDoc* doc = core.openDocument(mode == 5 ? tileFile : truth.products.at(0).imagePaths.at(0));
        if (!doc) {
            std::printf("mode %d: the open failed: %s\n", mode, ui.last.c_str());
            return 1;
        }
        ui.addAnswer(hgt);
        ui.addAnswer(dem.geoidPath);
        core.run(*app::findCommand("SRTM old List"), doc);
        core.run(*app::findCommand("DEM Import"), doc);
        display::ViewController view(*doc, ui);
        core.activeView = &view;
        const geoexport::FrameIndex frame = geoexport::currentFrame(*doc);
        // The first run also builds the mapping table (table-driven modes).
        const auto first = Clock::now();
        const bool ran = core.run(*app::findCommand("Export KML for current tile"), doc);
        const double firstRun = std::chrono::duration<double>(Clock::now() - first).count();
        if (!ran || core.lastRunFailed()) {
            std::printf("mode %d: the export failed: %s\n", mode, ui.last.c_str());
            return 1;
        }
        const double command_s = medianOf(repeat, [&] { core.run(*app::findCommand("Export KML for current tile"), doc); });
        std::printf("mode %d (%s), frame kx=%d ky=%d:\n  \"Export KML for current tile\" %.3f s per frame "
                    "(first run %.3f s): %.2f x the 1.5 s target\n",
                    mode, doc->label().c_str(), frame.kx, frame.ky, command_s, firstRun, command_s / 1.5);

        const geoexport::FrameConverter convert = geoexport::documentConverter(*doc, ui);
        geoexport::GroundFrame g;
        const double ortho_s = medianOf(repeat, [&] { g = convert(frame); });
        const auto stats = geoexport::frameStatistics(g.pixels());
        std::vector<std::uint8_t> rgba;
        const double map_s = medianOf(repeat, [&] { rgba = geoexport::frameRgba(g.pixels(), stats, {1, 1, 1}); });
        std::size_t bytes = 0;
        const double png_s = medianOf(repeat, [&] { bytes = encodePngRgbaParallel(g.width, g.height, rgba).size(); });
        std::size_t libpngBytes = 0;
        const double libpng_s = medianOf(repeat, [&] { libpngBytes = encodePngRgba(g.width, g.height, rgba).size(); });
        const std::string kmlPath = (root / "bench.png").string();
        const double kml_s = medianOf(repeat, [&] { geoexport::writeGroundOverlay(kmlPath, true, g.gridBox); });
        std::printf("  ortho %d x %d: %.3f s; mapping %.3f s; PNG %.3f s (%.1f MB) against libpng's default "
                    "%.3f s (%.1f MB): %.2f x; KML %.4f s\n",
                    g.width, g.height, ortho_s, map_s, png_s, static_cast<double>(bytes) / 1e6, libpng_s, static_cast<double>(libpngBytes) / 1e6,
                    png_s / libpng_s, kml_s);

        if (allFrames && mode == 5) {
            std::string why;
            const auto range = geoexport::checkedRange(0, 1 << 20, 0, 1 << 20, doc->grid(), &why);
            const auto frames = geoexport::rangeFrames(*range);
            const auto start = Clock::now();
            const geoexport::ExportRun run = geoexport::runFrameExport(*doc, frames, convert, ui);
            const double all_s = std::chrono::duration<double>(Clock::now() - start).count();
            std::printf("  all %zu frames of the %d x %d tiles: %.1f s, %.3f s per frame, %d written; "
                        "peak resident memory %.0f MB\n",
                        frames.size(), doc->grid().ntx, doc->grid().nty, all_s, all_s / static_cast<double>(frames.size()),
                        run.written(), peakMegabytes());
        }
        core.activeView = nullptr;
        core.closeDocument(doc);
    }
    std::printf("peak resident memory %.0f MB\n", peakMegabytes());
    LinkBlock::remove(link);
    std::filesystem::remove_all(root);
    return 0;
}
