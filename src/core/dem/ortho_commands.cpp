// The ortho commands of the document: the terrain correction in radar
// geometry of the current frame (with and without slope correction), the
// foreshortening simulation of the scene, the two displays of their
// results, and the slope-correction check mark.

#include "dem/ortho_commands.h"

#include "app/app_core.h"
#include "app/command_ids.h"
#include "dem/dem_state.h"
#include "dem/ortho_frame.h"
#include "dem/ortho_state.h"
#include "dem/slant_correction.h"
#include "display/raw_dib.h"
#include "document/tessarin_doc.h"
#include "platform/bytes.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/ui.h"

namespace tessarin::dem {

namespace {

using app::CommandContext;
using document::CTessarinDoc;

constexpr const char* kDemNotReady = "ASTER dem import is not ready yet";

std::vector<std::uint8_t> littleEndian(const std::vector<std::uint16_t>& values) {
    std::vector<std::uint8_t> bytes(values.size() * 2);
    for (std::size_t k = 0; k < values.size(); ++k) store<std::uint16_t>(bytes, 2 * k, values[k], ByteOrder::Little);
    return bytes;
}

OrthoInputs inputsOf(CTessarinDoc& doc) {
    auto& dem = doc.moduleState<DemState>();
    OrthoInputs in;
    in.scene = &doc.reader(0).params();
    in.height = demHeightSampler(dem.table, dem.geoid);
    return in;
}

// Shows a 16-bit result of the frame's size in the main pane.
void showInMainPane(CTessarinDoc& doc, const std::string& path, int width, int lines) {
    doc.displaySlots().RenderDisplaySlot(display::slot::kAlternativeMain, {path, width, lines, 1, 2}, doc.workFolder(),
                                         doc.ui());
    doc.setAlternativeRaster(true);
}

void correctFrame(CommandContext& ctx, bool slope) {
    CTessarinDoc& doc = *ctx.doc;
    ctx.ui.message(slope ? "Ortho slope correction" : "Ortho no slope correction");
    auto& state = doc.moduleState<OrthoState>();
    state.slopeCorrection = slope;
    if (!doc.moduleState<DemState>().imported) {
        ctx.ui.message(kDemNotReady);
        return;
    }
    if (doc.openModeRow().threeChannelCanvas) {
        ctx.ui.message("The terrain correction in radar geometry takes single-channel TileSets; this document's "
                       "colour canvas is not corrected.");
        return;
    }
    BusyScope busy(ctx.ui);
    const OrthoInputs in = inputsOf(doc);
    SlantCorrectionRequest request;
    request.x0 = doc.canvasState().origin.x;
    request.y0 = doc.canvasState().origin.y;
    request.width = 2 * doc.tpix();
    request.height = 2 * doc.tlin();
    request.slopeCorrection = slope;
    BandBox box;
    box.originX = slantBandOrigin(in, request);
    box.originY = request.y0;
    box.width = 2 * request.width;
    box.height = request.height;
    const OrthoSource source = readOrthoBand(doc, box);
    SlantBand band{box.originX, source.values, source.present};

    state.frameNumber = static_cast<int>(doc.canvasState().currentTile);
    const std::string out = slantCorrectionPath(doc.canvasPath(), state.frameNumber);
    std::string tempo = out;
    const std::size_t at = tempo.rfind("ort");
    tempo.replace(at, 3, "Tempo");
    writeWholeFile(tempo, littleEndian(band.values));
    doc.recordWorkFile(tempo);

    const std::vector<std::uint16_t> corrected = correctSlantFrame(in, request, band, &ctx.ui);
    writeWholeFile(out, littleEndian(corrected));
    state.correctionPath = out;
    state.correctionWidth = request.width;
    state.correctionLines = request.height;
    showInMainPane(doc, out, request.width, request.height);
    ctx.ui.status(out);
}

void simulateForeshortening(CommandContext& ctx) {
    CTessarinDoc& doc = *ctx.doc;
    if (!doc.moduleState<DemState>().imported) {
        ctx.ui.message(kDemNotReady);
        return;
    }
    BusyScope busy(ctx.ui);
    const OrthoInputs in = inputsOf(doc);
    const std::vector<std::uint16_t> picture = foreshorteningSimulation(in, doc.tpix(), doc.tlin(), &ctx.ui);
    const tiles::GlobalPoint origin = doc.canvasState().origin;
    const std::string out = foreshorteningPath(doc.canvasPath(), origin.x, origin.y);
    writeWholeFile(out, littleEndian(picture));
    auto& state = doc.moduleState<OrthoState>();
    state.foreshorteningPath = out;
    state.foreshorteningWidth = 2 * doc.tpix();
    state.foreshorteningLines = 2 * doc.tlin();
    showInMainPane(doc, out, state.foreshorteningWidth, state.foreshorteningLines);
    ctx.ui.status(out);
}

void display(CommandContext& ctx, bool foreshortening) {
    CTessarinDoc& doc = *ctx.doc;
    auto& state = doc.moduleState<OrthoState>();
    const std::string& path = foreshortening ? state.foreshorteningPath : state.correctionPath;
    if (path.empty() || !fileExists(path)) {
        ctx.ui.message(foreshortening ? "No foreshortening simulation has been made for this document yet."
                                      : "No frame of this document has been corrected for the terrain yet.");
        return;
    }
    if (foreshortening) showInMainPane(doc, path, state.foreshorteningWidth, state.foreshorteningLines);
    else showInMainPane(doc, path, state.correctionWidth, state.correctionLines);
}

bool hasTiles(const CommandContext& ctx) { return ctx.doc != nullptr && ctx.doc->tileOpen(); }

}  // namespace

void registerOrthoCommands(app::AppCore& app) {
    namespace cmd = app::cmd;
    constexpr auto area = app::CommandArea::Dem;
    app.registerHandler(area, cmd::kTileImageToOrtho, {[](CommandContext& ctx) { correctFrame(ctx, false); }, hasTiles, {}});
    app.registerHandler(area, cmd::kTileImageToOrthoSlopeCorrection,
                        {[](CommandContext& ctx) { correctFrame(ctx, true); }, hasTiles, {}});
    app.registerHandler(area, cmd::kForeshorteningSimulation, {simulateForeshortening, hasTiles, {}});
    app.registerHandler(area, cmd::kOrthoDisplay32819, {[](CommandContext& ctx) { display(ctx, false); }, hasTiles, {}});
    app.registerHandler(area, cmd::kOrthoDisplay32820, {[](CommandContext& ctx) { display(ctx, true); }, hasTiles, {}});
    // The check mark alone: nothing else reads it.
    app.registerHandler(area, cmd::kSetSlopeCorrection,
                        {[](CommandContext& ctx) {
                             auto& state = ctx.doc->moduleState<OrthoState>();
                             state.slopeCheckMark = !state.slopeCheckMark;
                         },
                         [](const CommandContext& ctx) { return ctx.doc != nullptr; },
                         [](const CommandContext& ctx) {
                             const auto* state = ctx.doc ? ctx.doc->findModuleState<OrthoState>() : nullptr;
                             return state && state->slopeCheckMark;
                         }});
}

}  // namespace tessarin::dem
