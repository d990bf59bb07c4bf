// CGeoid against the genuine NGA "WW15MGH.DAC": grid nodes are the stored
// centimetres read independently from the file's bytes, the published
// values at the poles and at (0, 0), the longitude reductions, the byte
// picture, and the refusal of a file that is not a whole grid.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "dem/geoid.h"
#include "platform/error.h"
#include "support/refusal.h"
#include "support/shared_data.h"
#include "support/temp_dir.h"

namespace tessarin::dem {
namespace {

std::vector<std::uint8_t> bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The stored centimetres of a node, straight from the big-endian bytes.
double storedMetres(const std::vector<std::uint8_t>& b, int row, int column) {
    const std::size_t at = 2 * (static_cast<std::size_t>(row) * 1440 + static_cast<std::size_t>(column));
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(b[at] << 8 | b[at + 1])) / 100.0;
}

class GenuineGeoid : public tessarin::testing::TempDirTest {};

TEST_F(GenuineGeoid, NodesPolesAndLongitudeReductions) {
    const std::string dac = testing::sharedDataPath("egm96/WW15MGH.DAC");
    TESSARIN_REQUIRE_SHARED_DATA(dac);
    const std::vector<std::uint8_t> bytes = bytesOf(dac);
    CGeoid geoid;
    EXPECT_EQ(geoid.undulation(35.0, 139.0), 0.0) << "nothing is added before a grid is loaded";
    geoid.load(dac, path("GeoidDataImg"));

    struct Node {
        int row, column;
    };
    for (const Node n : {Node{0, 0}, {0, 1439}, {360, 0}, {360, 1439}, {720, 0}, {720, 777}, {218, 557}, {379, 312},
                         {100, 1000}, {500, 1200}, {639, 3}}) {
        const double lat = 90.0 - 0.25 * n.row, lon = 0.25 * n.column;
        EXPECT_NEAR(geoid.undulation(lat, lon), storedMetres(bytes, n.row, n.column), 1e-9)
            << "row " << n.row << ", column " << n.column;
        EXPECT_NEAR(geoid.undulation(lat, lon - 360.0), storedMetres(bytes, n.row, n.column), 1e-9);
    }

    struct Known {
        double lat, lon, n_m;
    };
    for (const Known k : {Known{0.0, 0.0, 17.16}, {90.0, 0.0, 13.61}, {90.0, 123.4, 13.61}, {-90.0, 0.0, -29.53},
                          {-90.0, 271.3, -29.53}})
        EXPECT_NEAR(geoid.undulation(k.lat, k.lon), k.n_m, 1e-6) << k.lat << "," << k.lon;

    struct Same {
        double lat, lon, otherLon;
    };
    for (const Same s : {Same{0.0, 360.0, 0.0}, {0.0, -10.0, 350.0}, {12.3, -0.1, 359.9}, {-33.3, 359.9, -0.1},
                         {47.1, 359.95, -0.05}, {5.5, -179.9, 180.1}})
        EXPECT_NEAR(geoid.undulation(s.lat, s.lon), geoid.undulation(s.lat, s.otherLon), 1e-9) << s.lon;

    // Past the last column the interpolation runs to column 0, not beyond.
    const double between = geoid.undulation(0.0, 359.875);
    EXPECT_NEAR(between, 0.5 * (storedMetres(bytes, 360, 1439) + storedMetres(bytes, 360, 0)), 1e-9);

    // The byte picture: int(N + 128) of every node.
    const std::vector<std::uint8_t> image = bytesOf(path("GeoidDataImg"));
    ASSERT_EQ(image.size(), 721u * 1440u);
    for (const Node n : {Node{0, 0}, {720, 0}, {379, 312}, {218, 557}})
        EXPECT_EQ(image[static_cast<std::size_t>(n.row) * 1440 + n.column],
                  static_cast<std::uint8_t>(static_cast<int>(storedMetres(bytes, n.row, n.column) + 128.0)));
}

TEST_F(GenuineGeoid, OnlyAWholeGridIsLoaded) {
    const std::string dac = testing::sharedDataPath("egm96/WW15MGH.DAC");
    TESSARIN_REQUIRE_SHARED_DATA(dac);
    const std::vector<std::uint8_t> bytes = bytesOf(dac);
    ASSERT_EQ(bytes.size(), 2076480u);
    struct Case {
        const char* what;
        std::size_t size;
    };
    for (const Case c : {Case{"one byte short", bytes.size() - 1}, {"one row short", bytes.size() - 2880},
                         {"one byte long", bytes.size() + 1}, {"empty", 0}}) {
        const std::string damaged = path("WW15MGH.DAC");
        std::vector<std::uint8_t> b(bytes.begin(), bytes.begin() + std::min(c.size, bytes.size()));
        b.resize(c.size, 0);
        std::ofstream(damaged, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
        CGeoid geoid;
        EXPECT_EQ(testing::refusalOf([&] { geoid.load(damaged, path("img")); }), "Geoid file selection error.")
            << c.what;
        EXPECT_FALSE(geoid.loaded()) << c.what;
        EXPECT_EQ(geoid.undulation(0.0, 0.0), 0.0) << c.what;
        EXPECT_FALSE(std::filesystem::exists(path("img"))) << c.what;
    }
    CGeoid geoid;
    EXPECT_EQ(testing::refusalOf([&] { geoid.load(path("absent.DAC"), {}); }), "Geoid file selection error.");
}

}  // namespace
}  // namespace tessarin::dem
