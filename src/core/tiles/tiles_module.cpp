// The tile store's module: the single-scene open modes (original products
// converted into a TileSet, TileSets reopened, the compressed-SLC open) and
// the commands that save a TileSet.

#include "app/modules.h"

#include <algorithm>

#include "app/app_core.h"
#include "app/command_ids.h"
#include "composites/composite_state.h"
#include "document/tessarin_doc.h"
#include "platform/arithmetic.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "products/calos.h"
#include "tiles/scene_open.h"
#include "tiles/scene_tiling.h"

namespace tessarin::tiles {

namespace {

using document::CTessarinDoc;
using document::ObservationDates;
using document::OpenModeRow;

constexpr std::size_t kPolarisationPrefix = 6;
constexpr std::size_t kScanSarLeaderTail = 7;

std::string dropFront(const std::string& s, std::size_t n) { return s.size() > n ? s.substr(n) : std::string(); }

// A file opened as a level 1.1 image under the ScanSAR/COSMO-SkyMed mode
// must start as a CEOS image file does.
void refuseNonCeosImage(const std::string& path) {
    auto file = File::tryOpen(path, File::Mode::Read);
    if (!file) return;  // the conversion names what cannot be read
    std::vector<std::uint8_t> head(static_cast<std::size_t>(products::kFileHeaderBytes));
    head.resize(file->readSome(head));
    if (products::isHdf5Signature(head) || !products::isCeosImageDescriptor(head))
        throw Error(products::kNotCeosLevel11);
}

// First generation: the reader of slot 0 becomes a CAlos, and the open says
// when the leader it names cannot be opened.
void prepareFirstGeneration(CTessarinDoc& doc, const std::string& imagePath, const std::string& leaderPath) {
    products::refuseUnreadLevel(imagePath);
    doc.reader(0) = products::CAlos();
    if (!fileExists(leaderPath)) doc.ui().message("leaderpath can not open");
}

void showDescriptorNotice(CTessarinDoc& doc) {
    if (!doc.reader(0).descriptorNotice().empty()) doc.ui().message(doc.reader(0).descriptorNotice());
}

tiles::GlobalPoint firstCentre(const CTessarinDoc& doc, bool complex, const SceneOpenRules& rules) {
    if (complex && rules.centreOnScene) {
        const auto& p = doc.reader(0).params();
        return {p.pixel / 2, p.line / 2};
    }
    return {document::kDefaultCentre, document::kDefaultCentre};
}

}  // namespace

// The level 1.1 and level 1.5 drivers: convert the product into a new
// TileSet in the work folder, then show its overview and its canvas.
bool openOriginalScene(CTessarinDoc& doc, bool complex, const SceneOpenRules& rules) {
    if (doc.scanSar()) refuseNonCeosImage(doc.path());
    if (rules.firstGeneration) {
        prepareFirstGeneration(doc, doc.path(), products::leaderPathOf(doc.path()));
        doc.ui().message("CAlos_In sub DecodeImageFileDescriptor:" + doc.path());
    }
    ConversionOptions options;
    options.tpix = doc.tpix();
    options.tlin = doc.tlin();
    options.equalizingval = doc.equalizingval();
    options.phaseSign = doc.phaseSign();
    std::string leaderForDecode;
    if (doc.scanSar()) {
        // ScanSAR products: the leader beside the image, named without the
        // polarisation prefix and the last seven characters of the image name.
        std::string rest = dropFront(doc.fileName(), kPolarisationPrefix);
        rest = rest.size() > kScanSarLeaderTail ? rest.substr(0, rest.size() - kScanSarLeaderTail) : std::string();
        leaderForDecode = joinPath(doc.folder(), "LED" + rest);
    }
    // The level is known from the name: refuse before converting anything.
    const int level = products::productLevelOf(doc.path());
    if ((level == products::kLevel11 || level == products::kLevel15) && complex != (level == products::kLevel11))
        throw Error(format("\"%s\" is a level %s product; open it with the level %s command", doc.fileName().c_str(),
                           complex ? "1.5" : "1.1", complex ? "1.5" : "1.1"));
    const TiledProduct tiled =
        tileOriginalProduct(doc.path(), doc.workFolder(), doc.reader(0), doc.ui(), options, leaderForDecode);
    doc.recordCompanionCopies(tiled.names.headerCopy, tiled.names.leaderCopy);
    if (rules.firstGeneration) showDescriptorNotice(doc);
    doc.markSlotDecoded(0);
    doc.takeOverCalibration();
    auto& state = doc.openState();
    if (complex) state.amplitudeFlag = false;  // the level 1.1 driver shows complex tiles
    auto& ts = doc.tileSet();
    ts.names = tiled.names;
    ts.kind = tiled.kind;
    ts.grid = tiled.conversion.grid;
    ts.bucketX = tiled.conversion.bucketX;
    ts.bucketY = tiled.conversion.bucketY;
    ts.overviewReduction = document::kOverviewReduction;
    ts.channelLabels = {document::polarisationOf(doc.path())};
    doc.renderOverview();
    ts.canvasPath = ts.names.canvas;
    doc.setCtrorigin(firstCentre(doc, complex, rules));
    doc.assembleCanvas();
    doc.renderCanvasDisplays();
    state.madeTileSet = true;
    state.hasData = true;
    return true;
}

namespace {

bool openOriginalL15(CTessarinDoc& doc) { return openOriginalScene(doc, false); }
bool openOriginalL11(CTessarinDoc& doc) { return openOriginalScene(doc, true); }

// As the level 1.1 open, without the conversion: the tiles come from an
// earlier conversion of the same image, found under the name the conversion
// gives them in the work folder.
bool openCompressed(CTessarinDoc& doc) {
    auto& ts = doc.tileSet();
    ts.names = namesForNewTileSet(doc.path(), doc.workFolder(), TileKind::Complex);
    ts.kind = TileKind::Complex;
    if (!fileExists(ts.names.tile))
        throw Error(format("No complex tile file \"%s\": open the image with \"ALOS2 L1.1 Image\" first",
                           ts.names.tile.c_str()));
    auto& reader = doc.reader(0);
    reader.setImagePath(doc.path());
    // Decoded before the copies replace those of the earlier conversion, so
    // that a damaged product leaves them as they were.
    const std::vector<std::uint8_t> header = imageHeaderBytes(doc.path());
    const std::string leaderSource = fileExists(reader.leaderPath()) ? reader.leaderPath() : std::string();
    const std::vector<std::uint8_t> leader =
        leaderSource.empty() ? std::vector<std::uint8_t>{} : readWholeFile(leaderSource, products::kMaxLeaderBytes);
    reader.setLookDirection(doc.path());
    products::Alos2 decoded = reader;
    if (leaderSource.empty()) {
        decoded.setLeaderPath(ts.names.leaderCopy);
        decoded.DecodeLeaderFile();
    } else {
        decoded.DecodeLeaderBytes(leader, leaderSource);
    }
    decoded.DecodeImageFileDescriptorBytes(header, ts.names.headerCopy);
    writeWholeFile(ts.names.headerCopy, header);
    if (!leaderSource.empty()) writeWholeFile(ts.names.leaderCopy, leader);
    decoded.setLeaderPath(ts.names.leaderCopy);
    reader = std::move(decoded);
    doc.markSlotDecoded(0);
    doc.openState().amplitudeFlag = false;
    doc.setGridFrom(reader.params());
    ts.canvasPath = ts.names.canvas;
    doc.setCtrorigin({document::kDefaultCentre, document::kDefaultCentre});
    doc.assembleCanvas();
    doc.takeOverCalibration();
    if (fileExists(ts.names.quickLook)) doc.renderOverview();
    doc.renderCanvasDisplays();
    doc.openState().hasData = true;
    return true;
}

}  // namespace

// Reopens a TileSet: its header and leader copies beside the tile file.
bool openTileSetScene(CTessarinDoc& doc, bool complex, const SceneOpenRules& rules) {
    TileKind kind{};
    if (!tileKindFromName(doc.path(), kind) || (kind == TileKind::Complex) != complex)
        throw Error(format("\"%s\" is not %s tile file (its name must end in \"%s\")", doc.fileName().c_str(),
                           complex ? "a complex" : "an amplitude", complex ? "tile.cpx" : "tile"));
    auto& ts = doc.tileSet();
    ts.names = namesForExistingTileSet(doc.path());
    ts.kind = kind;
    auto& reader = doc.reader(0);
    const std::string imagePath = joinImagePath(ts.names);
    if (complex || !doc.slotDecoded(0) || rules.firstGeneration) {
        if (rules.firstGeneration) prepareFirstGeneration(doc, imagePath, ts.names.leaderCopy);
        if (complex) doc.setPhaseSign(1);
        reader.setImagePath(imagePath);
        if (complex) reader.setLookDirection(ts.names.imageName);
        reader.setLeaderPath(ts.names.leaderCopy);
        reader.DecodeLeaderFile();
        if (rules.firstGeneration) doc.ui().message("CAlos_In sub DecodeImageFileDescriptor:" + ts.names.headerCopy);
        reader.DecodeImageFileDescriptor(ts.names.headerCopy);
        if (rules.firstGeneration) showDescriptorNotice(doc);
        doc.markSlotDecoded(0);
    }
    doc.takeOverCalibration();
    if (reader.params().pixel <= 0 || reader.params().line <= 0)
        throw Error(format("The header copy \"%s\" of this TileSet is missing or empty", ts.names.headerCopy.c_str()));
    doc.setGridFrom(reader.params());
    ts.overviewReduction = document::kOverviewReduction;
    ts.channelLabels = {document::polarisationOf(doc.path())};
    doc.renderOverview();
    ts.canvasPath = ts.names.canvas;
    doc.setCtrorigin(firstCentre(doc, complex, rules));
    doc.assembleCanvas();
    doc.renderCanvasDisplays();
    // A single TileSet exported as a colour image repeats its channel.
    doc.moduleState<composites::CompositeState>().thirdChannelCopy = true;
    doc.openState().tileOpen = true;
    doc.openState().hasData = true;
    return true;
}

void assembleWithinGrid(CTessarinDoc& doc) {
    const TileGrid& grid = doc.grid();
    const GlobalPoint centre = doc.ctrorigin();
    const bool complex = doc.tileKind() == TileKind::Complex;
    const CanvasState wanted = complex ? nearestBoundaryBlock(centre, grid)
                                       : blockState(static_cast<int>(floorDiv(centre.x, grid.tpix)),
                                                    static_cast<int>(floorDiv(centre.y, grid.tlin)), centre, grid);
    const int kx0 = std::clamp(wanted.kx0, 0, std::max(grid.ntx - 2, 0));
    const int ky0 = std::clamp(wanted.ky0, 0, std::max(grid.nty - 2, 0));
    if (kx0 == wanted.kx0 && ky0 == wanted.ky0) {
        doc.mergeSingleScene();
        return;
    }
    // Both mergers start their block at the tile corner they are given.
    doc.setCtrorigin({static_cast<long long>(kx0) * grid.tpix, static_cast<long long>(ky0) * grid.tlin});
    doc.mergeSingleScene();
    doc.setCtrorigin(centre);
    CanvasState state = doc.canvasState();
    state.ctrInCanvas = state.toCanvas(centre);
    doc.setCanvasState(state);
}

namespace {

bool openAmplitudeTileSet(CTessarinDoc& doc) { return openTileSetScene(doc, false); }
bool openComplexTileSet(CTessarinDoc& doc) { return openTileSetScene(doc, true); }

bool isOriginalImageName(const std::string& path, int level) {
    const std::string name = splitPath(path).name;
    return startsWith(name, "IMG-") && !endsWith(name, "tile") && !endsWith(name, "tile.cpx") &&
           products::productLevelOf(name) == level && !products::isFirstGenerationImageName(name);
}
bool claimsOriginalL15(const std::string& path) { return isOriginalImageName(path, products::kLevel15); }
bool claimsOriginalL11(const std::string& path) { return isOriginalImageName(path, products::kLevel11); }
bool claimsAmplitudeTileSet(const std::string& path) {
    return endsWith(path, "tile") && !products::isFirstGenerationImageName(path);
}
bool claimsComplexTileSet(const std::string& path) {
    return endsWith(path, "tile.cpx") && !products::isFirstGenerationImageName(path);
}

OpenModeRow singleScene(int mode) {
    OpenModeRow row;
    row.mode = mode;
    row.channelCount = 1;
    row.displayType = 1;
    row.dates = ObservationDates::One;
    return row;
}

void addOpenModes(app::AppCore& app) {
    OpenModeRow l15 = singleScene(0);
    l15.label = "OrgSingleAmp";
    l15.message = "Original ALOS2 Lev1.5 file open";
    l15.levelCode = document::kLevelCodeAmplitude;
    l15.amplitudeFlag = true;
    l15.open = openOriginalL15;
    l15.claims = claimsOriginalL15;
    app.addOpenMode(l15);

    OpenModeRow l11 = singleScene(1);
    l11.label = "Original ALOS2 L1.1";
    l11.message = "L1.1 ALOS2 CPX Original file Open";
    l11.levelCode = document::kLevelCodeComplex;
    l11.complexFlag = true;
    l11.open = openOriginalL11;
    l11.claims = claimsOriginalL11;
    app.addOpenMode(l11);

    OpenModeRow scanSar = l11;
    scanSar.mode = 11;
    scanSar.message = "L1.1 ALOS2 CPX Scan SAR Original file Open";
    scanSar.scanSar = true;
    scanSar.claims = nullptr;  // a ScanSAR image's name looks like any level 1.1 image's
    app.addOpenMode(scanSar);

    OpenModeRow compressed = l11;
    compressed.mode = 1000;
    compressed.open = openCompressed;
    compressed.claims = nullptr;
    app.addOpenMode(compressed);

    OpenModeRow ampTiles = singleScene(4);
    ampTiles.label = "AmpTile";
    ampTiles.message = "Open ALOS2 L1.5 Tile image Open";
    ampTiles.levelCode = document::kLevelCodeAmplitude;
    ampTiles.amplitudeFlag = true;
    ampTiles.existingTiles = true;
    ampTiles.open = openAmplitudeTileSet;
    ampTiles.claims = claimsAmplitudeTileSet;
    app.addOpenMode(ampTiles);

    OpenModeRow cpxTiles = singleScene(5);
    cpxTiles.label = "CpxTile";
    cpxTiles.message = "Open ALOS2 L1.1 Tile image Open";
    cpxTiles.levelCode = document::kLevelCodeComplex;
    cpxTiles.complexFlag = true;
    cpxTiles.profileOrtho = true;
    cpxTiles.existingTiles = true;
    cpxTiles.open = openComplexTileSet;
    cpxTiles.claims = claimsComplexTileSet;
    app.addOpenMode(cpxTiles);
}

}  // namespace

void registerModule(app::AppCore& app) {
    using app::CommandArea;
    using app::CommandContext;
    addOpenModes(app);
    app.registerOpenCommands(CommandArea::Tiles);
    // "Save Tile Image": only for a TileSet this open has just made.
    app.registerHandler(
        CommandArea::Tiles, app::cmd::kSaveTileImage,
        {[](CommandContext& ctx) { saveTileSet(ctx.ui, ctx.doc->tileNames(), ctx.doc->tileKind()); },
         [](const CommandContext& ctx) { return app::hasData(ctx) && ctx.doc->openState().madeTileSet; },
         {}});
    app.declareAreaComplete(CommandArea::Tiles);
}

}  // namespace tessarin::tiles
