#include "simulator/dem_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>

#include "imagefiles/tif_gen.h"
#include "platform/bytes.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/text.h"

namespace tessarin::simulator {

namespace {

constexpr int kSrtm3Samples = 1201;
constexpr int kArcSecondSamples = 3601;
// An SRTM-3 sample is every third arc-second sample.
constexpr int kSrtm3Stride = (kArcSecondSamples - 1) / (kSrtm3Samples - 1);

// The longitude on the terrain's side of the antimeridian.
double nearCentre(double lon_deg, double centre_deg) {
    return lon_deg - 360.0 * std::round((lon_deg - centre_deg) / 360.0);
}

// Whole degrees of longitude in -180 .. 179, as tiles are named.
int normalisedWest(int west) { return ((west + 180) % 360 + 360) % 360 - 180; }

// Heights of one tile on the arc-second grid, row 0 on the north edge.
struct TileHeights {
    std::vector<std::int16_t> h;
    int minHeight = std::numeric_limits<int>::max();
    int maxHeight = std::numeric_limits<int>::min();

    std::int16_t at(int row, int column) const {
        return h[static_cast<std::size_t>(row) * kArcSecondSamples + static_cast<std::size_t>(column)];
    }
};

TileHeights tileHeights(const Terrain& terrain, const GeoidGrid& geoid, int south, int west) {
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

// A headerless raster of int16 rows in the given byte order.
void writeRawTile(const std::string& path, const TileHeights& t, int samples, int stride, ByteOrder order) {
    AtomicFile out(path);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(samples) * 2);
    for (int k = 0; k < samples; ++k) {
        for (int l = 0; l < samples; ++l)
            store<std::int16_t>(row, static_cast<std::size_t>(l) * 2, t.at(k * stride, l * stride), order);
        out.file().write(row);
    }
    out.commit();
}

// The ESRI header that lets GIS tools place an SRTM-1 ".bil" tile: the
// centre of the upper-left sample and the spacing.
void writeBilHeader(const std::string& path, int south, int west) {
    const double step = 1.0 / (kArcSecondSamples - 1);
    const std::string text =
        format("BYTEORDER      I\nLAYOUT         BIL\nNROWS          %d\nNCOLS          %d\nNBANDS         1\n"
               "NBITS          16\nBANDROWBYTES   %d\nTOTALROWBYTES  %d\nPIXELTYPE      SIGNEDINT\n"
               "ULXMAP         %d\nULYMAP         %d\nXDIM           %.17g\nYDIM           %.17g\n",
               kArcSecondSamples, kArcSecondSamples, 2 * kArcSecondSamples, 2 * kArcSecondSamples, west, south + 1,
               step, step);
    writeWholeFile(path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

// A signed 16-bit GeoTIFF placed with the centre of the first sample on the
// tile's north-west corner (pixel is point).
void writeAsterTile(const std::string& path, const TileHeights& t, int south, int west) {
    CTIFGen gen;
    const double step = 1.0 / (kArcSecondSamples - 1);
    gen.setGeoReference({static_cast<double>(west), static_cast<double>(south + 1), step, step});
    gen.setSignedSamples(true);
    writeTiffFile(path, gen, TiffKind::Geo, kArcSecondSamples, kArcSecondSamples, 16,
                  [&](int line, std::span<std::uint8_t> row) {
                      for (int l = 0; l < kArcSecondSamples; ++l)
                          store<std::int16_t>(row, static_cast<std::size_t>(l) * 2, t.at(line, l), ByteOrder::Little);
                  });
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

std::int16_t demHeightAt(const Terrain& terrain, const GeoidGrid& geoid, GeoPoint at) {
    const double ellipsoid = terrain.height_m({at.lat_deg, nearCentre(at.lon_deg, terrain.centreLon_deg)});
    const double h = std::round(ellipsoid - geoid.undulation_m(at.lat_deg, at.lon_deg));
    return static_cast<std::int16_t>(std::clamp(h, -32767.0, 32767.0));
}

WrittenDem writeSimulatedDem(const DemRequest& request, const GeoidGrid& geoid) {
    std::error_code ec;
    if (!request.folder.empty()) std::filesystem::create_directories(request.folder, ec);
    if (ec) throw Error(format("cannot create the folder \"%s\": %s", request.folder.c_str(), ec.message().c_str()));

    WrittenDem written;
    written.range = demTilesCovering(request.corners, request.margin_deg);
    written.margin_deg = request.margin_deg;
    written.geoidPath = joinPath(request.folder, kGeoidFileName);
    written.geoidSource = geoid.source();
    geoid.writeDac(written.geoidPath);

    written.minHeight_m = std::numeric_limits<int>::max();
    written.maxHeight_m = std::numeric_limits<int>::min();
    for (int south = written.range.south; south <= written.range.north; ++south)
        for (int unwrappedWest = written.range.west; unwrappedWest <= written.range.east; ++unwrappedWest) {
            const TileHeights t = tileHeights(request.terrain, geoid, south, unwrappedWest);
            written.minHeight_m = std::min(written.minHeight_m, t.minHeight);
            written.maxHeight_m = std::max(written.maxHeight_m, t.maxHeight);
            const int west = normalisedWest(unwrappedWest);
            for (DemSource source : kDemSources) {
                DemTileFile file{source, south, west, joinPath(request.folder, demTileName(source, south, west)), {}};
                switch (source) {
                    case DemSource::Srtm3:
                        writeRawTile(file.path, t, kSrtm3Samples, kSrtm3Stride, ByteOrder::Big);
                        break;
                    case DemSource::Srtm1:
                        writeRawTile(file.path, t, kArcSecondSamples, 1, ByteOrder::Little);
                        file.headerPath = file.path.substr(0, file.path.size() - 4) + ".hdr";
                        writeBilHeader(file.headerPath, south, west);
                        break;
                    case DemSource::Aster: writeAsterTile(file.path, t, south, west); break;
                }
                written.tiles.push_back(std::move(file));
            }
        }
    return written;
}

}  // namespace tessarin::simulator
