#pragma once
// The frames of a document on the ground grid, for the exports.

#include "export/frame_export.h"

namespace tessarin {
class Ui;
}
namespace tessarin::document {
class CTessarinDoc;
}

namespace tessarin::geoexport {

// Converts the frames of the document's TileSet with the ortho variant its
// open mode calls for. An interferometric pair with its working area's
// results (mode 9) gives the master amplitude as the frame and writes the
// four layers beside it.
FrameConverter documentConverter(document::CTessarinDoc& doc, Ui& ui);

// Whether the document is a pair whose frames carry the interferometric
// layers (opened under mode 9).
bool hasInterferometricLayers(const document::CTessarinDoc& doc);

// The pair's working area as a frame of its master amplitude; with
// `layers` the amplitude, fringe, differential fringe and coherence layers
// are written beside it. Only the working area's frame can be converted:
// other frames fail with the reason.
FrameConverter pairConverter(document::CTessarinDoc& doc, Ui& ui, bool layers);

}  // namespace tessarin::geoexport
