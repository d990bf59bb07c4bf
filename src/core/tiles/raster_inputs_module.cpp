// The raw complex raster and pure SLC inputs: their open modes are known,
// their processing is not built yet, so they open an empty document.

#include "app/app_core.h"
#include "app/modules.h"

namespace tessarin::tiles {

void registerRasterModule(app::AppCore& app) {
    using document::OpenModeRow;
    for (int mode : {12, 26, 27, 28, 29}) {
        OpenModeRow row;
        row.mode = mode;
        app.addOpenMode(row);
    }
    OpenModeRow overlay;  // two raw-raster TileSets overlaid
    overlay.mode = 16;
    overlay.twoImages = true;
    overlay.showsImageName = true;
    app.addOpenMode(overlay);
    app.registerOpenCommands(app::CommandArea::Rasters);
}

}  // namespace tessarin::tiles
