// DEM tile names, the footprint's tiles, and the three tile layouts written
// and read back. A genuine SRTM-3 tile pins the layout and the reader to the
// published files.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "dem/dem_tile.h"
#include "imagefiles/tif_gen.h"
#include "platform/error.h"
#include "support/shared_data.h"
#include "support/temp_dir.h"

namespace tessarin::dem {
namespace {

std::vector<std::uint8_t> bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int bigEndianInt16(const std::vector<std::uint8_t>& b, std::size_t index) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(b[2 * index] << 8 | b[2 * index + 1]));
}

TEST(DemTileFiles, GenuineSrtm3TileHasTheLayoutWeWrite) {
    const std::string genuine = testing::sharedDataPath("srtm/N43E006.hgt");
    TESSARIN_REQUIRE_SHARED_DATA(genuine);
    EXPECT_EQ(std::filesystem::path(genuine).filename().string(), demTileName(DemSource::Srtm3, 43, 6));
    const std::vector<std::uint8_t> bytes = bytesOf(genuine);
    ASSERT_EQ(bytes.size(), 1201u * 1201u * 2u);
    auto at = [&](int k, int l) { return bigEndianInt16(bytes, static_cast<std::size_t>(k) * 1201 + l); };
    int lo = 100000, hi = -100000;
    double roughness = 0.0;
    for (int k = 0; k < 1201; ++k)
        for (int l = 0; l < 1201; ++l) {
            lo = std::min(lo, at(k, l)), hi = std::max(hi, at(k, l));
            if (l > 0) roughness += std::abs(at(k, l) - at(k, l - 1));
        }
    // Big-endian gives the tile's known range and neighbours a few metres
    // apart; read little-endian the same bytes would jump by thousands.
    EXPECT_EQ(lo, -12);
    EXPECT_EQ(hi, 1923);
    EXPECT_LT(roughness / (1201.0 * 1200.0), 30.0);

    // The tile reader agrees with the plain byte reads, row 0 on the north edge.
    const DemTile tile = readDemTile(genuine, DemSource::Srtm3, 43, 6);
    ASSERT_EQ(tile.heights_m.size(), 1201u * 1201u);
    for (int k : {0, 1, 600, 1200})
        for (int l : {0, 1, 777, 1200}) EXPECT_EQ(tile.at(k, l), at(k, l)) << "row " << k << ", column " << l;
}

TEST(DemTileFiles, NamesFollowTheThreeConventions) {
    EXPECT_EQ(demTileName(DemSource::Aster, 35, 139), "ASTGTM2_N35E139_dem.tif");
    EXPECT_EQ(demTileName(DemSource::Srtm1, 35, 139), "n35_e139_1arc_v3.bil");
    EXPECT_EQ(demTileName(DemSource::Srtm3, 35, 139), "N35E139.hgt");
    EXPECT_EQ(demTileName(DemSource::Aster, -1, -1), "ASTGTM2_S01W001_dem.tif");
    EXPECT_EQ(demTileName(DemSource::Srtm1, -1, -1), "s01_w001_1arc_v3.bil");
    EXPECT_EQ(demTileName(DemSource::Srtm3, 0, 0), "N00E000.hgt");
    EXPECT_EQ(demTileName(DemSource::Srtm3, 5, 7), "N05E007.hgt");
    EXPECT_EQ(demTileName(DemSource::Srtm3, -45, -120), "S45W120.hgt");
    EXPECT_EQ(demTileName(DemSource::Srtm1, 9, 99), "n09_e099_1arc_v3.bil");
}

TEST(DemTileFiles, CoveringRangeHonoursMarginsEdgesAndTheEquator) {
    auto box = [](double south, double north, double west, double east) {
        return std::array<GeoPoint, 4>{GeoPoint{south, west}, {south, east}, {north, west}, {north, east}};
    };
    DemTileRange r = demTilesCovering(box(35.2, 35.4, 139.2, 139.5), 0.02);
    EXPECT_EQ(r.south, 35);
    EXPECT_EQ(r.north, 35);
    EXPECT_EQ(r.west, 139);
    EXPECT_EQ(r.east, 139);
    // The margin reaches over a degree line.
    r = demTilesCovering(box(35.2, 35.99, 139.01, 139.5), 0.02);
    EXPECT_EQ(r.north, 36);
    EXPECT_EQ(r.west, 138);
    // A box ending on a degree line needs no tile beyond it.
    r = demTilesCovering(box(35.2, 35.5, 139.2, 139.5), 0.5);
    EXPECT_EQ(r.north, 35);
    EXPECT_EQ(r.east, 139);
    // Across the equator: S01 and N00.
    r = demTilesCovering(box(-0.3, 0.2, 10.2, 10.4), 0.0);
    EXPECT_EQ(r.south, -1);
    EXPECT_EQ(r.north, 0);
    // Across the antimeridian the range is contiguous: 179°E and 180°W.
    r = demTilesCovering({GeoPoint{10.2, 179.9}, {10.2, -179.9}, {10.4, 179.9}, {10.4, -179.9}}, 0.0);
    EXPECT_EQ(r.west, 179);
    EXPECT_EQ(r.east, 180);
}


