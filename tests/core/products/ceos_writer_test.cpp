// The product writer, checked through the reader: every field written reads
// back, the files are named and laid out as real products are.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "platform/bytes.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/text.h"
#include "products/alos2.h"
#include "products/ceos_fields.h"
#include "products/ceos_writer.h"
#include "support/product_fixture.h"
#include "support/temp_dir.h"

using namespace tessarin;
using namespace tessarin::products;
using namespace tessarin::testing;

namespace {

// Every field a leader and a descriptor carry, compared exactly.
void expectSameFields(const SceneParameters& a, const SceneParameters& b) {
    EXPECT_EQ(a.Y, b.Y);
    EXPECT_EQ(a.M, b.M);
    EXPECT_EQ(a.D, b.D);
    EXPECT_EQ(a.H, b.H);
    EXPECT_EQ(a.Min, b.Min);
    EXPECT_EQ(a.Sec, b.Sec);
    EXPECT_EQ(a.scsecofday, b.scsecofday);
    EXPECT_EQ(a.ctrlat, b.ctrlat);
    EXPECT_EQ(a.ctrlon, b.ctrlon);
    EXPECT_EQ(a.wavelength, b.wavelength);
    EXPECT_EQ(a.prf, b.prf);
    EXPECT_EQ(a.linsz, b.linsz);
    EXPECT_EQ(a.pixsz, b.pixsz);
    EXPECT_EQ(a.inccoef, b.inccoef);
    EXPECT_EQ(a.calib, b.calib);
    EXPECT_EQ(a.orbitPointCount, b.orbitPointCount);
    EXPECT_EQ(a.orbitFirstYear, b.orbitFirstYear);
    EXPECT_EQ(a.orbitFirstMonth, b.orbitFirstMonth);
    EXPECT_EQ(a.orbitFirstDay, b.orbitFirstDay);
    EXPECT_EQ(a.orbitFirstTime, b.orbitFirstTime);
    EXPECT_EQ(a.orbitInterval, b.orbitInterval);
    ASSERT_EQ(a.orbitPointCount, b.orbitPointCount);
    for (std::size_t i = 0; i < static_cast<std::size_t>(a.orbitPointCount); ++i) {
        SCOPED_TRACE(i);
        const StateVector &s = a.stateVectors[i], &t = b.stateVectors[i];
        EXPECT_EQ(s.X, t.X);
        EXPECT_EQ(s.Y, t.Y);
        EXPECT_EQ(s.Z, t.Z);
        EXPECT_EQ(s.VX, t.VX);
        EXPECT_EQ(s.VY, t.VY);
        EXPECT_EQ(s.VZ, t.VZ);
    }
    EXPECT_EQ(a.pl2lat, b.pl2lat);
    EXPECT_EQ(a.pl2lon, b.pl2lon);
    EXPECT_EQ(a.plRefPixel, b.plRefPixel);
    EXPECT_EQ(a.plRefLine, b.plRefLine);
    EXPECT_EQ(a.ll2pix, b.ll2pix);
    EXPECT_EQ(a.ll2lin, b.ll2lin);
    EXPECT_EQ(a.llRefLat, b.llRefLat);
    EXPECT_EQ(a.llRefLon, b.llRefLon);
    EXPECT_EQ(a.line, b.line);
    EXPECT_EQ(a.pixel, b.pixel);
}

using WriterTest = TempDirTest;

}  // namespace

TEST_F(WriterTest, RoundTripOfEveryFieldInBothLevels) {
    for (const int level : {kLevel11, kLevel15}) {
        SCOPED_TRACE(level);
        const ProductSpec product = plausibleProduct(dir(), {.level = level});
        const WrittenProduct w = writeCeosProduct(product);
        const Alos2 a = decodedProduct(w);
        EXPECT_EQ(a.productLevel(), level);
        // The plausible values fit their fields exactly: the reader returns the input.
        SceneParameters expected = product.params;
        expected.scsecofday = 3 * 3600 + 12 * 60 + 34.567;
        expectSameFields(a.params(), expected);
        expectSameFields(a.params(), w.stored);

        const SceneParameters& p = a.params();
        EXPECT_EQ(p.calib, -83.0);
        EXPECT_EQ(p.orbitFirstHour, 3);
        EXPECT_EQ(p.orbitFirstMinute, 0);
        EXPECT_EQ(p.stateVectors[27].t, 10800.0 + 27 * 60.0);
        EXPECT_DOUBLE_EQ(p.stateVectors[5].radius,
                         std::hypot(product.params.stateVectors[5].X, product.params.stateVectors[5].Y,
                                    product.params.stateVectors[5].Z));
        EXPECT_EQ(p.fileheader, 720);
        EXPECT_EQ(p.pointingLeft, 0);
        const int groupBytes = level == kLevel11 ? 8 : 2;
        EXPECT_EQ(p.bytesPerGroup, groupBytes);
        EXPECT_EQ(p.bytesPerSample, level == kLevel11 ? 4 : 2);
        EXPECT_EQ(p.samplesPerGroup, level == kLevel11 ? 2 : 1);
        EXPECT_EQ(p.lineheader, level == kLevel11 ? 544 : 192);
        EXPECT_EQ(p.sarDataBytes, 5 * groupBytes);
        EXPECT_EQ(p.linebytes, p.lineheader + 5 * groupBytes);
        EXPECT_EQ(std::filesystem::file_size(w.imagePaths[0]), 720u + 6u * static_cast<unsigned>(p.linebytes));
    }
}

