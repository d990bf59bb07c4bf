#pragma once
// CTessarinDoc: one opened file. It reads the OpenMode from the link block
// when it is created, sets its defaults, and its open operation dispatches on
// the OpenMode. It owns everything about its data: the three channel readers,
// the TileSet names and grid, the canvas and its state, and the files it
// must delete when it closes.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "display/raw_dib.h"
#include "display/view_paint.h"
#include "platform/link_block.h"
#include "products/alos2.h"
#include "tiles/canvas.h"
#include "tiles/tile_store.h"

namespace tessarin {
class Ui;
}

namespace tessarin::document {

// OpenModes written by the open commands.
namespace open_mode {
inline constexpr int kOriginalL15 = 0;
inline constexpr int kOriginalL11 = 1;
inline constexpr int kAmplitudeTileSet = 4;
inline constexpr int kComplexTileSet = 5;
inline constexpr int kComplexMultiTemporal = 7;
inline constexpr int kScanSarL11 = 11;
inline constexpr int kRasterToPngTest = 200;
inline constexpr int kCompressSlc = 1000;
}  // namespace open_mode

// Whether an OpenMode appears in the table of open modes at all, and whether
// its processing is built (a known mode that is not built opens empty, as an
// unknown one does).
bool isKnownOpenMode(int mode);
bool isBuiltOpenMode(int mode);

inline constexpr int kLevelCodeAmplitude = 15;
inline constexpr int kLevelCodeComplex = 11;
inline constexpr int kChannelSlots = 3;
inline constexpr int kOverviewReduction = 4;
inline constexpr long long kDefaultCentre = 5000;

// The amplitude a canvas value stands for: an amplitude canvas holds the
// level 1.5 digital number itself; a complex canvas holds twice the
// amplitude code A (|z| x equalizingval) plus the top bit of the phase code,
// which is no amplitude and is dropped.
inline std::uint16_t canvasAmplitude(std::uint16_t value, tiles::TileKind kind) {
    return kind == tiles::TileKind::Complex ? static_cast<std::uint16_t>(value >> 1) : value;
}

class CTessarinDoc {
public:
    // Document creation: "PreProc data", the OpenMode from the link block,
    // the defaults, "Allocate memory", "End Preproc". When the link block
    // cannot be opened: "Can't open link data file" and no defaults.
    CTessarinDoc(Ui& ui, const std::string& linkBlockName = kLinkBlockName);
    ~CTessarinDoc();
    CTessarinDoc(const CTessarinDoc&) = delete;
    CTessarinDoc& operator=(const CTessarinDoc&) = delete;

    // Opens path under the OpenMode read at creation. False when the open
    // fails (the window then shows no document); the failure has been shown.
    bool OnOpenDocument(const std::string& path);
    // Deletes the document's work files (see the list in the .cpp); tile
    // files, quick-looks and canvases stay.
    void OnCloseDocument();

    // ---- state recorded on open
    bool initialised() const { return initialised_; }
    int openMode() const { return openMode_; }
    const std::string& label() const { return label_; }
    int levelCode() const { return levelCode_; }
    int channelCount() const { return channelCount_; }
    int displayType() const { return displayType_; }
    bool complexFlag() const { return complexFlag_; }
    bool amplitudeFlag() const { return amplitudeFlag_; }
    bool existingTiles() const { return existingTiles_; }
    bool tileOpen() const { return tileOpen_; }
    bool interferometry() const { return interferometry_; }
    bool scanSar() const { return scanSar_; }
    tiles::GlobalPoint ctrorigin() const { return ctrorigin_; }
    void setCtrorigin(tiles::GlobalPoint p) { ctrorigin_ = p; }
    bool hasData() const { return hasData_; }

    const std::string& path() const { return path_; }
    const std::string& folder() const { return folder_; }
    const std::string& fileName() const { return fileName_; }
    const std::string& workFolder() const { return workFolder_; }

    products::Alos2& reader(int slot) { return readers_.at(static_cast<std::size_t>(slot)); }
    const products::Alos2& reader(int slot) const { return readers_.at(static_cast<std::size_t>(slot)); }
    double pixsz() const { return pixsz_; }
    double linsz() const { return linsz_; }
    double calib() const { return calib_; }
    double equalizingval() const { return equalizingval_; }
    int phaseSign() const { return phaseSign_; }

