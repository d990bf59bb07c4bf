// The earth model and the orbit: GRS80 conversions against GeographicLib,
// the triangle angles against vector geometry, the closest-approach search
// against a dense scan, the natural spline, and the earth-radius table.
#include <gtest/gtest.h>

#include <GeographicLib/Geocentric.hpp>
#include <GeographicLib/Geodesic.hpp>

#include <array>
#include <cmath>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "geometry/earth_table.h"
#include "geometry/ellipsoid.h"
#include "geometry/orbit.h"
#include "sar_scene_fixture.h"
#include "geometry/spline.h"
#include "platform/error.h"
#include "platform/file.h"
#include "support/temp_dir.h"

using namespace tessarin;
using namespace tessarin::geometry;

namespace {

constexpr double kA = 6378137.0;
constexpr double kF = 1.0 / 298.257222101;

struct Grs80 {
    GeographicLib::Geocentric geocentric{kA, kF};
    GeographicLib::Geodesic geodesic{kA, kF};
    Ecef ecef(double lat, double lon) const {
        Ecef e;
        geocentric.Forward(lat, lon, 0.0, e.x_m, e.y_m, e.z_m);
        return e;
    }
    double distance_m(GeoPoint a, GeoPoint b) const {
        double s12 = 0.0;
        geodesic.Inverse(a.lat_deg, a.lon_deg, b.lat_deg, b.lon_deg, s12);
        return s12;
    }
};

}  // namespace

// ---------------------------------------------------------------- ellipsoid

TEST(EllipsoidTest, GroundPointsAgreeWithGeographicLibToTheNanometre) {
    const Grs80 oracle;
    double worstEcef_m = 0.0, worstBack_m = 0.0;
    for (int i = -180; i <= 180; ++i) {
        const double lat = i * 0.5;
        for (int k = -24; k <= 24; ++k) {
            const double lon = k * 7.5;
            const Ecef expected = oracle.ecef(lat, lon);
            const Ecef got = groundPointToEcef({lat, lon});
            worstEcef_m = std::max(worstEcef_m, norm(got - expected));
            if (std::fabs(lat) < 90.0) {
                // Back from GeographicLib's point; longitude is meaningless at the poles.
                const GeoPoint back = ecefToLatLon(expected);
                worstBack_m = std::max(worstBack_m, oracle.distance_m(back, {lat, lon}));
            }
        }
    }
    std::printf("[ figures  ] ground point -> ECEF: worst %.3g m; ECEF -> lat/lon: worst %.3g m\n", worstEcef_m,
                worstBack_m);
    EXPECT_LT(worstEcef_m, 1e-8);
    // asin(z / r) loses digits near the poles.
    EXPECT_LT(worstBack_m, 1e-6);
}

TEST(EllipsoidTest, GeocentricLatitudeAndRadiusAgreeWithGeographicLib) {
    const Grs80 oracle;
    double worstLat_m = 0.0, worstRadius_m = 0.0;
    for (int i = -900; i <= 900; ++i) {
        const double lat = i * 0.1;
        const Ecef e = oracle.ecef(lat, 17.0);
        const double radius = norm(e);
        const double latc = std::atan2(e.z_m, std::hypot(e.x_m, e.y_m)) * 180.0 / M_PI;
        const double gotLatc = geocentricLatitude_deg(lat);
        // An angle at the centre, as metres along the surface.
        worstLat_m = std::max(worstLat_m, std::fabs(gotLatc - latc) * M_PI / 180.0 * radius);
        worstRadius_m = std::max(worstRadius_m, std::fabs(ellipsoidRadius_m(gotLatc) - radius));
        EXPECT_NEAR(geodeticLatitude_deg(gotLatc), lat, 1e-12) << lat;
    }
    std::printf("[ figures  ] geocentric latitude: worst %.3g m; ellipsoid radius: worst %.3g m\n", worstLat_m,
                worstRadius_m);
    EXPECT_LT(worstLat_m, 1e-8);
    EXPECT_LT(worstRadius_m, 1e-8);
}

