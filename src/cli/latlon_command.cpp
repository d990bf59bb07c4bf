// tessarin-cli latlon IMAGE_OR_TILE --at PIXEL,LINE | --inverse LAT,LON:
// scene positions to latitude/longitude and back, by the product's
// polynomials, for an original image file (leader found by the naming rule)
// or a TileSet tile file (leader copy beside it).

#include <cmath>
#include <cstdio>
#include <string>
#include <utility>

#include <nlohmann/json.hpp>

#include "geometry/geo_format.h"
#include "platform/format.h"
#include "platform/text.h"
#include "products/alos2.h"
#include "products/calos.h"
#include "subcommands.h"
#include "tiles/tile_store.h"

namespace tessarin::cli {

namespace {

constexpr double kMaxSceneCoordinate = 16777216.0;

std::pair<double, double> parseRealPair(const std::string& text, const std::string& option) {
    const auto parts = splitString(text, ',');
    if (parts.size() == 2) {
        const auto a = parseReal(trim(parts[0]));
        const auto b = parseReal(trim(parts[1]));
        if (a && b) return {*a, *b};
    }
    throw UsageError("option --" + option + " expects two numbers as A,B, not \"" + text + "\"");
}

int runLatlon(const Args& args, ConsoleUi& ui) {
    args.requirePositionals(1, "IMAGE_OR_TILE");
    struct Request {
        bool inverse;
        double a, b;
    };
    std::vector<Request> requests;
    for (const auto& [name, value] : args.ordered()) {
        if (name == "at") {
            const auto [pixel, line] = parseRealPair(value, name);
            if (!(std::fabs(pixel) <= kMaxSceneCoordinate && std::fabs(line) <= kMaxSceneCoordinate))
                throw UsageError("--at expects a scene pixel and line PIXEL,LINE, each within 16777216");
            requests.push_back({false, pixel, line});
        } else if (name == "inverse") {
            const auto [lat, lon] = parseRealPair(value, name);
            if (!(std::fabs(lat) <= 90.0 && std::fabs(lon) <= 360.0))
                throw UsageError("--inverse expects LAT,LON in degrees, latitude within 90 and longitude within 360");
            requests.push_back({true, lat, lon});
        }
    }
    if (requests.empty()) throw UsageError("give --at PIXEL,LINE or --inverse LAT,LON");

    const std::string path = args.positionals()[0];
    products::Alos2 reader = products::readerFor(path);
    tiles::TileKind kind{};
    if (tiles::tileKindFromName(path, kind)) {
        const tiles::TileSetNames names = tiles::namesForExistingTileSet(path);
        reader.setImagePath(tiles::joinImagePath(names));
        reader.setLeaderPath(names.leaderCopy);
    } else {
        reader.setImagePath(path);
    }
    if (!reader.DecodeLeaderFile()) {
        ui.message(format("cannot open the leader file \"%s\"", reader.leaderPath().c_str()));
        return 1;
    }

    if (args.has("json")) {
        // Every number as a double prints it: the shortest text that reads
        // back to the same value.
        nlohmann::ordered_json out = nlohmann::ordered_json::array();
        for (const Request& r : requests) {
            nlohmann::ordered_json j;
            if (r.inverse) {
                const ScenePoint p = reader.pixelLineOfLatLon({r.a, r.b});
                j["lat"] = r.a;
                j["lon"] = r.b;
                j["pixel"] = p.pixel;
                j["line"] = p.line;
            } else {
                const GeoPoint g = reader.latLonOfPixelLine({r.a, r.b});
                j["pixel"] = r.a;
                j["line"] = r.b;
                j["lat"] = g.lat_deg;
                j["lon"] = g.lon_deg;
            }
            out.push_back(std::move(j));
        }
        std::printf("%s\n", out.dump(2).c_str());
        return 0;
    }
    for (const Request& r : requests) {
        if (r.inverse) {
            const ScenePoint p = reader.pixelLineOfLatLon({r.a, r.b});
            std::printf("lat,lon=%.6f, %.6f -> pix,lin=%.3f, %.3f\n", r.a, r.b, p.pixel, p.line);
        } else {
            const GeoPoint g = reader.latLonOfPixelLine({r.a, r.b});
            std::printf("pix,lin=%.3f, %.3f -> lat,lon=%.6f, %.6f (%s)\n", r.a, r.b, g.lat_deg, g.lon_deg,
                        geoPositionDmsText(g.lat_deg, g.lon_deg).c_str());
        }
    }
    return 0;
}

SubcommandRegistration latlonCommand(
    {"latlon", "convert scene pixel/line to latitude/longitude and back with the product's polynomials",
     "[--json] IMAGE_OR_TILE (--at PIXEL,LINE | --inverse LAT,LON)...",
     {{"json", false, "print a JSON array of {pixel, line, lat, lon} in full precision, in the order asked"},
      {"at", true, "print the latitude/longitude of scene pixel PIXEL, line LINE (repeatable)"},
      {"inverse", true, "print the scene pixel/line of latitude LAT, longitude LON (repeatable)"}},
     runLatlon});

}  // namespace

}  // namespace tessarin::cli
