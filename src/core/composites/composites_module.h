#pragma once
// The open modes and commands of the polarimetric and multi-temporal
// composites.

namespace tessarin::app {
class AppCore;
}

namespace tessarin::composites {

void registerModule(app::AppCore& app);

}  // namespace tessarin::composites
