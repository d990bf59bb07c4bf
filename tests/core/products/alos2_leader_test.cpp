// Leader decoding: names, the field values of real products, the orbit
// window and polynomials, record walking, and refused leaders.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>

#include "platform/bytes.h"
#include "platform/error.h"
#include "products/alos2.h"
#include "products/ceos_fields.h"
#include "products/ceos_writer.h"
#include "support/product_fixture.h"
#include "support/refusal.h"
#include "support/temp_dir.h"

using namespace tessarin;
using namespace tessarin::products;
using namespace tessarin::testing;
namespace pf = tessarin::products::ceos::platform;
using ::testing::HasSubstr;

namespace {

using LeaderTest = TempDirTest;

const std::string kImage11 = "/data/scene/IMG-HH-ALOS2011502960-140724-UBSR1.1__A";
const std::string kImage15 = "/d/IMG-HH-ALOS2011502960-140724-UBSR1.5__D";

std::size_t start(ceos::LeaderRecord r, int level) { return static_cast<std::size_t>(ceos::fixedRecordStart(r, level)); }

// Decodes leader bytes as the leader of an image of the given level.
Alos2 decodeLeader(const std::vector<std::uint8_t>& leader, int level) {
    Alos2 a;
    a.setImagePath(level == kLevel11 ? kImage11 : kImage15);
    a.DecodeLeaderBytes(leader, "LED-test");
    return a;
}

}  // namespace

TEST(Alos2Names, LevelLeaderAndLookComeFromTheImageName) {
    EXPECT_EQ(productLevelOf("IMG-HH-ALOS2011502960-140724-UBSR1.5__D"), kLevel15);
    EXPECT_EQ(productLevelOf(kImage11), kLevel11);
    EXPECT_EQ(productLevelOf("IMG-HH-ALOS2011502960-140724-UBSR2.1__G"), kLevelOther);
    EXPECT_EQ(productLevelOf("1.1"), kLevelOther);

    Alos2 a;
    a.setImagePath(kImage11 + "tile.cpx");
    EXPECT_EQ(a.imagePath(), kImage11);
    EXPECT_EQ(a.productLevel(), kLevel11);
    EXPECT_EQ(a.leaderPath(), "/data/scene/LED-ALOS2011502960-140724-UBSR1.1__A");
    a.setImagePath("IMG-VV-ALOS2011502960-140724-UBSR1.5__D");
    EXPECT_EQ(a.leaderPath(), "LED-ALOS2011502960-140724-UBSR1.5__D");
    EXPECT_EQ(a.productLevel(), kLevel15);

    a.setLookDirection("IMG-HH-ALOS2011502960-140724-UBSL1.1__A");
    EXPECT_EQ(a.pointingLeft(), 1);
    a.setLookDirection("IMG-HH-ALOS2011502960-140724-UBSX1.1__A");  // unknown flag: unchanged
    EXPECT_EQ(a.pointingLeft(), 1);
    a.setLookDirection(kImage11);
    EXPECT_EQ(a.pointingLeft(), 0);
    a.setLookDirection("short");
    EXPECT_EQ(a.pointingLeft(), 0);
}

TEST_F(LeaderTest, FieldValuesOfRealProducts) {
    // Texts as products hold them, written straight into the records.
    for (const int level : {kLevel11, kLevel15}) {
        SCOPED_TRACE(level);
        auto leader = encodeLeader(plausibleProduct(dir(), {.level = level}));
        const std::size_t dss = start(ceos::LeaderRecord::DataSetSummary, level);
        patchField(leader, dss, ceos::dss::H, "03");
        patchField(leader, dss, ceos::dss::Min, "12");
        patchField(leader, dss, ceos::dss::SecMillis, "34567");
        patchField(leader, dss, ceos::dss::prfMilliHz, "2000000.000");
        patchField(leader, start(ceos::LeaderRecord::Radiometric, level), ceos::radiometric::calib, "-83.0");
        const SceneParameters p = decodeLeader(leader, level).params();
        EXPECT_EQ(p.Sec, 34.567);
        EXPECT_DOUBLE_EQ(p.scsecofday, 11554.567);
        EXPECT_EQ(p.prf, 2000.0);
        EXPECT_EQ(p.calib, level == kLevel11 ? -115.0 : -83.0);
    }
}

