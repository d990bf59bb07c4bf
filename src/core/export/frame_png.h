#pragma once
// The picture of an ortho frame: three 16-bit channels mapped to bytes with
// the display's brightness rule (a channel at its mean shows as 64, times
// the slot's gain) under one brightness reference, so that neighbouring
// frames of one export match, and the alpha plane of the frame as the PNG's
// transparency. A pixel is transparent exactly where the alpha plane says
// so; a black pixel inside the frame stays opaque.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "display/raw_dib.h"

namespace tessarin::geoexport {

// The samples of a frame: rows x columns pixels of (r, g, b) and one alpha
// byte per pixel (0 transparent, anything else opaque).
struct FramePixels {
    int width = 0;
    int height = 0;
    std::span<const std::uint16_t> rgb;   // width * height * 3
    std::span<const std::uint8_t> alpha;  // width * height
};

// Per-channel mean and deviation of the opaque, non-zero samples over every
// step-th row and column; the third channel takes the second's values, as
// the display does.
display::ChannelStatistics frameStatistics(const FramePixels& frame, int step = 32);

// The brightness reference of a run of exports: the first frame with data
// fixes it, later frames are mapped with it.
struct BrightnessReference {
    bool valid = false;
    display::ChannelStatistics stats;
    // The statistics to map this frame with (fixing the reference when none is held).
    const display::ChannelStatistics& take(const FramePixels& frame);
};

// RGBA rows, top row first; rows are mapped on `threads` threads.
std::vector<std::uint8_t> frameRgba(const FramePixels& frame, const display::ChannelStatistics& stats,
                                    const std::array<double, 3>& gains, int threads = 2);

// frameRgba encoded as a PNG (fast zlib level, rows on both cores) and
// written atomically to pngPath. Throws Error naming the path on failure.
void writeFramePng(const std::string& pngPath, const FramePixels& frame, const display::ChannelStatistics& stats,
                   const std::array<double, 3>& gains);

}  // namespace tessarin::geoexport
