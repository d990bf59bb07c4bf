// The interferogram merger on one working area of a simulated pair: the
// mode 9 open, the merger alone (1 thread against all, bytes compared), a
// re-centre, and single point matching per measurement. Medians over runs.
//
//   bench_interferogram [--runs N] [--size N] [--reference bench/interferogram_reference.py]
//   bench_interferogram --whole PIXELSxLINES
//
// --whole simulates and tiles a pair of that size, then runs the whole-scene
// processing in a process of its own (seconds per block of two by two
// tiles, and that process's peak resident size).
//
// With --reference, the same arithmetic in numpy is timed on the same
// inputs for the ratio (needs python3-numpy: apt-get install python3-numpy,
// run by /usr/bin/python3).

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <span>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/app_core.h"
#include "app/command_ids.h"
#include "app/command_table.h"
#include "document/tessarin_doc.h"
#include "insar/interferogram.h"
#include "insar/pair_project.h"
#include "insar/pair_state.h"
#include "insar/tie_point_matcher.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/ui.h"
#include "simulator/scene_simulator.h"
#include "tiles/scene_tiling.h"

using namespace tessarin;
using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }
double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

// The whole-scene run of an existing project, in this process alone.
int wholeRun(const std::string& project, const std::string& linkName) {
    ScriptedUi ui({project + "-products/blockFS.prj"});
    std::filesystem::create_directories(project + "-products");
    app::AppCore core(ui, linkName);
    app::registerModules(core);
    core.linkBlock().writeOpenMode(9);
    document::CTessarinDoc* doc = core.openDocument(project);
    if (!doc) return 1;
    const auto t = Clock::now();
    core.run(*app::findCommand(app::cmd::kInferoGenerationByAddressInput), doc);
    const double seconds = msSince(t) / 1000.0;
    const auto& grid = doc->grid();
    const int blocks = ((grid.ntx + 1) / 2) * ((grid.nty + 1) / 2);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("whole scene %d x %d: %d blocks in %.1f s, %.2f s per block; %s\n", grid.pixel, grid.line, blocks,
                seconds, seconds / blocks, ui.messages.empty() ? "" : ui.messages.back().c_str());
    std::printf("peak resident size of the run: %.0f MB (target <= 400 MB)\n", usage.ru_maxrss / 1024.0);
    core.closeDocument(doc);
    return 0;
}

