#pragma once
// The registration function of every module: each adds the rows of the open
// modes it owns and registers the handlers of its commands. They are called
// once, in order, by registerModules (modules.cpp).

namespace tessarin::app {
class AppCore;
void registerShellCommands(AppCore& app);
}  // namespace tessarin::app

namespace tessarin::products {
void registerModule(app::AppCore& app);  // first-generation PALSAR products
}
namespace tessarin::tiles {
void registerModule(app::AppCore& app);        // single scenes and their TileSets
void registerRasterModule(app::AppCore& app);  // raw complex rasters and pure SLC inputs
}  // namespace tessarin::tiles
namespace tessarin::composites {
void registerModule(app::AppCore& app);
}
namespace tessarin::geometry {
void registerModule(app::AppCore& app);
}
namespace tessarin::dem {
void registerModule(app::AppCore& app);
}
namespace tessarin::geoexport {
void registerModule(app::AppCore& app);  // KML and frame export
}
namespace tessarin::insar {
void registerModule(app::AppCore& app);
}
namespace tessarin::display {
void registerModule(app::AppCore& app);
void registerPolygonCommands(app::AppCore& app);  // the polygons of the view
}  // namespace tessarin::display
namespace tessarin::imagefiles {
void registerModule(app::AppCore& app);
}
