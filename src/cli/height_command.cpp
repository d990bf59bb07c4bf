// tessarin-cli height [--geoid WW15MGH.DAC] [--dem TILE]... LAT,LON...: the
// geoid undulation, the DEM height and their sum (the height above the
// ellipsoid) at points, through the readers and the sampler of the DEM
// import.

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "dem/dem_import.h"
#include "dem/geoid.h"
#include "platform/error.h"
#include "platform/format.h"
#include "platform/text.h"
#include "subcommands.h"

namespace tessarin::cli {

namespace {

GeoPoint parsePoint(const std::string& text) {
    const auto parts = splitString(text, ',');
    if (parts.size() == 2) {
        const auto lat = parseReal(trim(parts[0]));
        const auto lon = parseReal(trim(parts[1]));
        if (lat && lon && *lat >= -90.0 && *lat <= 90.0 && *lon >= -360.0 && *lon <= 360.0) return {*lat, *lon};
    }
    throw UsageError("a point is LAT,LON in degrees (latitude -90 to 90, longitude -360 to 360), not \"" + text +
                     "\"");
}

struct NamedTile {
    dem::DemTile tile;
    std::string path;
};

int runHeight(const Args& args, ConsoleUi&) {
    std::vector<GeoPoint> points;
    for (const std::string& p : args.positionals()) points.push_back(parsePoint(p));
    if (points.empty()) throw UsageError("give at least one point LAT,LON");

    dem::CGeoid geoid;
    if (const auto path = args.value("geoid")) geoid.load(*path, {});

    // A tile is recognised by its name, as the import names them, and read
    // by its size.
    std::vector<NamedTile> tiles;
    int samples = 0;
    for (const std::string& path : args.values("dem")) {
        const std::string name = splitPath(path).name;
        const auto source = dem::demSourceOfName(name);
        if (!source)
            throw Error(format("\"%s\" is not named as an SRTM-3, SRTM-1 or ASTER GDEM tile", name.c_str()));
        const auto corner = dem::demTileCorner(*source, name);
        tiles.push_back({dem::readTileFile(path, *source, corner->lat_deg, corner->lon_deg), path});
        samples = std::max(samples, tiles.back().tile.samples());
    }

    dem::DemTable table;
    if (!tiles.empty()) {
        double minLat = 90, maxLat = -90, minLon = 1e9, maxLon = -1e9;
        const double reference = points.front().lon_deg;
        for (const GeoPoint& g : points) {
            const double lon = g.lon_deg - 360.0 * std::round((g.lon_deg - reference) / 360.0);
            minLat = std::min(minLat, g.lat_deg), maxLat = std::max(maxLat, g.lat_deg);
            minLon = std::min(minLon, lon), maxLon = std::max(maxLon, lon);
        }
        const dem::DemList list = dem::demListForBox(tiles.front().tile.source, minLat, maxLat, minLon, maxLon, samples);
        table = dem::DemTable(list);
        for (const NamedTile& t : tiles) {
            // The tile's longitude near the points, so a box across 180
            // degrees finds its tiles.
            const int west = static_cast<int>(t.tile.westLon_deg -
                                              360.0 * std::round((t.tile.westLon_deg + 0.5 - reference) / 360.0));
            table.place(t.tile, west);
        }
    }

    nlohmann::ordered_json out = nlohmann::ordered_json::array();
    for (const GeoPoint& g : points) {
        const double n = geoid.undulation(g.lat_deg, g.lon_deg);
        const double d = table.heightAboveGeoid(g.lat_deg, g.lon_deg);
        if (args.has("json")) {
            out.push_back({{"lat", g.lat_deg}, {"lon", g.lon_deg}, {"N", n}, {"dem", d}, {"h", n + d}});
        } else {
            std::printf("%s\n", format("lat,lon=%.6f,%.6f N=%.3f dem=%.3f h=%.3f", g.lat_deg, g.lon_deg, n, d, n + d)
                                    .c_str());
        }
    }
    if (args.has("json")) std::printf("%s\n", out.dump(2).c_str());
    return 0;
}

SubcommandRegistration heightCommand(
    {"height", "print the geoid undulation, the DEM height and the height above the ellipsoid at points",
     "[--geoid WW15MGH.DAC] [--dem TILE]... LAT,LON...",
     {{"geoid", true, "the EGM96 grid (WW15MGH.DAC); without it the undulation is 0"},
      {"dem", true, "a DEM tile named as SRTM-3, SRTM-1 or ASTER GDEM names them (repeatable)"},
      {"json", false, "print an array of {lat, lon, N, dem, h}"}},
     runHeight});

}  // namespace

}  // namespace tessarin::cli
