// tessarin-cli ortho IMAGE_OR_TILE --mode N --frame KX,KY --dem TILE...
// --geoid DAC OUT.tif: the ortho frame of tiles (KX, KY)..(KX + 1, KY + 1)
// on its latitude/longitude grid, written as a GeoTIFF of three 16-bit
// channels and an alpha mask, through the document's own conversion.

#include <cstdio>
#include <string>

#include "app/app_core.h"
#include "dem/dem_import.h"
#include "dem/dem_state.h"
#include "dem/ortho_frame.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/text.h"
#include "products/alos2.h"
#include "subcommands.h"

namespace tessarin::cli {

namespace {

// The document's DEM from tiles given by path: the list the scene needs,
// read from the folder of the first tile, with the geoid.
void importGivenDem(document::CTessarinDoc& doc, const std::vector<std::string>& tiles, const std::string& geoidPath) {
    if (tiles.empty()) throw UsageError("give the DEM tiles with --dem TILE (repeatable)");
    const std::string first = splitPath(tiles.front()).name;
    const auto source = dem::demSourceOfName(first);
    if (!source) throw Error(format("\"%s\" is not named as an SRTM-3, SRTM-1 or ASTER GDEM tile", first.c_str()));
    const products::SceneParameters params = doc.reader(0).params();
    if (params.pixel < 1 || params.line < 1) throw Error("Image is not ready yet");
    dem::DemList list = dem::buildDemList(*source, params.pixel, params.line, [&](double p, double l) {
        return products::latLonOfPixelLine(params, {p, l});
    });
    const std::string folder = splitPath(tiles.front()).folder;
    std::string missing;
    for (const dem::DemListTile& t : list.tiles)
        if (dem::findTileFile(folder, list.source, t).empty()) missing += " " + t.name;
    if (!missing.empty())
        throw Error(format("the scene needs DEM tiles that are not in \"%s\":%s", folder.c_str(), missing.c_str()));
    auto& state = doc.moduleState<dem::DemState>();
    state.geoid.load(geoidPath, {});
    state.table = dem::importDem(list, folder);
    state.list = std::move(list);
    state.imported = true;
}

int runOrtho(const Args& args, ConsoleUi& ui) {
    args.requirePositionals(2, "IMAGE_OR_TILE OUT.tif");
    const auto modeText = args.value("mode");
    if (!modeText) throw UsageError("--mode N is required (the OpenMode of the open command)");
    const auto mode = parseInteger(*modeText);
    if (!mode || *mode < 0 || *mode > 32767) throw UsageError("--mode expects an OpenMode from 0 to 32767");
    const auto frameText = args.value("frame");
    if (!frameText) throw UsageError("--frame KX,KY is required (the frame's top-left tile)");
    const auto [kx, ky] = parseIntPair(*frameText, "frame");
    if (kx < 0 || ky < 0 || kx > 100000 || ky > 100000) throw UsageError("--frame expects tile numbers KX,KY of 0 or more");
    const auto geoid = args.value("geoid");
    if (!geoid) throw UsageError("--geoid WW15MGH.DAC is required");
    const std::string out = args.positionals()[1];

    app::AppCore core(ui);
    if (!core.linkBlock().valid()) {
        ui.message(LinkBlock::failureText(core.linkBlock().failure()));
        return 1;
    }
    app::registerModules(core);
    core.linkBlock().writeOpenMode(static_cast<std::int32_t>(*mode));
    document::CTessarinDoc* doc = core.openDocument(args.positionals()[0]);
    if (!doc) {
        std::fprintf(stderr, "error: the document could not be opened\n");
        return 1;
    }
    int code = 0;
    try {
        importGivenDem(*doc, args.values("dem"), *geoid);
        const tiles::TileGrid& grid = doc->grid();
        if (!grid.contains(static_cast<int>(kx), static_cast<int>(ky)))
            throw Error(format("tile %lld, %lld is not in the TileSet's %d x %d tiles", kx, ky, grid.ntx, grid.nty));
        const dem::OrthoFrameRequest frame = dem::OrthoFrameRequest::ofTiles(
            static_cast<int>(kx), static_cast<int>(ky), doc->tpix(), doc->tlin(), dem::orthoVariantFor(*doc));
        const dem::OrthoImage image = dem::orthoFrameOfDocument(*doc, frame, ui);
        dem::writeOrthoGeoTiff(out, image);
        const dem::GeoBox box = image.grid.gridBox();
        long long opaque = 0;
        for (std::uint8_t a : image.alpha) opaque += a != 0;
        std::printf("ortho %s\n", out.c_str());
        std::printf("variant %s\n", frame.variant == dem::OrthoVariant::TableDriven ? "table" : "profile");
        std::printf("%s\n", format("grid %d rows x %d columns, dphi=%.10e deg", image.grid.rows, image.grid.columns,
                                   image.grid.dphi_deg)
                                .c_str());
        std::printf("%s\n", format("grid box north=%.10f south=%.10f west=%.10f east=%.10f", box.north_deg,
                                   box.south_deg, box.west_deg, box.east_deg)
                                .c_str());
        const dem::GeoBox& c = image.grid.cornerBox;
        std::printf("%s\n", format("corner box north=%.10f south=%.10f west=%.10f east=%.10f", c.north_deg,
                                   c.south_deg, c.west_deg, c.east_deg)
                                .c_str());
        std::printf("opaque %lld of %zu\n", opaque, image.alpha.size());
        if (image.errorCount > 0) std::printf("failed pixels %lld\n", image.errorCount);
    } catch (const Error& e) {
        ui.message(e.what());
        code = 1;
    }
    core.closeDocument(doc);
    return code;
}

SubcommandRegistration orthoCommand(
    {"ortho", "write the ortho frame of a scene or TileSet as a GeoTIFF (three 16-bit channels and alpha)",
     "IMAGE_OR_TILE --mode N --frame KX,KY --dem TILE... --geoid WW15MGH.DAC OUT.tif",
     {{"mode", true, "the OpenMode of the open command (0: L1.5 image, 1: L1.1 image, 4/5: amplitude/complex TileSet)"},
      {"frame", true, "the frame's top-left tile KX,KY (the frame is 2 x 2 tiles)"},
      {"dem", true, "a DEM tile (repeatable); the scene's tiles are read from the first one's folder"},
      {"geoid", true, "the EGM96 grid (WW15MGH.DAC)"}},
     runOrtho});

}  // namespace

}  // namespace tessarin::cli
