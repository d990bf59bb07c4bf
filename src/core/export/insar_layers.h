#pragma once
// The interferometric layers of a pair's frame on the ground grid: the
// amplitude, the flattened fringe, the differential fringe (the fringe with
// the topographic phase the DEM predicts taken out) and the coherence, each
// as a PNG with transparency and a KML of its own in a sub-folder of the
// KML folder.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "dem/ortho_frame.h"
#include "insar/conjugate_point_table.h"
#include "insar/fringe_color.h"
#include "products/scene_parameters.h"

namespace tessarin::geoexport {

// The sub-folders and image name prefixes of the four layers.
inline constexpr const char* kAmpLayerFolder = "AmpKML";
inline constexpr const char* kFringeLayerFolder = "FrinegKML";
inline constexpr const char* kDifFringeLayerFolder = "DifFringeKML";
inline constexpr const char* kCoherenceLayerFolder = "CoherenceKML";
inline constexpr const char* kOutputOptionDialogTitle = "Output Option Dialog";

// A pair's working area as planes of width x height from global (x0, y0):
// the master amplitude, the 8-bit fringe and coherence, and 1 where a pixel
// has both samples.
struct PairPlanes {
    long long x0 = 0, y0 = 0;
    int width = 0, height = 0;
    std::vector<std::uint16_t> amplitude;
    std::span<const std::uint8_t> fringe, coherence, valid;
};

// The band of a frame from the planes: three channels (amplitude, fringe,
// coherence); samples outside the working area or not valid are absent.
dem::OrthoSource pairBand(const PairPlanes& planes, const dem::BandBox& box);

// What the topographic phase of a ground cell needs.
struct TopographyInputs {
    const products::SceneParameters* master = nullptr;
    const products::SceneParameters* slave = nullptr;
    const insar::ConjugatePointTable* table = nullptr;  // the slave line of a master position
    dem::HeightAt height;                               // above the ellipsoid
    bool reversePhase = false;
    // The sense in which the pair's fringe holds the topographic phase: +1
    // when it rises with 2 h Bperp / (lambda R sin(theta)) (samples carrying
    // -4 pi R / lambda), -1 for the opposite convention.
    int fringeSense = 1;
};

// The differential interferogram on a frame's grid, for the cells whose
// alpha is set: T = the topographic phase of the cell's height in 1/256
// cycles, in the fringe's own sense (signed perpendicular baseline; with
// reverse phase 255 - T), so that T looks like the fringe the terrain
// alone would make, and D = (fringe - T) mod 256, what is left of the
// fringe once the terrain is taken out. The satellites are taken once per
// grid row, at the master and slave times of the row's first opaque cell;
// the look, baselines and incidence per cell.
struct DifferentialGrid {
    std::vector<std::uint8_t> simulated;   // T, rows x columns ("Sim.frg")
    std::vector<std::uint8_t> difference;  // D, rows x columns
};
DifferentialGrid differentialOnGrid(const dem::OrthoGrid& grid, std::span<const std::uint8_t> fringe,
                                    std::span<const std::uint8_t> alpha, const TopographyInputs& in);

// The layer files of one frame.
struct LayerFiles {
    std::string amp, fringe, difFringe, coherence;  // PNG paths
    std::string simulated;                          // the "Sim.frg" of the differential layer
};
LayerFiles layerFiles(const std::string& kmlFolder, const std::string& frameName);

// Byte pixels (3 per cell) with the alpha plane as an RGBA PNG; throws Error
// naming the path when it cannot be written.
void writeLayerPng(const std::string& path, int width, int height, std::span<const std::uint8_t> rgb,
                   std::span<const std::uint8_t> alpha);

}  // namespace tessarin::geoexport