TEST_F(LeaderTest, FieldsParseAsTheCLibraryDoesBetweenBlanks) {
    auto leader = encodeLeader(plausibleProduct(dir(), {.level = kLevel11}));
    const std::size_t dss = start(ceos::LeaderRecord::DataSetSummary, kLevel11);
    std::string name;
    patchField(leader, dss, ceos::nthField(ceos::dss::inccoef, 0, ceos::dss::kInccoefStep, name), "not a number");
    patchField(leader, dss, ceos::dss::linsz, "2.5e0xyz");
    for (std::size_t i = 0; i < 15; ++i) leader.at(dss + ceos::dss::pixsz.offset + i) = '0';  // full to its edges
    leader.at(dss + ceos::dss::pixsz.offset + 15) = '7';
    leader.at(dss + ceos::dss::ctrlat.offset + 15) = '\0';  // text ends early
    patchField(leader, dss, ceos::dss::ctrlon, "");
    const SceneParameters p = decodeLeader(leader, kLevel11).params();
    EXPECT_EQ(p.inccoef[0], 0.0);
    EXPECT_EQ(p.linsz, 2.5);
    EXPECT_EQ(p.pixsz, 7.0);
    EXPECT_EQ(p.ctrlat, 35.681);
    EXPECT_EQ(p.ctrlon, 0.0);
}

TEST_F(LeaderTest, WindowAroundTheNearestStateVector) {
    struct Case {
        int H, Min;
        const char* sec;
        double refTime;
        std::size_t first;  // first point of the window
    };
    // 28 points every 60 s from 10800 s.
    const Case cases[] = {
        {3, 15, "00000", 11700.0, 13},  // nearest is point 15
        {3, 15, "30000", 11700.0, 13},  // 11730 s: points 15 and 16 equally near, the earlier wins
        {3, 15, "30001", 11760.0, 14},
        {3, 2, "00000", 10920.0, 0},    // point 2: just two before it
        {3, 25, "00000", 12300.0, 23},  // point 25: just two after it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.refTime);
        auto leader = encodeLeader(plausibleProduct(dir(), {.level = kLevel11}));
        const std::size_t dss = start(ceos::LeaderRecord::DataSetSummary, kLevel11);
        patchField(leader, dss, ceos::dss::H, std::to_string(c.H));
        patchField(leader, dss, ceos::dss::Min, std::to_string(c.Min));
        patchField(leader, dss, ceos::dss::SecMillis, c.sec);
        const SceneParameters p = decodeLeader(leader, kLevel11).params();
        EXPECT_EQ(p.orbitRefTime, c.refTime);
        const SceneParameters in = plausibleScene();
        for (std::size_t m = 0; m < kOrbitWindowPoints; ++m) {
            EXPECT_EQ(p.orbitWindow[m].t, 10800.0 + 60.0 * static_cast<double>(c.first + m));
            EXPECT_EQ(p.orbitWindow[m].X, in.stateVectors[c.first + m].X);
            EXPECT_EQ(p.orbitWindow[m].VZ, in.stateVectors[c.first + m].VZ);
        }
    }
}

// A position that is an exact degree-4 polynomial of time is recovered
// coefficient by coefficient by the five-point fit.
TEST_F(LeaderTest, OrbitPolynomialsRecoverAPolynomialOrbit) {
    ProductSpec product = plausibleProduct(dir(), {.level = kLevel11});
    SceneParameters& p = product.params;
    p.H = 3, p.Min = 15, p.Sec = 0.0;  // nearest point 15, t = 11700 s
    const double cx[5] = {2.5e-6, -1.25e-3, 0.5, 7500.0, 1.5e6};  // c4 .. c0
    const double cy[5] = {-1e-6, 2e-4, -0.75, -250.0, -6.5e6};
    const double cz[5] = {0.0, 0.0, 3.0, 1.0, 2.0e6};
    auto poly = [](const double* c, double d) { return c[0] * d * d * d * d + c[1] * d * d * d + c[2] * d * d + c[3] * d + c[4]; };
    for (int i = 0; i < p.orbitPointCount; ++i) {
        const double d = 60.0 * (i - 15);
        p.stateVectors[static_cast<std::size_t>(i)].X = poly(cx, d);
        p.stateVectors[static_cast<std::size_t>(i)].Y = poly(cy, d);
        p.stateVectors[static_cast<std::size_t>(i)].Z = poly(cz, d);
    }
    Alos2 a = decodedProduct(writeCeosProduct(product));
    const SceneParameters& q = a.params();
    EXPECT_EQ(q.orbitRefTime, 11700.0);
    for (std::size_t k = 0; k < 5; ++k) {
        SCOPED_TRACE(k);
        const double scale = std::pow(120.0, static_cast<double>(4 - k));  // a term's size at d = 2 intervals
        EXPECT_NEAR(q.orbitPolyX[k] * scale, cx[k] * scale, 1e-6);
        EXPECT_NEAR(q.orbitPolyY[k] * scale, cy[k] * scale, 1e-6);
        EXPECT_NEAR(q.orbitPolyZ[k] * scale, cz[k] * scale, 1e-6);
    }
    const OrbitPosition o = a.orbitPosition(11700.0 + 37.5);
    EXPECT_NEAR(o.x_m, poly(cx, 37.5), 1e-6);
    EXPECT_NEAR(o.y_m, poly(cy, 37.5), 1e-6);
    EXPECT_NEAR(o.z_m, poly(cz, 37.5), 1e-6);
    EXPECT_NEAR(o.radius_m, std::sqrt(o.x_m * o.x_m + o.y_m * o.y_m + o.z_m * o.z_m), 1e-6);
}

