#pragma once
// What a document keeps while a pair is open (modes 8 and 9) and its
// tie-point table, which any document may hold.

#include <array>
#include <optional>
#include <string>

#include "document/module_state.h"
#include "insar/conjugate_point_table.h"
#include "insar/interferogram.h"
#include "insar/pair_project.h"
#include "insar/tie_point_matcher.h"
#include "tiles/canvas.h"
#include "tiles/tile_store.h"

namespace tessarin::insar {

struct PairState : document::ModuleState {
    bool open = false;  // a pair was opened completely
    PairNames names;
    tiles::TileGrid masterGrid, slaveGrid;
    int lookSide = 0;  // 0 right, 1 left
    tiles::GlobalPoint requestedOrigin{5000, 5000};
    double pixsz = 0.0, linsz = 0.0;  // the master's spacing, the pair's
    tiles::Canvas slaveCanvas;        // mode 8: the slave beside the master
    // The samples' phase convention, found by the first merger that could
    // tell it and kept for the document's life.
    PhaseConvention convention = PhaseConvention::Unknown;
    bool merged = false;  // `last` holds the working area's results
    // The TIFF products' names: taken from the user once a whole-scene run
    // has asked for them (for the rest of the document's life).
    bool namesFromUser = false;
    std::string outputCut, outputFringe, outputCoherence;  // raw names; ".tif" is appended
    bool produced = false;
    MergerResult last;
    // A pair of raster TileSets (mode 30): no orbits, no flat earth; the
    // master's size stands in for its scene.
    bool pure = false;
    products::SceneParameters pureMaster;
};

struct TiePointState : document::ModuleState {
    ConjugatePointTable table;
    // The master and slave scenes the measurements read, set by the open
    // of a pair or of a multi-temporal set; none before.
    std::optional<std::array<MatchScene, 2>> scenes;
};

}  // namespace tessarin::insar