TEST(EllipsoidTest, EquatorAndPoles) {
    EXPECT_EQ(geocentricLatitude_deg(0.0), 0.0);
    EXPECT_EQ(ellipsoidRadius_m(0.0), 6378137.0);
    // The rounded right angle has a finite tangent: the poles still work.
    EXPECT_NEAR(geocentricLatitude_deg(90.0), 90.0, 1e-12);
    EXPECT_NEAR(geocentricLatitude_deg(-90.0), -90.0, 1e-12);
    EXPECT_NEAR(ellipsoidRadius_m(90.0), kA * (1.0 - kF), 1e-8);
    EXPECT_NEAR(ellipsoidRadius_m(-90.0), 6356752.314140, 1e-6);
    const Ecef pole = groundPointToEcef({90.0, 123.0});
    EXPECT_NEAR(pole.z_m, kA * (1.0 - kF), 1e-8);
    EXPECT_NEAR(std::hypot(pole.x_m, pole.y_m), 0.0, 1e-8);
    EXPECT_NEAR(ecefToLatLon({0.0, 0.0, kA * (1.0 - kF)}).lat_deg, 90.0, 1e-12);
}

// ---------------------------------------------------------------- triangle

TEST(TriangleTest, AnglesAgreeWithVectorGeometry) {
    // Satellite on the z axis, ground point on a sphere at an angle gamma
    // from it as seen from the centre.
    for (const double orbit : {6.9e6, 7.0e6, 7.2e6})
        for (const double gammaDeg : {0.5, 2.0, 5.0, 10.0, 15.0}) {
            const double radius = 6.37e6;
            const double gamma = gammaDeg * M_PI / 180.0;
            const Ecef sat{0.0, 0.0, orbit};
            const Ecef ground{radius * std::sin(gamma), 0.0, radius * std::cos(gamma)};
            const Ecef look = ground - sat;
            const double slant = norm(look);
            const double offNadir = std::acos(dot(look, -1.0 * sat) / (slant * orbit)) * 180.0 / M_PI;
            const double incidence = std::acos(dot(-1.0 * look, ground) / (slant * radius)) * 180.0 / M_PI;
            EXPECT_NEAR(offNadirAngle_deg(slant, radius, orbit), offNadir, 1e-9) << orbit << " " << gammaDeg;
            EXPECT_NEAR(incidenceAngle_deg(slant, radius, orbit), incidence, 1e-9) << orbit << " " << gammaDeg;
        }
}

TEST(TriangleTest, StraightLineGivesZeroNotNaN) {
    // Nadir: the three sides are collinear, and rounding may push the
    // half-angle formula just past it.
    const double orbit = 7.0e6, radius = 6378137.0 + 1e-9, slant = 7.0e6 - 6378137.0;
    EXPECT_EQ(offNadirAngle_deg(slant, radius, orbit), 0.0);
    EXPECT_NEAR(incidenceAngle_deg(slant, radius, orbit), 0.0, 1e-4);
    EXPECT_FALSE(std::isnan(incidenceAngle_deg(slant, radius + 1.0, orbit)));
}

// ---------------------------------------------------------------- orbit

namespace {

// The time of the smallest distance by scanning every millisecond and then
// every tenth of a microsecond around the best.
double denseMinimum(const SceneParameters& scene, Ecef point, double from_s, double to_s) {
    auto dist = [&](double t) { return norm(satelliteAt(scene, t).position - point); };
    double best = from_s;
    for (double t = from_s; t <= to_s; t += 1e-3)
        if (dist(t) < dist(best)) best = t;
    const double centre = best;
    for (double t = centre - 2e-3; t <= centre + 2e-3; t += 1e-7)
        if (dist(t) < dist(best)) best = t;
    return best;
}

}  // namespace

TEST(OrbitTest, PolynomialFollowsTheStateVectors) {
    const fixture::SarScene scene({});
    const SceneParameters& p = scene.params();
    // At the five window points the interpolating polynomial is exact to
    // the leader's millimetres; between them it follows the true orbit.
    for (const auto& sv : p.orbitWindow) {
        const SatellitePosition s = satelliteAt(p, sv.t);
        EXPECT_NEAR(norm(s.position - Ecef{sv.X, sv.Y, sv.Z}), 0.0, 1e-6);
    }
    double worst = 0.0;
    for (double dt = -60.0; dt <= 60.0; dt += 0.5) {
        const fixture::V3 truth = scene.setup().orbit.position(p.orbitRefTime + dt);
        const SatellitePosition s = satelliteAt(p, p.orbitRefTime + dt);
        worst = std::max(worst, norm(s.position - Ecef{truth.x, truth.y, truth.z}));
        EXPECT_NEAR(s.radius_m, norm(s.position), 1e-6);
    }
    std::printf("[ figures  ] orbit polynomial vs circular orbit within +-60 s: worst %.3g m\n", worst);
    EXPECT_LT(worst, 0.5);
}