// On the circular orbit of the fixture the fit passes through the window's
// state vectors and between them stays within the interpolation error bound
// max|f^(5)| / 5! * |prod (t - t_i)|, with |f^(5)| <= r omega^5.
TEST_F(LeaderTest, OrbitPolynomialsFollowACircularOrbit) {
    Alos2 a = decodedProduct(writeCeosProduct(plausibleProduct(dir(), {.level = kLevel15})));
    const SceneParameters& p = a.params();
    for (const StateVector& s : p.orbitWindow) {
        const OrbitPosition o = a.orbitPosition(s.t);
        EXPECT_NEAR(o.x_m, s.X, 1e-6);
        EXPECT_NEAR(o.y_m, s.Y, 1e-6);
        EXPECT_NEAR(o.z_m, s.Z, 1e-6);
    }
    const double r = 7.0e6, omega = 1.08e-3, inclination = 1.7;
    for (double d = -120.0; d <= 120.0; d += 7.5) {
        const double t = p.orbitRefTime + d;
        const double u = omega * (t - 10800.0);
        const OrbitPosition o = a.orbitPosition(t);
        double nodes = 1.0;
        for (int m = -2; m <= 2; ++m) nodes *= std::fabs(d - 60.0 * m);
        const double bound = r * std::pow(omega, 5) / 120.0 * nodes + 2e-3;  // + the millimetre rounding
        EXPECT_NEAR(o.x_m, r * std::cos(u), bound) << d;
        EXPECT_NEAR(o.y_m, r * std::sin(u) * std::cos(inclination), bound) << d;
        EXPECT_NEAR(o.z_m, r * std::sin(u) * std::sin(inclination), bound) << d;
    }
}

TEST(Alos2Mapping, PolynomialTermsPairCoefficientsWithPowers) {
    SceneParameters p;
    p.plRefPixel = 100.0, p.plRefLine = 200.0;  // P = 2, L = 3 below
    p.llRefLat = 35.0, p.llRefLon = 139.0;      // A = 0.5, O = -0.25 below
    // pl2lat[5i + j] multiplies P^(4-i) L^(4-j).
    struct Term {
        std::size_t index;
        double P_L, A_O;  // the term's value with a coefficient of 1
    };
    const Term terms[] = {{24, 1.0, 1.0},           {23, 3.0, -0.25},        {19, 2.0, 0.5},
                          {0, 16.0 * 81.0, 0.0625 * 0.00390625}, {7, 8.0 * 9.0, 0.125 * 0.0625}};
    for (const Term& t : terms) {
        SCOPED_TRACE(t.index);
        p.pl2lat = {}, p.pl2lon = {}, p.ll2pix = {}, p.ll2lin = {};
        p.pl2lat[t.index] = 1.0, p.pl2lon[t.index] = -2.0, p.ll2pix[t.index] = 4.0, p.ll2lin[t.index] = 0.5;
        const GeoPoint g = latLonOfPixelLine(p, {102.0, 203.0});
        EXPECT_DOUBLE_EQ(g.lat_deg, t.P_L);
        EXPECT_DOUBLE_EQ(g.lon_deg, -2.0 * t.P_L);
        const ScenePoint s = pixelLineOfLatLon(p, {35.5, 138.75});
        EXPECT_DOUBLE_EQ(s.pixel, 4.0 * t.A_O);
        EXPECT_DOUBLE_EQ(s.line, 0.5 * t.A_O);
    }
}

