#pragma once
// The simulated terrain as one-degree DEM tiles of the three public sources
// the DEM import reads (dem/dem_tile.h), so that the import, the height
// sampler and the ortho conversion can be checked against a terrain we know.
// Heights are whole metres above the EGM96 geoid: the terrain's ellipsoid
// height minus the geoid undulation of the "WW15MGH.DAC" written beside the
// tiles, so that DEM height + undulation gives the terrain back within half
// a metre.

#include <array>
#include <string>
#include <vector>

#include "dem/dem_tile.h"
#include "dem/geoid_grid.h"
#include "simulator/scene_simulator.h"

namespace tessarin::simulator {

struct DemTileFile {
    dem::DemSource source = dem::DemSource::Srtm3;
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
    dem::DemTileRange range;
    double margin_deg = 0.0;
    std::string geoidPath;    // the "WW15MGH.DAC" written
    std::string geoidSource;  // what it was converted from
    int minHeight_m = 0, maxHeight_m = 0;  // over the SRTM-1/ASTER samples
};

// The height a tile holds at a point: the terrain's ellipsoid height minus
// the undulation, rounded to whole metres within the int16 range.
std::int16_t demHeightAt(const Terrain& terrain, const dem::GeoidGrid& geoid, GeoPoint at);

// Writes "WW15MGH.DAC" from the geoid and the tiles of every source over the
// footprint. Throws Error on write failures.
WrittenDem writeSimulatedDem(const DemRequest& request, const dem::GeoidGrid& geoid);

}  // namespace tessarin::simulator
