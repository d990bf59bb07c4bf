#pragma once
// The scene reports of the geometry module.

namespace tessarin::app {
class AppCore;
}

namespace tessarin::geometry {

void registerModule(app::AppCore& app);

}  // namespace tessarin::geometry