    const tiles::TileSetNames& tileNames() const { return names_; }
    tiles::TileKind tileKind() const { return tileKind_; }
    const tiles::TileGrid& grid() const { return grid_; }
    int bucketX() const { return bucketX_; }
    int bucketY() const { return bucketY_; }
    int overviewReduction() const { return overviewReduction_; }
    const std::string& canvasPath() const { return canvasPath_; }
    tiles::Canvas& canvas() { return canvas_; }
    const tiles::CanvasState& canvasState() const { return canvasState_; }

    // Runs the merger that fits the document's tiles at ctrorigin.
    void assembleCanvas();

    // ---- the current tile as an image file ("Save Current Tile")
    // The path offered first: beside the TileSet, named after the image and
    // the scene position of the canvas's first pixel.
    std::string currentTileImagePath() const;
    // Writes the canvas as a 48-bit three-channel TIFF of its full size with
    // the amplitude of each pixel (canvasAmplitude), unmapped; a single
    // channel goes into all three. Throws Error on failure.
    void saveCurrentTile(const std::string& path) const;

    // ---- display
    display::DisplaySlots& displaySlots() { return slots_; }
    const display::DisplaySlots& displaySlots() const { return slots_; }
    int displayBase() const { return displayBase_; }
    // Slot 0 from the quick-look.
    void renderOverview();
    // Slots 1 and 2 from the canvas file.
    void renderCanvasDisplays();
    // What the view needs to paint.
    display::PaintInput paintInput() const;

    // PNG export through the export slot: renders a 3-channel raster into
    // slot 8 (mapped with statistics when mapFlag, else unmapped) and writes
    // it as a PNG whose black pixels are transparent. The raster is deleted
    // afterwards when it is the caller's scratch file (deleteRaster).
    // Returns the PNG path.
    std::string exportPng(const std::string& rasterPath, const std::string& pngPath, int width, int lines,
                          bool mapFlag, int bytesPerSample, bool deleteRaster);
    // The next PNG export takes a fresh brightness reference.
    void requestBrightnessReset() { brightnessResetRequest_ = true; }
    bool thirdChannelCopy() const { return thirdChannelCopy_; }
    void setThirdChannelCopy(bool on) { thirdChannelCopy_ = on; }

    // Work files the document records while it works; deleted on close.
    void recordWorkFile(const std::string& path) { workFiles_.push_back(path); }
    std::vector<std::string>& displayFiles() { return displayFiles_; }

    Ui& ui() { return ui_; }

private:
    bool openOriginal(bool complex);
    bool openTileSet(bool complex);
    bool openCompressed();
    void takeOverCalibration();
    void setGridFrom(const products::SceneParameters& p);

    Ui& ui_;
    bool initialised_ = false;
    int openMode_ = -1;
    std::string label_;
    int levelCode_ = 0;
    int channelCount_ = 0;
    int displayType_ = 0;
    bool complexFlag_ = false;
    bool amplitudeFlag_ = false;
    bool existingTiles_ = false;
    bool tileOpen_ = false;
    bool interferometry_ = false;
    bool scanSar_ = false;
    bool hasData_ = false;
    tiles::GlobalPoint ctrorigin_{kDefaultCentre, kDefaultCentre};
    int tpix_ = tiles::kTileSize;
    int tlin_ = tiles::kTileSize;
    double equalizingval_ = tiles::kEqualizingVal;
    int phaseSign_ = 1;

    std::string path_, folder_, fileName_, workFolder_;
    std::string defaultTilePath_, defaultQuickLookPath_, defaultLeaderPath_;
    std::array<products::Alos2, kChannelSlots> readers_;
    std::array<bool, kChannelSlots> slotDecoded_{};
    double pixsz_ = 0.0, linsz_ = 0.0, calib_ = 0.0;

    tiles::TileSetNames names_;
    tiles::TileKind tileKind_ = tiles::TileKind::Complex;
    tiles::TileGrid grid_;
    int bucketX_ = 0, bucketY_ = 0;
    int overviewReduction_ = kOverviewReduction;
    std::string canvasPath_;
    tiles::Canvas canvas_;
    tiles::CanvasState canvasState_;

    display::DisplaySlots slots_;
    int displayBase_ = 0;
    bool brightnessResetRequest_ = false;
    bool thirdChannelCopy_ = false;

    // Files to delete on close.
    std::vector<std::string> displayFiles_;
    std::vector<std::string> workFiles_;
    std::string compositeCutPath_;
    std::string headerCopyWritten_, leaderCopyWritten_;
};

}  // namespace tessarin::document
