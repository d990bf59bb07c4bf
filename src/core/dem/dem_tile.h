#pragma once
// One-degree DEM tiles of the three public sources the DEM import reads:
//   SRTM-3      "N35E139.hgt"             1201 x 1201, big-endian int16, no header
//   SRTM-1      "n35_e139_1arc_v3.bil"    3601 x 3601, little-endian int16, no header
//               (with the ESRI ".hdr" that comes with such downloads)
//   ASTER GDEM  "ASTGTM2_N35E139_dem.tif" 3601 x 3601 signed 16-bit GeoTIFF
// Row 0 lies on the tile's north edge and column 0 on its west edge; the
// edges are shared with the neighbouring tiles. Heights are whole metres
// above the EGM96 geoid.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/geo_types.h"

namespace tessarin::dem {

enum class DemSource { Srtm3, Srtm1, Aster };
inline constexpr std::array<DemSource, 3> kDemSources{DemSource::Srtm3, DemSource::Srtm1, DemSource::Aster};

inline constexpr int kSrtm3Samples = 1201;      // 3 arc-seconds
inline constexpr int kArcSecondSamples = 3601;  // 1 arc-second: SRTM-1 and ASTER

// Samples along each side of a tile: 1201 or 3601.
int demTileSamples(DemSource source);
// "SRTM-3", "SRTM-1", "ASTER GDEM".
const char* demSourceName(DemSource source);
// File name of the tile whose south-west corner is at the given whole
// degrees, e.g. (35, 139): "N35E139.hgt", "n35_e139_1arc_v3.bil",
// "ASTGTM2_N35E139_dem.tif"; (-1, -1): "S01W001.hgt".
std::string demTileName(DemSource source, int southLat_deg, int westLon_deg);
// The ESRI header beside an SRTM-1 tile: the tile path with ".hdr" for its
// four-character extension. Empty for the other sources, which have none.
std::string demHeaderPath(DemSource source, const std::string& tilePath);

// Whole degrees of longitude in -180 .. 179, as tiles are named.
int wrapTileLongitude_deg(int westLon_deg);

// The one-degree tiles covering a footprint grown by a margin on all sides:
// south-west corners from (south, west) to (north, east), inclusive. Across
// the antimeridian the range stays contiguous (west 179, east 180), so the
// longitudes are wrapped for naming.
struct DemTileRange {
    int south = 0, north = 0, west = 0, east = 0;
};
DemTileRange demTilesCovering(const std::array<GeoPoint, 4>& corners, double margin_deg);

// The heights of one tile, row by row from the north edge.
struct DemTile {
    DemSource source = DemSource::Srtm3;
    int southLat_deg = 0;
    int westLon_deg = 0;
    std::vector<std::int16_t> heights_m;  // samples x samples
    // Samples per side when the file's size decided it (a 3601-sample
    // ".hgt"); 0 for the source's own size.
    int side = 0;

    int samples() const { return side > 0 ? side : demTileSamples(source); }
    std::int16_t at(int row, int column) const {
        return heights_m[static_cast<std::size_t>(row) * static_cast<std::size_t>(samples()) +
                         static_cast<std::size_t>(column)];
    }
};

// Writes a tile in its source's layout, through a temporary file; an SRTM-1
// tile also gets its ".hdr" (demHeaderPath), and an ASTER tile is placed
// with the centre of its first sample on the tile's north-west corner
// (pixel is point). Throws Error when the heights are not samples x samples
// or the files cannot be written.
void writeDemTile(const std::string& path, const DemTile& tile);

// Reads the heights of a tile stored in its source's layout; the position
// is the caller's (tiles are found by name). Throws Error naming the file
// when its size or, for ASTER, its TIFF layout is not a tile's.
DemTile readDemTile(const std::string& path, DemSource source, int southLat_deg, int westLon_deg);

}  // namespace tessarin::dem
