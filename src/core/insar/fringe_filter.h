#pragma once
// Fringe filtering and the quality mask of a working area.
//
// The disc filter takes, for every pixel, the mean of the unit phasors of
// the 69 samples with di^2 + dj^2 <= 24 (rows of 5, 7, 9, 9, 9, 9, 9, 7, 5
// samples), clipped to the area, and codes its angle as the input is coded:
// floor(atan2(S, C) * 256 / (2 pi) + 1e-6) mod 256, so a uniform Fringe
// stays itself. The sums run over row prefix sums in double.

#include <cstdint>
#include <span>
#include <vector>

namespace tessarin::insar {

inline constexpr int kDiscRadius = 4;                                // rows -4..4
inline constexpr int kDiscHalfWidths[2 * kDiscRadius + 1] = {2, 3, 4, 4, 4, 4, 4, 3, 2};
inline constexpr double kCodingEpsilon = 1.0e-6;                     // of a step

// The phasor of code s: (cos, sin) of s * 2 pi / 256, exact at the quarter turns.
struct PhasorTable {
    double c[256], s[256];
    PhasorTable();
};
const PhasorTable& phasorTable();

// The code of the phasor sum (C, S) in the Fringe's coding.
std::uint8_t phasorCode(double C, double S);

// The disc filter of a width x height Fringe; threads 0: the processor's.
std::vector<std::uint8_t> discFilter(std::span<const std::uint8_t> fringe, int width, int height, int threads = 0);

// The quality of each pixel from the master amplitude a and the slave
// amplitude b: 0 when both are 0, else min(255, trunc(256 min / max)).
std::uint8_t qualityByte(std::uint32_t a, std::uint32_t b);
// The quality mask from a cut file's bytes (3 little-endian 16-bit channels
// per pixel: a from channel 0, b from channel 1).
std::vector<std::uint8_t> qualityMask(std::span<const std::uint8_t> cutBytes, int width, int height);

// Fills the pixels whose mask is not 255 from the valid pixels around
// them: along 16 rays at 22.5 degree steps, the first valid pixel within
// 19 steps (rounded to the nearest pixel, inside a radius of 20) adds its
// phasor with weight 1 / distance; the filled code is the mean's angle
// rounded to the nearest step. Valid pixels keep their code; an invalid
// pixel that no ray reaches keeps its own.
std::vector<std::uint8_t> interpolateByMask(std::span<const std::uint8_t> fringe, std::span<const std::uint8_t> mask,
                                            int width, int height);

}  // namespace tessarin::insar
