#pragma once
// The interferogram tile merger: for a working area of two by two master
// tiles, the slave resampled by nearest neighbour through the tie-point
// table, the flattened 8-bit phase (Fringe and its first copy SavedFringe),
// the complex interferogram, three 3 x 3 coherence measures and the
// coherence histograms by master-amplitude class.

#include <array>
#include <complex>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "composites/pol_composite.h"
#include "insar/conjugate_point_table.h"
#include "products/scene_parameters.h"
#include "tiles/tile_store.h"

namespace tessarin::insar {

inline constexpr int kSlaveMargin = 24;
inline constexpr int kHistogramBins = 256;
inline constexpr int kAmplitudeClasses = 3;  // low, middle, high master amplitude

// How the samples' phase relates to the slant range, as the merger finds it
// from the data: the flat-earth term is taken in the sense that removes it.
enum class PhaseConvention {
    Unknown,
    MinusRange,  // samples carry -4 pi R / lambda
    PlusRange,   // samples carry +4 pi R / lambda
};
const char* conventionText(PhaseConvention c);

// Words of the w x h window at (x0, y0) of a complex TileSet (3-byte packed
// pixels, amplitude code << 9 | phase code); zero outside the tile grid.
std::vector<std::uint32_t> readComplexWindow(const std::string& tilePath, const tiles::TileGrid& grid, long long x0,
                                             long long y0, int width, int height);

struct MergerInput {
    const products::SceneParameters* master = nullptr;
    const products::SceneParameters* slave = nullptr;  // null: no orbit (no flat earth)
    tiles::TileGrid masterGrid, slaveGrid;
    std::string masterTile, slaveTile;
    ConjugatePointTable table;            // ready and validated
    tiles::GlobalPoint topLeft;           // of the working area, tile aligned
    bool thirdChannelCopy = false;
    // The convention found by an earlier run; Unknown lets this run decide.
    PhaseConvention convention = PhaseConvention::Unknown;
    int threads = 0;                      // 0: the processor's
};

struct CoherenceHistogram {
    std::array<std::uint32_t, kHistogramBins> counts{};
    std::array<std::uint32_t, kHistogramBins> scaled{};  // counts * 256 / the largest
    int maxBin = 0;
    std::uint32_t maxCount = 0;
};

struct MergerResult {
    int width = 0, height = 0;
    tiles::GlobalPoint masterTopLeft, slaveTopLeft;
    int slaveWidth = 0, slaveHeight = 0;
    composites::CompositeCanvas cut;
    std::vector<std::uint8_t> fringe, savedFringe;
    std::vector<std::complex<float>> interferogram;  // master x conjugate(slave)
    std::vector<std::uint8_t> coherence, weightedCoherence, similarity;
    std::vector<std::uint8_t> valid;  // 1 where the pixel has a master sample and a slave sample
    double masterMean = 0.0, masterDeviation = 0.0, slaveMean = 0.0, slaveDeviation = 0.0;
    std::array<CoherenceHistogram, kAmplitudeClasses> histograms;
    PhaseConvention convention = PhaseConvention::Unknown;
    bool conventionDecided = false;  // this run decided it from the data
    double rangeGradientData = 0.0, rangeGradientFlatEarth = 0.0;  // cycles per pixel
};

// Runs the merger; progress texts go to `status` when given.
MergerResult mergeInterferogram(const MergerInput& in, const std::function<void(const std::string&)>& status = {});

// Adds the phase ramp of the table's increments (cycles across the area's
// width and down its height) to a Fringe of width x height from topLeft;
// pixels not valid (when a mask is given) stay as they are.
void applyPhaseRamp(std::vector<std::uint8_t>& fringe, const std::vector<std::uint8_t>& valid, int width, int height,
                    tiles::GlobalPoint topLeft, double cyclesAcross, double cyclesDown);

// The coherence measures of one 3 x 3 sum (i the complex sum, pm and ps the
// amplitude powers): Coherence, amplitude-weighted coherence, amplitude
// similarity, each 0..255 and 0 without power.
struct CoherenceBytes {
    std::uint8_t coherence = 0, weighted = 0, similarity = 0;
};
CoherenceBytes coherenceBytes(double re, double im, double pm, double ps);

}  // namespace tessarin::insar
