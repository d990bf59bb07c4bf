#pragma once
// Which frames an export writes and where: the frame names, the KML folder
// of a scene, the two-tile stripes and the checked tile range of a
// multi-tile export.

#include <optional>
#include <string>
#include <vector>

#include "tiles/tile_store.h"

namespace tessarin::geoexport {

inline constexpr const char* kKmlFolderName = "KMLfolder";

// A view frame by its first tile: it covers tiles kx, kx + 1 and ky, ky + 1.
struct FrameIndex {
    int kx = 0;
    int ky = 0;
    bool operator==(const FrameIndex&) const = default;
};

// label + "x%d_y%d".
std::string frameName(const std::string& label, FrameIndex f);

// The scene a TileSet holds, as a folder name: the image name without its
// polarisation prefix ("IMG-HH-"), else the image name, else the tile file
// name without its "tile" or "tile.cpx" ending.
std::string sceneName(const tiles::TileSetNames& names);

// The TileSet's folder + "KMLfolder" + the scene: every TileSet of the work
// folder exports into a folder of its own.
std::string kmlFolder(const tiles::TileSetNames& names);

// ---- the stripe export
// Blocks are two tile rows high; the last block id of ny tile rows.
int lastBlockId(int ny);
// The frames of block d over nx tile columns and ny tile rows: for j = 0, 2,
// 4, ... below nx, kx = max(0, min(j, nx - 2)); ky = max(0, min(2d, ny - 2)).
// The last frame of an odd count starts one tile earlier and so overlaps its
// neighbour; one tile row or column gives index 0.
std::vector<FrameIndex> stripeFrames(int nx, int ny, int block);

// ---- the multi-tile export
// The largest even frame index over n tiles: ((n - 1) / 2) * 2 (0 for n < 1).
int maxFrameIndex(int n);

struct TileRange {
    int kxs = 0, kxe = 0, kys = 0, kye = 0;
};

// The range a user asked for, each bound rounded down to an even index and
// clamped to [0, maxFrameIndex]; empty with the reason in *why when a start
// lies past its end (as given).
std::optional<TileRange> checkedRange(long long kxs, long long kxe, long long kys, long long kye,
                                      const tiles::TileGrid& grid, std::string* why);

// The frames of a range, row after row.
std::vector<FrameIndex> rangeFrames(const TileRange& range);

}  // namespace tessarin::geoexport
