// The scene reports: observation dates, frame parameters, the current tile,
// the orbit check and the earth-radius table.

#include "app/modules.h"

#include "app/app_core.h"
#include "app/command_ids.h"
#include "geometry/earth_table.h"
#include "geometry/reports.h"
#include "platform/text.h"
#include "platform/work_folder.h"

namespace tessarin::geometry {

namespace {

int dateCount(document::ObservationDates dates) {
    switch (dates) {
        case document::ObservationDates::One: return 1;
        case document::ObservationDates::Two: return 2;
        case document::ObservationDates::None: break;
    }
    return 0;
}

}  // namespace

void registerModule(app::AppCore& app) {
    using app::CommandContext;
    namespace cmd = app::cmd;
    constexpr auto area = app::CommandArea::Geometry;
    app.registerHandler(area, cmd::kObservationDateTime,
                        {[](CommandContext& ctx) {
                             const auto first = sceneDateOf(ctx.doc->reader(0).params());
                             const auto second = sceneDateOf(ctx.doc->reader(1).params());
                             showObservationDateTime(ctx.ui, dateCount(ctx.doc->openModeRow().dates), first, second);
                         },
                         {},
                         {}});
    app.registerHandler(area, cmd::kSceneFrameParameter,
                        {[](CommandContext& ctx) {
                             const auto& reader = ctx.doc->reader(0);
                             showSceneFrameParameter(ctx.ui, reader.params(), reader.productLevel(), ctx.doc->hasData());
                         },
                         {},
                         {}});
    app.registerHandler(area, cmd::kCurrentTileId,
                        {[](CommandContext& ctx) {
                             showCurrentTileId(ctx.ui, ctx.doc->canvasState(), ctx.doc->grid(),
                                               ctx.doc->reader(0).params());
                         },
                         app::hasData,
                         {}});
    app.registerHandler(area, cmd::kCheckOrbitByImageAddress,
                        {[](CommandContext& ctx) {
                             CScPosDlog dialog;
                             dialog.pixel = ctx.doc->ctrorigin().x;
                             dialog.line = ctx.doc->ctrorigin().y;
                             checkOrbitByImageAddress(ctx.ui, ctx.doc->reader(0).params(), dialog);
                         },
                         app::hasData,
                         {}});
    app.registerHandler(area, cmd::kCreateLatToEarthRadiusTable,
                        {[](CommandContext&) { writeEarthRadiusTable(joinPath(workFolder(), "ReEarthTable.csv")); },
                         {},
                         {}});
    app.declareAreaComplete(area);
}

}  // namespace tessarin::geometry