TEST_F(LeaderTest, LengthenedRecordsAreFoundByTheirHeaders) {
    const SceneParameters reference =
        decodeLeader(encodeLeader(plausibleProduct(dir(), {.level = kLevel11})), kLevel11).params();
    for (const auto record : {ceos::LeaderRecord::DataSetSummary, ceos::LeaderRecord::Attitude,
                              ceos::LeaderRecord::Facility2, ceos::LeaderRecord::Facility5}) {
        for (const int level : {kLevel11, kLevel15}) {
            SCOPED_TRACE(static_cast<int>(record) * 100 + level);
            ProductSpec product = plausibleProduct(dir(), {.level = level});
            product.recordPadding[static_cast<std::size_t>(record)] = 1000;
            const SceneParameters p = decodeLeader(encodeLeader(product), level).params();
            EXPECT_EQ(p.wavelength, reference.wavelength);
            EXPECT_EQ(p.orbitPolyX, reference.orbitPolyX);
            EXPECT_EQ(p.ll2lin, reference.ll2lin);
            EXPECT_EQ(p.llRefLon, reference.llRefLon);
            EXPECT_EQ(p.calib, -83.0);
        }
    }
    // More state vectors than the standard record holds: the writer lengthens it.
    ProductSpec many = plausibleProduct(dir(), {.level = kLevel11});
    many.params.orbitPointCount = 50;
    for (std::size_t i = 28; i < 50; ++i) many.params.stateVectors[i] = many.params.stateVectors[i - 28];
    const SceneParameters p = decodeLeader(encodeLeader(many), kLevel11).params();
    EXPECT_EQ(p.orbitPointCount, 50);
    EXPECT_EQ(p.stateVectors[49].X, many.params.stateVectors[49].X);
    EXPECT_EQ(p.stateVectors[49].t, 10800.0 + 49 * 60.0);
}

TEST_F(LeaderTest, TheRecordMapFollowsTheLevelOfTheName) {
    // A level 2.1 name reads the level 1.5 map (a level 1.1 leader under a
    // level 1.5 name is among the refused leaders).
    const WrittenProduct w = writeCeosProduct(plausibleProduct(dir(), {.level = kLevel15}));
    const std::string renamed = dir() + "/IMG-HH-ALOS2011502960-140724-UBSR2.1__G";
    std::filesystem::rename(w.leaderPath, dir() + "/LED-ALOS2011502960-140724-UBSR2.1__G");
    Alos2 a;
    a.setImagePath(renamed);
    EXPECT_EQ(a.productLevel(), kLevelOther);
    ASSERT_TRUE(a.DecodeLeaderFile());
    EXPECT_EQ(a.params().calib, -83.0);
    EXPECT_EQ(a.params().llRefLat, 35.5);
}

