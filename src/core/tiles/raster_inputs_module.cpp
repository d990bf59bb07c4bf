// The raw complex raster and pure SLC inputs: their open modes are known,
// their processing is not built yet, so they open an empty document.

#include <utility>

#include "app/app_core.h"
#include "app/modules.h"

namespace tessarin::tiles {

void registerRasterModule(app::AppCore& app) {
    using document::OpenModeRow;
    const document::TiePointRules none{}, reporting{.cornerMatchReport = true, .singleMatchReport = true};
    const std::pair<int, document::TiePointRules> rasters[] = {
        {12, {.fullLayoutOnCreate = true}}, {26, reporting}, {27, reporting}, {28, none}, {29, none}};
    for (const auto& [mode, rules] : rasters) {
        OpenModeRow row;
        row.mode = mode;
        row.tiePoints = rules;
        app.addOpenMode(row);
    }
    OpenModeRow overlay;  // two raw-raster TileSets overlaid
    overlay.mode = 16;
    overlay.twoImages = true;
    overlay.showsImageName = true;
    overlay.tiePoints = {.fullLayoutOnCreate = true, .cornerMatchReport = true, .singleMatchReport = true};
    app.addOpenMode(overlay);
    app.registerOpenCommands(app::CommandArea::Rasters);
}

}  // namespace tessarin::tiles
