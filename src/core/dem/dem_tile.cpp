#include "dem/dem_tile.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/error.h"
#include "platform/format.h"

namespace tessarin::dem {

namespace {

constexpr std::size_t kExtensionLength = 4;  // ".bil"

// The longitude within half a turn of a reference, so that a footprint
// across the antimeridian stays contiguous.
double nearCentre(double lon_deg, double centre_deg) {
    return lon_deg - 360.0 * std::round((lon_deg - centre_deg) / 360.0);
}

}  // namespace

int demTileSamples(DemSource source) { return source == DemSource::Srtm3 ? kSrtm3Samples : kArcSecondSamples; }

const char* demSourceName(DemSource source) {
    switch (source) {
        case DemSource::Srtm3: return "SRTM-3";
        case DemSource::Srtm1: return "SRTM-1";
        case DemSource::Aster: return "ASTER GDEM";
    }
    return "?";
}

std::string demTileName(DemSource source, int southLat_deg, int westLon_deg) {
    const int lat = std::abs(southLat_deg), lon = std::abs(westLon_deg);
    const bool south = southLat_deg < 0, west = westLon_deg < 0;
    switch (source) {
        case DemSource::Srtm3:
            return format("%c%02d%c%03d.hgt", south ? 'S' : 'N', lat, west ? 'W' : 'E', lon);
        case DemSource::Srtm1:
            return format("%c%02d_%c%03d_1arc_v3.bil", south ? 's' : 'n', lat, west ? 'w' : 'e', lon);
        case DemSource::Aster:
            return format("ASTGTM2_%c%02d%c%03d_dem.tif", south ? 'S' : 'N', lat, west ? 'W' : 'E', lon);
    }
    throw Error("unknown DEM source");
}

std::string demHeaderPath(DemSource source, const std::string& tilePath) {
    if (source != DemSource::Srtm1 || tilePath.size() < kExtensionLength) return {};
    return tilePath.substr(0, tilePath.size() - kExtensionLength) + ".hdr";
}

int wrapTileLongitude_deg(int westLon_deg) { return ((westLon_deg + 180) % 360 + 360) % 360 - 180; }

DemTileRange demTilesCovering(const std::array<GeoPoint, 4>& corners, double margin_deg) {
    double minLat = 90.0, maxLat = -90.0, minLon = 0.0, maxLon = 0.0;
    for (std::size_t k = 0; k < corners.size(); ++k) {
        const double lon = nearCentre(corners[k].lon_deg, corners[0].lon_deg);
        minLat = std::min(minLat, corners[k].lat_deg), maxLat = std::max(maxLat, corners[k].lat_deg);
        minLon = k == 0 ? lon : std::min(minLon, lon), maxLon = k == 0 ? lon : std::max(maxLon, lon);
    }
    minLat -= margin_deg, maxLat += margin_deg, minLon -= margin_deg, maxLon += margin_deg;
    // A box ending exactly on a whole degree needs no tile beyond it: the
    // edge row is shared.
    DemTileRange r;
    r.south = std::clamp(static_cast<int>(std::floor(minLat)), -90, 89);
    r.north = std::clamp(static_cast<int>(std::ceil(maxLat)) - 1, r.south, 89);
    r.west = static_cast<int>(std::floor(minLon));
    r.east = std::max(static_cast<int>(std::ceil(maxLon)) - 1, r.west);
    return r;
}

}  // namespace tessarin::dem
