#pragma once
// The tie-point matcher: a 31 x 31 master amplitude window against the 61 x
// 61 slave window around the slave estimate, correlated (no mean removal)
// at every shift of +-15 samples, the peak refined to a fraction of a
// sample by parabolas through its neighbours.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tiles/tile_store.h"

namespace tessarin::insar {

inline constexpr int kMasterWindow = 31;
inline constexpr int kSlaveWindow = 61;
inline constexpr int kScanHalf = 15;  // shifts of 0..30 each way, 15 is none

struct MatchResult {
    bool accepted = false;
    int row = 0, column = 0;   // the peak on the shift grid (0..30)
    double correlation = 0.0;  // at the peak
    double fx = 0.0, fy = 0.0; // sub-pixel offsets
    double dx = 0.0, dy = 0.0; // shift of the slave estimate: column - 15 + fx, row - 15 + fy
    bool borderPeak = false;
    std::string refusal;       // why it was refused, for the user
};

// The vertex of the parabola through (-1, l), (0, c), (1, r) and its
// height: offset 0 and height c when the values do not curve downwards.
struct Vertex {
    double offset = 0.0, peak = 0.0;
};
Vertex parabolaVertex(double l, double c, double r);

// Correlates master (31 x 31) against slave (61 x 61) amplitude codes, row
// by row. `checking`: refuse a correlation below 0.8 and a peak on the
// border of the shift grid (the true shift may lie beyond it). Windows
// without energy give correlation 0 and are always refused.
MatchResult correlateWindows(std::span<const std::uint16_t> master, std::span<const std::uint16_t> slave, bool checking);

// The same for a square master window of M samples against one of S,
// shifts (S - M) / 2 each way.
MatchResult correlateGrid(std::span<const std::uint16_t> master, int M, std::span<const std::uint16_t> slave, int S,
                          bool checking);

// Amplitude codes (|z| x 0.01) of a window of a complex TileSet; zero
// outside the scene of pixel x line samples.
std::vector<std::uint16_t> amplitudeWindow(const std::string& tilePath, const tiles::TileGrid& grid, int pixel, int line,
                                           long long x0, long long y0, int width, int height);

// A scene the measurements read: its TileSet, of either kind, and size.
struct MatchScene {
    std::string tile;
    tiles::TileKind kind = tiles::TileKind::Complex;
    tiles::TileGrid grid;
    int pixel = 0, line = 0;
};

// The amplitude of a window of a scene: the code (|z| x 0.01) of a complex
// TileSet, the digital number of an amplitude one; zero outside the scene.
std::vector<std::uint16_t> sceneAmplitudeWindow(const MatchScene& scene, long long x0, long long y0, int width,
                                                int height);

// The measurement at master point m with slave estimate s: both windows
// read from their TileSets and correlated. A master window more than half
// outside the master scene is refused.
MatchResult matchAt(const MatchScene& master, const MatchScene& slave, tiles::GlobalPoint m, tiles::GlobalPoint s,
                    bool checking);
// The same for two complex TileSets.
MatchResult matchAt(const std::string& masterTile, const tiles::TileGrid& masterGrid, int masterPixel, int masterLine,
                    const std::string& slaveTile, const tiles::TileGrid& slaveGrid, int slavePixel, int slaveLine,
                    tiles::GlobalPoint master, tiles::GlobalPoint slaveEstimate, bool checking);

}  // namespace tessarin::insar
