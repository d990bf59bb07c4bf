#include "document/tessarin_doc.h"

#include <algorithm>
#include <filesystem>

#include "composites/composite_state.h"
#include "imagefiles/channel_tiff.h"
#include "imagefiles/png_output.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "platform/work_folder.h"
#include "tiles/scene_tiling.h"

namespace tessarin::document {

namespace {

bool isPolarisationImageName(const std::string& name) {
    for (const char* prefix : {"IMG-HH-ALOS2", "IMG-HV-ALOS2", "IMG-VH-ALOS2", "IMG-VV-ALOS2"})
        if (startsWith(name, prefix)) return true;
    return false;
}

}  // namespace

std::string polarisationOf(const std::string& path) {
    const std::string name = splitPath(path).name;
    if (name.size() < 6 || !startsWith(name, "IMG-")) return {};
    const std::string pol = name.substr(4, 2);
    for (const char* known : {"HH", "HV", "VH", "VV"})
        if (pol == known) return pol;
    return {};
}

CTessarinDoc::CTessarinDoc(Ui& ui, const OpenModeTable& modes, const std::string& linkBlockName) : ui_(ui) {
    ui_.status("PreProc data");
    const auto mode = readLinkBlockOpenMode(linkBlockName);
    if (!mode) {
        ui_.message("Can't open link data file");
        return;
    }
    openMode_ = *mode;
    if (const OpenModeRow* row = modes.find(openMode_)) row_ = row;
    tpix_ = tlin_ = tiles::kTileSize;
    ctrorigin_ = {kDefaultCentre, kDefaultCentre};
    equalizingval_ = tiles::kEqualizingVal;
    phaseSign_ = 1;
    state_.existingTiles = false;
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
    // Common steps.
    path_ = path;
    const SplitPath split = splitPath(path);
    folder_ = split.folder;
    fileName_ = split.name;
    if (isPolarisationImageName(fileName_)) state_.amplitudeFlag = true;
    workFolder_ = tessarin::workFolder();
    tpix_ = tlin_ = tiles::kTileSize;
    canvasState_ = tiles::CanvasState();

    // Modes no module knows, and modes whose processing is not built, open
    // an empty document.
    const OpenModeRow& row = *row_;
    if (!row.open) return true;
    if (!row.label.empty()) state_.label = std::string(row.label);
    if (row.levelCode != 0) state_.levelCode = row.levelCode;
    if (row.channelCount != 0) state_.channelCount = row.channelCount;
    if (row.displayType != 0) state_.displayType = row.displayType;
    state_.complexFlag = state_.complexFlag || row.complexFlag;
    state_.amplitudeFlag = state_.amplitudeFlag || row.amplitudeFlag;
    state_.existingTiles = row.existingTiles;
    state_.interferometry = row.interferometry;
    state_.scanSar = row.scanSar;
    if (!row.message.empty()) ui_.message(std::string(row.message));
    return row.open(*this);
}

std::size_t CTessarinDoc::checkedSlot(int slot) {
    if (slot < 0 || slot >= kChannelSlots) throw Error(format("there is no channel slot %d", slot));
    return static_cast<std::size_t>(slot);
}

products::Alos2& CTessarinDoc::reader(int slot) { return readers_[checkedSlot(slot)]; }
const products::Alos2& CTessarinDoc::reader(int slot) const { return readers_[checkedSlot(slot)]; }

void CTessarinDoc::takeOverCalibration() {
    const auto& p = readers_[0].params();
    pixsz_ = p.pixsz;
    linsz_ = p.linsz;
    calib_ = p.calib;
}

void CTessarinDoc::setGridFrom(const products::SceneParameters& p) {
    tileSet_.grid = tiles::TileGrid::make(p.pixel, p.line, tpix_, tlin_);
    tileSet_.bucketX = p.pixel / tiles::kQuickLookSize;
    tileSet_.bucketY = p.line / tiles::kQuickLookSize;
}

void CTessarinDoc::recordCompanionCopies(const std::string& headerCopy, const std::string& leaderCopy) {
    headerCopyWritten_ = headerCopy;
    leaderCopyWritten_ = leaderCopy;
}

void CTessarinDoc::assembleCanvas() {
    if (row_->assemble) {
        row_->assemble(*this);
        return;
    }
    mergeSingleScene();
}

void CTessarinDoc::setCanvasState(const tiles::CanvasState& state) { canvasState_ = state; }

bool CTessarinDoc::ensureCanvasFile() {
    if (!state_.hasData || tileSet_.canvasPath.empty() || threeChannelCanvas()) return false;
    const std::uint64_t expected = static_cast<std::uint64_t>(canvas_.width()) * static_cast<std::uint64_t>(canvas_.height()) * 2;
    std::error_code ec;
    const auto size = std::filesystem::file_size(tileSet_.canvasPath, ec);
    if (ec || size != 3 * expected) return false;
    // The same block again: its origin lies in it under every merger's rule.
    const tiles::GlobalPoint current = ctrorigin_;
    ctrorigin_ = canvasState_.origin;
    assembleCanvas();
    ctrorigin_ = current;
    renderCanvasDisplays();
    return true;
}

void CTessarinDoc::mergeSingleScene() {
    if (tileSet_.kind == tiles::TileKind::Complex) {
        const tiles::SceneMapping mapping = tiles::sceneMappingOf(readers_[0]);
        canvasState_ =
            tiles::mergeComplex(ctrorigin_, tileSet_.grid, tileSet_.names.tile, tileSet_.canvasPath, canvas_, &mapping);
    } else {
        canvasState_ = tiles::mergeAmplitude(ctrorigin_, tileSet_.grid, tileSet_.names.tile, tileSet_.canvasPath, canvas_);
    }
}

RasterFile CTessarinDoc::overviewFile() const {
    const std::string& path = tileSet_.overviewPath.empty() ? tileSet_.names.quickLook : tileSet_.overviewPath;
    return {path, tiles::kQuickLookSize, tiles::kQuickLookSize, tileSet_.displayChannels, 1};
}

RasterFile CTessarinDoc::canvasFile() const {
    return {tileSet_.canvasPath, canvas_.width(), canvas_.height(), tileSet_.displayChannels, 2};
}

void CTessarinDoc::renderOverview() {
    const RasterFile overview = overviewFile();
    // A quick-look of the wrong size still shows what it holds (zeros past
    // its end), but the user is told once; a missing one stays quiet.
    const std::uint64_t expected = static_cast<std::uint64_t>(overview.width) *
                                   static_cast<std::uint64_t>(overview.lines) *
                                   static_cast<std::uint64_t>(std::max(overview.channels, 1));
    std::error_code ec;
    const auto status = std::filesystem::status(overview.path, ec);
    if (!ec && std::filesystem::exists(status)) {
        if (!std::filesystem::is_regular_file(status)) {
            ui_.message(format("The quick-look \"%s\" is damaged: it is %s, not a file of %llu bytes",
                               overview.path.c_str(),
                               std::filesystem::is_directory(status) ? "a folder" : "no regular file",
                               static_cast<unsigned long long>(expected)));
            auto& slot = slots_.slot(display::slot::kOverview);
            slot.hasBitmap = false;
            slot.dib.bitmap = display::BottomUpBitmap();
            return;
        }
        const std::uint64_t size = std::filesystem::file_size(overview.path, ec);
        if (!ec && size != expected)
            ui_.message(format("The quick-look \"%s\" is damaged: it holds %llu bytes, not %llu",
                               overview.path.c_str(), static_cast<unsigned long long>(size),
                               static_cast<unsigned long long>(expected)));
    }
    slots_.RenderDisplaySlot(display::slot::kOverview, overview, workFolder_, ui_);
}

void CTessarinDoc::renderCanvasDisplays() {
    const RasterFile canvas = canvasFile();
    for (int s : {display::slot::kMain, display::slot::kMagnifier}) slots_.RenderDisplaySlot(s, canvas, workFolder_, ui_);
}

display::PaintInput CTessarinDoc::paintInput() const {
    display::PaintInput in;
    in.hasData = state_.hasData;
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
    in.overviewScaleX = tiles::effectiveBucket(tileSet_.bucketX);
    in.overviewScaleY = tiles::effectiveBucket(tileSet_.bucketY);
    in.showsImageName = row_->showsImageName;
    in.histogram = histogramOverlay_;
    in.inclination = inclinationOverlay_;
    in.alternativeRaster = alternativeRaster_;
    in.currentImageName = fileName_;
    return in;
}

std::string CTessarinDoc::exportPng(const RasterFile& raster, const std::string& pngPath, bool mapFlag,
                                    bool deleteRaster) {
    if (brightnessResetRequest_) {
        slots_.resetBrightnessReference(display::slot::kExport);
        brightnessResetRequest_ = false;
    }
    const auto* composite = findModuleState<composites::CompositeState>();
    slots_.slot(display::slot::kExport).dib.copyGreenIntoBlue = composite && composite->thirdChannelCopy;
    const std::string folder = workFolder_.empty() ? tessarin::workFolder() : workFolder_;
    RasterFile threeChannels = raster;
    threeChannels.channels = 3;
    const bool rendered = mapFlag ? slots_.RenderDisplaySlot(display::slot::kExport, threeChannels, folder, ui_)
                                  : slots_.RenderDisplaySlotRaw(display::slot::kExport, threeChannels, folder, ui_);
    if (!rendered) return {};
    if (deleteRaster) removeFile(raster.path);
    return bitmapToPng(pngPath, display::toFileBitmap(slots_.slot(display::slot::kExport).dib.bitmap));
}

std::string CTessarinDoc::currentTileImagePath() const {
    return joinPath(tileSet_.names.folder, format("%s_pix%lld_lin%lld.tif", tileSet_.names.imageName.c_str(),
                                                  canvasState_.origin.x, canvasState_.origin.y));
}

void CTessarinDoc::saveCurrentTile(const std::string& path) const {
    if (!state_.hasData) throw Error("There is no tile to save");
    if (const auto* composite = findModuleState<composites::CompositeState>(); composite && !composite->members.empty() && threeChannelCanvas()) {
        // A composite's three channels as they are shown.
        const auto& c = composite->canvas;
        const auto& bytes = c.bytes();
        std::vector<std::uint16_t> amplitudes(bytes.size() / 2);
        for (std::size_t k = 0; k < amplitudes.size(); ++k)
            amplitudes[k] = canvasAmplitude(static_cast<std::uint16_t>(bytes[2 * k] | bytes[2 * k + 1] << 8), tileSet_.kind);
        writeChannelTiff48(path, c.width(), c.height(), 3, amplitudes);
        return;
    }
    const auto& values = canvas_.values();
    std::vector<std::uint16_t> amplitudes(values.size());
    std::transform(values.begin(), values.end(), amplitudes.begin(),
                   [kind = tileSet_.kind](std::uint16_t v) { return canvasAmplitude(v, kind); });
    writeChannelTiff48(path, canvas_.width(), canvas_.height(), 1, amplitudes);
}

void CTessarinDoc::OnCloseDocument() {
    for (const auto& f : slots_.displayFiles()) removeFile(f);
    if (!workFolder_.empty()) {
        removeFile(joinPath(workFolder_, "tempobuf"));
        removeFile(joinPath(workFolder_, "GeoidDataImg"));
    }
    for (const auto& f : workFiles_) removeFile(f);
    workFiles_.clear();
    for (auto& [type, state] : moduleStates_) state->close();
    // The header and leader copies belong to their TileSet and stay with it
    // (without them it cannot be reopened). Only copies that an open which
    // did not complete left without a tile file go.
    if (!state_.hasData && !fileExists(tileSet_.names.tile)) {
        if (!headerCopyWritten_.empty()) removeFile(headerCopyWritten_);
        if (!leaderCopyWritten_.empty()) removeFile(leaderCopyWritten_);
    }
    headerCopyWritten_.clear();
    leaderCopyWritten_.clear();
}

}  // namespace tessarin::document
