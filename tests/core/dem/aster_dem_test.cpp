// The ASTER GDEM relief: void repair at the tile's edges and among voids,
// the shade clamped on steep slopes, a flat tile, the repair cache, and the
// cut into display tiles. Expected bytes are worked out by hand.

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <vector>

#include "dem/aster_dem.h"
#include "platform/bytes.h"
#include "platform/file.h"
#include "support/temp_dir.h"

namespace tessarin::dem {
namespace {

constexpr std::int16_t V = -9999;

TEST(AsterRelief, RepairUsesValidNeighboursInsideTheTile) {
    // 4 x 4: voids at a corner, on an edge, inside, next to a too-low value
    // and surrounded by voids.
    std::vector<std::int16_t> h = {
        V,  10, 20,    30,   //
        21, 40, V,     -3,   //
        V,  V,  -1000, -4,   //
        V,  V,  50,    V,    //
    };
    const std::vector<std::int16_t> expected = {
        16, 10, 20,    30,   // (10 + 21) / 2 = 15.5 -> 16
        21, 40, 15,    -3,   // (20 + 40 - 3) / 3 = 19 ; -1000 is no height
        21, 40, -1000, -4,   // left edge: 21 only ; (40) only, -1000 skipped
        0,  50, 50,    23,   // only voids beside -> 0 ; 50 ; corner: (-4 + 50) / 2
    };
    // (1,2): neighbours 20 (up), -3 (right), 40 (left), -1000 (down, skipped): 57/3 = 19.
    std::vector<std::int16_t> want = expected;
    want[6] = 19;
    repairVoids(h, 4);
    EXPECT_EQ(h, want);

    std::vector<std::int16_t> negative = {0, -3, 0, -5, V, -5, 0, V, 0};
    repairVoids(negative, 3);
    EXPECT_EQ(negative[4], -4) << "-4.33 rounds to -4, not toward zero";
}

TEST(AsterRelief, ShadeStaysInRangeAndFlatTilesAreFlat) {
    constexpr int n = 5;
    struct Case {
        const char* what;
        std::vector<std::int16_t> heights;
        HeightRange range;
        double lat;  // near the pole a degree of longitude is short: steep slopes
        std::array<int, 3> centre;  // bytes of sample (2, 2)
    };
    std::vector<std::int16_t> flat(n * n, 100), steepEast(n * n), steepWest(n * n);
    for (int k = 0; k < n; ++k)
        for (int l = 0; l < n; ++l) {
            steepEast[k * n + l] = static_cast<std::int16_t>(100 + 5000 * l);  // the lee side: darkest
            steepWest[k * n + l] = static_cast<std::int16_t>(100 + 5000 * (n - 1 - l));
        }
    const Case cases[] = {
        // ramp(0) = (70, 200, 0), flat shade (sin 30 + 0.5) / 1.5 = 2/3.
        {"flat, max = min", flat, heightRange(flat), 0.0, {46, 133, 0}},
        // The shade would be below 0; clamped it is black, never wrapped.
        {"facing away from the light", steepEast, heightRange(steepEast), 89.99, {0, 0, 0}},
        // x = 0.5: s = (0.5 - 2/7) * 7 = 1.5: (200, 255, 45); facing the light
        // the shade tends to (0.612 + 0.5) / 1.5 = 0.741.
        {"facing the light", steepWest, heightRange(steepWest), 89.99, {148, 189, 33}},
    };
    for (const Case& c : cases) {
        const std::vector<std::uint8_t> rgb = shadedRelief(c.heights, n, c.lat, c.range);
        const std::size_t at = (2 * n + 2) * 3;
        EXPECT_NEAR(rgb[at], c.centre[0], 1) << c.what;
        EXPECT_NEAR(rgb[at + 1], c.centre[1], 1) << c.what;
        EXPECT_NEAR(rgb[at + 2], c.centre[2], 1) << c.what;
    }
    std::vector<std::int16_t> sea(n * n, 0);
    const auto rgb = shadedRelief(sea, n, 35.0, heightRange(sea));
    for (std::size_t k = 0; k < rgb.size(); k += 3)
        ASSERT_TRUE(rgb[k] == 0 && rgb[k + 1] == 255 && rgb[k + 2] == 255) << "sample " << k / 3;
}

class AsterCache : public tessarin::testing::TempDirTest {};

TEST_F(AsterCache, RepairCacheIsSizeCheckedAndItsRangeTracked) {
    constexpr int n = 3;
    const std::vector<std::int16_t> tile = {1, V, 3, 4, 5, 6, 7, 8, 9};
    const std::string cache = path("t.tifrep.dem");
    struct Case {
        const char* what;
        std::size_t cacheBytes;  // 0: none
        std::int16_t cached;     // every cached height
        std::int16_t expectedVoid;
        HeightRange range;
    };
    for (const Case c : {Case{"no cache", 0, 0, 3, {1, 9}}, {"a cache of the tile's size", 18, 700, 700, {700, 700}},
                         {"a cache of another size", 16, 700, 3, {1, 9}}}) {
        removeFile(cache);
        if (c.cacheBytes) {
            std::vector<std::uint8_t> b(c.cacheBytes);
            for (std::size_t k = 0; k + 1 < b.size(); k += 2) store<std::int16_t>(b, k, c.cached, ByteOrder::Little);
            writeWholeFile(cache, b);
        }
        const auto heights = repairedHeights(tile, n, cache);
        EXPECT_EQ(heights[1], c.expectedVoid) << c.what;
        const HeightRange r = heightRange(heights);
        EXPECT_EQ(r.min, c.range.min) << c.what;
        EXPECT_EQ(r.max, c.range.max) << c.what;
        // Whatever was there, the cache now holds the repaired tile.
        const auto again = repairedHeights(std::vector<std::int16_t>(n * n, 0), n, cache);
        EXPECT_EQ(again, heights) << c.what;
    }
}

TEST(AsterRelief, CutIntoDisplayTiles) {
    constexpr int side = 1500;  // 2 x 2 tiles, the second row and column partly beyond
    std::vector<std::uint8_t> rgb(std::size_t{side} * side * 3);
    for (std::size_t k = 0; k < rgb.size(); ++k) rgb[k] = static_cast<std::uint8_t>(1 + k % 250);
    const auto tiles = cutIntoTiles(rgb, side);
    const std::size_t tileBytes = 1024u * 1024u * 3u;
    ASSERT_EQ(tiles.size(), 4 * tileBytes);
    struct Case {
        int line, pixel;
    };
    for (const Case c : {Case{0, 0}, {1023, 1023}, {1024, 0}, {0, 1024}, {1499, 1499}, {1030, 475}}) {
        const std::size_t tile = static_cast<std::size_t>(c.pixel / 1024 + 2 * (c.line / 1024));
        const std::size_t at = tile * tileBytes + (static_cast<std::size_t>(c.line % 1024) * 1024 + c.pixel % 1024) * 3;
        for (int b = 0; b < 3; ++b)
            EXPECT_EQ(tiles[at + b], rgb[(static_cast<std::size_t>(c.line) * side + c.pixel) * 3 + b])
                << c.line << "," << c.pixel;
    }
    // Beyond the picture: zero.
    EXPECT_EQ(tiles[1 * tileBytes + (10 * 1024 + 600) * 3], 0);
    EXPECT_EQ(tiles[3 * tileBytes + (600 * 1024 + 10) * 3 + 2], 0);
}

}  // namespace
}  // namespace tessarin::dem