TEST_F(WriterTest, ValuesWiderThanTheirFieldsReadBackAsStored) {
    ProductSpec product = plausibleProduct(dir(), {.level = kLevel11});
    product.params.wavelength = 1.0 / 3.0;            // 16 characters cannot hold 17 digits
    product.params.pl2lat[3] = -2.0 / 3.0 * 1e-17;    // nor can 20
    const double x = product.params.stateVectors[4].X + 1.0 / 7.0;
    product.params.stateVectors[4].X = x;
    product.params.prf = 2000.0 / 3.0;
    product.params.calib = -83.123456789012345;
    const WrittenProduct w = writeCeosProduct(product);
    const Alos2 a = decodedProduct(w);
    expectSameFields(a.params(), w.stored);
    EXPECT_NEAR(a.params().wavelength, 1.0 / 3.0, 1e-10);
    EXPECT_NEAR(a.params().pl2lat[3] / (-2.0 / 3.0 * 1e-17), 1.0, 1e-12);
    EXPECT_NEAR(a.params().stateVectors[4].X, x, 1e-9);
    EXPECT_NEAR(a.params().prf, 2000.0 / 3.0, 1e-8);  // 10 digits of millihertz
    EXPECT_NEAR(a.params().calib, -83.123456789012345, 1e-9);
}

TEST_F(WriterTest, NamesFollowTheProductNamingRule) {
    ProductSpec product = plausibleProduct(dir(), {.level = kLevel11});
    product.polarisations = {"HH", "HV"};
    const WrittenProduct w = writeCeosProduct(product);
    EXPECT_EQ(splitPath(w.imagePaths[0]).name, "IMG-HH-ALOS2011502960-140724-UBSR1.1__A");
    EXPECT_EQ(splitPath(w.imagePaths[1]).name, "IMG-HV-ALOS2011502960-140724-UBSR1.1__A");
    EXPECT_EQ(splitPath(w.leaderPath).name, "LED-ALOS2011502960-140724-UBSR1.1__A");
    EXPECT_EQ(splitPath(w.volumePath).name, "VOL-ALOS2011502960-140724-UBSR1.1__A");
    EXPECT_EQ(leaderPathOf(w.imagePaths[1]), w.leaderPath);
    // Only the finished files are left, no temporary names.
    std::size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir())) {
        ++files;
        EXPECT_EQ(e.path().string().find(".part"), std::string::npos) << e.path();
    }
    EXPECT_EQ(files, 4u);

    ProductSpec left = plausibleProduct(dir(), {.level = kLevel15});
    left.look = 'L';
    left.mode = "FBD";
    left.levelSuffix = "GUD";
    const WrittenProduct l = writeCeosProduct(left);
    EXPECT_EQ(splitPath(l.imagePaths[0]).name, "IMG-HH-ALOS2011502960-140724-FBDL1.5GUD");
    EXPECT_EQ(decodedProduct(l).params().pointingLeft, 1);
    EXPECT_EQ(l.stored.pointingLeft, 1);
}

// The record map of both levels, with its header bytes, as a reader relying
// on fixed positions expects it.
TEST_F(WriterTest, LeaderRecordsSitAtTheFixedPositionsWithTheirHeaders) {
    struct Expected {
        std::size_t start;
        std::uint32_t length;
        std::uint8_t type;
    };
    const std::vector<Expected> level11 = {{0, 720, 192},          {720, 4096, 10},        {4816, 4680, 30},
                                           {9496, 16384, 40},      {25880, 9860, 50},      {35740, 1620, 60},
                                           {37360, 325000, 200},   {362360, 511000, 200},  {873360, 3072, 200},
                                           {876432, 728000, 200},  {1604432, 5000, 200}};
    const std::vector<Expected> level15 = {{0, 720, 192},          {720, 4096, 10},        {4816, 1620, 20},
                                           {6436, 4680, 30},       {11116, 16384, 40},     {27500, 9860, 50},
                                           {37360, 1620, 60},      {38980, 325000, 200},   {363980, 511000, 200},
                                           {874980, 3072, 200},    {878052, 728000, 200},  {1606052, 5000, 200}};
    for (const int level : {kLevel11, kLevel15}) {
        SCOPED_TRACE(level);
        const auto& expected = level == kLevel11 ? level11 : level15;
        const auto data = encodeLeader(plausibleProduct(dir(), {.level = level}));
        ASSERT_EQ(data.size(), expected.back().start + expected.back().length);
        for (std::size_t i = 0; i < expected.size(); ++i) {
            SCOPED_TRACE(i);
            const auto& e = expected[i];
            EXPECT_EQ(loadBE<std::uint32_t>(data, e.start), i + 1);  // sequence number
            EXPECT_EQ(data[e.start + 5], e.type);
            EXPECT_EQ(loadBE<std::uint32_t>(data, e.start + 8), e.length);
        }
    }
}

