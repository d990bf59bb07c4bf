// simulate OUTDIR: writes a synthetic scene of known truth (level 1.1 and/or
// 1.5 products) and "truth.json" beside it.

#include <chrono>
#include <filesystem>
#include <cstdio>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "dem/dem_tile.h"
#include "dem/geoid_grid.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/text.h"
#include "simulator/simulated_dem.h"
#include "simulator/scene_simulator.h"
#include "subcommands.h"

namespace tessarin::cli {

namespace {

using nlohmann::ordered_json;

// The products, DEM and truth are written into a folder of their own beside
// OUTDIR and moved into it only when all of them are complete: a run that
// fails half-way (a full disk) leaves OUTDIR as it was.
class StagingFolder {
public:
    explicit StagingFolder(std::string finalFolder) : final_(trimmedFolder(finalFolder)) {
        removeStaleTemporaries(final_);
        path_ = temporaryNameFor(final_);
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ~StagingFolder() {
        std::error_code ec;
        if (!committed_) std::filesystem::remove_all(path_, ec);
    }
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;

    const std::string& path() const { return path_; }
    // A path under the staging folder as it reads once moved into place.
    std::string finalOf(std::string text) const {
        for (std::size_t at = text.find(path_); at != std::string::npos; at = text.find(path_, at + final_.size()))
            text.replace(at, path_.size(), final_);
        return text;
    }
    void commit() {
        namespace fs = std::filesystem;
        std::error_code ec;
        if (!fs::exists(final_, ec)) {
            replaceFile(path_, final_);
        } else {
            moveInto(path_, final_);
            fs::remove_all(path_, ec);
        }
        committed_ = true;
    }

private:
    static std::string trimmedFolder(std::string f) {
        while (f.size() > 1 && f.back() == '/') f.pop_back();
        return f;
    }
    static void moveInto(const std::filesystem::path& from, const std::filesystem::path& to) {
        namespace fs = std::filesystem;
        for (const auto& entry : fs::directory_iterator(from)) {
            const fs::path target = to / entry.path().filename();
            std::error_code ec;
            if (entry.is_directory() && fs::is_directory(target, ec))
                moveInto(entry.path(), target);
            else
                replaceFile(entry.path().string(), target.string());
        }
    }
    std::string final_;
    std::string path_;
    bool committed_ = false;
};

ordered_json latLon(const GeoPoint& g) { return {{"lat_deg", g.lat_deg}, {"lon_deg", g.lon_deg}}; }

ordered_json productsJson(const std::vector<simulator::ProductTruth>& list) {
    ordered_json products = ordered_json::array();
    for (const auto& p : list)
        products.push_back({{"level", p.level == products::kLevel11 ? "1.1" : "1.5"},
                            {"images", p.imagePaths},
                            {"leader", p.leaderPath},
                            {"calib_db", p.calib_dB}});
    return products;
}

ordered_json orbitJson(const simulator::CircularOrbit& o, const products::SceneParameters& scene) {
    ordered_json vectors = ordered_json::array();
    for (int i = 0; i < scene.orbitPointCount; ++i) {
        const auto& s = scene.stateVectors[static_cast<std::size_t>(i)];
        vectors.push_back({{"t", s.t}, {"X", s.X}, {"Y", s.Y}, {"Z", s.Z}, {"VX", s.VX}, {"VY", s.VY}, {"VZ", s.VZ}});
    }
    return {{"radius_m", o.radius_m},
            {"rate_rad_s", o.rate_rad_s},
            {"inclination_deg", o.inclination_deg},
            {"node_deg", o.node_deg},
            {"argument_at_epoch_deg", o.argumentAtCentre_deg},
            {"epoch_s", o.centreTime_s},
            {"frame", "circular in inertial space, earth-fixed = rotated about z by -omega (t - epoch_s)"},
            {"state_vectors", vectors}};
}

ordered_json pairJson(const simulator::PairTruth& p) {
    ordered_json j;
    j["requested_perpendicular_baseline_m"] = p.options.perpendicularBaseline_m;
    j["baseline"] = {
        {"perpendicular_m", p.perpendicularBaseline_m},
        {"parallel_m", p.parallelBaseline_m},
        {"along_track_m", p.alongTrackBaseline_m},
        {"at", {{"pixel", p.baselinePixelLine.pixel},
                {"line", p.baselinePixelLine.line},
                {"lat_deg", p.baselineGround.ground.lat_deg},
                {"lon_deg", p.baselineGround.ground.lon_deg},
                {"height_m", p.baselineGround.height_m}}},
        {"definition", "B = S2 - S1, each satellite at its zero-Doppler time of the terrain point at (pixel, line) "
                       "of the first scene; parallel = B . u, u the unit vector from S1 to the point; perpendicular "
                       "= B . n, n perpendicular to u and to the velocity of S1, pointing away from the earth; "
                       "along track = B . the unit velocity of S1"}};
    j["repeat_days"] = p.options.repeatDays;
    j["coherence"] = p.options.coherence;
    j["offset"] = {{"pixels", p.options.offsetPixels},
                   {"lines", p.options.offsetLines},
                   {"meaning", "the second scene's sample (pixel + pixels, line + lines) holds the ground cell of "
                               "the first scene's sample (pixel, line); whole samples"}};
    j["registration_residual"] = {
        {"pixels", p.registrationResidualPixels},
        {"lines", p.registrationResidualLines},
        {"meaning", "largest difference over the scene between where the second scene's own geometry images a "
                    "cell and where the offset puts it"}};
    j["phase"] = "second scene sample phase = -4 pi / wavelength_m * zero-Doppler slant range from the second orbit "
                 "to the terrain point of its cell + the cell's scattering phase; distributed cells hold "
                 "C z1 + sqrt(1 - C^2) z2 (z1 the first scene's speckle, z2 independent, C the coherence), point "
                 "targets stay coherent; so first x conj(second) has phase -4 pi / wavelength_m (R1 - R2)";
    ordered_json second;
    second["scene_id"] = p.sceneId;
    second["date"] = p.date;
    second["centre_time_s"] = p.centreTime_s;
    second["near_range_m"] = p.nearRange_m;
    second["orbit"] = orbitJson(p.orbit, p.scene);
    const char* cornerNames[] = {"upper_left", "upper_right", "lower_left", "lower_right"};
    for (std::size_t k = 0; k < 4; ++k) second["corners"][cornerNames[k]] = latLon(p.corners[k]);
    second["centre"] = latLon(p.centre);
    second["fit_residual"] = {{"latlon_m", p.fitResidualLatLon_m}, {"pixel_line", p.fitResidualPixelLine}};
    second["products"] = productsJson(p.products);
    j["second"] = second;
    return j;
}

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
    j["patch_shapes"] = {
        {"sea", "xi < coast_xi (see terrain)"},
        {"river", "|xi - (0.05 + 0.12 sin(2.2 eta + 0.5))| < 0.02, on land"},
        {"town", "(xi - 0.30)^2 + (eta - 0.35)^2 < 0.14^2, on land off the river"},
        {"fields", "elsewhere: parcels of 0.12 x 0.12 in (xi, eta), each of field0 .. field3"}};
    ordered_json targets = ordered_json::array();
    for (const auto& p : t.targets)
        targets.push_back({{"pixel", p.at.pixel},
                           {"line", p.at.line},
                           {"lat_deg", p.ground.lat_deg},
                           {"lon_deg", p.ground.lon_deg},
                           {"ground",
                            {{"lat_deg", p.terrain.ground.lat_deg},
                             {"lon_deg", p.terrain.ground.lon_deg},
                             {"height_m", p.terrain.height_m}}},
                           {"sigma0_db", p.sigma0_dB}});
    j["point_targets"] = targets;
    j["products"] = productsJson(t.products);
    j["scene_id"] = t.sceneId;
    j["date"] = t.date;
    if (t.scanSar)
        j["scansar"] = {{"burst_period_lines", simulator::kBurstPeriodLines},
                        {"gap_lines", simulator::kBurstGapLines},
                        {"gaps", "line n of every product is dark (zero) where n mod burst_period_lines >= "
                                 "burst_period_lines - gap_lines"},
                        {"leader", "level 1.1: LED + the image name without its first six and last seven characters"}};
    if (t.pair) j["pair"] = pairJson(*t.pair);
    j["generation_s"] = seconds;
    return j;
}

ordered_json demJson(const simulator::WrittenDem& dem) {
    ordered_json tiles = ordered_json::array();
    for (const auto& t : dem.tiles) {
        ordered_json tile = {{"source", dem::demSourceName(t.source)},
                             {"path", t.path},
                             {"south_lat_deg", t.southLat_deg},
                             {"west_lon_deg", t.westLon_deg},
                             {"samples", dem::demTileSamples(t.source)}};
        if (!t.headerPath.empty()) tile["header"] = t.headerPath;
        tiles.push_back(tile);
    }
    return {{"heights", "whole metres above the EGM96 geoid: round(terrain height - N), N bilinear in the geoid file; "
                        "row 0 at the north edge, column 0 at the west edge, edges shared with the next tile"},
            {"margin_deg", dem.margin_deg},
            {"min_height_m", dem.minHeight_m},
            {"max_height_m", dem.maxHeight_m},
            {"geoid", {{"path", dem.geoidPath}, {"converted_from", dem.geoidSource}}},
            {"tiles", tiles}};
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
    options.scanSar = args.has("scansar");
    if (const auto centre = args.value("centre")) {
        const auto parts = splitString(*centre, ',');
        const auto lat = parts.size() == 2 ? parseReal(trim(parts[0])) : std::nullopt;
        const auto lon = parts.size() == 2 ? parseReal(trim(parts[1])) : std::nullopt;
        // The orbit's inclination keeps its ground track within about 80
        // degrees of latitude; the look reaches a few more.
        if (!lat || !lon || !(*lat >= -75.0 && *lat <= 75.0) || !(*lon >= -180.0 && *lon <= 360.0))
            throw UsageError("--centre needs LAT,LON in degrees, latitude within 75, e.g. -45.02,-65.92");
        options.centre = GeoPoint{*lat, *lon};
    }
    if (const auto baseline = args.value("pair")) {
        simulator::PairOptions pair;
        const auto b = parseReal(*baseline);
        if (!b) throw UsageError("--pair needs the perpendicular baseline in metres, e.g. 150");
        pair.perpendicularBaseline_m = *b;
        if (const auto days = args.value("repeat-days")) {
            const auto v = parseInteger(*days);
            if (!v || *v < 1 || *v > 3650) throw UsageError("--repeat-days needs a whole number of days, 1 to 3650");
            pair.repeatDays = static_cast<int>(*v);
        }
        if (const auto coherence = args.value("coherence")) {
            const auto v = parseReal(*coherence);
            if (!v || !(*v >= 0.0 && *v <= 1.0)) throw UsageError("--coherence needs a number from 0 to 1");
            pair.coherence = *v;
        }
        if (const auto offset = args.value("offset")) {
            const auto [dx, dy] = parseIntPair(*offset, "offset");
            if (dx < -100 || dx > 100 || dy < -100 || dy > 100)
                throw UsageError("--offset needs whole samples DX,DY, each within 100");
            pair.offsetPixels = static_cast<int>(dx), pair.offsetLines = static_cast<int>(dy);
        }
        options.pair = pair;
    } else if (args.has("repeat-days") || args.has("coherence") || args.has("offset")) {
        throw UsageError("--repeat-days, --coherence and --offset go with --pair");
    }

    // The geoid is read first: a missing grid stops the run before the
    // products are made.
    std::optional<dem::GeoidGrid> geoid;
    if (args.has("dem"))
        geoid.emplace(dem::readGtxGeoid(args.value("egm96-gtx").value_or(dem::kProjDataEgm96Gtx)));
    else if (args.has("egm96-gtx")) throw UsageError("--egm96-gtx goes with --dem");

    StagingFolder staging(options.folder);
    const std::string outFolder = options.folder;
    options.folder = staging.path();
    const auto started = std::chrono::steady_clock::now();
    simulator::SimulationTruth truth;
    std::optional<simulator::WrittenDem> dem;
    double seconds = 0.0;
    try {
        truth = simulator::simulateScene(options, [&](long long done, long long total) { ui.progress(done, total); });
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        if (geoid) dem = simulator::writeSimulatedDem({options.folder, truth.terrain, truth.corners}, *geoid);

        ordered_json truthDocument = truthJson(truth, seconds);
        if (dem) truthDocument["dem"] = demJson(*dem);
        const std::string text = staging.finalOf(truthDocument.dump(2) + "\n");
        writeWholeFile(joinPath(options.folder, "truth.json"),
                       std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
        staging.commit();
    } catch (const Error& e) {
        // Named as the user knows them: nothing was moved into OUTDIR.
        throw Error(staging.finalOf(e.what()));
    }
    const std::string truthPath = joinPath(outFolder, "truth.json");

    const auto shown = [&](const std::string& p) { return staging.finalOf(p); };
    for (const auto& p : truth.products)
        for (const auto& image : p.imagePaths) std::printf("image %s\n", shown(image).c_str());
    if (truth.pair)
        for (const auto& p : truth.pair->products)
            for (const auto& image : p.imagePaths) std::printf("pair image %s\n", shown(image).c_str());
    if (dem) {
        for (const auto& tile : dem->tiles) std::printf("dem %s\n", shown(tile.path).c_str());
        std::printf("geoid %s (from %s)\n", shown(dem->geoidPath).c_str(), dem->geoidSource.c_str());
    }
    std::printf("truth %s\n", truthPath.c_str());
    std::printf("centre lat,lon=%.6f, %.6f\n", truth.centre.lat_deg, truth.centre.lon_deg);
    std::printf("fit residual %.3f m, %.4f pixel/line\n", truth.fitResidualLatLon_m, truth.fitResidualPixelLine);
    if (truth.pair)
        std::printf("pair baseline perpendicular %.3f m, parallel %.3f m; offset %d, %d; registration residual "
                    "%.3f pixel, %.3f line\n",
                    truth.pair->perpendicularBaseline_m, truth.pair->parallelBaseline_m,
                    truth.pair->options.offsetPixels, truth.pair->options.offsetLines,
                    truth.pair->registrationResidualPixels, truth.pair->registrationResidualLines);
    std::printf("generated %d x %d in %.1f s\n", truth.pixels, truth.lines, seconds);
    return 0;
}

SubcommandRegistration simulateCommand(
    {"simulate", "write a synthetic ALOS-2-like scene of known truth (products and truth.json)", "OUTDIR",
     {{"seed", true, "random seed of speckle and fields (default 1)"},
      {"size", true, "PIXELSxLINES (default 4000x6000)"},
      {"level", true, "1.1, 1.5 or both (default both)"},
      {"pol", true, "polarisations, e.g. HH,HV (default HH)"},
      {"look", true, "R or L (default R)"},
      {"scansar", false, "ScanSAR-like products (WBS/WBD names, leader for OpenMode 11, dark burst gaps)"},
      {"pair", true, "also a second acquisition from an orbit displaced by this perpendicular baseline (m)"},
      {"repeat-days", true, "days between the pair's acquisitions (default 14)"},
      {"coherence", true, "expected coherence of the pair, 0 to 1 (default 0.9)"},
      {"offset", true, "DX,DY whole samples: where the second scene holds a cell minus the first (default 3,-5)"},
      {"centre", true, "place the scene centre at LAT,LON (degrees) instead of near 35.5 N, 142 E"},
      {"dem", false, "also write SRTM-3, SRTM-1 and ASTER DEM tiles of the terrain and WW15MGH.DAC"},
      {"egm96-gtx", true, "EGM96 grid converted to WW15MGH.DAC (default /usr/share/proj/egm96_15.gtx of proj-data)"}},
     runSimulate});

}  // namespace

}  // namespace tessarin::cli
