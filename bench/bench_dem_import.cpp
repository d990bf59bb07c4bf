// The DEM import against the floor of reading its tiles, the "DemTable" grid
// of one view frame, and the geoid load.
//
//   bench_dem_import [--repeat N] [--geoid WW15MGH.DAC]
//
// Writes four SRTM-1 tiles (a 2 x 2 block, about 104 MB) and a simulated
// 3072 x 3072 scene with its DEM into a temporary folder, then prints the
// median of N runs (default 5) of: reading the four tile files whole (the
// floor), importing them into the table of a box over nearly the whole
// block (target at most 1.5 x the floor); the 2048 x 2048 DemTable grid
// from the scene's polynomials (target at most 0.3 s); loading the geoid
// (target under 20 ms; the genuine grid when given, else the one written
// beside the simulated tiles).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "dem/dem_import.h"
#include "dem/geoid.h"
#include "platform/file.h"
#include "products/alos2.h"
#include "simulator/scene_simulator.h"
#include "simulator/simulated_dem.h"

using namespace tessarin;
using Clock = std::chrono::steady_clock;

namespace {

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

}  // namespace

int main(int argc, char** argv) {
    int repeat = 5;
    std::string genuineGeoid;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--repeat" && i + 1 < argc) repeat = std::max(1, std::atoi(argv[++i]));
        else if (a == "--geoid" && i + 1 < argc) genuineGeoid = argv[++i];
    }
    const auto folder = std::filesystem::temp_directory_path() / "tessarin-bench-dem";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);

    // Four tiles with heights that vary everywhere.
    std::vector<std::string> paths;
    for (int lat = 35; lat <= 36; ++lat)
        for (int lon = 139; lon <= 140; ++lon) {
            dem::DemTile t{dem::DemSource::Srtm1, lat, lon, {}};
            t.heights_m.resize(std::size_t{dem::kArcSecondSamples} * dem::kArcSecondSamples);
            for (std::size_t k = 0; k < t.heights_m.size(); ++k)
                t.heights_m[k] = static_cast<std::int16_t>((k * 7919u) % 4000u);
            paths.push_back((folder / dem::demTileName(t.source, lat, lon)).string());
            dem::writeDemTile(paths.back(), t);
        }
    std::size_t sink = 0;
    const double floor_s = medianOf(repeat, [&] {
        for (const auto& p : paths) sink += readWholeFile(p, 1ull << 28).size();
    });
    const dem::DemList list = dem::demListForBox(dem::DemSource::Srtm1, 35.01, 36.99, 139.01, 140.99);
    const double import_s = medianOf(repeat, [&] { sink += dem::importDem(list, folder.string()).cells().size(); });
    const double table_s = medianOf(repeat, [&] { sink += dem::DemTable(list).cells().size(); });
    std::printf("import of 4 SRTM-1 tiles (%d x %d table): %.3f s, reading them %.3f s: %.2f x (target <= 1.5 x)\n",
                list.rows, list.columns, import_s, floor_s, import_s / floor_s);
    dem::TileBytes buffer;
    const double bytes_s = medianOf(repeat, [&] {
        for (const auto& p : paths) dem::readTileBytes(p, dem::DemSource::Srtm1, buffer), sink += buffer.bytes.size();
    });
    dem::DemTable placed(list);
    const double place_s = medianOf(repeat, [&] {
        for (const auto& t : list.tiles) placed.place(buffer, t.southLat_deg, t.westLon_deg);
    });
    std::printf("  of which the empty table %.3f s, reading into one buffer %.3f s, decoding into the table %.3f s\n",
                table_s, bytes_s, place_s);

    // A simulated scene and its DEM for the frame grid.
    simulator::SimulatorOptions options;
    options.folder = (folder / "scene").string();
    options.pixels = 3072, options.lines = 3072;
    options.level11 = false, options.level15 = true;
    const simulator::SimulationTruth truth = simulator::simulateScene(options, {});
    const dem::GeoidGrid grid = dem::readGtxGeoid(dem::kProjDataEgm96Gtx);
    const auto written = simulator::writeSimulatedDem({options.folder, truth.terrain, truth.corners}, grid);
    dem::CGeoid geoid;
    const std::string geoidPath = genuineGeoid.empty() ? written.geoidPath : genuineGeoid;
    const double geoid_s = medianOf(repeat, [&] { geoid.load(geoidPath, (folder / "GeoidDataImg").string()); });
    std::printf("geoid load with GeoidDataImg (%s): %.1f ms (target < 20 ms)\n", geoidPath.c_str(), 1e3 * geoid_s);

    const products::SceneParameters scene = truth.scene;
    const dem::SceneToGround toGround = [&scene](double p, double l) {
        return products::latLonOfPixelLine(scene, {p, l});
    };
    const dem::DemList sceneList = dem::buildDemList(dem::DemSource::Srtm1, scene.pixel, scene.line, toGround);
    const dem::DemTable table = dem::importDem(sceneList, options.folder);
    std::vector<std::int16_t> heights;
    const double frame_s =
        medianOf(repeat, [&] { dem::fillDemTableGrid(table, geoid, toGround, 512, 512, 2048, 2048, heights); });
    std::printf("DemTable of a 2048 x 2048 frame: %.3f s (target <= 0.3 s)\n", frame_s);

    std::filesystem::remove_all(folder);
    return sink == 0 ? 1 : 0;
}
