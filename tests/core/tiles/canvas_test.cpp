#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "platform/file.h"
#include "support/temp_dir.h"
#include "tiles/canvas.h"

using namespace tessarin;
using namespace tessarin::tiles;

namespace {

// A tile file of the grid with every tile's pixels set to a per-tile value,
// written sparse except for the tiles listed.
void writeTileFile(const std::string& path, const TileGrid& g, TileKind kind,
                   const std::vector<std::pair<int, int>>& tiles, const std::function<std::uint32_t(int, int)>& word) {
    File f(path, File::Mode::Write);
    ASSERT_EQ(::ftruncate(::fileno(f.handle()), static_cast<off_t>(g.fileBytes(kind))), 0);
    std::vector<std::uint8_t> tile(g.tileBytes(kind));
    for (auto [kx, ky] : tiles) {
        const std::uint32_t w = word(kx, ky);
        for (std::size_t k = 0; k < g.tilePixels(); ++k) {
            if (kind == TileKind::Complex) {
                storePacked(&tile[3 * k], w);
            } else {
                tile[2 * k] = static_cast<std::uint8_t>(w);
                tile[2 * k + 1] = static_cast<std::uint8_t>(w >> 8);
            }
        }
        f.seek(g.tileOffset(g.tileNumber(kx, ky), kind));
        f.write(tile);
    }
    f.close();
}

using CanvasTest = tessarin::testing::TempDirTest;

}  // namespace

TEST_F(CanvasTest, BothMergersAroundTheDefaultCentre) {
    const TileGrid g = TileGrid::make(7 * 1024, 7 * 1024);
    const auto code = [](int kx, int ky) { return static_cast<std::uint32_t>(100 + kx + 10 * ky); };
    writeTileFile(path("a.tile"), g, TileKind::Amplitude, {{4, 4}, {5, 4}, {4, 5}, {5, 5}}, code);
    Canvas canvas;
    const CanvasState a = mergeAmplitude({5000, 5000}, g, path("a.tile"), path("a.cut"), canvas);
    EXPECT_EQ(a.kx0, 4);
    EXPECT_EQ(a.ky0, 4);
    EXPECT_EQ(a.origin, (GlobalPoint{4096, 4096}));
    EXPECT_EQ(a.ctrInCanvas, (CanvasPoint{904, 904}));
    EXPECT_EQ(a.currentTile, 4 + 4 * 7);
    EXPECT_EQ(a.tileRangeX[1], 6);
    EXPECT_EQ(canvas.at(0, 0), 144);
    EXPECT_EQ(canvas.at(1024, 0), 145);
    EXPECT_EQ(canvas.at(1023, 1024), 154);
    EXPECT_EQ(canvas.at(2047, 2047), 155);
    // The canvas file: 8 MiB of little-endian values in memory order.
    const auto bytes = readWholeFile(path("a.cut"));
    ASSERT_EQ(bytes.size(), 8u * 1024 * 1024);
    EXPECT_EQ(bytes[2 * 1024], 145);
    EXPECT_EQ(bytes[2 * 1024 + 1], 0);
    Canvas back;
    back.read(path("a.cut"));
    EXPECT_EQ(back.values(), canvas.values());

    // Complex: A = 100 with phase codes 300 and 200 give 201 and 200.
    writeTileFile(path("c.cpx"), g, TileKind::Complex, {{5, 5}, {6, 5}, {5, 6}, {6, 6}},
                  [](int kx, int) { return kx == 5 ? 100u * 512 + 300 : 100u * 512 + 200; });
    const CanvasState c = mergeComplex({5000, 5000}, g, path("c.cpx"), path("c.cut"), canvas);
    EXPECT_EQ(c.kx0, 5);
    EXPECT_EQ(c.ky0, 5);
    EXPECT_EQ(c.origin, (GlobalPoint{5120, 5120}));
    EXPECT_EQ(c.ctrInCanvas, (CanvasPoint{-120, -120}));
    EXPECT_EQ(canvas.at(0, 0), 201);
    EXPECT_EQ(canvas.at(1024, 1024), 200);
    EXPECT_FALSE(c.frame.has_value());
}

