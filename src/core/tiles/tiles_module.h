#pragma once
// The tile store's open modes and commands, and those of the raw raster
// inputs.

namespace tessarin::app {
class AppCore;
}

namespace tessarin::tiles {

void registerModule(app::AppCore& app);
// The raw complex raster and pure SLC inputs.
void registerRasterModule(app::AppCore& app);

}  // namespace tessarin::tiles
