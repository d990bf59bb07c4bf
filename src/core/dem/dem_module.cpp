// DEM GeoTIFFs opened as tiles: the open mode is known, its processing is
// not built yet, so it opens an empty document.

#include "app/modules.h"

#include "app/app_core.h"

namespace tessarin::dem {

void registerModule(app::AppCore& app) {
    document::OpenModeRow gdem;
    gdem.mode = 20;
    app.addOpenMode(gdem);
    app.registerOpenCommands(app::CommandArea::Dem);
}

}  // namespace tessarin::dem