TEST_F(CanvasTest, NearTheOriginAndAtTheRightEdge) {
    const TileGrid g = TileGrid::make(3 * 1024, 2 * 1024);
    writeTileFile(path("a.tile"), g, TileKind::Amplitude, {{0, 0}, {1, 0}, {2, 0}, {0, 1}, {1, 1}, {2, 1}},
                  [](int, int) { return 7u; });
    Canvas canvas;
    for (auto merge : {&mergeAmplitude}) {
        const CanvasState s = merge({100, 100}, g, path("a.tile"), path("a.cut"), canvas);
        EXPECT_EQ(s.kx0, 0);
        EXPECT_EQ(s.ky0, 0);
    }
    // ctrorigin in the last tile column: the right half lies outside the grid.
    const CanvasState s = mergeAmplitude({2500, 100}, g, path("a.tile"), path("a.cut"), canvas);
    EXPECT_EQ(s.kx0, 2);
    EXPECT_EQ(canvas.at(1023, 5), 7);
    EXPECT_EQ(canvas.at(1024, 5), 0);
    EXPECT_EQ(canvas.at(2047, 2047), 0);
    writeTileFile(path("c.cpx"), g, TileKind::Complex, {{0, 0}}, [](int, int) { return 3u * 512; });
    const CanvasState c = mergeComplex({100, 100}, g, path("c.cpx"), path("c.cut"), canvas);
    EXPECT_EQ(c.kx0, 0);
    EXPECT_EQ(c.ctrInCanvas, (CanvasPoint{100, 100}));
    EXPECT_EQ(canvas.at(5, 5), 6);
    // A missing tile file is reported, not shown as the old canvas.
    EXPECT_THROW(mergeComplex({100, 100}, g, path("none.cpx"), path("c.cut"), canvas), Error);
}

TEST(CanvasFrame, CornersBoxAndEnclosingRectangle) {
    // A sheared linear mapping and its exact inverse.
    SceneMapping m;
    m.toGeo = [](double p, double l) { return GeoPoint{35.0 - 1e-4 * l + 2e-5 * p, 139.0 + 1e-4 * p + 1e-5 * l}; };
    m.toPixelLine = [](double lat, double lon) {
        // Solve lat = 35 - 1e-4 l + 2e-5 p, lon = 139 + 1e-4 p + 1e-5 l.
        const double a = lat - 35.0, b = lon - 139.0;
        const double det = (2e-5) * (1e-5) - (-1e-4) * (1e-4);
        return ScenePoint{(a * 1e-5 - (-1e-4) * b) / det, (2e-5 * b - 1e-4 * a) / det};
    };
    CanvasState s;
    s.origin = {1024, 2048};
    const GeoFrame f = computeGeoFrame(s, 2048, 2048, m);
    EXPECT_NEAR(f.corners[0].lat_deg, 35.0 - 0.2048 + 0.02048, 1e-12);
    EXPECT_NEAR(f.maxLat_deg, 35.0 - 0.2048 + 2e-5 * 3072, 1e-12);
    EXPECT_NEAR(f.minLon_deg, 139.0 + 0.1024 + 0.02048, 1e-12);
    // The box encloses the canvas, so its pixel/line rectangle does too.
    EXPECT_LE(f.rectMinPixel, 1024 + 1e-6);
    EXPECT_GE(f.rectMaxPixel, 3072 - 1e-6);
    EXPECT_LE(f.rectMinLine, 2048 + 1e-6);
    EXPECT_GE(f.rectMaxLine, 4096 - 1e-6);
    const ScenePoint back = m.toPixelLine(f.corners[3].lat_deg, f.corners[3].lon_deg);
    EXPECT_NEAR(back.pixel, 3072, 1e-6);
    EXPECT_NEAR(back.line, 4096, 1e-6);
}