TEST(OrbitTest, ClosestApproachMatchesDenseScanWithin1e4Seconds) {
    const fixture::SarScene scene({});
    const SceneParameters& p = scene.params();
    double worst = 0.0;
    for (const double offset : {-29.5, -20.0, -7.25, 0.0, 0.004, 3.3, 12.9, 29.5})
        for (const double pixel : {0.0, 2000.0, 4000.0}) {
            // A ground point whose closest approach lies offset seconds from orbitRefTime.
            const double line = (p.orbitRefTime + offset - scene.timeOfLine(0.0)) * p.prf;
            const fixture::V3 g = scene.ground(pixel, line);
            const Ecef point{g.x, g.y, g.z};
            const ClosestApproach a = closestApproach(p, point);
            ASSERT_TRUE(a.converged);
            const double expected = denseMinimum(p, point, p.orbitRefTime - 40.0, p.orbitRefTime + 40.0);
            worst = std::max(worst, std::fabs(a.time_s - expected));
            EXPECT_NEAR(a.time_s, expected, 1e-4) << offset << " " << pixel;
            EXPECT_NEAR(a.range_m, norm(satelliteAt(p, a.time_s).position - point), 1e-6);
            EXPECT_NEAR(a.orbitRadius_m, norm(a.satellite), 1e-6);
        }
    std::printf("[ figures  ] closest approach vs dense scan: worst %.3g s\n", worst);
}

TEST(OrbitTest, ClosestApproachGivesUpOnAnOrbitThatNeverTurns) {
    // An undecoded scene: every polynomial is zero, the distance never grows.
    SceneParameters empty;
    const ClosestApproach a = closestApproach(empty, {kA, 0.0, 0.0});
    EXPECT_FALSE(a.converged);
    SceneParameters broken = fixture::SarScene({}).params();
    broken.orbitPolyX[4] = std::nan("");
    EXPECT_FALSE(closestApproach(broken, {kA, 0.0, 0.0}).converged);
}

// ---------------------------------------------------------------- spline

namespace {

// The natural spline's second derivatives by plain Gaussian elimination of
// the full system, as an independent reference for c.
std::vector<double> naturalSplineC(const std::vector<double>& y) {
    constexpr std::size_t kMax = CSpline::kMaxNodes;
    if (y.size() < 2 || y.size() > kMax) return y;
    const std::size_t n = y.size() - 1;
    std::vector<std::array<double, kMax + 1>> m(kMax);  // rows of n + 1 unknowns and the right-hand side
    for (auto& row : m) row.fill(0.0);
    m[0][0] = 1.0;
    m[n][n] = 1.0;
    for (std::size_t i = 1; i < n; ++i) {
        m[i][i - 1] = 1.0, m[i][i] = 4.0, m[i][i + 1] = 1.0;
        m[i][kMax] = 3.0 * (y[i - 1] - 2.0 * y[i] + y[i + 1]);
    }
    for (std::size_t k = 0; k <= n; ++k)
        for (std::size_t i = k + 1; i <= n; ++i) {
            const double f = m[i][k] / m[k][k];
            for (std::size_t j = k; j <= kMax; ++j) m[i][j] -= f * m[k][j];
        }
    std::vector<double> c(y.size());
    for (std::size_t k = n + 1; k-- > 0;) {
        double s = m[k][kMax];
        for (std::size_t j = k + 1; j <= n; ++j) s -= m[k][j] * c[j];
        c[k] = s / m[k][k];
    }
    return c;
}

}  // namespace

TEST(CSplineTest, TwoNodesAreAStraightLine) {
    const std::vector<double> y{3.0, 7.5};
    const CSpline s(y);
    EXPECT_EQ(s.n, 1);
    EXPECT_EQ(s.b[0], 4.5);
    EXPECT_EQ(s.c[0], 0.0);
    EXPECT_EQ(s.d[0], 0.0);
    EXPECT_DOUBLE_EQ(s.value(0.25), 3.0 + 0.25 * 4.5);
}

TEST(CSplineTest, ThreeNodesByHand) {
    // c1 solves 4 c1 = 3 (0 - 2 + 0).
    const CSpline s(std::vector<double>{0.0, 1.0, 0.0});
    EXPECT_DOUBLE_EQ(s.c[1], -1.5);
    EXPECT_DOUBLE_EQ(s.b[0], 1.5);
    EXPECT_DOUBLE_EQ(s.d[0], -0.5);
    EXPECT_DOUBLE_EQ(s.value(0.5), 0.6875);
    EXPECT_DOUBLE_EQ(s.value(1.5), 0.6875);
}

