#include "tiles/canvas.h"

#include <algorithm>
#include <cstring>

#include "platform/arithmetic.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"

namespace tessarin::tiles {

namespace {

File openTiles(const std::string& tilePath) {
    // A missing tile file is reported rather than showing the previous canvas
    // as if it were the new position.
    return File(tilePath, File::Mode::Read);
}

void checkCanvas(const Canvas& canvas, const TileGrid& grid) {
    if (canvas.width() != 2 * grid.tpix || canvas.height() != 2 * grid.tlin)
        throw Error(format("the canvas is %d x %d, the tiles need %d x %d", canvas.width(), canvas.height(),
                           2 * grid.tpix, 2 * grid.tlin));
}

// Reads the 2 x 2 block of tiles from (kx0, ky0) into the canvas, turning
// each pixel into a canvas value with `value`.
template <typename PixelToValue>
void fillBlock(const TileGrid& grid, const std::string& tilePath, int kx0, int ky0, TileKind kind, Canvas& canvas,
               PixelToValue value) {
    File file = openTiles(tilePath);
    std::vector<std::uint8_t> tile(grid.tileBytes(kind));
    const std::size_t width = static_cast<std::size_t>(canvas.width());
    const std::size_t tpix = static_cast<std::size_t>(grid.tpix);
    const std::size_t tlin = static_cast<std::size_t>(grid.tlin);
    const std::size_t bytes = pixelBytes(kind);
    for (std::size_t j = 0; j < 2; ++j) {
        for (std::size_t i = 0; i < 2; ++i) {
            readTile(file, grid, kx0 + static_cast<int>(i), ky0 + static_cast<int>(j), kind, tile);
            for (std::size_t y = 0; y < tlin; ++y) {
                std::uint16_t* dst = canvas.values().data() + (j * tlin + y) * width + i * tpix;
                const std::uint8_t* src = tile.data() + y * tpix * bytes;
                for (std::size_t x = 0; x < tpix; ++x) dst[x] = value(src + x * bytes);
            }
        }
    }
}

}  // namespace

CanvasState blockState(int kx0, int ky0, GlobalPoint ctrorigin, const TileGrid& grid) {
    CanvasState s;
    s.kx0 = kx0;
    s.ky0 = ky0;
    s.tileRangeX[0] = kx0;
    s.tileRangeX[1] = kx0 + 2;
    s.tileRangeY[0] = ky0;
    s.tileRangeY[1] = ky0 + 2;
    s.currentTile = grid.tileNumber(kx0, ky0);
    s.origin = {static_cast<long long>(grid.tpix) * kx0, static_cast<long long>(grid.tlin) * ky0};
    s.ctrInCanvas = s.toCanvas(ctrorigin);
    return s;
}

CanvasState nearestBoundaryBlock(GlobalPoint ctrorigin, const TileGrid& grid) {
    const int kx0 = static_cast<int>(floorDiv(grid.tpix / 2 + ctrorigin.x, grid.tpix));
    const int ky0 = static_cast<int>(floorDiv(grid.tlin / 2 + ctrorigin.y, grid.tlin));
    return blockState(kx0, ky0, ctrorigin, grid);
}

CanvasState nearestBoundaryBlockOnGrid(GlobalPoint ctrorigin, const TileGrid& grid) {
    const CanvasState nearest = nearestBoundaryBlock(ctrorigin, grid);
    const int kx0 = std::min(nearest.kx0, std::max(grid.ntx - 2, 0));
    const int ky0 = std::min(nearest.ky0, std::max(grid.nty - 2, 0));
    return blockState(kx0, ky0, ctrorigin, grid);
}

CanvasState mergeComplexOnGrid(GlobalPoint ctrorigin, const TileGrid& grid, const std::string& tilePath,
                               const std::string& canvasPath, Canvas& canvas) {
    checkCanvas(canvas, grid);
    const CanvasState state = nearestBoundaryBlockOnGrid(ctrorigin, grid);
    fillBlock(grid, tilePath, state.kx0, state.ky0, TileKind::Complex, canvas,
              [](const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] * 256 + p[1]); });
    canvas.write(canvasPath);
    return state;
}

Canvas::Canvas(int tpix, int tlin)
    : width_(2 * tpix), height_(2 * tlin),
      values_(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), 0) {}

