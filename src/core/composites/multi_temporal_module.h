#pragma once
// The multi-temporal part of the composites module: its open modes and
// commands, registered by composites::registerModule.

namespace tessarin::app {
class AppCore;
}

namespace tessarin::composites {

void addMultiTemporalModes(app::AppCore& app);
// Before the module's generic open commands, which it overrides.
void registerMultiTemporalCommands(app::AppCore& app);

}  // namespace tessarin::composites
