// The geo export commands: the scene frame as a KML line string, and the
// frames of the view, of a tile range and of a two-tile stripe as PNG
// ground overlays on the latitude/longitude grid.

#include "app/modules.h"

#include "app/app_core.h"
#include "app/command_ids.h"
#include "dem/dem_state.h"
#include "document/tessarin_doc.h"
#include "export/export_commands.h"
#include "export/export_state.h"
#include "export/ortho_source.h"
#include "insar/pair_state.h"
#include "platform/error.h"
#include "platform/format.h"
#include "platform/text.h"
#include "platform/ui.h"

namespace tessarin::geoexport {

namespace {

using app::CommandContext;
using document::CTessarinDoc;

void requireDem(CTessarinDoc& doc) {
    const auto* dem = doc.findModuleState<dem::DemState>();
    if (!dem || !dem->imported) throw Error(kDemNotReady);
}

void imageFrameKml(CommandContext& ctx) {
    const std::string path = createImageFrameKml(*ctx.doc);
    ctx.ui.status("Image frame KML: " + path);
}

void exportCurrentTile(CommandContext& ctx) {
    CTessarinDoc& doc = *ctx.doc;
    requireDem(doc);
    const ExportRun run = runFrameExport(doc, {currentFrame(doc)}, documentConverter(doc, ctx.ui), ctx.ui);
    reportRun(run, kCurrentTileComplete, exportTarget(doc).folder, ctx.ui);
}

void setBrightnessReference(CommandContext& ctx) {
    CTessarinDoc& doc = *ctx.doc;
    doc.moduleState<ExportState>().reference = BrightnessReference{};
    doc.requestBrightnessReset();
    exportCurrentTile(ctx);
}

// The current frame of a pair with its master amplitude only.
void exportAmplitudeAlone(CommandContext& ctx) {
    CTessarinDoc& doc = *ctx.doc;
    const auto* pair = doc.findModuleState<insar::PairState>();
    if (!pair || !pair->open) throw Error("This is not an infero pair");
    requireDem(doc);
    // A pair shown side by side (before its interferogram) exports its
    // master TileSet's amplitude as any complex TileSet does.
    const FrameConverter convert =
        hasInterferometricLayers(doc) ? pairConverter(doc, ctx.ui, false) : documentConverter(doc, ctx.ui);
    const ExportRun run = runFrameExport(doc, {currentFrame(doc)}, convert, ctx.ui);
    reportRun(run, kCurrentTileComplete, exportTarget(doc).folder, ctx.ui);
}

void exportMultipleTiles(CommandContext& ctx) {
    CTessarinDoc& doc = *ctx.doc;
    requireDem(doc);
    const auto range = askRange(doc, ctx.ui);
    if (!range) return;
    const ExportRun run = runFrameExport(doc, rangeFrames(*range), documentConverter(doc, ctx.ui), ctx.ui);
    reportRun(run, kMultipleComplete, exportTarget(doc).folder, ctx.ui);
}

void exportOneStripe(CommandContext& ctx) {
    CTessarinDoc& doc = *ctx.doc;
    requireDem(doc);
    const auto block = askBlock(doc, ctx.ui);
    if (!block) return;
    std::string blockKml;
    const ExportRun run = exportStripe(doc, *block, documentConverter(doc, ctx.ui), ctx.ui, &blockKml);
    std::string contents = "\nBlock contents:\n";
    for (const OverlayImage& image : doc.moduleState<ExportState>().stripe) contents += splitPath(image.imagePath).name + "\n";
    if (run.written() == 0) contents = "\nno block KML written: no frame of the block was written";
    else contents = "\n" + blockKml + contents;
    reportRun(run, kStripeComplete, exportTarget(doc).folder, ctx.ui, contents);
}

}  // namespace

void registerModule(app::AppCore& app) {
    namespace cmd = app::cmd;
    constexpr auto area = app::CommandArea::Export;
    app.registerHandler(area, cmd::kCreateImageFrameKml, {imageFrameKml, app::hasData, {}});
    app.registerHandler(area, cmd::kExportKmlForCurrentTile, {exportCurrentTile, app::hasView, {}});
    app.registerHandler(area, cmd::kSetBrightnessReference, {setBrightnessReference, app::hasView, {}});
    app.registerHandler(area, cmd::kExportMultipleTiles, {exportMultipleTiles, app::hasView, {}});
    app.registerHandler(area, cmd::kExportOneStripeOrtho, {exportOneStripe, app::hasView, {}});
    app.registerHandler(area, cmd::kExportAmplitudeKmlForInferoData, {exportAmplitudeAlone, app::hasView, {}});
    app.declareAreaComplete(area);
}

}  // namespace tessarin::geoexport
