// Polarimetric and multi-temporal composites. Their canvases hold three
// 16-bit channels; the processing of the dual- and quad-polarisation and
// the level 1.5 multi-temporal modes is not built yet, so those open an
// empty document. The level 1.1 multi-temporal mode is refused: complex
// dates are processed as an interferometric pair.

#include "composites/composites_module.h"

#include "app/app_core.h"
#include "platform/ui.h"

namespace tessarin::composites {

namespace {

using document::CTessarinDoc;
using document::ObservationDates;
using document::OpenModeRow;

bool refuseComplexMultiTemporal(CTessarinDoc& doc) {
    doc.ui().message("Restart program as Inteferometry mode");
    doc.ui().message("Process image as Interferpmetry. Restart program..");
    return false;
}

OpenModeRow compositeRow(int mode, std::string_view label, std::string_view message) {
    OpenModeRow row;
    row.mode = mode;
    row.label = label;
    row.message = message;
    row.threeChannelCanvas = true;
    return row;
}

}  // namespace

void registerModule(app::AppCore& app) {
    OpenModeRow fbd15 = compositeRow(2, "AmpFBD", "Open ALOS2 L1.5FBD Tile image Open");
    fbd15.levelCode = document::kLevelCodeAmplitude;
    fbd15.channelCount = 2;
    fbd15.dates = ObservationDates::One;
    app.addOpenMode(fbd15);

    OpenModeRow fbd11 = compositeRow(3, "CpxFBD", "Open ALOS2 L1.1FBD Tile image Open");
    fbd11.levelCode = document::kLevelCodeComplex;
    fbd11.channelCount = 2;
    fbd11.dates = ObservationDates::One;
    app.addOpenMode(fbd11);

    OpenModeRow mtOpen = compositeRow(6, "AmpMT", "Open ALOS2 L1.5 Multi Temporal Tile Open");
    mtOpen.displayType = 2;
    mtOpen.dates = ObservationDates::Two;
    app.addOpenMode(mtOpen);

    OpenModeRow mtComplex = compositeRow(7, "CpxMT", "Open L1.1 Multi Temporal Tile Open");
    mtComplex.dates = ObservationDates::Two;
    mtComplex.open = refuseComplexMultiTemporal;
    app.addOpenMode(mtComplex);

    OpenModeRow mtNew = compositeRow(10, "AmpMT", "Open ALOS2 L1.5 Multi Temporal Tile Creation");
    mtNew.threeChannelCanvas = false;
    mtNew.channelCount = 2;
    mtNew.twoImages = true;
    mtNew.dates = ObservationDates::Two;
    app.addOpenMode(mtNew);

    for (int mode : {33, 34, 35, 36}) {
        OpenModeRow quad = compositeRow(mode, "CpxQBD", "Open ALOS2 L1.1QBD Tile image Open");
        quad.threeChannelCanvas = false;
        app.addOpenMode(quad);
    }
    app.registerOpenCommands(app::CommandArea::Composites);
}

}  // namespace tessarin::composites
