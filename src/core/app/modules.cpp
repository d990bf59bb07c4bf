// The modules of the program. Each registers its own open modes and command
// handlers; a new module adds one line here.

#include "app/app_core.h"
#include "composites/composites_module.h"
#include "dem/dem_module.h"
#include "display/display_commands.h"
#include "geometry/geometry_commands.h"
#include "imagefiles/imagefile_commands.h"
#include "insar/insar_module.h"
#include "products/products_module.h"
#include "tiles/tiles_module.h"

namespace tessarin::app {

void registerShellCommands(AppCore& app);

void registerModules(AppCore& app) {
    registerShellCommands(app);
    products::registerModule(app);
    tiles::registerModule(app);
    tiles::registerRasterModule(app);
    composites::registerModule(app);
    geometry::registerModule(app);
    dem::registerModule(app);
    insar::registerModule(app);
    display::registerModule(app);
    imagefiles::registerModule(app);
}

}  // namespace tessarin::app