TEST(CSplineTest, InterpolatesSmoothlyWithNaturalEnds) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> angle(20.0, 50.0);
    for (const std::size_t count : {3u, 4u, 17u, 101u}) {
        std::vector<double> y(count);
        for (double& v : y) v = angle(random);
        const CSpline s(y);
        const std::vector<double> c = naturalSplineC(y);
        for (std::size_t i = 0; i < count; ++i) {
            EXPECT_NEAR(s.c[i], c[i], 1e-9) << count << " " << i;
            EXPECT_DOUBLE_EQ(s.value(static_cast<double>(i)), y[i]);
        }
        // First and second derivatives agree across every inner node.
        for (std::size_t k = 1; k + 1 < count; ++k) {
            const double slopeLeft = s.b[k - 1] + 2 * s.c[k - 1] + 3 * s.d[k - 1];
            const double curveLeft = 2 * s.c[k - 1] + 6 * s.d[k - 1];
            EXPECT_NEAR(slopeLeft, s.b[k], 1e-9);
            EXPECT_NEAR(curveLeft, 2 * s.c[k], 1e-9);
        }
        const std::size_t last = count - 2;
        EXPECT_EQ(s.c[0], 0.0);
        EXPECT_NEAR(2 * s.c[last] + 6 * s.d[last], 0.0, 1e-9);
    }
}

TEST(CSplineTest, ReproducesStraightLinesAndExtendsTheEndSegments) {
    std::vector<double> y(11);
    for (std::size_t i = 0; i < y.size(); ++i) y[i] = 30.0 + 0.5 * static_cast<double>(i);
    const CSpline s(y);
    for (double x = -2.0; x <= 12.0; x += 0.37) EXPECT_NEAR(s.value(x), 30.0 + 0.5 * x, 1e-12) << x;
    EXPECT_TRUE(std::isnan(s.value(std::nan(""))));
}

TEST(CSplineTest, RefusesTablesItCannotHold) {
    EXPECT_THROW(CSpline(std::vector<double>(102, 1.0)), Error);
    EXPECT_THROW(CSpline(std::vector<double>{}), Error);
    EXPECT_NO_THROW(CSpline(std::vector<double>(101, 1.0)));
    const CSpline one(std::vector<double>{4.0});
    EXPECT_EQ(one.n, 0);
    EXPECT_EQ(one.value(0.0), 4.0);
    EXPECT_EQ(one.value(3.0), 4.0);
}

// ---------------------------------------------------------------- earth table

class EarthTableTest : public tessarin::testing::TempDirTest {};

TEST_F(EarthTableTest, EveryTenthOfADegreeFromPoleToPole) {
    const std::string text = earthRadiusTableText();
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "latgd(deg), latgc(deg), re(meter)");
    const Grs80 oracle;
    int count = 0;
    double worstLat_deg = 0.0, worstRadius_m = 0.0;
    std::vector<std::string> lines;
    while (std::getline(in, line)) {
        lines.push_back(line);
        double latg = 0, latc = 0, radius = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "%lf,%lf, %lf", &latg, &latc, &radius), 3) << line;
        EXPECT_NEAR(latg, 90.0 - count / 10.0, 1e-9);
        const Ecef e = oracle.ecef(latg, 0.0);
        worstLat_deg = std::max(worstLat_deg, std::fabs(latc - std::atan2(e.z_m, e.x_m) * 180.0 / M_PI));
        worstRadius_m = std::max(worstRadius_m, std::fabs(radius - norm(e)));
        ++count;
    }
    EXPECT_EQ(count, 1801);
    EXPECT_LT(worstLat_deg, 1e-11);
    EXPECT_LT(worstRadius_m, 1e-8);
    ASSERT_EQ(lines.size(), 1801u);
    // The first line is the pole itself, and it is printed.
    EXPECT_EQ(lines.front().substr(0, 36), "90.0,90.000000000000, 6356752.314140");
    EXPECT_EQ(lines[900], "0.0,0.000000000000, 6378137.000000000000");
    EXPECT_EQ(lines.back().substr(0, 38), "-90.0,-90.000000000000, 6356752.314140");
    EXPECT_EQ(text.back(), '\n');
}

TEST_F(EarthTableTest, WritesTheFileWholeOrSaysWhy) {
    const std::string path = this->path(kEarthRadiusTableName);
    writeEarthRadiusTable(path);
    const auto bytes = readWholeFile(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), earthRadiusTableText());

    const std::string unwritable = this->path("missing-folder/ReEarthTable.csv");
    try {
        writeEarthRadiusTable(unwritable);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("missing-folder"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(fileExists(unwritable));
}
