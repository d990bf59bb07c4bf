#pragma once
// The open modes and commands of interferometry.

namespace tessarin::app {
class AppCore;
}

namespace tessarin::insar {

void registerModule(app::AppCore& app);

}  // namespace tessarin::insar
