#pragma once
// The paint operation of the view as data: given the document's display
// slots and the view state, the list of drawing operations for the overview
// pane, the main pane and the magnifier, and the overlays, in order. The
// desktop executes them with a painter; the tests read them.

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tessarin::display {

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};

// Window rectangle: left, top inclusive; right, bottom exclusive.
struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool contains(Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
    bool operator==(const Rect&) const = default;
};

// The solid pens of the view (width; colour).
enum class Pen { ThinYellow, ThickRed, ThickGreen, ThickYellow, ThinRed, ThinYellowSecond };
struct PenStyle {
    int width;
    std::uint8_t r, g, b;
};
PenStyle penStyle(Pen pen);

struct DrawOp {
    enum class Kind { CopySlot, StretchSlot, Line, Text };
    Kind kind = Kind::Line;
    int slot = -1;  // CopySlot, StretchSlot
    Rect source;    // in the slot's bitmap (top-down coordinates)
    Rect target;    // in the window
    Pen pen = Pen::ThinYellow;  // Line
    Point from, to;             // Line
    Point at;                   // Text
    std::string text;
};

struct HistogramOverlay {
    std::array<std::array<int, 256>, 3> curves{};  // green, yellow, red
    std::array<int, 3> markers{};
};

struct InclinationOverlay {
    std::array<std::array<int, 256>, 2> curves{};  // green, yellow
};

// The document's side of a paint.
struct PaintInput {
    bool hasData = false;
    int displayBase = 0;  // 0, 3 or 6
    std::array<Point, 10> slotSizes{};  // width, height of each slot's bitmap (0, 0 without one)
    long long canvasOriginX = 0, canvasOriginY = 0;  // global coordinates of canvas pixel (0, 0)
    int canvasWidth = 2048, canvasHeight = 2048;
    double overviewScaleX = 1.0, overviewScaleY = 1.0;  // scene pixels per overview pixel
    bool alternativeRaster = false;  // slot 5 holds a raster for the main pane
    // An overlay of two rasters names its current image on the overview.
    bool showsImageName = false;
    std::string currentImageName;
    std::optional<HistogramOverlay> histogram;
    std::optional<InclinationOverlay> inclination;
    // Appends the polygon overlay (stored polygons, the polygon being digitised).
    std::function<void(std::vector<DrawOp>&)> polygons;
};

// The view's own state.
struct ViewState {
    std::array<Point, 2> pan{};  // pan offset of image 0 and image 1
    int zoom = 4;                // magnifier zoom: 4 or 8
    int imageId = 0;             // current image of a pair
    Point mark;
    bool markShown = false;
    bool alternativeMain = false;
    bool polygonDisplay = false;
    bool digitising = false;
    bool histogramShown = false;
    bool inclinationShown = false;
};

// Rectangles recorded at each paint, in window coordinates, for picking.
struct PaneGeometry {
    Rect client;
    Rect main;
    Rect magnifier;
    Rect overview;
    Rect footprint;     // the main pane's scene area on the overview
    Rect canvasExtent;  // the canvas on the overview
    Point lowerRightSource;  // pan offset + main pane size
    Point magnifierSourceSize;
};

std::vector<DrawOp> paintView(const PaintInput& input, const ViewState& view, int clientWidth, int clientHeight,
                              PaneGeometry& geometry);

}  // namespace tessarin::display
