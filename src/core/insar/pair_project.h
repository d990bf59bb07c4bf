#pragma once
// The pair project of two complex TileSets of the same ground ("*.INF"): the
// master, whose geometry the results take, and the slave, which is
// resampled onto it. The names every pair file takes from the project and
// its members, and where the working area of a pair lies.

#include <string>

#include "composites/pol_composite.h"
#include "platform/geo_types.h"
#include "tiles/tile_store.h"

namespace tessarin::insar {

inline constexpr const char* kProjectExtension = ".INF";

struct PairProject {
    std::string master;  // the master's complex tile file
    std::string slave;   // the slave's
};

// Reads the two member paths. A truncated file, an empty or unusable path,
// or a member whose file name is too short to hold a polarisation prefix,
// an image name and "tile.cpx", is refused with an Error naming the project.
PairProject readPairProject(const std::string& path);
// Replaces the project whole; an Error names it when it cannot be written.
void writePairProject(const std::string& path, const PairProject& project);

// The chosen project name with ".INF" appended when it lacks it.
std::string withProjectExtension(const std::string& chosen);

struct PairNames {
    std::string project;
    composites::Member master, slave;
    std::string overviewComposite;  // master quick-look + "FBDCompo"
    std::string cut;                // the composite cut file of the working area
    std::string masterCanvas, slaveCanvas;  // the side-by-side canvases (cut + "master", "slave")
    std::string interferogram;      // project + "frg.img"
    std::string savedFringe;        // interferogram + "ORG"
    std::string coherence;          // project + "coho.img"
    std::string tiePoints;          // project + ".cnj"
};
PairNames pairNamesOf(const std::string& projectPath, const PairProject& project);

// The working area's top-left: two by two tiles from (4096, 4096), moved up
// and left so that it stays inside a scene of fewer than six tiles each way
// (a scene no wider than 4096 would otherwise give a blank area).
tiles::GlobalPoint workingAreaTopLeft(const tiles::TileGrid& grid);

}  // namespace tessarin::insar
