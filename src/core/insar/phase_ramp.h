#pragma once
// Phase-ramp control on the 8-bit Fringe of a working area (256 steps per
// cycle): the constant bias, and the two phase profiles the inclination
// pattern overlay shows. The ramp itself (cycles across the area's width and
// down its height, continuous in global coordinates) is applyPhaseRamp of
// the interferogram merger, which every later interferogram of the pair
// also gets.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace tessarin::insar {

// Every sample plus b, modulo 256 taken mathematically (-1 applied to 0
// gives 255); b = 256 or -256 leaves the Fringe as it was.
void applyFringeBias(std::span<std::uint8_t> fringe, long long bias);

// The two curves of the inclination pattern, 256 values each in 0..255:
// the phase along the middle of the area from its left edge to its right
// (each value the phasor mean of a block of width/256 pixels over the 8
// middle lines) and from its top to its bottom (blocks of height/256 lines
// over the 8 middle columns). A residual ramp shows as a saw tooth whose
// tooth count is the cycles to remove. Codes as the Fringe's, floor of the
// mean phase.
std::array<std::array<int, 256>, 2> inclinationPattern(std::span<const std::uint8_t> fringe, int width, int height);

}  // namespace tessarin::insar
