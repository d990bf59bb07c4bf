// First-generation PALSAR products: the open modes are known, their readers
// are not built yet, so they open an empty document.

#include "app/modules.h"

#include "app/app_core.h"

namespace tessarin::products {

void registerModule(app::AppCore& app) {
    using document::OpenModeRow;
    OpenModeRow l15;
    l15.mode = 50;
    l15.label = "OrgSingleAmp";
    l15.message = "ALOS L1.5 Original file open";
    l15.tiePoints = {.cornerMatchReport = true, .singleMatchReport = true};
    app.addOpenMode(l15);
    OpenModeRow l11;
    l11.mode = 51;
    l11.message = "ALOS L1.1 Original file Open";
    app.addOpenMode(l11);
    OpenModeRow ampTiles;
    ampTiles.mode = 52;
    ampTiles.label = "AmpTile";
    ampTiles.message = "Open ALOS L1.5 Tile image Open";
    app.addOpenMode(ampTiles);
    OpenModeRow cpxTiles;
    cpxTiles.mode = 53;
    cpxTiles.label = "CpxTile";
    cpxTiles.message = "Open ALOS L1.1 Tile image Open";
    app.addOpenMode(cpxTiles);
    app.registerOpenCommands(app::CommandArea::Products);
}

}  // namespace tessarin::products
