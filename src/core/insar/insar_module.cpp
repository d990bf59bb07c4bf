// Interferometric pairs: the open modes are known, their processing is not
// built yet, so they open an empty document.

#include "app/modules.h"

#include "app/app_core.h"

namespace tessarin::insar {

void registerModule(app::AppCore& app) {
    using document::ObservationDates;
    using document::OpenModeRow;
    OpenModeRow newPair;
    newPair.mode = 8;
    newPair.label = "Infero";
    newPair.message = "New ALOS2 Interferometry set open";
    newPair.interferometry = true;
    newPair.threeChannelCanvas = true;
    newPair.twoImages = true;
    newPair.dates = ObservationDates::Two;
    app.addOpenMode(newPair);

    OpenModeRow openPair = newPair;
    openPair.mode = 9;
    openPair.message = "Open ALOS2 Inteferometry set";
    openPair.twoImages = false;
    app.addOpenMode(openPair);

    OpenModeRow purePair;  // pure SLC pairs
    purePair.mode = 30;
    purePair.twoImages = true;
    app.addOpenMode(purePair);
    OpenModeRow purePairAlso;
    purePairAlso.mode = 31;
    app.addOpenMode(purePairAlso);
    app.registerOpenCommands(app::CommandArea::Insar);
}

}  // namespace tessarin::insar
