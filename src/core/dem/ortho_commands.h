#pragma once
// Registers the ortho commands of the DEM area: "Tile Image To Orhto",
// "Tile Image to Ortho Slope Correction", "ForeShortenig Simulation", the
// displays of their results and the "Set Slope Correction" check mark.

namespace tessarin::app {
class AppCore;
}

namespace tessarin::dem {

void registerOrthoCommands(app::AppCore& app);

}  // namespace tessarin::dem
