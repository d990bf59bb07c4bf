#pragma once
// The canvas: a 2 x 2-tile working image (2048 x 2048 16-bit values) cut out
// of a TileSet around `ctrorigin`, and the canvas file that holds it (the
// values in memory order, little-endian, no header).

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/geo_types.h"
#include "tiles/tile_store.h"

namespace tessarin::tiles {

// A point of the canvas (column, line from its top-left pixel).
struct CanvasPoint {
    long long x = 0;
    long long y = 0;
    bool operator==(const CanvasPoint&) const = default;
};

// The scene's pixel/line <-> latitude/longitude conversions (the product's
// polynomials of channel slot 0).
struct SceneMapping {
    std::function<GeoPoint(double pixel, double line)> toGeo;
    std::function<ScenePoint(double lat_deg, double lon_deg)> toPixelLine;
};

// The geographic frame of a complex canvas: its four corners on the ground,
// their latitude/longitude box, the image positions of that box's corners and
// the pixel/line rectangle enclosing them. The exports use it.
struct GeoFrame {
    GeoPoint corners[4];  // (X0, Y0), (X0 + W, Y0), (X0, Y0 + H), (X0 + W, Y0 + H)
    double minLat_deg = 0.0, maxLat_deg = 0.0, minLon_deg = 0.0, maxLon_deg = 0.0;
    ScenePoint boxCorners[4];  // (minLat, minLon), (minLat, maxLon), (maxLat, minLon), (maxLat, maxLon)
    double rectMinPixel = 0.0, rectMaxPixel = 0.0, rectMinLine = 0.0, rectMaxLine = 0.0;
};

struct CanvasState {
    int kx0 = 0;  // first tile column of the block
    int ky0 = 0;  // first tile row
    int tileRangeX[2] = {0, 0};  // [kx0, kx0 + 2)
    int tileRangeY[2] = {0, 0};
    std::int64_t currentTile = 0;  // kx0 + ky0 * ntx
    GlobalPoint origin;          // global coordinates of canvas pixel (0, 0)
    CanvasPoint ctrInCanvas;     // position of ctrorigin in the canvas (may be negative)
    std::optional<GeoFrame> frame;  // complex canvases with a scene mapping

    GlobalPoint toGlobal(CanvasPoint p) const { return {origin.x + p.x, origin.y + p.y}; }
    CanvasPoint toCanvas(GlobalPoint p) const { return {p.x - origin.x, p.y - origin.y}; }
};

class Canvas {
public:
    explicit Canvas(int tpix = kTileSize, int tlin = kTileSize);
    int width() const { return width_; }
    int height() const { return height_; }
    std::vector<std::uint16_t>& values() { return values_; }
    const std::vector<std::uint16_t>& values() const { return values_; }
    std::uint16_t at(long long x, long long y) const {
        return values_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)];
    }
    // Writes the canvas file (replacing it whole).
    void write(const std::string& canvasPath) const;
    // Reads a canvas file of this canvas's size.
    void read(const std::string& canvasPath);

private:
    int width_;
    int height_;
    std::vector<std::uint16_t> values_;
};

// The 2 x 2 block of tiles from (kx0, ky0) as a canvas state around ctrorigin.
CanvasState blockState(int kx0, int ky0, GlobalPoint ctrorigin, const TileGrid& grid);
// The block starting at the tile boundary nearest ctrorigin (the complex
// merger's and the composites' rule).
CanvasState nearestBoundaryBlock(GlobalPoint ctrorigin, const TileGrid& grid);

// The nearest-boundary block kept on the grid: a block that would start past
// the last two tiles starts at max(0, ntx - 2) instead (likewise down), so a
// scene smaller than the canvas shows its samples. ctrorigin stays as given.
CanvasState nearestBoundaryBlockOnGrid(GlobalPoint ctrorigin, const TileGrid& grid);

// Amplitude merger: the block of tiles containing ctrorigin.
CanvasState mergeAmplitude(GlobalPoint ctrorigin, const TileGrid& grid, const std::string& tilePath,
                           const std::string& canvasPath, Canvas& canvas);

// Complex merger: the block starting at the tile boundary nearest ctrorigin;
// canvas values are the two most significant bytes of each packed pixel
// (2 * A plus the top bit of the phase code).
CanvasState mergeComplex(GlobalPoint ctrorigin, const TileGrid& grid, const std::string& tilePath,
                         const std::string& canvasPath, Canvas& canvas, const SceneMapping* mapping = nullptr);

// The complex merger on the block of nearestBoundaryBlockOnGrid.
CanvasState mergeComplexOnGrid(GlobalPoint ctrorigin, const TileGrid& grid, const std::string& tilePath,
                               const std::string& canvasPath, Canvas& canvas);

GeoFrame computeGeoFrame(const CanvasState& state, int width, int height, const SceneMapping& mapping);

}  // namespace tessarin::tiles
