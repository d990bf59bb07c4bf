// The modules of the program, in the order they register. A new module
// declares its registration function in modules.h and is called here.

#include "app/app_core.h"
#include "app/modules.h"

namespace tessarin::app {

void registerModules(AppCore& app) {
    registerShellCommands(app);
    tiles::registerModule(app);
    products::registerModule(app);  // after tiles: its commands open under tiles' OpenMode 11 too
    tiles::registerRasterModule(app);
    composites::registerModule(app);
    geometry::registerModule(app);
    dem::registerModule(app);
    geoexport::registerModule(app);
    insar::registerModule(app);
    display::registerModule(app);
    display::registerPolygonCommands(app);
    imagefiles::registerModule(app);
}

}  // namespace tessarin::app