void Canvas::write(const std::string& canvasPath) const {
    std::vector<std::uint8_t> bytes(values_.size() * 2);
    for (std::size_t k = 0; k < values_.size(); ++k) {
        bytes[2 * k] = static_cast<std::uint8_t>(values_[k] & 0xFFu);
        bytes[2 * k + 1] = static_cast<std::uint8_t>(values_[k] >> 8);
    }
    writeWholeFile(canvasPath, bytes);
}

void Canvas::read(const std::string& canvasPath) {
    const auto bytes = readWholeFile(canvasPath, values_.size() * 2);
    if (bytes.size() != values_.size() * 2)
        throw Error(format("\"%s\" holds %zu bytes, a %d x %d canvas needs %zu", canvasPath.c_str(), bytes.size(),
                           width_, height_, values_.size() * 2));
    for (std::size_t k = 0; k < values_.size(); ++k)
        values_[k] = static_cast<std::uint16_t>(bytes[2 * k] | (bytes[2 * k + 1] << 8));
}

CanvasState mergeAmplitude(GlobalPoint ctrorigin, const TileGrid& grid, const std::string& tilePath,
                           const std::string& canvasPath, Canvas& canvas) {
    checkCanvas(canvas, grid);
    const int kx0 = static_cast<int>(floorDiv(ctrorigin.x, grid.tpix));
    const int ky0 = static_cast<int>(floorDiv(ctrorigin.y, grid.tlin));
    CanvasState state = blockState(kx0, ky0, ctrorigin, grid);
    fillBlock(grid, tilePath, kx0, ky0, TileKind::Amplitude, canvas,
              [](const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); });
    canvas.write(canvasPath);
    return state;
}

CanvasState mergeComplex(GlobalPoint ctrorigin, const TileGrid& grid, const std::string& tilePath,
                         const std::string& canvasPath, Canvas& canvas, const SceneMapping* mapping) {
    checkCanvas(canvas, grid);
    CanvasState state = nearestBoundaryBlock(ctrorigin, grid);
    const int kx0 = state.kx0, ky0 = state.ky0;
    if (mapping && mapping->toGeo && mapping->toPixelLine)
        state.frame = computeGeoFrame(state, canvas.width(), canvas.height(), *mapping);
    fillBlock(grid, tilePath, kx0, ky0, TileKind::Complex, canvas,
              [](const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] * 256 + p[1]); });
    canvas.write(canvasPath);
    return state;
}

GeoFrame computeGeoFrame(const CanvasState& state, int width, int height, const SceneMapping& mapping) {
    GeoFrame f;
    const double x0 = static_cast<double>(state.origin.x);
    const double y0 = static_cast<double>(state.origin.y);
    const double xs[4] = {x0, x0 + width, x0, x0 + width};
    const double ys[4] = {y0, y0, y0 + height, y0 + height};
    for (int k = 0; k < 4; ++k) f.corners[k] = mapping.toGeo(xs[k], ys[k]);
    f.minLat_deg = f.maxLat_deg = f.corners[0].lat_deg;
    f.minLon_deg = f.maxLon_deg = f.corners[0].lon_deg;
    for (const auto& c : f.corners) {
        f.minLat_deg = std::min(f.minLat_deg, c.lat_deg);
        f.maxLat_deg = std::max(f.maxLat_deg, c.lat_deg);
        f.minLon_deg = std::min(f.minLon_deg, c.lon_deg);
        f.maxLon_deg = std::max(f.maxLon_deg, c.lon_deg);
    }
    f.boxCorners[0] = mapping.toPixelLine(f.minLat_deg, f.minLon_deg);
    f.boxCorners[1] = mapping.toPixelLine(f.minLat_deg, f.maxLon_deg);
    f.boxCorners[2] = mapping.toPixelLine(f.maxLat_deg, f.minLon_deg);
    f.boxCorners[3] = mapping.toPixelLine(f.maxLat_deg, f.maxLon_deg);
    f.rectMinPixel = f.rectMaxPixel = f.boxCorners[0].pixel;
    f.rectMinLine = f.rectMaxLine = f.boxCorners[0].line;
    for (const auto& p : f.boxCorners) {
        f.rectMinPixel = std::min(f.rectMinPixel, p.pixel);
        f.rectMaxPixel = std::max(f.rectMaxPixel, p.pixel);
        f.rectMinLine = std::min(f.rectMinLine, p.line);
        f.rectMaxLine = std::max(f.rectMaxLine, p.line);
    }
    return f;
}

}  // namespace tessarin::tiles
