#pragma once
// The view commands of the display module.

namespace tessarin::app {
class AppCore;
}

namespace tessarin::display {

void registerModule(app::AppCore& app);

}  // namespace tessarin::display
