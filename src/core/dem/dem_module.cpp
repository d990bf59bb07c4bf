// The DEM commands: the source choice that lists the tiles under the scene,
// the import of those tiles with the EGM96 geoid into the document's DEM
// table, and the "DemTable" height grid of the view frame; open mode 20
// shows an ASTER GDEM tile as shaded relief.

#include "app/modules.h"

#include <span>

#include "app/app_core.h"
#include "app/command_ids.h"
#include "dem/aster_display.h"
#include "dem/dem_state.h"
#include "dem/ortho_commands.h"
#include "platform/bytes.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "products/alos2.h"

namespace tessarin::dem {

namespace {

using app::CommandContext;
using document::CTessarinDoc;

const char* tileFilter(DemSource source) {
    switch (source) {
        case DemSource::Aster: return "dem file（*dem.tif)|*dem.tif|all(*.*)|*.*||";
        case DemSource::Srtm1: return "dem fiel (*.bil)|*.bil|all(*.*)|*.*||";
        case DemSource::Srtm3: return "dem fiel (*.hgt)|*.hgt|all(*.*)|*.*||";
    }
    return "";
}

SceneToGround sceneToGround(const CTessarinDoc& doc) {
    const products::SceneParameters params = doc.reader(0).params();
    return [params](double pixel, double line) { return products::latLonOfPixelLine(params, {pixel, line}); };
}

// The three source commands share their guards: a new source after an
// import would reinterpret the imported table with another step.
void selectSource(CommandContext& ctx, DemSource source) {
    CTessarinDoc& doc = *ctx.doc;
    const auto& params = doc.reader(0).params();
    if (params.pixel < 1 || params.line < 1) {
        ctx.ui.message("Image is not ready yet");
        return;
    }
    auto& state = doc.moduleState<DemState>();
    if (state.imported) {
        ctx.ui.message("Dem is already imported");
        return;
    }
    if (source == DemSource::Srtm1) ctx.ui.message("SRTM-1 arcswc is selected");
    if (source == DemSource::Srtm3) ctx.ui.message("Old SRTM is selected");
    state.list.reset();
    DemList list = buildDemList(source, params.pixel, params.line, sceneToGround(doc));
    ctx.ui.message(demListMessage(list));
    state.list = std::move(list);
}

void importTiles(CommandContext& ctx) {
    CTessarinDoc& doc = *ctx.doc;
    auto& state = doc.moduleState<DemState>();
    if (state.imported) {
        ctx.ui.message("Dem is already imported");
        return;
    }
    if (!state.list || state.list->tiles.empty()) {
        ctx.ui.message("Dem List is not ready");
        return;
    }
    const DemList& list = *state.list;
    const std::string& first = list.tiles.front().name;
    ctx.ui.message("Dem Import \nSelect " + first);
    const auto chosen = ctx.ui.openFile({first, tileFilter(list.source), first});
    if (!chosen) return;
    const std::string folder = splitPath(*chosen).folder;

    std::string missing;
    for (const DemListTile& t : list.tiles)
        if (findTileFile(folder, list.source, t).empty()) missing += t.name + "\n";
    const std::string geoidPath = joinPath(folder, kGeoidFileName);
    if (!fileExists(geoidPath)) missing += kGeoidFileName;
    if (!missing.empty()) {
        ctx.ui.message("Following dem is not in the selected folder\n" + missing +
                       "Prepare dem/gepid and import again or Ignore the dem.");
        return;
    }

    // Without the geoid every height would be off by the undulation (up to
    // 100 m): a cancelled choice ends the import.
    CGeoid geoid;
    const auto geoidFile = geoid.chooseFile(ctx.ui, geoidPath);
    if (!geoidFile) {
        ctx.ui.message(kGeoidSelectionError);
        return;
    }
    const std::string image = joinPath(doc.workFolder(), kGeoidImageName);
    geoid.load(*geoidFile, image);

    BusyScope busy(ctx.ui);
    state.table = importDem(list, folder);
    state.geoid = std::move(geoid);
    state.geoidImagePath = image;
    state.imported = true;
    ctx.ui.message("Dem table read complete.");
}

std::string documentPrefix(const CTessarinDoc& doc) {
    const auto& names = doc.tileNames();
    if (!names.imageName.empty()) return joinPath(names.folder, names.imageName);
    return doc.path();
}

void writeDemTableFile(CommandContext& ctx) {
    CTessarinDoc& doc = *ctx.doc;
    auto& state = doc.moduleState<DemState>();
    if (!state.imported) {
        ctx.ui.message("AsterGdem list and import is not ready.");
        return;
    }
    const std::string path = documentPrefix(doc) + "DemTable";
    ctx.ui.message(path);
    const int width = 2 * doc.tpix(), height = 2 * doc.tlin();
    const tiles::GlobalPoint origin = doc.canvasState().origin;
    fillDemTableGrid(state.table, state.geoid, sceneToGround(doc), origin.x, origin.y, width, height, state.grid,
                     [&](int r) { ctx.ui.status(format("j=%d of %d", r, height - 1)); });
    const std::size_t cells = state.grid.size();
    std::vector<std::uint8_t> bytes(cells * 2);
    for (std::size_t k = 0; k < cells; ++k) store<std::int16_t>(bytes, 2 * k, state.grid[k], ByteOrder::Little);
    writeWholeFile(path, bytes);
    state.demTableWritten = true;
}

bool hasDocument(const CommandContext& ctx) { return ctx.doc != nullptr; }

}  // namespace

void registerModule(app::AppCore& app) {
    namespace cmd = app::cmd;
    constexpr auto area = app::CommandArea::Dem;
    app.addOpenMode(asterDisplayRow());
    app.registerOpenCommands(area);

    for (const auto& entry : {std::pair{cmd::kAsterGtmList, DemSource::Aster},
                              std::pair{cmd::kSrtm1ArcsecList, DemSource::Srtm1},
                              std::pair{cmd::kSrtmOldList, DemSource::Srtm3}}) {
        const DemSource source = entry.second;
        app.registerHandler(area, entry.first,
                            {[source](CommandContext& ctx) { selectSource(ctx, source); }, hasDocument, {}});
    }
    app.registerHandler(area, cmd::kDemImport, {importTiles, hasDocument, {}});
    app.registerHandler(area, cmd::kDemTableGeneration, {writeDemTableFile, app::hasView, {}});
    registerOrthoCommands(app);
}

}  // namespace tessarin::dem
