#pragma once
// CTessarinDoc: one opened file. It reads the OpenMode from the link block
// when it is created, sets its defaults, and its open operation dispatches on
// the OpenMode. It owns everything about its data: the three channel readers,
// the TileSet names and grid, the canvas and its state, and the files it
// must delete when it closes.

#include <array>
#include <map>
#include <memory>
#include <typeindex>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "display/raw_dib.h"
#include "document/module_state.h"
#include "document/open_modes.h"
#include "display/view_paint.h"
#include "platform/link_block.h"
#include "platform/raster_file.h"
#include "products/alos2.h"
#include "tiles/canvas.h"
#include "tiles/tile_store.h"

namespace tessarin {
class Ui;
}

namespace tessarin::document {

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

// What the document records when it opens (the row of its OpenMode, then
// what its opener finds).
struct OpenState {
    std::string label;
    int levelCode = 0;
    int channelCount = 0;
    int displayType = 0;
    bool complexFlag = false;
    bool amplitudeFlag = false;
    bool existingTiles = false;
    bool tileOpen = false;
    bool interferometry = false;
    bool scanSar = false;
    bool hasData = false;
    // This open converted an original product into a new TileSet.
    bool madeTileSet = false;
};

// The TileSet the document shows, its grid and its canvas file.
struct TileSetState {
    tiles::TileSetNames names;
    tiles::TileKind kind = tiles::TileKind::Complex;
    tiles::TileGrid grid;
    int bucketX = 0, bucketY = 0;
    int overviewReduction = kOverviewReduction;
    std::string canvasPath;
    std::string overviewPath;  // the overview raster; empty: the quick-look
    int displayChannels = 1;   // channels of the overview and canvas rasters (1 or 3)
    // What each canvas channel shows ("HH", "(HV+VH)/2", a date), for the readout.
    std::vector<std::string> channelLabels;
};

// The polarisation an image or tile file name carries ("IMG-HV-..." -> "HV"),
// empty when it carries none.
std::string polarisationOf(const std::string& path);

class CTessarinDoc {
public:
    // Document creation: "PreProc data", the OpenMode from the link block and
    // its row in the table, the defaults, "Allocate memory", "End Preproc".
    // When the link block cannot be opened: "Can't open link data file" and
    // no defaults.
    CTessarinDoc(Ui& ui, const OpenModeTable& modes, const std::string& linkBlockName = kLinkBlockName);
    ~CTessarinDoc();
    CTessarinDoc(const CTessarinDoc&) = delete;
    CTessarinDoc& operator=(const CTessarinDoc&) = delete;

    // Opens path under the OpenMode read at creation: the common steps, the
    // row's state, its message, then its opener. False when the open fails;
    // a failure that throws (tessarin::Error and others) is left to the
    // caller's error boundary.
    bool OnOpenDocument(const std::string& path);
    // Deletes the document's display, scratch and work files and tells the
    // module states. Tile files, quick-looks, canvases and the header and
    // leader copies of a TileSet stay; copies written by an open that did
    // not complete, with no tile file beside them, go too.
    void OnCloseDocument();

    // ---- state recorded on open
    bool initialised() const { return initialised_; }
    int openMode() const { return openMode_; }
    // A module moves its document to another of its modes (a pair created
    // under one mode producing what another opens with); the row must be
    // the mode's row of the table.
    void changeOpenMode(const OpenModeRow& row) {
        openMode_ = row.mode;
        row_ = &row;
    }
    const OpenModeRow& openModeRow() const { return *row_; }
    OpenState& openState() { return state_; }
    const OpenState& openState() const { return state_; }
    const std::string& label() const { return state_.label; }
    int levelCode() const { return state_.levelCode; }
    int channelCount() const { return state_.channelCount; }
    int displayType() const { return state_.displayType; }
    bool complexFlag() const { return state_.complexFlag; }
    bool amplitudeFlag() const { return state_.amplitudeFlag; }
    bool existingTiles() const { return state_.existingTiles; }
    bool tileOpen() const { return state_.tileOpen; }
    bool interferometry() const { return state_.interferometry; }
    bool scanSar() const { return state_.scanSar; }
    bool hasData() const { return state_.hasData; }
    tiles::GlobalPoint ctrorigin() const { return ctrorigin_; }
    void setCtrorigin(tiles::GlobalPoint p) { ctrorigin_ = p; }

    const std::string& path() const { return path_; }
    const std::string& folder() const { return folder_; }
    const std::string& fileName() const { return fileName_; }
    const std::string& workFolder() const { return workFolder_; }

    // The channel readers; a slot outside 0..2 throws Error.
    products::Alos2& reader(int slot);
    const products::Alos2& reader(int slot) const;
    bool slotDecoded(int slot) const { return slotDecoded_.at(checkedSlot(slot)); }
    void markSlotDecoded(int slot) { slotDecoded_.at(checkedSlot(slot)) = true; }
    // pixsz, linsz and calib of slot 0.
    void takeOverCalibration();
    double pixsz() const { return pixsz_; }
    double linsz() const { return linsz_; }
    double calib() const { return calib_; }
    double equalizingval() const { return equalizingval_; }
    // Rasters without a product carry their own amplitude scale.
    void setEqualizingval(double value) { equalizingval_ = value; }
    int phaseSign() const { return phaseSign_; }
    void setPhaseSign(int sign) { phaseSign_ = sign; }
    int tpix() const { return tpix_; }
    int tlin() const { return tlin_; }

