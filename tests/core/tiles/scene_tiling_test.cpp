#include <gtest/gtest.h>

#include <complex>

#include "platform/file.h"
#include "platform/ui.h"
#include "products/alos2.h"
#include "support/product_fixture.h"
#include "support/temp_dir.h"
#include "tiles/canvas.h"
#include "tiles/scene_tiling.h"

using namespace tessarin;
using namespace tessarin::tiles;
namespace pr = tessarin::products;

namespace {

std::complex<float> sampleAt(int x, int y) {
    return {static_cast<float>(100 * (x % 7) - 250 + y), static_cast<float>(30 * (y % 11) - 160 + x % 3)};
}

using SceneTiling = tessarin::testing::TempDirTest;

}  // namespace

TEST_F(SceneTiling, OriginalComplexProductBecomesATileSetInTheWorkFolder) {
    auto product =
        tessarin::testing::plausibleProduct(path("product"), {.level = pr::kLevel11, .pixels = 1500, .lines = 1200});
    product.look = 'L';
    pr::SampleSource source;
    source.complexLine = [](std::size_t, int n, std::span<std::complex<float>> s) {
        for (std::size_t x = 0; x < s.size(); ++x) s[x] = sampleAt(static_cast<int>(x), n);
    };
    const auto written = pr::writeCeosProduct(product, source);
    const std::string image = written.imagePaths.at(0);

    ScriptedUi ui;
    pr::Alos2 reader;
    const TiledProduct t = tileOriginalProduct(image, path("work"), reader, ui);
    EXPECT_EQ(t.kind, TileKind::Complex);
    EXPECT_EQ(t.names.tile, path("work/" + t.names.imageName + "tile.cpx"));
    EXPECT_EQ(t.conversion.grid.ntx, 2);
    EXPECT_EQ(t.conversion.grid.nty, 2);
    EXPECT_EQ(reader.params().pixel, 1500);
    EXPECT_DOUBLE_EQ(reader.params().calib, written.stored.calib);
    EXPECT_EQ(reader.pointingLeft(), 1);
    EXPECT_EQ(readWholeFile(t.names.leaderCopy), readWholeFile(written.leaderPath));
    const auto head = readWholeFile(t.names.headerCopy);
    const auto imageBytes = readWholeFile(image);
    ASSERT_EQ(head.size(), 1200u);
    EXPECT_TRUE(std::equal(head.begin(), head.end(), imageBytes.begin()));
    ASSERT_GE(ui.statuses.size(), 3u);
    EXPECT_EQ(ui.statuses[0], "Sub OpenAlos2L11");
    EXPECT_EQ(ui.statuses[1], "Tiling process start");
    EXPECT_EQ(ui.statuses.back(), "End tiling image");

    const auto tiles = readWholeFile(t.names.tile);
    const TileGrid& g = t.conversion.grid;
    for (auto [x, y] : {std::pair{0, 0}, {1499, 1199}, {1024, 1000}, {700, 1100}}) {
        const auto local = g.toLocal({x, y});
        const std::size_t at = g.tileOffset(g.tileNumber(local.kx, local.ky), TileKind::Complex) +
                               (static_cast<std::size_t>(local.y) * 1024 + local.x) * 3;
        const auto z = sampleAt(x, y);
        EXPECT_EQ(loadPacked(&tiles[at]), packComplexReference(z.real(), z.imag())) << x << "," << y;
    }

    // The canvas of the new TileSet, with its geographic frame from the
    // decoded polynomials.
    const SceneMapping mapping = sceneMappingOf(reader);
    Canvas canvas;
    const CanvasState s = mergeComplex({100, 100}, g, t.names.tile, t.names.canvas, canvas, &mapping);
    ASSERT_TRUE(s.frame.has_value());
    const auto z = sampleAt(10, 20);
    EXPECT_EQ(canvas.at(10, 20), packComplexReference(z.real(), z.imag()) >> 8);
    const auto corner = pr::latLonOfPixelLine(reader.params(), {0, 0});
    EXPECT_DOUBLE_EQ(s.frame->corners[0].lat_deg, corner.lat_deg);
}

TEST_F(SceneTiling, AmplitudeProductAndRefusedLevels) {
    auto product =
        tessarin::testing::plausibleProduct(path("product"), {.level = pr::kLevel15, .pixels = 1100, .lines = 300});
    pr::SampleSource source;
    source.amplitudeLine = [](std::size_t, int n, std::span<std::uint16_t> s) {
        for (std::size_t x = 0; x < s.size(); ++x) s[x] = static_cast<std::uint16_t>(x + 3 * static_cast<std::size_t>(n));
    };
    const auto written = pr::writeCeosProduct(product, source);
    ScriptedUi ui;
    pr::Alos2 reader;
    const TiledProduct t = tileOriginalProduct(written.imagePaths.at(0), path("work"), reader, ui);
    EXPECT_EQ(t.kind, TileKind::Amplitude);
    EXPECT_TRUE(t.names.tile.ends_with("__Dtile"));
    EXPECT_DOUBLE_EQ(reader.params().calib, written.stored.calib);
    const auto tiles = readWholeFile(t.names.tile);
    const std::size_t at = 1024u * 1024 * 2 + (5u * 1024 + 50) * 2;  // scene (1074, 5)
    EXPECT_EQ(tiles[at] | (tiles[at + 1] << 8), 1074 + 15);

    writeWholeFile(path("IMG-HH-ALOS2x-UBSR2.1__G"), std::vector<std::uint8_t>(2000, 0));
    EXPECT_THROW(tileOriginalProduct(path("IMG-HH-ALOS2x-UBSR2.1__G"), path("work"), reader, ui), Error);
}
