#include "export/export_commands.h"

#include "display/raw_dib.h"
#include "document/tessarin_doc.h"
#include "export/export_state.h"
#include "export/insar_layers.h"
#include "export/kml_writer.h"
#include "export/ortho_source.h"
#include "insar/fringe_commands.h"
#include "platform/error.h"
#include "platform/form.h"
#include "platform/format.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "products/alos2.h"

namespace tessarin::geoexport {

using document::CTessarinDoc;

std::string documentPrefix(const CTessarinDoc& doc) {
    const auto& names = doc.tileNames();
    if (!names.imageName.empty()) return joinPath(names.folder, names.imageName);
    return doc.path();
}

std::array<GeoPoint, 4> sceneCorners(const CTessarinDoc& doc) {
    const products::SceneParameters& p = doc.reader(0).params();
    if (p.pixel < 1 || p.line < 1) throw Error("Image is not ready yet");
    const double last = p.pixel - 1, lastLine = p.line - 1;
    const ScenePoint at[4] = {{0, 0}, {last, 0}, {last, lastLine}, {0, lastLine}};
    std::array<GeoPoint, 4> corners;
    for (int k = 0; k < 4; ++k) corners[static_cast<std::size_t>(k)] = products::latLonOfPixelLine(p, at[k]);
    return corners;
}

std::string createImageFrameKml(CTessarinDoc& doc) {
    const std::array<GeoPoint, 4> corners = sceneCorners(doc);
    const std::string path = documentPrefix(doc) + ".kml";
    writeImageFrame(path, corners);
    return path;
}

ExportTarget exportTarget(const CTessarinDoc& doc) {
    // Frames are converted from the document's TileSet and exported beside it.
    if (doc.tileNames().tile.empty()) throw Error("This is not a tile file");
    ExportTarget t;
    t.folder = kmlFolder(doc.tileNames());
    t.label = doc.label();
    return t;
}

FrameIndex currentFrame(const CTessarinDoc& doc) {
    const auto& s = doc.canvasState();
    return {s.kx0, s.ky0};
}

ExportRun runFrameExport(CTessarinDoc& doc, const std::vector<FrameIndex>& frames, const FrameConverter& convert,
                         Ui& ui) {
    auto& state = doc.moduleState<ExportState>();
    ExportBrightness brightness;
    brightness.reference = &state.reference;
    for (int c = 0; c < 3; ++c)
        brightness.gains[static_cast<std::size_t>(c)] =
            doc.displaySlots().gain(0, std::min(display::slot::kExport + c, display::kGainColumns - 1));
    // A frame must hold a tile of the scene: the view may stand beyond a
    // small scene's last tile.
    const tiles::TileGrid grid = doc.grid();
    const FrameConverter inScene = [&convert, grid](FrameIndex f) {
        if (!grid.contains(f.kx, f.ky))
            throw Error(format("the frame of tile %d, %d lies outside the scene's %d x %d tiles", f.kx, f.ky, grid.ntx,
                               grid.nty));
        return convert(f);
    };
    BusyScope busy(ui);
    ExportRun run = exportFrames(frames, exportTarget(doc), inScene, brightness, ui);
    for (const FrameOutcome& f : run.frames)
        if (f.written()) state.exported.push_back(f);
    return run;
}

void reportRun(const ExportRun& run, const std::string& completeText, const std::string& folder, Ui& ui,
               const std::string& extra) {
    const std::string text = run.summary(completeText, folder) + extra;
    if (run.failed() > 0) throw Error(text);
    ui.message(text);
}

std::optional<TileRange> askRange(CTessarinDoc& doc, Ui& ui) {
    auto& state = doc.moduleState<ExportState>();
    const tiles::TileGrid& grid = doc.grid();
    const int mx = maxFrameIndex(grid.ntx), my = maxFrameIndex(grid.nty);
    // A pair also chooses grey or colour for its layers.
    const bool options = hasInterferometricLayers(doc);
    Form form(options ? kOutputOptionDialogTitle : kRangeDialogTitle);
    form.addInt("kxs", "kxs", state.lastRange.kxs)
        .addInt("kxe", "kxe", state.lastRange.kxe)
        .addInt("kys", "kys", state.lastRange.kys)
        .addInt("kye", "kye", state.lastRange.kye)
        .addText("xhint", "kx range", format("0<=kxs<=kxe<=%d", mx))
        .addText("yhint", "ky range", format("0<=kys<=kye<=%d", my));
    if (options) {
        const std::vector<std::string> choices{"Gray", "Color"};
        const auto& colour = doc.moduleState<insar::FringeState>().outputColour;
        form.addRadio("interferogram", "Interferogram", choices, colour[0])
            .addRadio("difinfero", "DifInfero", choices, colour[1])
            .addRadio("coherence", "Coherence", choices, colour[2]);
    }
    if (!ui.form(form)) return std::nullopt;
    if (options)
        doc.moduleState<insar::FringeState>().outputColour = {form.choice("interferogram"), form.choice("difinfero"),
                                                              form.choice("coherence")};
    std::string why;
    const auto range = checkedRange(form.intValue("kxs"), form.intValue("kxe"), form.intValue("kys"),
                                    form.intValue("kye"), grid, &why);
    if (!range) throw Error(why);
    state.lastRange = *range;
    return range;
}

std::optional<int> askBlock(CTessarinDoc& doc, Ui& ui) {
    auto& state = doc.moduleState<ExportState>();
    const int last = lastBlockId(doc.grid().nty);
    for (;;) {
        Form form(format("Selection of Tile Block to process\n Min Block id=0, Max Block id=%d", last));
        form.addInt("id", "Block id", state.lastBlock);
        if (!ui.form(form)) return std::nullopt;
        const long long id = form.intValue("id");
        if (id >= 0 && id <= last) {
            state.lastBlock = static_cast<int>(id);
            return state.lastBlock;
        }
        ui.message(format("ID must be between 0 and %d\n\n Put correct number again", last));
    }
}

ExportRun exportStripe(CTessarinDoc& doc, int block, const FrameConverter& convert, Ui& ui, std::string* blockKml) {
    const ExportTarget target = exportTarget(doc);
    const std::string path = joinPath(target.folder, target.label + format("TileBlock%d.kml", block));
    if (blockKml) *blockKml = path;
    ui.message(path);
    const std::vector<FrameIndex> frames = stripeFrames(doc.grid().ntx, doc.grid().nty, block);
    ExportRun run = runFrameExport(doc, frames, convert, ui);
    auto& state = doc.moduleState<ExportState>();
    state.stripe = run.writtenImages();
    if (!state.stripe.empty()) writeMultiOverlay(path, state.stripe);
    return run;
}

}  // namespace tessarin::geoexport