TEST_F(LeaderTest, RefusedLeadersLeaveTheParametersAsTheyWere) {
    const auto good = encodeLeader(plausibleProduct(dir(), {.level = kLevel11}));
    const std::size_t platform = start(ceos::LeaderRecord::PlatformPosition, kLevel11);
    const std::size_t dss = start(ceos::LeaderRecord::DataSetSummary, kLevel11);
    struct Case {
        const char* what;
        std::function<void(std::vector<std::uint8_t>&)> damage;
        const char* message;  // part of the error text
        int level = kLevel11;  // of the name it is read under
    };
    const Case cases[] = {
        // The platform record lies where the level 1.5 map has the map projection record.
        {"a level 1.1 leader under a level 1.5 name", [](auto&) {}, "map projection", kLevel15},
        {"cut inside the last record", [](auto& d) { d.resize(d.size() - 10); }, "facility related data 5"},
        {"cut before a header", [](auto& d) { d.resize(9496 + 6); }, "ends at byte 9502, before the attitude data"},
        {"empty", [](auto& d) { d.clear(); }, "leader file descriptor"},
        {"51 state vectors", [&](auto& d) { patchField(d, platform, pf::pointCount, "51"); }, "51 state vectors"},
        {"negative count", [&](auto& d) { patchField(d, platform, pf::pointCount, "-1"); }, "-1 state vectors"},
        {"40 vectors in a 32-vector record", [&](auto& d) { patchField(d, platform, pf::pointCount, "40"); },
         "too few for the field state vector 32"},
        {"centre near the first point", [&](auto& d) { patchField(d, dss, ceos::dss::Min, "00"); }, "vector 1 of 28"},
        {"centre near the last point", [&](auto& d) { patchField(d, dss, ceos::dss::H, "04"); }, "vector 27 of 28"},
        {"orbit start past the end of a day", [&](auto& d) { patchField(d, platform, pf::firstTime, "1e9"); },
         "orbitFirstTime (offset 4976) holds \"1e9\""},
        {"centre latitude not a number", [&](auto& d) { patchField(d, dss, ceos::dss::ctrlat, "nan"); },
         "ctrlat (offset 836) holds \"nan\""},
        {"centre longitude beyond a double", [&](auto& d) { patchField(d, dss, ceos::dss::ctrlon, "1e999"); },
         "holds \"1e999\""},
        {"pixel spacing of 0", [&](auto& d) { patchField(d, dss, ceos::dss::pixsz, "0"); }, "pixsz"},
        {"wavelength in hexadecimal", [&](auto& d) { patchField(d, dss, ceos::dss::wavelength, "0x1p+1023"); },
         "wavelength"},
        {"PRF of 0.5 Hz", [&](auto& d) { patchField(d, dss, ceos::dss::prfMilliHz, "500"); }, "prf"},
        {"scene centre time past a day", [&](auto& d) { patchField(d, dss, ceos::dss::H, "25"); }, "s of the day"},
        {"state vector inside the earth",
         [&](auto& d) {
             for (std::size_t j = 0; j < 3; ++j)
                 patchField(d, platform, {"V", pf::kVectorsOffset + pf::kVectorBytes * 3 + pf::kComponentWidth * j,
                                          pf::kComponentWidth},
                            "1000");
         },
         "state vector 3 lies"},
        {"four points", [&](auto& d) { patchField(d, platform, pf::pointCount, "4"); },
         "two state vectors on either side"},
        {"record length shorter than its header", [&](auto& d) { store<std::uint32_t>(d, dss + 8, 8, ByteOrder::Big); },
         "shorter than its header"},
        {"record length beyond the file",
         [&](auto& d) { store<std::uint32_t>(d, dss + 8, 0x7FFFFFFF, ByteOrder::Big); }, "the file ends at byte"},
        {"a record missing", [&](auto& d) { d.erase(d.begin() + 25880, d.begin() + 35740); }, "radiometric data"},
        {"lengthened record too short for its fields",
         [&](auto& d) {
             // The data set summary claims 1000 bytes; the following records are then
             // out of step, so shorten the whole thing consistently instead.
             d.erase(d.begin() + static_cast<long>(dss + 1000), d.begin() + static_cast<long>(dss + 4096));
             store<std::uint32_t>(d, dss + 8, 1000, ByteOrder::Big);
         },
         "too few for the field"},
        {"infinite state vector",
         [&](auto& d) {
             patchField(d, platform, {"X", pf::kVectorsOffset + pf::kVectorBytes * 14, pf::kComponentWidth}, "inf");
         },
         "holds \"inf\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Alos2 a;
        a.setImagePath(c.level == kLevel11 ? kImage11 : kImage15);
        a.DecodeLeaderBytes(encodeLeader(plausibleProduct(dir(), {.level = c.level, .pixels = 9, .lines = 9})),
                            "first");
        const SceneParameters before = a.params();
        auto bad = good;
        c.damage(bad);
        const std::string message = refusalOf([&] { a.DecodeLeaderBytes(bad, "LED-bad"); });
        EXPECT_THAT(message, HasSubstr(c.message));
        EXPECT_THAT(message, HasSubstr("LED-bad"));
        EXPECT_TRUE(before == a.params());
    }
}

TEST_F(LeaderTest, AMissingLeaderDecodesNothingQuietly) {
    Alos2 a;
    a.setImagePath(dir() + "/IMG-HH-ALOS2011502960-140724-UBSR1.1__A");
    a.params().calib = -7.5;
    EXPECT_FALSE(a.DecodeLeaderFile());
    EXPECT_EQ(a.params().calib, -7.5);
    EXPECT_FALSE(a.DecodeImageFileDescriptor(dir() + "/nothing"));
    EXPECT_EQ(a.params().fileheader, 0);
    // A folder where the leader should be is no more readable than nothing.
    std::filesystem::create_directory(a.leaderPath());
    EXPECT_FALSE(a.DecodeLeaderFile());
    EXPECT_EQ(a.params().calib, -7.5);
}

TEST_F(LeaderTest, CopiesDecodeAndReadOnTheirOwn) {
    Alos2 a = decodedProduct(writeCeosProduct(plausibleProduct(dir(), {.level = kLevel15, .pixels = 3, .lines = 2})));
    std::vector<std::uint16_t> v(3);
    ASSERT_TRUE(a.readAmplitudeLine(1, v));
    Alos2 b = a;
    EXPECT_EQ(b.leaderPath(), a.leaderPath());
    EXPECT_EQ(b.productLevel(), kLevel15);
    EXPECT_TRUE(b.params() == a.params());
    b.params().line = 1;
    EXPECT_FALSE(b.readAmplitudeLine(1, v));
    EXPECT_TRUE(a.readAmplitudeLine(1, v));
}
