// First-generation PALSAR products: the originals of levels 1.5 (mode 50)
// and 1.1 (mode 51) converted into TileSets, and their TileSets reopened
// (modes 52 and 53), read with CAlos through the single-scene opens.

#include "app/modules.h"

#include "app/app_core.h"
#include "document/tessarin_doc.h"
#include "platform/text.h"
#include "products/calos.h"
#include "tiles/scene_open.h"

namespace tessarin::products {

namespace {

using document::CTessarinDoc;
using document::ObservationDates;
using document::OpenModeRow;

constexpr tiles::SceneOpenRules kOriginalRules{.firstGeneration = true, .centreOnScene = true};

bool openOriginalL15(CTessarinDoc& doc) { return tiles::openOriginalScene(doc, false, kOriginalRules); }
bool openOriginalL11(CTessarinDoc& doc) { return tiles::openOriginalScene(doc, true, kOriginalRules); }
bool openAmplitudeTiles(CTessarinDoc& doc) { return tiles::openTileSetScene(doc, false, kOriginalRules); }
bool openComplexTiles(CTessarinDoc& doc) { return tiles::openTileSetScene(doc, true, kOriginalRules); }

bool isOriginal(const std::string& path, int level) {
    return isFirstGenerationImageName(path) && !endsWith(path, "tile") && !endsWith(path, "tile.cpx") &&
           productLevelOf(splitPath(path).name) == level;
}
bool claimsOriginalL15(const std::string& path) { return isOriginal(path, kLevel15); }
bool claimsOriginalL11(const std::string& path) { return isOriginal(path, kLevel11); }
bool claimsAmplitudeTiles(const std::string& path) { return isFirstGenerationImageName(path) && endsWith(path, "tile"); }
bool claimsComplexTiles(const std::string& path) {
    return isFirstGenerationImageName(path) && endsWith(path, "tile.cpx");
}

OpenModeRow singleScene(int mode, bool complex) {
    OpenModeRow row;
    row.mode = mode;
    row.channelCount = 1;
    row.displayType = 1;
    row.dates = ObservationDates::One;
    row.levelCode = complex ? document::kLevelCodeComplex : document::kLevelCodeAmplitude;
    row.complexFlag = complex;
    row.amplitudeFlag = !complex;
    row.assemble = tiles::assembleWithinGrid;
    return row;
}

}  // namespace

void registerModule(app::AppCore& app) {
    OpenModeRow l15 = singleScene(50, false);
    l15.label = "OrgSingleAmp";
    l15.message = "ALOS L1.5 Original file open";
    l15.tiePoints = {.cornerMatchReport = true, .singleMatchReport = true};
    l15.open = openOriginalL15;
    l15.claims = claimsOriginalL15;
    app.addOpenMode(l15);

    OpenModeRow l11 = singleScene(51, true);
    l11.message = "ALOS L1.1 Original file Open";
    l11.open = openOriginalL11;
    l11.claims = claimsOriginalL11;
    app.addOpenMode(l11);

    OpenModeRow ampTiles = singleScene(52, false);
    ampTiles.label = "AmpTile";
    ampTiles.message = "Open ALOS L1.5 Tile image Open";
    ampTiles.existingTiles = true;
    ampTiles.open = openAmplitudeTiles;
    ampTiles.claims = claimsAmplitudeTiles;
    app.addOpenMode(ampTiles);

    OpenModeRow cpxTiles = singleScene(53, true);
    cpxTiles.label = "CpxTile";
    cpxTiles.message = "Open ALOS L1.1 Tile image Open";
    cpxTiles.existingTiles = true;
    cpxTiles.open = openComplexTiles;
    cpxTiles.claims = claimsComplexTiles;
    app.addOpenMode(cpxTiles);
    app.registerOpenCommands(app::CommandArea::Products);
    app.declareAreaComplete(app::CommandArea::Products);
}

}  // namespace tessarin::products
