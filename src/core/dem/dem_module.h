#pragma once
// The open mode and commands of the DEM, geoid and ortho module.

namespace tessarin::app {
class AppCore;
}

namespace tessarin::dem {

void registerModule(app::AppCore& app);

}  // namespace tessarin::dem
