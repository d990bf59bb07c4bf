#pragma once
// Multi-temporal composites: two level 1.5 TileSets of one area on
// different dates, the second resampled onto the master's grid through the
// tie-point table and shown beside it as one three-channel image. The set
// files (".mlt", and ".cmt" for complex dates), the member rule, the look
// side from the name, and the multi-temporal canvas.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "composites/pol_composite.h"
#include "insar/conjugate_point_table.h"
#include "tiles/canvas.h"
#include "tiles/tile_store.h"

namespace tessarin {
class SetFileReader;
}

namespace tessarin::composites {

inline constexpr int kSecondDateMargin = 24;  // samples of the second date's cut beyond the canvas on each side

// ".mlt": the master's tile file, then the second date's.
struct MultiTemporalSet {
    std::string master, second;
};
MultiTemporalSet readMultiTemporalSet(const std::string& path);
MultiTemporalSet parseMultiTemporalSet(SetFileReader& in);
void writeMultiTemporalSet(const std::string& path, const MultiTemporalSet& set);

// ".cmt": the number of dates (2 or 3), then the master, the slave and the
// third date's tile files. The third string may be missing at the end of
// the file and is empty for two dates; three strings are always written.
struct ComplexMultiTemporalSet {
    std::int32_t count = 2;
    std::string master, slave, third;
};
ComplexMultiTemporalSet readComplexMultiTemporalSet(const std::string& path);
ComplexMultiTemporalSet parseComplexMultiTemporalSet(SetFileReader& in);
void writeComplexMultiTemporalSet(const std::string& path, const ComplexMultiTemporalSet& set);

// A member of a multi-temporal set must be an amplitude TileSet (a name
// ending in "tile"); anything else throws Error naming the file and the set.
Member amplitudeMember(const std::string& tilePath, const std::string& setPath);

// What the multi-temporal canvas is built from. A member with an empty tile
// path reads as zeros.
struct MultiTemporalInput {
    tiles::TileGrid masterGrid, secondGrid;
    std::string masterTile, secondTile;
    // The corner model: used when `useCorners` (the table is ready and its
    // layout checked); otherwise the corner displacements count as zero.
    // The global displacement (the table's adjust) applies in both cases.
    insar::ConjugatePointTable table;
    bool useCorners = false;
    bool thirdChannelCopy = false;
};

struct MultiTemporalResult {
    tiles::CanvasState state;             // the master's block
    tiles::GlobalPoint cutOrigin;         // of the second date's cut
    int cutWidth = 0, cutHeight = 0;
    // Zero-mean normalised cross-correlation of channels 0 and 1 over the
    // canvas pixels where both dates have a sample; nothing without any.
    std::optional<double> ncc;
    std::uint64_t overlap = 0;            // those pixels
};

// The windows a rebuild reads, kept between rebuilds so that their memory
// is reused.
struct MultiTemporalBuffers {
    std::vector<std::uint16_t> master, second;
    std::vector<double> columns, yTop, ySpan, topX, topY, bottomX, bottomY;
};

// The canvas at the tile boundary nearest ctrorigin: channel 0 the master,
// channel 1 (and 2 with thirdChannelCopy) the second date's sample nearest
// to the master position moved by the displacement; 0 where that falls
// outside the cut or the second scene. Written whole to cutPath.
MultiTemporalResult buildMultiTemporalCanvas(tiles::GlobalPoint ctrorigin, const MultiTemporalInput& in,
                                             CompositeCanvas& canvas, const std::string& cutPath,
                                             MultiTemporalBuffers* buffers = nullptr);

// "registration check: NCC=0.81", or why there is no value.
std::string registrationText(const MultiTemporalResult& r);

}  // namespace tessarin::composites
