#pragma once
// The simulated terrain as one-degree DEM tiles of the three public sources
// the DEM import reads, so that the import, the height sampler and the ortho
// conversion can be checked against a terrain we know:
//   SRTM-3      "N35E139.hgt"            1201 x 1201, big-endian int16, no header
//   SRTM-1      "n35_e139_1arc_v3.bil"   3601 x 3601, little-endian int16, no header
//               (with the ESRI ".hdr" that comes with such downloads)
//   ASTER GDEM  "ASTGTM2_N35E139_dem.tif" 3601 x 3601 signed 16-bit GeoTIFF
// Row 0 lies on the tile's north edge and column 0 on its west edge; the
// edges are shared with the neighbouring tiles. Heights are whole metres
// above the EGM96 geoid: the terrain's ellipsoid height minus the geoid
// undulation of the "WW15MGH.DAC" written beside the tiles, so that DEM
// height + undulation gives the terrain back within half a metre.

#include <array>
#include <string>
#include <vector>

#include "simulator/geoid_grid.h"
#include "simulator/scene_simulator.h"

namespace tessarin::simulator {

enum class DemSource { Srtm3, Srtm1, Aster };
inline constexpr std::array<DemSource, 3> kDemSources{DemSource::Srtm3, DemSource::Srtm1, DemSource::Aster};

// Samples along each side of a tile: 1201 or 3601.
int demTileSamples(DemSource source);
// "SRTM-3", "SRTM-1", "ASTER GDEM".
const char* demSourceName(DemSource source);
// File name of the tile whose south-west corner is at the given whole
// degrees, e.g. (35, 139): "N35E139.hgt", "n35_e139_1arc_v3.bil",
// "ASTGTM2_N35E139_dem.tif"; (-1, -1): "S01W001.hgt".
std::string demTileName(DemSource source, int southLat_deg, int westLon_deg);

// The one-degree tiles covering a footprint grown by a margin on all sides:
// south-west corners from (south, west) to (north, east), inclusive.
struct DemTileRange {
    int south = 0, north = 0, west = 0, east = 0;
};
DemTileRange demTilesCovering(const std::array<GeoPoint, 4>& corners, double margin_deg);

struct DemTileFile {
    DemSource source = DemSource::Srtm3;
    int southLat_deg = 0, westLon_deg = 0;
    std::string path;
    std::string headerPath;  // the SRTM-1 ".hdr"; empty for the others
};

struct DemRequest {
    std::string folder;   // tiles and geoid are written here (created when missing)
    Terrain terrain;      // heights above the ellipsoid
    std::array<GeoPoint, 4> corners{};
    double margin_deg = 0.02;
};

struct WrittenDem {
    std::vector<DemTileFile> tiles;  // every source for every tile of the range
    DemTileRange range;
    double margin_deg = 0.0;
    std::string geoidPath;    // the "WW15MGH.DAC" written
    std::string geoidSource;  // what it was converted from
    int minHeight_m = 0, maxHeight_m = 0;  // over the SRTM-1/ASTER samples
};

// The height a tile holds at a point: the terrain's ellipsoid height minus
// the undulation, rounded to whole metres within the int16 range.
std::int16_t demHeightAt(const Terrain& terrain, const GeoidGrid& geoid, GeoPoint at);

// Writes "WW15MGH.DAC" from the geoid and the tiles of every source over the
// footprint. Throws Error on write failures.
WrittenDem writeSimulatedDem(const DemRequest& request, const GeoidGrid& geoid);

}  // namespace tessarin::simulator
