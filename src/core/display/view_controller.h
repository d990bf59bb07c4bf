#pragma once
// The view's logic without a window: pointer and key events in, view state,
// status texts and document reloads out. The desktop widget and the console
// feed it the same events, so a readout can be scripted.

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "display/poly_mgr.h"
#include "display/raw_dib.h"
#include "display/view_paint.h"
#include "geometry/geo_format.h"
#include "tiles/canvas.h"

namespace tessarin {
class Ui;
}
namespace tessarin::document {
class CTessarinDoc;
}

namespace tessarin::display {

// Key codes: letters and digits as their upper-case characters, arrows as
// the platform's virtual-key numbers.
namespace key {
inline constexpr int kLeft = 0x25;
inline constexpr int kUp = 0x26;
inline constexpr int kRight = 0x27;
inline constexpr int kDown = 0x28;
}  // namespace key

struct Modifiers {
    bool shift = false;
    bool ctrl = false;
    bool heldC = false;  // the C key held while clicking: set the mark
    bool heldT = false;  // the T key held while clicking: polygon vertex
};

// Where a window point falls and what it converts to.
enum class Region { Main = 0, Magnifier = 1, Overview = 2, None = -1 };
struct Pick {
    Region region = Region::None;
    tiles::CanvasPoint canvas;  // Main and Magnifier only
    tiles::GlobalPoint global;
};

inline constexpr int kPanStepSmall = 1;
inline constexpr int kPanStepShift = 5;
inline constexpr int kDragBorder_px = 5;
inline constexpr int kDragRedrawEvery = 5;
inline constexpr int kRecentreShownAt_px = 300;  // where a re-centred point lands in the main pane
inline constexpr double kNoSignalDb = -100.0;
inline constexpr int kZoomNear = 8;
inline constexpr int kZoomFar = 4;

// sigma-naught in dB of a stored canvas value: for level 1.1 the amplitude
// code (the value without its lowest bit, the phase code's top bit), then
// divided by the divisor, rounded to single precision, 20 log10 + calib.
double sigmaNaughtDb(std::uint16_t stored, double divisor, bool level11, double calib_dB);

// The 2 x 2-tile canvas origin holding a scene point, and the pan offset
// that shows the point at (300, 300) of the main pane.
struct Recentre {
    tiles::GlobalPoint origin;
    Point pan;
};
Recentre recentreOn(tiles::GlobalPoint p, int tileWidth, int tileHeight);

// The three stored values at a canvas-local point of a canvas file (6 bytes
// read as little-endian 16-bit values; a short read near the end of the file
// leaves zeros). Nothing outside the canvas or when the file cannot be read.
std::optional<std::array<std::uint16_t, 3>> readCanvasValues(const std::string& canvasPath, long long x, long long y,
                                                             int canvasWidth, int canvasHeight, bool threeChannel);

// Brightness keys H, K, L (with or without Shift) on the gain table. False
// for any other key.
bool applyBrightnessKey(DisplaySlots& slots, int keyCode, bool shift);

// The inclination-control meanings of the keys: the arrows change the
// chosen axis by the step, in phase codes across the working area, and the
// mode's ramp (if it has one) follows.
inline constexpr double kInclinationCodesPerCycle = 256.0;
struct InclinationControl {
    bool active = false;
    int stepDigit = 7;  // step 2^digit
    bool horizontal = true;
    int horizontalInclination = 0;
    int verticalInclination = 0;
    int step() const { return 1 << stepDigit; }
};

class ViewController {
public:
    ViewController(document::CTessarinDoc& doc, Ui& ui);

    ViewState& state() { return view_; }
    const ViewState& state() const { return view_; }
    const PaneGeometry& geometry() const { return geometry_; }
    // Paints at the client size and records the pane rectangles for picking.
    std::vector<DrawOp> paint(int clientWidth, int clientHeight);

    // Events. Each returns true when the view must be redrawn.
    bool leftButtonDown(Point window, Modifiers mods);
    bool leftButtonUp(Point window);
    bool pointerMove(Point window, Modifiers mods);
    bool keyDown(int keyCode, Modifiers mods);

    Pick pick(Point window) const;
    bool dragging() const { return dragging_; }

    // Commands: the position dialog ("Image Parameter"), tile selection,
    // the geographic format.
    bool positionDialog();
    bool selectTileById();
    void setGeoFormat(GeoTextFormat f) { geoFormat_ = f; }
    GeoTextFormat geoFormat() const { return geoFormat_; }

    int displayMode() const { return displayMode_; }
    // Whether the document shows two images the V key switches between.
    bool twoImagesShown() const;
    InclinationControl& inclination() { return inclination_; }
    // The mark's points on both images (canvas-local) and in the scene.
    const std::array<Point, 2>& markImagePoints() const { return markImage_; }
    const std::array<tiles::GlobalPoint, 2>& markGlobalPoints() const { return markGlobal_; }
    const std::string& lastReadout() const { return lastReadout_; }
    // What lies under the pointer in the main pane or the magnifier, for a
    // live field beside the status text: the tile under it, pixel and line,
    // latitude and longitude and the sigma-naught of each channel the canvas
    // holds, labelled by what the channel shows. Empty elsewhere. Changes
    // nothing (the click readout keeps its own rules).
    std::string hoverText(Point window) const;
    // The brightness gain of the main pane's first channel.
    std::string gainText() const;

    // ---- polygons
    CPolyMgr& polygons() { return polygons_; }
    const CPolyMgr& polygons() const { return polygons_; }
    const std::vector<PolygonVertex>& picks() const { return picks_; }
    // "Reset Poly Start Flag": the picks so far are dropped.
    void resetPicks() { picks_.clear(); }
    bool polygonNumbers() const { return polygonNumbers_; }
    void setPolygonNumbers(bool on) { polygonNumbers_ = on; }

private:
    void readout(Point window);
    bool addVertex(const Pick& p);
    void closePolygon();
    void drawPolygons(std::vector<DrawOp>& ops) const;
    void setMark(Point window);
    void recentreFromOverview(Point window);
    bool edgeRecentre();
    void reloadCanvasAt(tiles::GlobalPoint p);
    void rerenderBrightness();
    bool inclinationKey(int keyCode);
    void switchImage();
    int tileWidth() const;
    int tileHeight() const;

    document::CTessarinDoc& doc_;
    Ui& ui_;
    ViewState view_;
    PaneGeometry geometry_;
    GeoTextFormat geoFormat_ = GeoTextFormat::Decimal;
    double pv1_ = 0.0, pv2_ = 0.0;  // the last readout values
    std::string lastReadout_;
    std::array<Point, 2> markImage_{};
    std::array<tiles::GlobalPoint, 2> markGlobal_{};
    bool dragging_ = false;
    Point dragLast_;
    int dragMoves_ = 0;
    int displayMode_ = 0;
    InclinationControl inclination_;
    int lastTileX_ = 0, lastTileY_ = 0;
    CPolyMgr polygons_;
    std::vector<PolygonVertex> picks_;
    bool polygonNumbers_ = false;
};

}  // namespace tessarin::display