    // The tile grid and quick-look buckets of a scene of these parameters.
    void setGridFrom(const products::SceneParameters& p);
    TileSetState& tileSet() { return tileSet_; }
    const TileSetState& tileSet() const { return tileSet_; }
    const tiles::TileSetNames& tileNames() const { return tileSet_.names; }
    tiles::TileKind tileKind() const { return tileSet_.kind; }
    const tiles::TileGrid& grid() const { return tileSet_.grid; }
    int bucketX() const { return tileSet_.bucketX; }
    int bucketY() const { return tileSet_.bucketY; }
    int overviewReduction() const { return tileSet_.overviewReduction; }
    const std::string& canvasPath() const { return tileSet_.canvasPath; }
    tiles::Canvas& canvas() { return canvas_; }
    const tiles::Canvas& canvas() const { return canvas_; }
    const tiles::CanvasState& canvasState() const { return canvasState_; }
    // Set by an assembler that builds its own canvas.
    void setCanvasState(const tiles::CanvasState& state);

    // Builds the canvas at ctrorigin: the mode's assembler, else the merger
    // that fits the document's tiles.
    void assembleCanvas();
    // The single-scene merger alone.
    void mergeSingleScene();
    // Whether the canvas file holds three channels per pixel: the mode's
    // canvas does, and its module shows it so (not its dates side by side).
    bool threeChannelCanvas() const { return row_->threeChannelCanvas && tileSet_.displayChannels == 3; }
    // A single-channel canvas whose file holds three channels (a composite
    // of another document wrote them under the same name) is built again
    // and its displays rendered. True when it was.
    bool ensureCanvasFile();
    // The header and leader copies an opener has just written beside a
    // TileSet (removed again only when the open does not complete).
    void recordCompanionCopies(const std::string& headerCopy, const std::string& leaderCopy);

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
    // The rasters the overview and the canvas displays are rendered from.
    RasterFile overviewFile() const;
    RasterFile canvasFile() const;
    // The overview slot from the overview raster.
    void renderOverview();
    // The main and magnifier slots from the canvas file.
    void renderCanvasDisplays();
    // What the view needs to paint.
    display::PaintInput paintInput() const;
    // The histogram curves a module's results give the view, if any.
    void setHistogramOverlay(std::optional<display::HistogramOverlay> h) { histogramOverlay_ = std::move(h); }
    // The inclination-pattern curves, if any.
    void setInclinationOverlay(std::optional<display::InclinationOverlay> o) { inclinationOverlay_ = std::move(o); }
    // Slot 5 holds a raster the main pane may show instead of slot 1.
    void setAlternativeRaster(bool held) { alternativeRaster_ = held; }

    // PNG export through the export slot: renders a 3-channel raster into
    // it (mapped with statistics when mapFlag, else unmapped; a composite's
    // ThirdChannelCopy repeats green in blue) and writes it as a PNG whose
    // black pixels are transparent. The raster is deleted
    // afterwards when it is the caller's scratch file (deleteRaster).
    // Returns the PNG path.
    std::string exportPng(const RasterFile& raster, const std::string& pngPath, bool mapFlag,
                          bool deleteRaster);
    // The next PNG export takes a fresh brightness reference.
    void requestBrightnessReset() { brightnessResetRequest_ = true; }

    // Work files the document records while it works; deleted on close.
    void recordWorkFile(const std::string& path) { workFiles_.push_back(path); }

    // ---- per-module state, created on first use
    template <class State>
    State& moduleState() {
        auto& held = moduleStates_[std::type_index(typeid(State))];
        if (!held) held = std::make_unique<State>();
        return static_cast<State&>(*held);
    }
    template <class State>
    State* findModuleState() const {
        const auto it = moduleStates_.find(std::type_index(typeid(State)));
        return it == moduleStates_.end() ? nullptr : static_cast<State*>(it->second.get());
    }

    Ui& ui() { return ui_; }

private:
    static std::size_t checkedSlot(int slot);

    Ui& ui_;
    bool initialised_ = false;
    int openMode_ = -1;
    const OpenModeRow* row_ = &unknownOpenMode();
    OpenState state_;
    tiles::GlobalPoint ctrorigin_{kDefaultCentre, kDefaultCentre};
    int tpix_ = tiles::kTileSize;
    int tlin_ = tiles::kTileSize;
    double equalizingval_ = tiles::kEqualizingVal;
    int phaseSign_ = 1;

    std::string path_, folder_, fileName_, workFolder_;
    std::array<products::Alos2, kChannelSlots> readers_;
    std::array<bool, kChannelSlots> slotDecoded_{};
    double pixsz_ = 0.0, linsz_ = 0.0, calib_ = 0.0;

    TileSetState tileSet_;
    tiles::Canvas canvas_;
    tiles::CanvasState canvasState_;

    display::DisplaySlots slots_;
    int displayBase_ = 0;
    bool brightnessResetRequest_ = false;
    std::optional<display::HistogramOverlay> histogramOverlay_;
    std::optional<display::InclinationOverlay> inclinationOverlay_;
    bool alternativeRaster_ = false;

    std::map<std::type_index, std::unique_ptr<ModuleState>> moduleStates_;
    // Files to delete on close.
    std::vector<std::string> workFiles_;
    std::string headerCopyWritten_, leaderCopyWritten_;
};

}  // namespace tessarin::document
