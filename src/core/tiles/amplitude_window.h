#pragma once
// A window of an amplitude TileSet at global coordinates: only the lines of
// the tiles it covers are read, and everything outside the scene (before
// it, past its last pixel or line, or past the end of a short file) is zero.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file.h"
#include "tiles/tile_store.h"

namespace tessarin::tiles {

// The width x height samples from (x0, y0), row by row. The file stays open
// for several windows through the File overload.
std::vector<std::uint16_t> readAmplitudeWindow(File& file, const TileGrid& grid, long long x0, long long y0, int width,
                                               int height);
std::vector<std::uint16_t> readAmplitudeWindow(const std::string& tilePath, const TileGrid& grid, long long x0,
                                               long long y0, int width, int height);
// The same into `out` (resized), so that repeated windows reuse its memory.
void readAmplitudeWindowInto(File& file, const TileGrid& grid, long long x0, long long y0, int width, int height,
                             std::vector<std::uint16_t>& out);

}  // namespace tessarin::tiles
