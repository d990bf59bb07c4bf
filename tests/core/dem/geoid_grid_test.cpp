// The EGM96 grid converted from proj-data's file must be NGA's WW15MGH.DAC
// (value for value, within the centimetre the two publications differ by),
// the reordering must hold for any first longitude of a gtx grid, and the
// bilinear undulation must interpolate, wrap and clamp as the DEM sampler
// expects.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "dem/geoid_grid.h"
#include "platform/error.h"
#include "support/shared_data.h"

namespace tessarin::dem {
namespace {

class TempFolder {
public:
    TempFolder() : path_(std::filesystem::temp_directory_path() / ("tessarin-geoid-" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() { std::filesystem::remove_all(path_); }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

std::vector<std::uint8_t> bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int bigEndianInt16(const std::vector<std::uint8_t>& b, std::size_t index) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(b[2 * index] << 8 | b[2 * index + 1]));
}

void putBig(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}
void putDouble(std::vector<std::uint8_t>& out, double v) { putBig(out, std::bit_cast<std::uint64_t>(v), 8); }
void putFloat(std::vector<std::uint8_t>& out, float v) { putBig(out, std::bit_cast<std::uint32_t>(v), 4); }

// A gtx file: south row first, columns from westLon, values of f(lat, lon).
void writeGtx(const std::string& path, double westLon, int rows, int columns,
              const std::function<double(double, double)>& f, std::size_t dropBytes = 0) {
    std::vector<std::uint8_t> out;
    putDouble(out, -90.0);
    putDouble(out, westLon);
    putDouble(out, 0.25);
    putDouble(out, 0.25);
    putBig(out, static_cast<std::uint32_t>(rows), 4);
    putBig(out, static_cast<std::uint32_t>(columns), 4);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) putFloat(out, static_cast<float>(f(-90.0 + 0.25 * r, westLon + 0.25 * c)));
    out.resize(out.size() - dropBytes);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(out.data()),
                                                static_cast<std::streamsize>(out.size()));
}

// A smooth field that tells rows, columns and both directions apart.
double field_m(double lat, double lon) {
    const double east = std::fmod(lon + 360.0, 360.0);
    return 0.3 * lat + 0.11 * east - 12.345 + 5.0 * std::sin(lat * 0.05);
}

std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.what();
    }
    return "no error";
}

TEST(GeoidConversion, ProjDataGridMatchesTheGenuineDacEverywhere) {
    const std::string genuineDac = testing::sharedDataPath("egm96/WW15MGH.DAC");
    TESSARIN_REQUIRE_SHARED_DATA(genuineDac);
    if (!std::filesystem::exists(kProjDataEgm96Gtx)) GTEST_SKIP() << kProjDataEgm96Gtx << " absent (install proj-data)";
    TempFolder dir;
    const std::string converted = dir.file(kGeoidFileName);
    convertGtxToDac(kProjDataEgm96Gtx, converted);

    const auto mine = bytesOf(converted), genuine = bytesOf(genuineDac);
    ASSERT_EQ(mine.size(), genuine.size());
    int maxDiff = 0;
    std::size_t differing = 0;
    const std::size_t cells = genuine.size() / 2;
    for (std::size_t k = 0; k < cells; ++k) {
        const int d = std::abs(bigEndianInt16(mine, k) - bigEndianInt16(genuine, k));
        maxDiff = std::max(maxDiff, d);
        differing += d != 0;
    }
    // The two publications differ by up to 0.55 cm before rounding, so a
    // whole-centimetre grid may be one centimetre off in a few cells; a wrong
    // row order or longitude origin would be metres off nearly everywhere.
    EXPECT_LE(maxDiff, 1);
    EXPECT_LT(static_cast<double>(differing) / static_cast<double>(cells), 0.06);
    std::printf("converted vs genuine WW15MGH.DAC: max |difference| %d cm, %zu of %zu values differ\n", maxDiff,
                differing, cells);
}

TEST(GeoidConversion, ProjDataGridGivesPublishedUndulations) {
    if (!std::filesystem::exists(kProjDataEgm96Gtx)) GTEST_SKIP() << kProjDataEgm96Gtx << " absent (install proj-data)";
    const GeoidGrid g = readGtxGeoid(kProjDataEgm96Gtx);
    EXPECT_NEAR(g.undulation_m(90.0, 0.0), 13.61, 0.011);
    EXPECT_NEAR(g.undulation_m(-90.0, 0.0), -29.53, 0.011);
    EXPECT_NEAR(g.undulation_m(0.0, 0.0), 17.16, 0.011);
    int lo = 0, hi = 0;
    for (std::int16_t v : g.values()) lo = std::min<int>(lo, v), hi = std::max<int>(hi, v);
    EXPECT_NEAR(lo, -10699, 1);
    EXPECT_NEAR(hi, 8539, 1);
}

