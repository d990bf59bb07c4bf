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
// open mode calls for.
FrameConverter documentConverter(document::CTessarinDoc& doc, Ui& ui);

}  // namespace tessarin::geoexport
