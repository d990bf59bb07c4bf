#pragma once
// Terrain correction that stays in radar geometry: every line of a frame is
// resampled along the pixel direction so that terrain heights no longer
// displace it ("Tile Image To Orhto", optionally with slope correction),
// and the foreshortening simulation: a radar brightness picture of the
// whole scene made from the DEM alone.
//
// Both take the displacement in pixels as h / (tan(theta) g), g the ground
// metres of one pixel step from the product's polynomials, so ground-range
// and slant-range products are treated alike; theta is the incidence of the
// frame's middle line (the incidence profile of the scene geometry).

#include <cstdint>
#include <string>
#include <vector>

#include "dem/ortho_frame.h"

namespace tessarin::dem {

// The frame to correct and the band it reads: the frame and the frame on
// the side toward which terrain displaces samples, 2 x width samples per
// line, width x height lines from global (x0, y0).
struct SlantCorrectionRequest {
    long long x0 = 0, y0 = 0;
    int width = kOrthoFrameSize, height = kOrthoFrameSize;
    bool slopeCorrection = false;
};

// The band: 2 x width x height samples; sample (0, 0) at global column
// bandOriginX (x0 - width when terrain displaces toward smaller pixels,
// else x0), line y0; `present` marks samples inside the scene.
struct SlantBand {
    long long originX = 0;
    std::vector<std::uint16_t> values;
    std::vector<std::uint8_t> present;
};

// Where the band of a request starts.
long long slantBandOrigin(const OrthoInputs& in, const SlantCorrectionRequest& r);

// width x height unsigned 16-bit values: each output pixel the linear
// interpolation of the two band samples around its source (both must lie in
// the band and the scene, else 0); with slope correction divided by
// max(0.09, sin of the local incidence), limited to 65535.
std::vector<std::uint16_t> correctSlantFrame(const OrthoInputs& in, const SlantCorrectionRequest& r,
                                             const SlantBand& band, Ui* ui = nullptr);

// The foreshortening simulation: a grid of heights every 11 pixels and 16
// lines of the scene, (2 tpix + 1) x (2 tlin + 1) samples; each sample lands
// in its row at column floor(q - Z / 11 + 0.5) (Z its displacement in scene
// pixels) and adds int(1024 (1 - c^2)), c the cosine of its local incidence,
// limited to 65535. Returns 2 tpix x 2 tlin values, rows in order.
std::vector<std::uint16_t> foreshorteningSimulation(const OrthoInputs& in, int tpix, int tlin, Ui* ui = nullptr);

// ---- for a document

// The output of "Tile Image To Orhto" for the current frame: the frame's
// data path (the canvas file) without its last four characters + "ort" +
// "ID_%d" + ".img", the number the document keeps for the frame.
std::string slantCorrectionPath(const std::string& canvasPath, int frameNumber);
// ... and of "ForeShortenig Simulation": canvas path without its last four
// characters + "P%d_L%d" (the frame's top-left pixel and line) + "SimFS.img".
std::string foreshorteningPath(const std::string& canvasPath, long long x0, long long y0);

}  // namespace tessarin::dem