TEST(GeoidConversion, AnyFirstLongitudeLandsOnZeroEast) {
    TempFolder dir;
    for (double west : {-180.0, 0.0, 90.25}) {
        const std::string gtx = dir.file("grid.gtx");
        writeGtx(gtx, west, kGeoidRows, kGeoidColumns, field_m);
        const GeoidGrid g = readGtxGeoid(gtx);
        for (int row : {0, 1, 360, 719, 720})
            for (int column : {0, 1, 719, 720, 1000, 1439}) {
                const double lat = 90.0 - 0.25 * row, lon = 0.25 * column;
                const float stored = static_cast<float>(field_m(lat, lon));  // what the gtx holds
                EXPECT_EQ(g.centimetres(row, column), std::lround(static_cast<double>(stored) * 100.0))
                    << "first longitude " << west << ", row " << row << ", column " << column;
            }
    }
}

TEST(GeoidConversion, RefusesMissingAndForeignFiles) {
    TempFolder dir;
    const std::string missing = dir.file("none.gtx");
    const std::string text = errorOf([&] { readGtxGeoid(missing); });
    EXPECT_NE(text.find("proj-data"), std::string::npos) << text;
    EXPECT_NE(text.find(missing), std::string::npos) << text;

    const std::string gtx = dir.file("bad.gtx");
    writeGtx(gtx, -180.0, 720, kGeoidColumns, field_m);
    EXPECT_NE(errorOf([&] { readGtxGeoid(gtx); }).find("720 rows"), std::string::npos);
    writeGtx(gtx, -180.0, kGeoidRows, kGeoidColumns, field_m, 4);
    EXPECT_NE(errorOf([&] { readGtxGeoid(gtx); }).find("bytes instead of 4153000"), std::string::npos);
    writeGtx(gtx, -180.1, kGeoidRows, kGeoidColumns, field_m);
    EXPECT_NE(errorOf([&] { readGtxGeoid(gtx); }).find("first column"), std::string::npos);
    writeGtx(gtx, -180.0, kGeoidRows, kGeoidColumns, [](double, double) { return -88888.0; });
    EXPECT_NE(errorOf([&] { readGtxGeoid(gtx); }).find("value -88888"), std::string::npos);

    // Nothing is written when the conversion fails.
    const std::string dac = dir.file(kGeoidFileName);
    EXPECT_THROW(convertGtxToDac(missing, dac), Error);
    EXPECT_FALSE(std::filesystem::exists(dac));
}

// A grid whose value is a plane in (row, column) is reproduced exactly by a
// bilinear interpolation; the wrap column and the pole row are not planar.
GeoidGrid planeGrid() {
    std::vector<std::int16_t> cm(static_cast<std::size_t>(kGeoidRows) * kGeoidColumns);
    for (int r = 0; r < kGeoidRows; ++r)
        for (int c = 0; c < kGeoidColumns; ++c)
            cm[static_cast<std::size_t>(r) * kGeoidColumns + static_cast<std::size_t>(c)] =
                static_cast<std::int16_t>(3 * r + 7 * c - 5000);
    return GeoidGrid(std::move(cm), "plane");
}

TEST(GeoidUndulation, BilinearWrapsAndClamps) {
    const GeoidGrid g = planeGrid();
    auto plane_m = [](double row, double column) { return (3.0 * row + 7.0 * column - 5000.0) / 100.0; };
    for (double lat : {89.9, 35.37, 0.0, -12.6, -89.8})
        for (double lon : {0.0, 0.1, 139.71, 250.03, 359.5}) {
            EXPECT_NEAR(g.undulation_m(lat, lon), plane_m((90.0 - lat) * 4.0, lon * 4.0), 1e-9) << lat << "," << lon;
            EXPECT_NEAR(g.undulation_m(lat, lon - 360.0), g.undulation_m(lat, lon), 1e-9);
        }
    // Between 359.75°E and 360°E the neighbour is column 0.
    const double between = g.undulation_m(0.0, 359.875);
    EXPECT_NEAR(between, 0.5 * (g.centimetres(360, 1439) + g.centimetres(360, 0)) / 100.0, 1e-9);
    // The southern pole row has no row below it.
    EXPECT_NEAR(g.undulation_m(-90.0, 10.0), g.centimetres(720, 40) / 100.0, 1e-9);
    EXPECT_NEAR(g.undulation_m(90.0, 0.0), g.centimetres(0, 0) / 100.0, 1e-9);
}

TEST(GeoidUndulation, DacRoundTripAndSizeCheck) {
    TempFolder dir;
    const GeoidGrid g = planeGrid();
    const std::string dac = dir.file(kGeoidFileName);
    g.writeDac(dac);
    const auto bytes = bytesOf(dac);
    ASSERT_EQ(bytes.size(), 2u * kGeoidRows * kGeoidColumns);
    // Big-endian, row 0 = 90°N, column 0 = 0°E.
    EXPECT_EQ(bigEndianInt16(bytes, 0), -5000);
    EXPECT_EQ(bigEndianInt16(bytes, 1), -4993);
    EXPECT_EQ(bigEndianInt16(bytes, kGeoidColumns), -4997);
    EXPECT_EQ(readDacGeoid(dac).values(), g.values());

    std::ofstream(dac, std::ios::binary | std::ios::trunc).write("\x01\x02\x03", 3);
    EXPECT_NE(errorOf([&] { readDacGeoid(dac); }).find("holds 3 bytes"), std::string::npos);
}

}  // namespace
}  // namespace tessarin::dem
