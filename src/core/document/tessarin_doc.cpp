#include "document/tessarin_doc.h"

#include <algorithm>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/work_folder.h"
#include "imagefiles/channel_tiff.h"
#include "imagefiles/png_output.h"
#include "tiles/scene_tiling.h"

namespace tessarin::document {

namespace {

// Every OpenMode of the open-mode table.
constexpr int kKnownModes[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 16, 20, 26, 27, 28, 29, 30, 31,
                               33, 34, 35, 36, 50, 51, 52, 53, 200, 1000};
// The modes whose processing is built; the others open an empty document.
constexpr int kBuiltModes[] = {0, 1, 4, 5, 7, 11, 200, 1000};

constexpr std::size_t kPolarisationPrefix = 6;
constexpr std::size_t kScanSarLeaderTail = 7;

bool isPolarisationImageName(const std::string& name) {
    for (const char* prefix : {"IMG-HH-ALOS2", "IMG-HV-ALOS2", "IMG-VH-ALOS2", "IMG-VV-ALOS2"})
        if (startsWith(name, prefix)) return true;
    return false;
}

std::string dropFront(const std::string& s, std::size_t n) { return s.size() > n ? s.substr(n) : std::string(); }

}  // namespace

bool isKnownOpenMode(int mode) { return std::find(std::begin(kKnownModes), std::end(kKnownModes), mode) != std::end(kKnownModes); }
bool isBuiltOpenMode(int mode) { return std::find(std::begin(kBuiltModes), std::end(kBuiltModes), mode) != std::end(kBuiltModes); }

CTessarinDoc::CTessarinDoc(Ui& ui, const std::string& linkBlockName) : ui_(ui) {
    ui_.status("PreProc data");
    const auto mode = readLinkBlockOpenMode(linkBlockName);
    if (!mode) {
        ui_.message("Can't open link data file");
        return;
    }
    openMode_ = *mode;
    tpix_ = tlin_ = tiles::kTileSize;
    ctrorigin_ = {kDefaultCentre, kDefaultCentre};
    equalizingval_ = tiles::kEqualizingVal;
    phaseSign_ = 1;
    existingTiles_ = false;
    ui_.status("Allocate memory");
    canvas_ = tiles::Canvas(tpix_, tlin_);
    initialised_ = true;
    ui_.status("End Preproc");
}

CTessarinDoc::~CTessarinDoc() = default;

bool CTessarinDoc::OnOpenDocument(const std::string& path) {
    if (!initialised_) {
        // Without the link block the document has no defaults to open with.
        ui_.message("Can't open link data file");
        return false;
    }
    try {
        // Common steps.
        path_ = path;
        const SplitPath split = splitPath(path);
        folder_ = split.folder;
        fileName_ = split.name;
        if (isPolarisationImageName(fileName_)) amplitudeFlag_ = true;
        workFolder_ = tessarin::workFolder();
        defaultTilePath_ = joinPath(workFolder_, fileName_ + "tile");
        defaultQuickLookPath_ = joinPath(workFolder_, fileName_ + ".idx");
        defaultLeaderPath_ = joinPath(folder_, "LED" + dropFront(fileName_, kPolarisationPrefix));
        tpix_ = tlin_ = tiles::kTileSize;
        canvasState_ = tiles::CanvasState();

        switch (openMode_) {
            case open_mode::kOriginalL15:
                label_ = "OrgSingleAmp";
                ui_.message("Original ALOS2 Lev1.5 file open");
                levelCode_ = kLevelCodeAmplitude;
                channelCount_ = 1;
                complexFlag_ = false;
                displayType_ = 1;
                amplitudeFlag_ = true;
                existingTiles_ = false;
                return openOriginal(false);
            case open_mode::kOriginalL11:
            case open_mode::kScanSarL11:
                label_ = "Original ALOS2 L1.1";
                levelCode_ = kLevelCodeComplex;
                complexFlag_ = true;
                existingTiles_ = false;
                channelCount_ = 1;
                if (openMode_ == open_mode::kScanSarL11) {
                    scanSar_ = true;
                    ui_.message("L1.1 ALOS2 CPX Scan SAR Original file Open");
                } else {
                    ui_.message("L1.1 ALOS2 CPX Original file Open");
                }
                displayType_ = 1;
                return openOriginal(true);
            case open_mode::kCompressSlc:
                label_ = "Original ALOS2 L1.1";
                levelCode_ = kLevelCodeComplex;
                complexFlag_ = true;
                existingTiles_ = false;
                channelCount_ = 1;
                ui_.message("L1.1 ALOS2 CPX Original file Open");
                displayType_ = 1;
                return openCompressed();
            case open_mode::kAmplitudeTileSet:
                return openTileSet(false);
            case open_mode::kComplexTileSet:
                return openTileSet(true);
            case open_mode::kRasterToPngTest:
                // The PNG export on the chosen raster: 3 channels of 2 bytes,
                // unmapped, the size of a canvas. The user's raster is kept.
                exportPng(path_, path_ + "alpha.png", canvas_.width(), canvas_.height(), false, 2, false);
                return true;
            case open_mode::kComplexMultiTemporal:
                label_ = "CpxMT";
                ui_.message("Open L1.1 Multi Temporal Tile Open");
                ui_.message("Restart program as Inteferometry mode");
                ui_.message("Process image as Interferpmetry. Restart program..");
                return false;
            default:
                // Modes not in the table, and modes whose processing is not
                // built, open an empty document.
                return true;
        }
    } catch (const Error& e) {
        ui_.message(e.what());
        return false;
    }
}

void CTessarinDoc::takeOverCalibration() {
    const auto& p = readers_[0].params();
    pixsz_ = p.pixsz;
    linsz_ = p.linsz;
    calib_ = p.calib;
}

void CTessarinDoc::setGridFrom(const products::SceneParameters& p) {
    grid_ = tiles::TileGrid::make(p.pixel, p.line, tpix_, tlin_);
    bucketX_ = p.pixel / tiles::kQuickLookSize;
    bucketY_ = p.line / tiles::kQuickLookSize;
}

bool CTessarinDoc::openOriginal(bool complex) {
    tiles::ConversionOptions options;
    options.tpix = tpix_;
    options.tlin = tlin_;
    options.equalizingval = equalizingval_;
    options.phaseSign = phaseSign_;
    std::string leaderForDecode;
    if (scanSar_) {
        // ScanSAR products: the leader beside the image, named without the
        // polarisation prefix and the last seven characters of the image name.
        std::string rest = dropFront(fileName_, kPolarisationPrefix);
        rest = rest.size() > kScanSarLeaderTail ? rest.substr(0, rest.size() - kScanSarLeaderTail) : std::string();
        leaderForDecode = joinPath(folder_, "LED" + rest);
    }
    const tiles::TiledProduct tiled =
        tiles::tileOriginalProduct(path_, workFolder_, readers_[0], ui_, options, leaderForDecode);
    if (complex != (tiled.kind == tiles::TileKind::Complex))
        throw Error(format("\"%s\" is a level %s product; open it with the level %s command", fileName_.c_str(),
                           complex ? "1.5" : "1.1", complex ? "1.5" : "1.1"));
    headerCopyWritten_ = tiled.names.headerCopy;
    leaderCopyWritten_ = tiled.names.leaderCopy;
    slotDecoded_[0] = true;
    takeOverCalibration();
    if (complex) amplitudeFlag_ = false;  // the level 1.1 driver shows complex tiles
    names_ = tiled.names;
    tileKind_ = tiled.kind;
    grid_ = tiled.conversion.grid;
    bucketX_ = tiled.conversion.bucketX;
    bucketY_ = tiled.conversion.bucketY;
    overviewReduction_ = kOverviewReduction;
    renderOverview();
    canvasPath_ = names_.canvas;
    ctrorigin_ = {kDefaultCentre, kDefaultCentre};
    assembleCanvas();
    renderCanvasDisplays();
    hasData_ = true;
    return true;
}

bool CTessarinDoc::openCompressed() {
    // As the level 1.1 open, without the conversion: the tiles come from an
    // earlier conversion of the same image, found under the name the
    // conversion gives them in the work folder.
    names_ = tiles::namesForNewTileSet(path_, workFolder_, tiles::TileKind::Complex);
    tileKind_ = tiles::TileKind::Complex;
    if (!fileExists(names_.tile))
        throw Error(format("No complex tile file \"%s\": open the image with \"ALOS2 L1.1 Image\" first",
                           names_.tile.c_str()));
    auto& reader = readers_[0];
    reader.setImagePath(path_);
    tiles::copyImageHeader(path_, names_.headerCopy);
    if (fileExists(reader.leaderPath())) tiles::copyLeader(reader.leaderPath(), names_.leaderCopy);
    headerCopyWritten_ = names_.headerCopy;
    leaderCopyWritten_ = names_.leaderCopy;
    reader.setLookDirection(path_);
    reader.setLeaderPath(names_.leaderCopy);
    reader.DecodeLeaderFile();
    if (!reader.DecodeImageFileDescriptor(names_.headerCopy))
        throw Error(format("cannot read the file descriptor of \"%s\"", path_.c_str()));
    slotDecoded_[0] = true;
    amplitudeFlag_ = false;
    setGridFrom(reader.params());
    canvasPath_ = names_.canvas;
    ctrorigin_ = {kDefaultCentre, kDefaultCentre};
    assembleCanvas();
    takeOverCalibration();
    if (fileExists(names_.quickLook)) renderOverview();
    renderCanvasDisplays();
    hasData_ = true;
    return true;
}

bool CTessarinDoc::openTileSet(bool complex) {
    existingTiles_ = true;
    if (complex) {
        levelCode_ = kLevelCodeComplex;
        label_ = "CpxTile";
        ui_.message("Open ALOS2 L1.1 Tile image Open");
        channelCount_ = 1;
    } else {
        label_ = "AmpTile";
        ui_.message("Open ALOS2 L1.5 Tile image Open");
        levelCode_ = kLevelCodeAmplitude;
        ctrorigin_ = {kDefaultCentre, kDefaultCentre};
    }
    tiles::TileKind kind{};
    if (!tiles::tileKindFromName(path_, kind) || (kind == tiles::TileKind::Complex) != complex)
        throw Error(format("\"%s\" is not %s tile file (its name must end in \"%s\")", fileName_.c_str(),
                           complex ? "a complex" : "an amplitude", complex ? "tile.cpx" : "tile"));
    names_ = tiles::namesForExistingTileSet(path_);
    tileKind_ = kind;
    auto& reader = readers_[0];
    const std::string imagePath = tiles::joinImagePath(names_);
    if (complex) {
        phaseSign_ = 1;
        reader.setImagePath(imagePath);
        reader.setLookDirection(names_.imageName);
        reader.setLeaderPath(names_.leaderCopy);
        reader.DecodeLeaderFile();
        reader.DecodeImageFileDescriptor(names_.headerCopy);
        slotDecoded_[0] = true;
    } else if (!slotDecoded_[0]) {
        reader.setImagePath(imagePath);
        reader.setLeaderPath(names_.leaderCopy);
        reader.DecodeLeaderFile();
        reader.DecodeImageFileDescriptor(names_.headerCopy);
        slotDecoded_[0] = true;
    }
    takeOverCalibration();
    if (reader.params().pixel <= 0 || reader.params().line <= 0)
        throw Error(format("The header copy \"%s\" of this TileSet is missing or empty", names_.headerCopy.c_str()));
    setGridFrom(reader.params());
    overviewReduction_ = kOverviewReduction;
    renderOverview();
    canvasPath_ = names_.canvas;
    ctrorigin_ = {kDefaultCentre, kDefaultCentre};
    assembleCanvas();
    renderCanvasDisplays();
    displayType_ = 1;
    if (complex) {
        complexFlag_ = true;
    } else {
        amplitudeFlag_ = true;
    }
    tileOpen_ = true;
    hasData_ = true;
    return true;
}

void CTessarinDoc::assembleCanvas() {
    if (tileKind_ == tiles::TileKind::Complex) {
        const tiles::SceneMapping mapping = tiles::sceneMappingOf(readers_[0]);
        canvasState_ = tiles::mergeComplex(ctrorigin_, grid_, names_.tile, canvasPath_, canvas_, &mapping);
    } else {
        canvasState_ = tiles::mergeAmplitude(ctrorigin_, grid_, names_.tile, canvasPath_, canvas_);
    }
}

void CTessarinDoc::renderOverview() {
    slots_.RenderDisplaySlot(0, names_.quickLook, tiles::kQuickLookSize, tiles::kQuickLookSize, 1, 1, workFolder_, ui_);
}

void CTessarinDoc::renderCanvasDisplays() {
    for (int slot : {1, 2})
        slots_.RenderDisplaySlot(slot, canvasPath_, canvas_.width(), canvas_.height(), 1, 2, workFolder_, ui_);
}

display::PaintInput CTessarinDoc::paintInput() const {
    display::PaintInput in;
    in.hasData = hasData_;
    in.displayBase = displayBase_;
    for (int s = 0; s < display::kDisplaySlots; ++s) {
        const auto& slot = slots_.slot(s);
        if (slot.hasBitmap) in.slotSizes[static_cast<std::size_t>(s)] = {slot.dib.bitmap.width, slot.dib.bitmap.height};
    }
    in.canvasOriginX = canvasState_.origin.x;
    in.canvasOriginY = canvasState_.origin.y;
    in.canvasWidth = canvas_.width();
    in.canvasHeight = canvas_.height();
    // The quick-look cell covers a bucket of the scene.
    in.overviewScaleX = tiles::effectiveBucket(bucketX_);
    in.overviewScaleY = tiles::effectiveBucket(bucketY_);
    in.openMode = openMode_;
    in.currentImageName = fileName_;
    return in;
}

std::string CTessarinDoc::exportPng(const std::string& rasterPath, const std::string& pngPath, int width, int lines,
                                    bool mapFlag, int bytesPerSample, bool deleteRaster) {
    constexpr int kExportSlot = 8;
    if (brightnessResetRequest_) {
        slots_.resetBrightnessReference(kExportSlot);
        brightnessResetRequest_ = false;
    }
    slots_.slot(kExportSlot).dib.copyGreenIntoBlue = thirdChannelCopy_;
    const std::string folder = workFolder_.empty() ? tessarin::workFolder() : workFolder_;
    const bool rendered =
        mapFlag ? slots_.RenderDisplaySlot(kExportSlot, rasterPath, width, lines, 3, bytesPerSample, folder, ui_)
                : slots_.RenderDisplaySlotRaw(kExportSlot, rasterPath, width, lines, 3, bytesPerSample, folder, ui_);
    if (!rendered) return {};
    if (deleteRaster) removeFile(rasterPath);
    return bitmapToPng(pngPath, display::toFileBitmap(slots_.slot(kExportSlot).dib.bitmap));
}

std::string CTessarinDoc::currentTileImagePath() const {
    return joinPath(names_.folder, format("%s_pix%lld_lin%lld.tif", names_.imageName.c_str(),
                                          canvasState_.origin.x, canvasState_.origin.y));
}

void CTessarinDoc::saveCurrentTile(const std::string& path) const {
    if (!hasData_) throw Error("There is no tile to save");
    const auto& values = canvas_.values();
    std::vector<std::uint16_t> amplitudes(values.size());
    std::transform(values.begin(), values.end(), amplitudes.begin(),
                   [kind = tileKind_](std::uint16_t v) { return canvasAmplitude(v, kind); });
    writeChannelTiff48(path, canvas_.width(), canvas_.height(), 1, amplitudes);
}

void CTessarinDoc::OnCloseDocument() {
    for (const auto& f : slots_.displayFiles()) removeFile(f);
    for (const auto& f : displayFiles_) removeFile(f);
    displayFiles_.clear();
    if (!compositeCutPath_.empty()) removeFile(compositeCutPath_);
    if (!headerCopyWritten_.empty()) removeFile(headerCopyWritten_);
    if (!leaderCopyWritten_.empty()) removeFile(leaderCopyWritten_);
    if (!workFolder_.empty()) {
        removeFile(joinPath(workFolder_, "tempobuf"));
        removeFile(joinPath(workFolder_, "GeoidDataImg"));
    }
    for (const auto& f : workFiles_) removeFile(f);
    workFiles_.clear();
}

}  // namespace tessarin::document
