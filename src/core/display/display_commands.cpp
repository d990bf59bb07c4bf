// The view commands: the scene-position dialog, tile selection, the
// geographic format of the readout, and the phase entry that does nothing.

#include "app/modules.h"

#include "app/app_core.h"
#include "app/command_ids.h"
#include "display/view_controller.h"

namespace tessarin::display {

void registerModule(app::AppCore& app) {
    using app::CommandContext;
    namespace cmd = app::cmd;
    constexpr auto area = app::CommandArea::Display;
    for (int id : {cmd::kPutSceneCenterAddress, cmd::kPositionDialog, cmd::kImageCenterModify})
        app.registerHandler(area, id, {[](CommandContext& ctx) { ctx.view()->positionDialog(); }, app::hasView, {}});
    app.registerHandler(area, cmd::kSelectSubSceneByTileId,
                        {[](CommandContext& ctx) { ctx.view()->selectTileById(); }, app::hasView, {}});
    const auto hasAnyView = [](const CommandContext& ctx) { return ctx.doc && ctx.view(); };
    for (const auto& [id, format] : {std::pair{cmd::kGeoFormatDms, GeoTextFormat::DegreesMinutesSeconds},
                                     std::pair{cmd::kGeoFormatDecimal, GeoTextFormat::Decimal}}) {
        const GeoTextFormat f = format;
        app.registerHandler(area, id,
                            {[f](CommandContext& ctx) { ctx.view()->setGeoFormat(f); }, hasAnyView,
                             [f](const CommandContext& ctx) { return ctx.view() && ctx.view()->geoFormat() == f; }});
    }
    app.declareAreaComplete(area);
    // Shown in the menu with a handler that does nothing.
    app.registerHandler(app::CommandArea::None, cmd::kCpxImagePhase, {[](CommandContext&) {}, {}, {}});
}

}  // namespace tessarin::display
