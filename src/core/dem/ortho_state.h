#pragma once
// What a document keeps of its ortho conversions: the satellite-to-ground
// mapping table with its nearest-cell index (built on the first frame that
// needs it), the names of its "ortho" and "alpha" work files, and the
// radar-geometry correction's settings.

#include <memory>
#include <string>

#include "document/module_state.h"
#include "products/scene_parameters.h"

namespace tessarin {
class Ui;
}
namespace tessarin::geometry {
class MappingTable;
class CellIndex;
}

namespace tessarin::dem {

struct OrthoState : document::ModuleState {
    OrthoState();
    ~OrthoState() override;

    std::unique_ptr<geometry::MappingTable> table;
    std::unique_ptr<geometry::CellIndex> index;
    std::string orthoPath, alphaPath;  // the last frame's work files
    std::string suffix;                // makes the work file names this document's own
    bool slopeCorrection = false;      // the document's flag, set by the correction commands
    bool slopeCheckMark = false;       // "Set Slope Correction" (the menu's check mark only)
    int frameNumber = 0;               // the number of the current frame's output names
    // The last results of the correction and of the foreshortening simulation.
    std::string correctionPath, foreshorteningPath;
    int correctionWidth = 0, correctionLines = 0, foreshorteningWidth = 0, foreshorteningLines = 0;

    void close() override;
    const std::string& workSuffix();
    // Builds the mapping table and its index unless they are there.
    void ensureTable(const products::SceneParameters& scene, Ui& ui);
};

}  // namespace tessarin::dem
