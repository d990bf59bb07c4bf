#pragma once
// The geo export commands on a document, apart from their registration so
// that the console and the tests can call them with a converter of their
// own.

#include <array>
#include <string>

#include "export/frame_export.h"
#include "platform/geo_types.h"

namespace tessarin {
class Ui;
}
namespace tessarin::document {
class CTessarinDoc;
}

namespace tessarin::geoexport {

inline constexpr const char* kCurrentTileComplete = "Ortho Conversion if current tile complete.";
inline constexpr const char* kMultipleComplete = "Multiple tile process complete";
inline constexpr const char* kStripeComplete = "One stripe zone process complete";
inline constexpr const char* kRangeDialogTitle = "Multi Process Area Dialog";
inline constexpr const char* kDemNotReady = "ASTER dem import is not ready yet";

// The data path prefix of a document: the TileSet's folder and image name,
// else the document's path.
std::string documentPrefix(const document::CTessarinDoc& doc);

// The scene's corners from the product's polynomials: pixel 0 line 0, last
// pixel line 0, last pixel last line, pixel 0 last line.
std::array<GeoPoint, 4> sceneCorners(const document::CTessarinDoc& doc);

// "Create Image Frame KML": writes prefix + ".kml"; returns its path.
std::string createImageFrameKml(document::CTessarinDoc& doc);

// Where and under which names a document's frames go; a document without
// a TileSet throws Error("This is not a tile file").
ExportTarget exportTarget(const document::CTessarinDoc& doc);

// The frame the view shows.
FrameIndex currentFrame(const document::CTessarinDoc& doc);

// Runs an export of frames with a converter, adds the written frames to the
// document's export list and returns the run. The caller reports it.
ExportRun runFrameExport(document::CTessarinDoc& doc, const std::vector<FrameIndex>& frames,
                         const FrameConverter& convert, Ui& ui);

// Reports a finished run: the summary as a message when every frame was
// written; else throws Error with the summary (the command failed).
void reportRun(const ExportRun& run, const std::string& completeText, const std::string& folder, Ui& ui,
               const std::string& extra = {});

// The range dialog, pre-filled with the last range and the hints; empty
// when cancelled. A start past its end is refused with an Error.
std::optional<TileRange> askRange(document::CTessarinDoc& doc, Ui& ui);

// The block dialog of the stripe export; empty when cancelled. An id out of
// range shows its message and asks again.
std::optional<int> askBlock(document::CTessarinDoc& doc, Ui& ui);

// The stripe export of block d: its frames, then the block KML listing the
// written ones. Returns the run; the block KML path in *blockKml.
ExportRun exportStripe(document::CTessarinDoc& doc, int block, const FrameConverter& convert, Ui& ui,
                       std::string* blockKml);

}  // namespace tessarin::geoexport
