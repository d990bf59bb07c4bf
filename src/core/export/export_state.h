#pragma once
// What a document keeps of its geo exports: every frame exported during its
// life (a growing list), the brightness reference that keeps neighbouring
// frames alike, the list of the last stripe and the last range asked for.

#include <vector>

#include "document/module_state.h"
#include "export/frame_export.h"

namespace tessarin::geoexport {

struct ExportState : document::ModuleState {
    std::vector<FrameOutcome> exported;  // written frames, in export order
    BrightnessReference reference;
    std::vector<OverlayImage> stripe;    // the frames of the last stripe's block KML
    TileRange lastRange;
    int lastBlock = 0;
};

}  // namespace tessarin::geoexport
