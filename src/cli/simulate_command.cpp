// simulate OUTDIR: writes a synthetic scene of known truth (level 1.1 and/or
// 1.5 products) and "truth.json" beside it.

#include <chrono>
#include <cstdio>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/file.h"
#include "platform/format.h"
#include "platform/text.h"
#include "simulator/scene_simulator.h"
#include "subcommands.h"

namespace tessarin::cli {

namespace {

using nlohmann::ordered_json;

ordered_json latLon(const simulator::GeoPoint& g) { return {{"lat_deg", g.lat_deg}, {"lon_deg", g.lon_deg}}; }

ordered_json truthJson(const simulator::SimulationTruth& t, double seconds) {
    ordered_json j;
    j["seed"] = t.seed;
    j["pixels"] = t.pixels;
    j["lines"] = t.lines;
    j["look"] = std::string(1, t.look);
    j["polarisations"] = t.polarisations;
    j["wavelength_m"] = t.wavelength_m;
    j["prf_hz"] = t.prf_hz;
    j["pixsz_m"] = t.pixsz_m;
    j["linsz_m"] = t.linsz_m;
    j["near_range_m"] = t.nearRange_m;
    j["centre_time_s"] = t.centreTime_s;
    j["centre_line"] = t.centreLine;
    j["timing"] = "line time = centre_time_s + (line - centre_line) / prf_hz; slant range = near_range_m + pixel * pixsz_m";
    j["phase"] = "level 1.1 sample phase = -4 pi / wavelength_m * slant range + scattering phase (0 at point targets)";
    j["sigma0"] = "sigma-naught dB = 20 log10(amplitude) + calib_db, amplitude averaged as power";
    const auto& o = t.orbit;
    j["orbit"] = {{"radius_m", o.radius_m},
                  {"altitude_m", t.altitude_m},
                  {"rate_rad_s", o.rate_rad_s},
                  {"inclination_deg", o.inclination_deg},
                  {"node_deg", o.node_deg},
                  {"argument_at_centre_deg", o.argumentAtCentre_deg},
                  {"earth_rotation_rad_s", simulator::kEarthRotation_rad_s},
                  {"frame", "circular in inertial space, earth-fixed = rotated about z by -omega (t - centre_time_s)"}};
    ordered_json vectors = ordered_json::array();
    for (int i = 0; i < t.scene.orbitPointCount; ++i) {
        const auto& s = t.scene.stateVectors[static_cast<std::size_t>(i)];
        vectors.push_back({{"t", s.t}, {"X", s.X}, {"Y", s.Y}, {"Z", s.Z}, {"VX", s.VX}, {"VY", s.VY}, {"VZ", s.VZ}});
    }
    j["orbit"]["state_vectors"] = vectors;
    const char* cornerNames[] = {"upper_left", "upper_right", "lower_left", "lower_right"};
    ordered_json corners;
    for (std::size_t k = 0; k < 4; ++k) {
        ordered_json c = latLon(t.corners[k]);
        c["pixel"] = t.cornerPixels[k].pixel;
        c["line"] = t.cornerPixels[k].line;
        corners[cornerNames[k]] = c;
    }
    j["surface"] = "GRS80 ellipsoid, height 0";
    j["corners"] = corners;
    j["centre"] = latLon(t.centre);
    j["centre"]["pixel"] = t.scene.plRefPixel;
    j["centre"]["line"] = t.scene.plRefLine;
    j["fit_residual"] = {{"latlon_m", t.fitResidualLatLon_m}, {"pixel_line", t.fitResidualPixelLine}};
    const auto& tr = t.terrain;
    j["terrain"] = {{"centre_lat_deg", tr.centreLat_deg}, {"centre_lon_deg", tr.centreLon_deg},
                    {"range_east", tr.rangeEast},         {"range_north", tr.rangeNorth},
                    {"half_range_deg", tr.halfRange_deg}, {"azimuth_east", tr.azimuthEast},
                    {"azimuth_north", tr.azimuthNorth},   {"half_azimuth_deg", tr.halfAzimuth_deg},
                    {"hill_height_m", tr.hillHeight_m},   {"hill_xi", tr.hillXi},
                    {"hill_eta", tr.hillEta},             {"hill_width", tr.hillWidth},
                    {"slope_height_m", tr.slopeHeight_m},
                    {"function", "e = (lon - centre_lon) cos(centre_lat), n = lat - centre_lat (deg); xi = (e range_east + "
                                 "n range_north) / half_range_deg, eta = (e azimuth_east + n azimuth_north) / "
                                 "half_azimuth_deg; "
                                 "coast_xi = -0.45 + 0.10 sin(2.6 eta) + 0.04 sin(7 eta + 1); sea (height 0) where "
                                 "xi < coast_xi; else (1 - exp(-(xi - coast_xi) / 0.25)) (slope_height_m + "
                                 "hill_height_m exp(-((xi - hill_xi)^2 + (eta - hill_eta)^2) / hill_width^2)) m "
                                 "above the ellipsoid"}};
    ordered_json patches = ordered_json::array();
    for (const auto& p : t.patches) patches.push_back({{"name", p.name}, {"pol", p.pol}, {"sigma0_db", p.sigma0_dB}});
    j["patches"] = patches;
    ordered_json targets = ordered_json::array();
    for (const auto& p : t.targets)
        targets.push_back({{"pixel", p.at.pixel}, {"line", p.at.line}, {"lat_deg", p.ground.lat_deg},
                           {"lon_deg", p.ground.lon_deg}, {"sigma0_db", p.sigma0_dB}});
    j["point_targets"] = targets;
    ordered_json products = ordered_json::array();
    for (const auto& p : t.products)
        products.push_back({{"level", p.level == products::kLevel11 ? "1.1" : "1.5"},
                            {"images", p.imagePaths},
                            {"leader", p.leaderPath},
                            {"calib_db", p.calib_dB}});
    j["products"] = products;
    j["generation_s"] = seconds;
    return j;
}

int runSimulate(const Args& args, ConsoleUi& ui) {
    args.requirePositionals(1, "OUTDIR");
    simulator::SimulatorOptions options;
    options.folder = args.positionals()[0];
    if (const auto seed = args.value("seed")) {
        const auto v = parseInteger(*seed);
        if (!v || *v < 0) throw UsageError("--seed needs a whole number of 0 or more");
        options.seed = static_cast<std::uint64_t>(*v);
    }
    if (const auto size = args.value("size")) {
        const std::size_t x = size->find_first_of("xX");
        const auto w = x == std::string::npos ? std::nullopt : parseInteger(size->substr(0, x));
        const auto h = x == std::string::npos ? std::nullopt : parseInteger(size->substr(x + 1));
        if (!w || !h || *w <= 0 || *h <= 0 || *w > 1000000 || *h > 1000000)
            throw UsageError("--size needs PIXELSxLINES, e.g. 4000x6000");
        options.pixels = static_cast<int>(*w), options.lines = static_cast<int>(*h);
    }
    const std::string level = args.value("level").value_or("both");
    if (level == "1.1") options.level11 = true, options.level15 = false;
    else if (level == "1.5") options.level11 = false, options.level15 = true;
    else if (level == "both") options.level11 = true, options.level15 = true;
    else throw UsageError("--level needs 1.1, 1.5 or both");
    if (const auto pol = args.value("pol")) {
        options.polarisations.clear();
        std::size_t start = 0;
        while (true) {
            const std::size_t comma = pol->find(',', start);
            options.polarisations.push_back(pol->substr(start, comma - start));
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
    }
    const std::string look = args.value("look").value_or("R");
    if (look != "R" && look != "L") throw UsageError("--look needs R or L");
    options.look = look[0];

    const auto started = std::chrono::steady_clock::now();
    const simulator::SimulationTruth truth = simulator::simulateScene(
        options, [&](long long done, long long total) { ui.progress(done, total); });
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    const std::string truthPath = joinPath(options.folder, "truth.json");
    const std::string text = truthJson(truth, seconds).dump(2) + "\n";
    writeWholeFile(truthPath, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));

    for (const auto& p : truth.products)
        for (const auto& image : p.imagePaths) std::printf("image %s\n", image.c_str());
    std::printf("truth %s\n", truthPath.c_str());
    std::printf("centre lat,lon=%.6f, %.6f\n", truth.centre.lat_deg, truth.centre.lon_deg);
    std::printf("fit residual %.3f m, %.4f pixel/line\n", truth.fitResidualLatLon_m, truth.fitResidualPixelLine);
    std::printf("generated %d x %d in %.1f s\n", truth.pixels, truth.lines, seconds);
    return 0;
}

SubcommandRegistration simulateCommand(
    {"simulate", "write a synthetic ALOS-2-like scene of known truth (products and truth.json)", "OUTDIR",
     {{"seed", true, "random seed of speckle and fields (default 1)"},
      {"size", true, "PIXELSxLINES (default 4000x6000)"},
      {"level", true, "1.1, 1.5 or both (default both)"},
      {"pol", true, "polarisations, e.g. HH,HV (default HH)"},
      {"look", true, "R or L (default R)"}},
     runSimulate});

}  // namespace

}  // namespace tessarin::cli
