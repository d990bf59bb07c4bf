// tessarin-cli tile IMAGE: an original level 1.1 or 1.5 product into a TileSet.
// tessarin-cli canvas TILEFILE --origin X,Y: the canvas of a TileSet.

#include <cstdio>

#include "platform/error.h"
#include "platform/format.h"
#include "platform/work_folder.h"
#include "products/alos2.h"
#include "products/calos.h"
#include "subcommands.h"
#include "tiles/canvas.h"
#include "tiles/scene_tiling.h"

namespace tessarin::cli {

namespace {

int runTile(const Args& args, ConsoleUi& ui) {
    args.requirePositionals(1, "IMAGE (an original level 1.1 or 1.5 image file)");
    products::Alos2 reader = products::readerFor(args.positionals()[0]);
    const auto tiled = tiles::tileOriginalProduct(args.positionals()[0], workFolder(), reader, ui);
    std::printf("tile %s\nquicklook %s\nntx %d\nnty %d\n", tiled.names.tile.c_str(), tiled.names.quickLook.c_str(),
                tiled.conversion.grid.ntx, tiled.conversion.grid.nty);
    return 0;
}

int runCanvas(const Args& args, ConsoleUi&) {
    args.requirePositionals(1, "TILEFILE (a name ending in tile.cpx or tile)");
    const auto origin = args.value("origin");
    if (!origin) throw UsageError("--origin X,Y is required");
    const auto [x, y] = parseIntPair(*origin, "origin");
    // Far beyond any scene, tile numbers would wrap.
    constexpr long long kMaxOrigin = 1LL << 24;
    if (x < -kMaxOrigin || x > kMaxOrigin || y < -kMaxOrigin || y > kMaxOrigin)
        throw UsageError("--origin expects a scene pixel and line X,Y, each within 16777216");
    const std::string tilePath = args.positionals()[0];
    const tiles::TileSetNames names = tiles::namesForExistingTileSet(tilePath);
    tiles::TileKind kind{};
    tiles::tileKindFromName(tilePath, kind);

    products::Alos2 reader = products::readerFor(tilePath);
    reader.setImagePath(tiles::joinImagePath(names));
    reader.setLeaderPath(names.leaderCopy);
    if (!reader.DecodeImageFileDescriptor(names.headerCopy))
        throw Error(format("cannot read the header copy \"%s\" of the TileSet", names.headerCopy.c_str()));
    const bool haveLeader = reader.DecodeLeaderFile();
    const auto grid = tiles::TileGrid::make(reader.params().pixel, reader.params().line);

    tiles::Canvas canvas;
    tiles::CanvasState state;
    if (kind == tiles::TileKind::Complex) {
        const tiles::SceneMapping mapping = tiles::sceneMappingOf(reader);
        state = tiles::mergeComplex({x, y}, grid, tilePath, names.canvas, canvas, haveLeader ? &mapping : nullptr);
    } else {
        state = tiles::mergeAmplitude({x, y}, grid, tilePath, names.canvas, canvas);
    }
    std::printf("canvas %s\ntiles %d..%d x %d..%d (current tile %lld)\norigin %lld,%lld\nctrorigin_in_canvas %lld,%lld\n",
                names.canvas.c_str(), state.tileRangeX[0], state.tileRangeX[1] - 1, state.tileRangeY[0],
                state.tileRangeY[1] - 1, static_cast<long long>(state.currentTile), state.origin.x, state.origin.y,
                state.ctrInCanvas.x, state.ctrInCanvas.y);
    if (state.frame) {
        const auto& f = *state.frame;
        std::printf("frame lat %.6f..%.6f lon %.6f..%.6f\n", f.minLat_deg, f.maxLat_deg, f.minLon_deg, f.maxLon_deg);
    }
    return 0;
}

SubcommandRegistration tileCommand({"tile", "convert an original level 1.1 or 1.5 product into a TileSet in the work folder",
                                    "IMAGE", {}, runTile});
SubcommandRegistration canvasCommand({"canvas", "assemble the 2 x 2-tile canvas of a TileSet around a scene position",
                                      "TILEFILE --origin X,Y",
                                      {{"origin", true, "scene pixel and line of ctrorigin, as X,Y"}}, runCanvas});

}  // namespace

}  // namespace tessarin::cli
