#pragma once
// CAsterDem: an ASTER GDEM tile shown as a shaded-relief picture. Its voids
// are repaired first (and the repaired heights kept beside the tile as
// "rep.dem", so the next open skips the repair); each sample is coloured by
// height along a green-to-yellow ramp and shaded by its slope under a light
// from the north-west, 30 degrees up.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tessarin::dem {

inline constexpr int kAsterDisplayTile = 1024;  // the picture is cut into tiles of this side
inline constexpr const char* kRepairCacheSuffix = "rep.dem";

struct HeightRange {
    int min = 10000, max = -9000;  // before any sample is seen
};

// Replaces each void (-9999) by the mean of its direct neighbours inside
// the tile whose unrepaired heights are at least -999, rounded to the
// nearest metre; 0 when none is. onRow is told each row before it is done.
void repairVoids(std::vector<std::int16_t>& heights, int side, const std::function<void(int row)>& onRow = {});

HeightRange heightRange(const std::vector<std::int16_t>& heights);

// The ramp's three bytes for x in 0 .. 1 (clamped).
struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
};
Rgb reliefColour(double x);

// side x side x 3 bytes, row 0 at the north edge. Height 0 (sea, repaired
// voids without neighbours) is (0, 255, 255); the shade is clamped to 0 .. 1;
// max = min gives the ramp's first colour everywhere; the border rows and
// columns, which have no centred slope, are coloured unshaded.
std::vector<std::uint8_t> shadedRelief(const std::vector<std::int16_t>& heights, int side, double tileLat_deg,
                                       HeightRange range);

// The picture cut into tiles of kAsterDisplayTile^2 x 3 bytes, tile (kx, ky)
// at (kx + ky * n) * tile bytes with n tiles per side, zero beyond the
// picture's edge.
std::vector<std::uint8_t> cutIntoTiles(const std::vector<std::uint8_t>& rgb, int side);

// The heights of a tile, repaired: from the cache at cachePath when it holds
// exactly side x side heights, else repaired now and written there.
std::vector<std::int16_t> repairedHeights(std::vector<std::int16_t> heights, int side, const std::string& cachePath,
                                          const std::function<void(int row)>& onRow = {});

}  // namespace tessarin::dem
