#include "simulator/simulated_dem.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>

#include "platform/error.h"
#include "platform/format.h"
#include "platform/text.h"

namespace tessarin::simulator {

namespace {

using dem::DemSource;
using dem::kArcSecondSamples;
using dem::kSrtm3Samples;

// An SRTM-3 sample is every third arc-second sample.
constexpr int kSrtm3Stride = (kArcSecondSamples - 1) / (kSrtm3Samples - 1);

// The longitude on the terrain's side of the antimeridian.
double nearCentre(double lon_deg, double centre_deg) {
    return lon_deg - 360.0 * std::round((lon_deg - centre_deg) / 360.0);
}

// Heights of one tile on the arc-second grid, row 0 on the north edge.
struct TileHeights {
    std::vector<std::int16_t> h;
    int minHeight = std::numeric_limits<int>::max();
    int maxHeight = std::numeric_limits<int>::min();
};

TileHeights tileHeights(const Terrain& terrain, const dem::GeoidGrid& geoid, int south, int west) {
    TileHeights t;
    t.h.resize(static_cast<std::size_t>(kArcSecondSamples) * kArcSecondSamples);
    constexpr double kStep = 1.0 / (kArcSecondSamples - 1);
    for (int k = 0; k < kArcSecondSamples; ++k) {
        const double lat = (south + 1) - k * kStep;
        for (int l = 0; l < kArcSecondSamples; ++l) {
            const std::int16_t v = demHeightAt(terrain, geoid, {lat, west + l * kStep});
            t.h[static_cast<std::size_t>(k) * kArcSecondSamples + static_cast<std::size_t>(l)] = v;
            t.minHeight = std::min<int>(t.minHeight, v);
            t.maxHeight = std::max<int>(t.maxHeight, v);
        }
    }
    return t;
}

// The arc-second heights as a tile of the source: every sample, or every
// third one for SRTM-3.
dem::DemTile tileOf(DemSource source, const TileHeights& t, int south, int west) {
    dem::DemTile tile{source, south, west, {}};
    if (source != DemSource::Srtm3) {
        tile.heights_m = t.h;
        return tile;
    }
    tile.heights_m.resize(static_cast<std::size_t>(kSrtm3Samples) * kSrtm3Samples);
    for (int k = 0; k < kSrtm3Samples; ++k)
        for (int l = 0; l < kSrtm3Samples; ++l)
            tile.heights_m[static_cast<std::size_t>(k) * kSrtm3Samples + static_cast<std::size_t>(l)] =
                t.h[static_cast<std::size_t>(k * kSrtm3Stride) * kArcSecondSamples +
                    static_cast<std::size_t>(l * kSrtm3Stride)];
    return tile;
}

}  // namespace

std::int16_t demHeightAt(const Terrain& terrain, const dem::GeoidGrid& geoid, GeoPoint at) {
    const double ellipsoid = terrain.height_m({at.lat_deg, nearCentre(at.lon_deg, terrain.centreLon_deg)});
    const double h = std::round(ellipsoid - geoid.undulation_m(at.lat_deg, at.lon_deg));
    return static_cast<std::int16_t>(std::clamp(h, -32767.0, 32767.0));
}

WrittenDem writeSimulatedDem(const DemRequest& request, const dem::GeoidGrid& geoid) {
    std::error_code ec;
    if (!request.folder.empty()) std::filesystem::create_directories(request.folder, ec);
    if (ec) throw Error(format("cannot create the folder \"%s\": %s", request.folder.c_str(), ec.message().c_str()));

    WrittenDem written;
    written.range = dem::demTilesCovering(request.corners, request.margin_deg);
    written.margin_deg = request.margin_deg;
    written.geoidPath = joinPath(request.folder, dem::kGeoidFileName);
    written.geoidSource = geoid.source();
    geoid.writeDac(written.geoidPath);

    written.minHeight_m = std::numeric_limits<int>::max();
    written.maxHeight_m = std::numeric_limits<int>::min();
    for (int south = written.range.south; south <= written.range.north; ++south)
        for (int unwrappedWest = written.range.west; unwrappedWest <= written.range.east; ++unwrappedWest) {
            const TileHeights t = tileHeights(request.terrain, geoid, south, unwrappedWest);
            written.minHeight_m = std::min(written.minHeight_m, t.minHeight);
            written.maxHeight_m = std::max(written.maxHeight_m, t.maxHeight);
            const int west = dem::wrapTileLongitude_deg(unwrappedWest);
            for (DemSource source : dem::kDemSources) {
                const std::string path = joinPath(request.folder, dem::demTileName(source, south, west));
                dem::writeDemTile(path, tileOf(source, t, south, west));
                written.tiles.push_back({source, south, west, path, dem::demHeaderPath(source, path)});
            }
        }
    return written;
}

}  // namespace tessarin::simulator