// Heights that tell rows, columns and the two bytes of a sample apart, from
// the void value -32768 up to 32767.
DemTile patternTile(DemSource source, int south, int west) {
    DemTile t{source, south, west, {}};
    const int n = t.samples();
    t.heights_m.resize(static_cast<std::size_t>(n) * static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k)
        for (int l = 0; l < n; ++l)
            t.heights_m[static_cast<std::size_t>(k) * static_cast<std::size_t>(n) + static_cast<std::size_t>(l)] =
                static_cast<std::int16_t>((k * 7919 + l * 257 + 3) % 65536 - 32768);
    return t;
}

std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.what();
    }
    return "no error";
}

class DemTileRoundTrip : public testing::TempDirTest {};

TEST_F(DemTileRoundTrip, EverySourceReadsBackWhatWasWritten) {
    struct Case {
        DemSource source;
        int south, west;
        std::uint64_t rasterBytes;
        bool hasHeader;
    };
    const Case cases[] = {
        {DemSource::Srtm3, 35, 139, 1201ull * 1201 * 2, false},
        {DemSource::Srtm1, -1, -1, 3601ull * 3601 * 2, true},
        {DemSource::Aster, 43, -120, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(demSourceName(c.source));
        const DemTile written = patternTile(c.source, c.south, c.west);
        const std::string file = path(demTileName(c.source, c.south, c.west));
        writeDemTile(file, written);
        if (c.rasterBytes != 0) {
            EXPECT_EQ(std::filesystem::file_size(file), c.rasterBytes);
        }
        const std::string header = demHeaderPath(c.source, file);
        EXPECT_EQ(!header.empty() && std::filesystem::exists(header), c.hasHeader);

        const DemTile read = readDemTile(file, c.source, c.south, c.west);
        EXPECT_EQ(read.source, c.source);
        EXPECT_EQ(read.southLat_deg, c.south);
        EXPECT_EQ(read.westLon_deg, c.west);
        EXPECT_TRUE(read.heights_m == written.heights_m);
    }
}

TEST_F(DemTileRoundTrip, RefusesTilesOfTheWrongSizeOrKind) {
    DemTile wrong = patternTile(DemSource::Srtm3, 35, 139);
    wrong.heights_m.pop_back();
    const std::string hgt = path("N35E139.hgt");
    EXPECT_NE(errorOf([&] { writeDemTile(hgt, wrong); }).find("1201 x 1201"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(hgt));

    // An SRTM-3 tile is not an SRTM-1 one, and a cut tile is no tile.
    writeDemTile(hgt, patternTile(DemSource::Srtm3, 35, 139));
    std::string text = errorOf([&] { readDemTile(hgt, DemSource::Srtm1, 35, 139); });
    EXPECT_NE(text.find(hgt), std::string::npos) << text;
    EXPECT_NE(text.find("holds 2884802 bytes"), std::string::npos) << text;
    std::filesystem::resize_file(hgt, 1201u * 1201u * 2u - 1u);
    EXPECT_NE(errorOf([&] { readDemTile(hgt, DemSource::Srtm3, 35, 139); }).find("2884801 bytes"),
              std::string::npos);

    // An unsigned GeoTIFF of the right size is not an ASTER tile.
    const std::string tif = path("ASTGTM2_N35E139_dem.tif");
    CTIFGen gen;
    writeTiffFile(tif, gen, TiffKind::Geo, kArcSecondSamples, kArcSecondSamples, 16,
                  [](int, std::span<std::uint8_t> row) { std::fill(row.begin(), row.end(), std::uint8_t{0}); });
    text = errorOf([&] { readDemTile(tif, DemSource::Aster, 35, 139); });
    EXPECT_NE(text.find("not an ASTER GDEM tile"), std::string::npos) << text;
    EXPECT_NE(text.find("signed 16-bit"), std::string::npos) << text;
}

}  // namespace
}  // namespace tessarin::dem
