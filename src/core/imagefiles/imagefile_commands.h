#pragma once
// The open mode and commands of the image files module.

namespace tessarin::app {
class AppCore;
}

namespace tessarin::imagefiles {

void registerModule(app::AppCore& app);

}  // namespace tessarin::imagefiles