int wholeScene(const char* self, int pixels, int lines) {
    const std::string dir = (std::filesystem::temp_directory_path() / "tessarin-bench-whole").string();
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir + "/work");
    ::setenv("TESSARIN_WORKDIR", (dir + "/work").c_str(), 1);
    const std::string linkName = format("link_data_bench_whole_%d", static_cast<int>(::getpid()));
    simulator::SimulatorOptions o;
    o.folder = dir + "/scene";
    o.pixels = pixels;
    o.lines = lines;
    o.pair = simulator::PairOptions{.perpendicularBaseline_m = 200.0};
    const auto truth = simulator::simulateScene(o);
    ScriptedUi ui;
    std::vector<std::string> tileFiles;
    for (const auto* images : {&truth.products.at(0).imagePaths, &truth.pair->products.at(0).imagePaths}) {
        products::Alos2 reader;
        tileFiles.push_back(tiles::tileOriginalProduct(images->at(0), dir + "/work", reader, ui).names.tile);
        std::filesystem::remove(images->at(0));  // the products are not needed past tiling
    }
    const std::string project = dir + "/work/whole.INF";
    insar::writePairProject(project, {tileFiles[0], tileFiles[1]});
    {
        app::AppCore core(ui, linkName);
        app::registerModules(core);
        core.linkBlock().writeOpenMode(8);
        if (auto* doc = core.openDocument(project)) core.closeDocument(doc);
    }
    const std::string command = format("'%s' --whole-run '%s'", self, project.c_str());
    const int code = std::system(command.c_str());
    LinkBlock::remove(linkName);
    std::filesystem::remove_all(dir);
    return code == 0 ? 0 : 1;
}

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--whole-run") == 0) {
        const std::string link = format("link_data_bench_whole_run_%d", static_cast<int>(::getpid()));
        const int code = wholeRun(argv[2], link);
        LinkBlock::remove(link);
        return code;
    }
    if (argc == 3 && std::strcmp(argv[1], "--whole") == 0) {
        int pixels = 0, lines = 0;
        if (std::sscanf(argv[2], "%dx%d", &pixels, &lines) != 2 || pixels < 2048 || lines < 2048) {
            std::fprintf(stderr, "--whole PIXELSxLINES, at least 2048 each way\n");
            return 2;
        }
        return wholeScene(argv[0], pixels, lines);
    }
    int runs = 5, size = 4096;
    std::string reference;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--reference") == 0) reference = argv[i + 1];
        if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));
        if (std::strcmp(argv[i], "--size") == 0) size = std::max(2048, std::atoi(argv[i + 1]));
    }
    const std::string dir = (std::filesystem::temp_directory_path() / "tessarin-bench-interferogram").string();
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir + "/work");
    ::setenv("TESSARIN_WORKDIR", (dir + "/work").c_str(), 1);
    const std::string linkName = format("link_data_bench_ifg_%d", static_cast<int>(::getpid()));

    simulator::SimulatorOptions o;
    o.folder = dir + "/scene";
    o.pixels = o.lines = size;
    o.pair = simulator::PairOptions{.perpendicularBaseline_m = 200.0};
    const auto truth = simulator::simulateScene(o);
    ScriptedUi ui;
    std::vector<std::string> tilesOf;
    for (const auto* images : {&truth.products.at(0).imagePaths, &truth.pair->products.at(0).imagePaths}) {
        products::Alos2 reader;
        tilesOf.push_back(tiles::tileOriginalProduct(images->at(0), dir + "/work", reader, ui).names.tile);
    }
    const std::string project = dir + "/work/bench.INF";
    insar::writePairProject(project, {tilesOf[0], tilesOf[1]});

    int code = 0;
    {
        app::AppCore core(ui, linkName);
        app::registerModules(core);
        core.linkBlock().writeOpenMode(8);
        document::CTessarinDoc* made = core.openDocument(project);
        if (!made) {
            std::fprintf(stderr, "the bench pair could not be opened under mode 8\n");
            return 1;
        }
        core.closeDocument(made);

        std::vector<double> openMs, mergeMs, mergeOneMs, recentreMs;
        document::CTessarinDoc* doc = nullptr;
        for (int r = 0; r < runs; ++r) {
            if (doc) core.closeDocument(doc);
            core.linkBlock().writeOpenMode(9);
            const auto t = Clock::now();
            doc = core.openDocument(project);
            openMs.push_back(msSince(t));
            if (!doc) {
                std::fprintf(stderr, "the bench pair could not be opened under mode 9\n");
                return 1;
            }
        }
        const auto& pair = doc->moduleState<insar::PairState>();
        insar::MergerInput in;
        in.master = &doc->reader(0).params();
        in.slave = &doc->reader(1).params();
        in.masterGrid = pair.masterGrid;
        in.slaveGrid = pair.slaveGrid;
        in.masterTile = pair.names.master.tile;
        in.slaveTile = pair.names.slave.tile;
        in.table = doc->moduleState<insar::TiePointState>().table;
        in.topLeft = doc->canvasState().origin;
        in.convention = pair.convention;
        insar::MergerResult all, one;
        for (int r = 0; r < runs; ++r) {
            auto t = Clock::now();
            all = insar::mergeInterferogram(in);
            mergeMs.push_back(msSince(t));
            insar::MergerInput single = in;
            single.threads = 1;
            t = Clock::now();
            one = insar::mergeInterferogram(single);
            mergeOneMs.push_back(msSince(t));
        }
        const bool identical = all.fringe == one.fringe && all.coherence == one.coherence &&
                               all.cut.bytes() == one.cut.bytes() && all.weightedCoherence == one.weightedCoherence;
        for (int r = 0; r < runs; ++r) {
            const auto t = Clock::now();
            doc->assembleCanvas();
            doc->renderCanvasDisplays();
            recentreMs.push_back(msSince(t));
        }
        // Single point matching: one measurement per point of a grid.
        std::vector<double> matchMs;
        const int points = 200;
        const auto t = Clock::now();
        int accepted = 0;
        for (int k = 0; k < points; ++k) {
            const long long x = 100 + (k * 389) % (size - 200), y = 100 + (k * 571) % (size - 200);
            accepted += insar::matchAt(in.masterTile, in.masterGrid, size, size, in.slaveTile, in.slaveGrid, size, size,
                                       {x, y}, {x + 3, y - 5}, true)
                            .accepted;
        }
        const double perMatch = msSince(t) / points;

        std::printf("machine: %u hardware threads\n", std::thread::hardware_concurrency());
        std::printf("scene %d x %d pair, working area from %lld,%lld\n", size, size, in.topLeft.x, in.topLeft.y);
        std::printf("mode 9 open (decode, overview, merger, files, render): median %.0f ms (target <= 1500 ms)\n",
                    median(openMs));
        std::printf("merger alone, all threads: median %.0f ms (target <= 600 ms); 1 thread %.0f ms; ratio %.2f\n",
                    median(mergeMs), median(mergeOneMs), median(mergeOneMs) / median(mergeMs));
        std::printf("bit-identical whichever number of threads: %s\n", identical ? "yes" : "NO");
        std::printf("re-centre (merger, files, render): median %.0f ms (target <= 1500 ms)\n", median(recentreMs));
        std::printf("single point matching: %.2f ms per measurement (target <= 5 ms); %d of %d accepted\n", perMatch,
                    accepted, points);
        if (!reference.empty()) {
            // The inputs of the compute, as the merger reads them.
            const std::string ref = dir + "/reference";
            std::filesystem::create_directories(ref);
            const auto bytesOf = [](const auto& v) {
                return std::span(reinterpret_cast<const std::uint8_t*>(v.data()), v.size() * sizeof(v[0]));
            };
            const int W = all.width, H = all.height;
            writeWholeFile(ref + "/master.u32", bytesOf(insar::readComplexWindow(in.masterTile, in.masterGrid,
                                                                                 in.topLeft.x, in.topLeft.y, W, H)));
            writeWholeFile(ref + "/slave.u32",
                           bytesOf(insar::readComplexWindow(in.slaveTile, in.slaveGrid, all.slaveTopLeft.x,
                                                            all.slaveTopLeft.y, all.slaveWidth, all.slaveHeight)));
            std::vector<double> sm, ss;
            const auto& pm = *in.master;
            const auto& ps = *in.slave;
            for (int j = 0; j < H; ++j) {
                const double L = static_cast<double>(in.topLeft.y + j);
                const auto a = products::orbitPositionAt(pm, (L - (pm.line + 1) / 2) / pm.prf + pm.scsecofday);
                const double slaveLine = insar::slavePosition(in.table, 0.0, L).line;
                const auto b = products::orbitPositionAt(ps, (slaveLine - (ps.line + 1) / 2) / ps.prf + ps.scsecofday);
                sm.insert(sm.end(), {a.x_m, a.y_m, a.z_m});
                ss.insert(ss.end(), {b.x_m, b.y_m, b.z_m});
            }
            writeWholeFile(ref + "/sm.f64", bytesOf(sm));
            writeWholeFile(ref + "/ss.f64", bytesOf(ss));
            writeWholeFile(ref + "/fringe.u8", all.fringe);
            writeWholeFile(ref + "/coherence.u8", all.coherence);
            const auto list = [](const auto& values) {
                std::string out = "[";
                for (std::size_t k = 0; k < values.size(); ++k)
                    out += (k ? ", " : "") + format("%.17g", static_cast<double>(values[k]));
                return out + "]";
            };
            std::array<double, 4> mx{}, my{};
            for (std::size_t k = 0; k < 4; ++k) {
                mx[k] = in.table.master[k].x;
                my[k] = in.table.master[k].y;
            }
            std::string meta = "{";
            meta += format("\"width\": %d, \"height\": %d, \"slave_width\": %d, \"slave_height\": %d, ", W, H,
                           all.slaveWidth, all.slaveHeight);
            meta += format("\"x0\": %lld, \"y0\": %lld, \"sx0\": %lld, \"sy0\": %lld, ", in.topLeft.x, in.topLeft.y,
                           all.slaveTopLeft.x, all.slaveTopLeft.y);
            meta += "\"master_x\": " + list(mx) + ", \"master_y\": " + list(my) + ", \"disp_x\": " + list(in.table.dispX) +
                    ", \"disp_y\": " + list(in.table.dispY) + ", ";
            meta += format("\"adjust_x\": %.17g, \"adjust_y\": %.17g, \"pixel\": %d, \"line\": %d, ", in.table.adjustX,
                           in.table.adjustY, pm.pixel, pm.line);
            meta += format("\"ref_pixel\": %.17g, \"ref_line\": %.17g, ", pm.plRefPixel, pm.plRefLine);
            meta += "\"pl2lat\": " + list(pm.pl2lat) + ", \"pl2lon\": " + list(pm.pl2lon) + ", ";
            meta += format("\"wavelength\": %.17g, \"sign\": %d}", pm.wavelength,
                           all.convention == insar::PhaseConvention::MinusRange ? -1 : 1);
            File(ref + "/meta.json", File::Mode::Write).write(meta);
            std::printf("merger compute to compare: median %.0f ms (all threads, including its two window reads)\n",
                        median(mergeMs));
            std::fflush(stdout);
            const std::string command =
                "/usr/bin/python3 '" + reference + "' '" + ref + "' " + format("%.3f", median(mergeMs));
            if (std::system(command.c_str()) != 0) std::printf("the numpy reference did not run (python3-numpy?)\n");
        }
        if (!identical) code = 1;
        core.closeDocument(doc);
    }
    LinkBlock::remove(linkName);
    std::filesystem::remove_all(dir);
    return code;
}
