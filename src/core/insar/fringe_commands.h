#pragma once
// The commands that work on a pair's fringes: phase ramps, bias and reverse
// phase, the inclination display and pattern, filtering and the quality
// mask, colour coding, and the baseline report. Registered by the
// interferometry module.

#include <array>
#include <string>

#include "document/module_state.h"

namespace tessarin::app {
class AppCore;
}

namespace tessarin::document {
class CTessarinDoc;
}

namespace tessarin::insar {

// What a document keeps for its fringes.
struct FringeState : document::ModuleState {
    bool inclinationControl = false;  // "Inclination Control On" .. "Reset Inclination Control"
    // Grey (0) or colour (1) output of the interferogram, the difference
    // interferogram and the coherence.
    std::array<int, 3> outputColour{0, 1, 1};
    std::string scratchFringe;  // the inclination display's copy of the Fringe, when one was written

    void close() override;
};

void registerFringeCommands(app::AppCore& app);

// The view's inclination keys under the pair modes: H and V of the table
// change by (deltaH, deltaV) cycles per working area, the table is saved
// and the ramp is applied to the saved fringe as "Apply Inclination by set
// Parm" applies it. A pair that cannot take a ramp says why and nothing
// changes.
void stepInclination(document::CTessarinDoc& doc, double deltaH, double deltaV);

}  // namespace tessarin::insar