TEST_F(WriterTest, ImageRecordsCarryHeadersAndTheDescriptorFields) {
    const ProductSpec product = plausibleProduct(dir(), {.level = kLevel15, .pixels = 7, .lines = 3});
    const WrittenProduct w = writeCeosProduct(product);
    const auto data = readWholeFile(w.imagePaths[0]);
    const std::uint32_t linebytes = 192 + 7 * 2;
    ASSERT_EQ(data.size(), 720u + 3 * linebytes);
    EXPECT_EQ(loadBE<std::uint32_t>(data, 0), 1u);
    EXPECT_EQ(data[4], 50);
    EXPECT_EQ(data[5], 192);
    EXPECT_EQ(loadBE<std::uint32_t>(data, 8), 720u);
    auto text = [&](std::size_t at, std::size_t width) { return std::string(data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at + width)); };
    EXPECT_EQ(text(180, 6), "     3");
    EXPECT_EQ(text(186, 6), "   206");
    EXPECT_EQ(text(216, 4), "  16");
    EXPECT_EQ(text(220, 4), "   1");
    EXPECT_EQ(text(224, 4), "   2");
    EXPECT_EQ(text(276, 4), " 192");
    EXPECT_EQ(text(280, 8), "      14");
    for (std::uint32_t n = 0; n < 3; ++n) {
        const std::size_t at = 720 + n * linebytes;
        EXPECT_EQ(loadBE<std::uint32_t>(data, at), n + 2);
        EXPECT_EQ(data[at + 5], 11);
        EXPECT_EQ(loadBE<std::uint32_t>(data, at + 8), linebytes);
    }
}

TEST_F(WriterTest, RefusesWhatCannotBeWritten) {
    const ProductSpec good = plausibleProduct(dir(), {.level = kLevel11});
    auto refuses = [&](auto change) {
        ProductSpec product = good;
        change(product);
        EXPECT_THROW(writeCeosProduct(product), Error);
    };
    refuses([](ProductSpec& s) { s.params.Y = 12345; });                    // 4 characters
    refuses([](ProductSpec& s) { s.params.wavelength = std::nan(""); });
    refuses([](ProductSpec& s) { s.params.orbitPointCount = 51; });
    refuses([](ProductSpec& s) { s.params.pixel = 200000; });               // linebytes has 6 characters
    refuses([](ProductSpec& s) { s.level = 21; });
    refuses([](ProductSpec& s) { s.look = 'X'; });
    refuses([](ProductSpec& s) { s.levelSuffix = "A"; });
    refuses([](ProductSpec& s) { s.polarisations = {"XX"}; });
    refuses([](ProductSpec& s) { s.sceneId = "a/b"; });
    EXPECT_TRUE(std::filesystem::is_empty(dir()));
}

TEST(CeosFields, RealsUseTheShortestExactTextOrTheMostDigitsThatFit) {
    const ceos::FieldLayout f16{"f", 0, 16};
    EXPECT_EQ(ceos::formatReal(0.2290399, f16), "       0.2290399");
    EXPECT_EQ(ceos::formatReal(-6378137.125, f16), "    -6378137.125");
    const std::string third = ceos::formatReal(1.0 / 3.0, f16);
    EXPECT_EQ(third.size(), 16u);
    EXPECT_NEAR(cStrtod(third), 1.0 / 3.0, 1e-10);
    const std::string tiny = ceos::formatReal(-1.0 / 3.0 * 1e-300, f16);
    EXPECT_EQ(tiny.size(), 16u);
    EXPECT_NEAR(cStrtod(tiny) / (-1.0 / 3.0 * 1e-300), 1.0, 1e-8);
    EXPECT_THROW(ceos::formatReal(INFINITY, f16), Error);
    EXPECT_EQ(ceos::formatInteger(7, {"M", 0, 2}, true), "07");
    EXPECT_EQ(ceos::formatInteger(-12, {"n", 0, 4}), " -12");
    EXPECT_THROW(ceos::formatInteger(100, {"M", 0, 2}), Error);
}
