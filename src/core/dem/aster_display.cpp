#include "dem/aster_display.h"

#include <algorithm>

#include "dem/aster_dem.h"
#include "dem/dem_import.h"
#include "document/module_state.h"
#include "document/tessarin_doc.h"
#include "platform/arithmetic.h"
#include "platform/bytes.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "tiles/tile_store.h"

namespace tessarin::dem {

namespace {

using document::CTessarinDoc;

constexpr tiles::GlobalPoint kFirstCentre{1800, 1800};

struct AsterDisplayState : document::ModuleState {
    std::string tilePath;  // "...tile.img": kAsterDisplayTile^2 x 3-byte tiles
    int tilesPerSide = 0;
};

// The overview: every picture sample that falls on a quick-look cell.
std::vector<std::uint8_t> overviewOf(const std::vector<std::uint8_t>& rgb, int side) {
    const int q = tiles::kQuickLookSize;
    std::vector<std::uint8_t> out(static_cast<std::size_t>(q) * static_cast<std::size_t>(q) * 3, 0);
    const int step = std::max(1, (side + q - 1) / q);
    for (int y = 0; y < q && y * step < side; ++y)
        for (int x = 0; x < q && x * step < side; ++x)
            std::copy_n(rgb.begin() + static_cast<std::ptrdiff_t>(
                                          (static_cast<std::size_t>(y * step) * static_cast<std::size_t>(side) +
                                           static_cast<std::size_t>(x * step)) *
                                          3),
                        3, out.begin() + static_cast<std::ptrdiff_t>((static_cast<std::size_t>(y) * static_cast<std::size_t>(q) + static_cast<std::size_t>(x)) * 3));
    return out;
}

// Two by two picture tiles around ctrorigin into the canvas file, each byte
// widened to the 16-bit channels every three-channel canvas holds; zero
// beyond the picture.
void assembleAster(CTessarinDoc& doc) {
    const auto& state = doc.moduleState<AsterDisplayState>();
    const tiles::TileGrid& grid = doc.grid();
    const int n = state.tilesPerSide;
    const int kx0 = std::clamp(static_cast<int>(floorDiv(grid.tpix / 2 + doc.ctrorigin().x, grid.tpix)) - 1, 0,
                               std::max(0, n - 2));
    const int ky0 = std::clamp(static_cast<int>(floorDiv(grid.tlin / 2 + doc.ctrorigin().y, grid.tlin)) - 1, 0,
                               std::max(0, n - 2));
    tiles::CanvasState cs;
    cs.kx0 = kx0, cs.ky0 = ky0;
    cs.tileRangeX[0] = kx0, cs.tileRangeX[1] = kx0 + 2;
    cs.tileRangeY[0] = ky0, cs.tileRangeY[1] = ky0 + 2;
    cs.currentTile = grid.tileNumber(kx0, ky0);
    cs.origin = {static_cast<long long>(grid.tpix) * kx0, static_cast<long long>(grid.tlin) * ky0};
    cs.ctrInCanvas = cs.toCanvas(doc.ctrorigin());

    const std::size_t t = kAsterDisplayTile, width = 2 * t;
    std::vector<std::uint8_t> canvas(width * width * 3 * 2, 0);
    std::vector<std::uint8_t> tile(t * t * 3);
    File file(state.tilePath, File::Mode::Read);
    for (int dy = 0; dy < 2; ++dy)
        for (int dx = 0; dx < 2; ++dx) {
            const int kx = kx0 + dx, ky = ky0 + dy;
            if (kx >= n || ky >= n) continue;
            file.readAt((static_cast<std::uint64_t>(kx) + static_cast<std::uint64_t>(ky) * static_cast<std::uint64_t>(n)) *
                            tile.size(),
                        tile);
            for (std::size_t r = 0; r < t; ++r)
                for (std::size_t c = 0; c < t * 3; ++c) {
                    const std::size_t at = ((r + static_cast<std::size_t>(dy) * t) * width +
                                            static_cast<std::size_t>(dx) * t) * 3 + c;
                    canvas[2 * at] = tile[r * t * 3 + c];
                }
        }
    writeWholeFile(doc.canvasPath(), canvas);
    doc.setCanvasState(cs);
}

bool openAster(CTessarinDoc& doc) {
    const std::string name = doc.fileName();
    const auto corner = demTileCorner(DemSource::Aster, name);
    if (!corner) throw Error(format("\"%s\" is not named as an ASTER GDEM tile (ASTGTM2_N35E139_dem.tif)", name.c_str()));
    const DemTile tile = readTileFile(doc.path(), DemSource::Aster, corner->lat_deg, corner->lon_deg);
    const int side = tile.samples();
    Ui& ui = doc.ui();
    std::vector<std::int16_t> heights = repairedHeights(tile.heights_m, side, doc.path() + kRepairCacheSuffix,
                                                        [&](int row) { ui.status(format("repair dem j=%d", row)); });
    const HeightRange range = heightRange(heights);
    const std::vector<std::uint8_t> rgb = shadedRelief(heights, side, corner->lat_deg, range);

    auto& state = doc.moduleState<AsterDisplayState>();
    state.tilesPerSide = (side + kAsterDisplayTile - 1) / kAsterDisplayTile;
    state.tilePath = joinPath(doc.workFolder(), name + "tile.img");
    writeWholeFile(state.tilePath, cutIntoTiles(rgb, side));

    auto& ts = doc.tileSet();
    ts.grid = tiles::TileGrid::make(side, side, kAsterDisplayTile, kAsterDisplayTile);
    ts.bucketX = ts.bucketY = std::max(1, (side + tiles::kQuickLookSize - 1) / tiles::kQuickLookSize);
    ts.displayChannels = 3;
    ts.overviewPath = joinPath(doc.workFolder(), name + "tile.idx");
    ts.canvasPath = joinPath(doc.workFolder(), name + "tile.cut");
    writeWholeFile(ts.overviewPath, overviewOf(rgb, side));
    doc.recordWorkFile(ts.overviewPath);
    doc.renderOverview();
    doc.setCtrorigin(kFirstCentre);
    doc.assembleCanvas();
    doc.renderCanvasDisplays();
    doc.openState().hasData = true;
    ui.status(format("ASTER GDEM %s: heights %d .. %d m", name.c_str(), range.min, range.max));
    return true;
}

bool claimsAster(const std::string& path) { return demTileCorner(DemSource::Aster, splitPath(path).name).has_value(); }

}  // namespace

document::OpenModeRow asterDisplayRow() {
    document::OpenModeRow row;
    row.mode = 20;
    row.channelCount = 3;
    row.threeChannelCanvas = true;
    row.open = openAster;
    row.assemble = assembleAster;
    row.claims = claimsAster;
    return row;
}

}  // namespace tessarin::dem
