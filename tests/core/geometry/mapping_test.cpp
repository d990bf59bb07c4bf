// Image-to-ground mapping on a scene of known geometry (sar_scene_fixture.h):
// the look plane, the ray to the ground against a closed-form ellipsoid
// intersection, pixel times and ranges, the incidence profile, the scene
// geometry at open and the satellite-to-ground mapping table.
#include <gtest/gtest.h>

#include <GeographicLib/Geodesic.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>

#include "geometry/mapping.h"
#include "geometry/mapping_table.h"
#include "geometry/ortho_matrix.h"
#include "geometry/scene_geometry.h"
#include "platform/error.h"
#include "platform/ui.h"
#include "sar_scene_fixture.h"

using namespace tessarin;
using namespace tessarin::geometry;
using fixture::V3;

namespace {

constexpr double kDeg = 180.0 / M_PI;

Ecef toEcef(V3 v) { return {v.x, v.y, v.z}; }
V3 toV3(Ecef e) { return {e.x_m, e.y_m, e.z_m}; }

double metresBetween(GeoPoint a, GeoPoint b) {
    static const GeographicLib::Geodesic grs80(6378137.0, 1.0 / 298.257222101);
    double s12 = 0.0;
    grs80.Inverse(a.lat_deg, a.lon_deg, b.lat_deg, b.lon_deg, s12);
    return s12;
}

// Angle between two vectors (degrees).
double angleBetween(V3 a, V3 b) {
    return std::acos(std::clamp(fixture::dot3(a, b) / (fixture::len3(a) * fixture::len3(b)), -1.0, 1.0)) * kDeg;
}

// The look ray of the table: from the satellite towards the aim point in
// the plane through the earth's centre perpendicular to it.
V3 rayDirection(V3 sat, V3 planePoint, double offNadir_deg) {
    const double t = std::tan(offNadir_deg / kDeg);
    const V3 aim = (fixture::len3(sat) * t) * fixture::unit3(planePoint);
    return fixture::unit3(aim - sat);
}

// One scene shared by the tests of this file (building it fits four
// polynomials and writes and reads a leader).
const fixture::SarScene& scene() {
    static const auto s = std::make_unique<fixture::SarScene>(fixture::SarSceneSpec{});
    return *s;
}

}  // namespace

TEST(SceneFixtureTest, PolynomialsFollowTheGeometry) {
    std::printf("[ figures  ] fitted polynomials vs geometry: %.3g deg, %.3g pixels/lines\n",
                scene().fitErrorLatLon_deg, scene().fitErrorPixelLine);
    EXPECT_LT(scene().fitErrorLatLon_deg, 1e-6);  // about 10 cm, at the corners of the fit area
    EXPECT_LT(scene().fitErrorPixelLine, 0.01);
}

// ---------------------------------------------------------------- look plane and ray

TEST(LookPlaneTest, PlanePointLiesOnTheLookRayPerpendicularToTheSatellite) {
    const SceneParameters& p = scene().params();
    const GeoPoint centre{p.ctrlat, p.ctrlon};
    const LookPlane plane = lookPlaneAt(p, p.scsecofday, centre);
    const V3 s = toV3(satelliteAt(p, p.scsecofday).position);
    const V3 g = toV3(groundPointToEcef(centre));
    EXPECT_NEAR(fixture::len3(toV3(plane.satellite) - s), 0.0, 1e-9);
    EXPECT_NEAR(plane.slantRange_m, fixture::len3(g - s), 1e-6);
    EXPECT_NEAR(plane.offNadir_deg, angleBetween(g - s, -1.0 * s), 1e-9);
    const V3 d = toV3(plane.planePoint);
    EXPECT_NEAR(fixture::dot3(d, s) / (fixture::len3(d) * fixture::len3(s)), 0.0, 1e-12);
    EXPECT_NEAR(angleBetween(d - s, g - s), 0.0, 1e-6);
    // The centre of this scene is seen about 33 degrees off nadir.
    EXPECT_GT(plane.offNadir_deg, 25.0);
    EXPECT_LT(plane.offNadir_deg, 45.0);
}

TEST(RayToGroundTest, AgreesWithTheClosedFormIntersection) {
    const SceneParameters& p = scene().params();
    const LookPlane plane = lookPlaneAt(p, p.scsecofday, {p.ctrlat, p.ctrlon});
    double worstRange_m = 0.0, worstGround_m = 0.0;
    for (const double dt : {-30.0, -5.0, 0.0, 12.5})
        for (const double theta : {15.0, 25.0, 33.3, 40.0, 50.0, 60.0}) {
            const V3 s = toV3(satelliteAt(p, p.scsecofday + dt).position);
            const V3 dir = rayDirection(s, toV3(plane.planePoint), theta);
            const double range = fixture::rayEllipsoidRange(s, dir);
            ASSERT_GT(range, 0.0);
            const RayGround ray = rayToGround(toEcef(s), plane.planePoint, theta);
            ASSERT_TRUE(ray.converged);
            const GeoPoint truth = fixture::surfaceLatLon(s + range * dir);
            worstRange_m = std::max(worstRange_m, std::fabs(ray.slantRange_m - range));
            worstGround_m = std::max(worstGround_m, metresBetween(ray.geodetic(), truth));
        }
    std::printf("[ figures  ] ray to ground vs closed form: range %.3g m, ground point %.3g m\n", worstRange_m,
                worstGround_m);
    EXPECT_LT(worstRange_m, 0.4);
    EXPECT_LT(worstGround_m, 0.5);
}

TEST(RayToGroundTest, MissingTheEarthEndsTheSearch) {
    const SceneParameters& p = scene().params();
    const LookPlane plane = lookPlaneAt(p, p.scsecofday, {p.ctrlat, p.ctrlon});
    // From 7000 km the limb lies at asin(6378/7000), about 65.7 degrees.
    EXPECT_FALSE(rayToGround(plane.satellite, plane.planePoint, 70.0).converged);
    EXPECT_FALSE(rayToGround(plane.satellite, plane.planePoint, std::nan("")).converged);
    EXPECT_FALSE(rayToGround({}, {}, 30.0).converged);
    EXPECT_TRUE(rayToGround(plane.satellite, plane.planePoint, 64.0).converged);
}

// ---------------------------------------------------------------- pixel time, profile

TEST(PixelTimeTest, TimeAndRangeOfImagePositionsMatchTheGeometry) {
    const SceneParameters& p = scene().params();
    double worstTime_s = 0.0, worstRange_m = 0.0;
    for (const double pixel : {0.0, 1234.5, 4000.0})
        for (const double line : {0.0, 2500.0, 4000.0, 8000.0}) {
            const ClosestApproach a = pixelTimeAndRange(p, {pixel, line});
            ASSERT_TRUE(a.converged);
            worstTime_s = std::max(worstTime_s, std::fabs(a.time_s - scene().timeOfLine(line)));
            worstRange_m = std::max(worstRange_m, std::fabs(a.range_m - scene().rangeOfPixel(pixel)));
            const V3 truth = scene().setup().orbit.position(a.time_s);
            EXPECT_NEAR(a.orbitRadius_m, fixture::len3(truth), 0.5);
            EXPECT_NEAR(fixture::len3(toV3(a.satellite) - truth), 0.0, 0.5);
        }
    std::printf("[ figures  ] pixel time vs geometry: %.3g s; slant range: %.3g m\n", worstTime_s, worstRange_m);
    EXPECT_LT(worstTime_s, 1.5e-4);
    EXPECT_LT(worstRange_m, 0.05);
}

TEST(IncidenceProfileTest, FollowsTheGeometryAlongTheFramesMiddleLine) {
    const SceneParameters& p = scene().params();
    const int x = 512, line = 3000, width = 2048, height = 2048, step = 128;
    const std::vector<double> profile = incidenceProfile(p, x, line, width, height, step);
    ASSERT_EQ(profile.size(), 17u);
    const double middle = line + height / 2;
    const V3 s = scene().setup().orbit.position(scene().timeOfLine(middle));
    double worst = 0.0;
    for (std::size_t m = 0; m < profile.size(); ++m) {
        const V3 g = scene().ground(x + static_cast<double>(m) * step, middle);
        const double truth = angleBetween(s - g, g);  // from the local radius, as the triangle has it
        worst = std::max(worst, std::fabs(profile[m] - truth));
    }
    std::printf("[ figures  ] incidence profile vs geometry: %.3g deg\n", worst);
    EXPECT_LT(worst, 1e-4);
    EXPECT_GT(profile.back(), profile.front());  // farther out, more oblique
    EXPECT_THROW(incidenceProfile(p, x, line, width, height, 0), Error);
    EXPECT_EQ(incidenceProfile(p, x, line, 0, height, 128).size(), 1u);
}

// ---------------------------------------------------------------- scene geometry

TEST(SceneGeometryTest, OffNadirExtentTimeSpanAndImageCentre) {
    const SceneParameters& p = scene().params();
    const SceneGeometry g = sceneGeometry(p);
    const V3 s = scene().setup().orbit.position(p.scsecofday);
    const double nearAngle = angleBetween(scene().ground(-0.2 * p.pixel, 0.5 * p.line) - s, -1.0 * s);
    const double farAngle = angleBetween(scene().ground(1.2 * p.pixel, 0.5 * p.line) - s, -1.0 * s);
    EXPECT_NEAR(g.offNadirMin_deg, nearAngle, 1e-5);
    EXPECT_NEAR(g.offNadirMax_deg, farAngle, 1e-5);
    // 8000 lines at 2000 Hz: the image starts two seconds before its centre.
    std::printf("[ figures  ] half span %d s, off-nadir %.4f .. %.4f deg\n", g.halfSpan_s, g.offNadirMin_deg,
                g.offNadirMax_deg);
    EXPECT_GE(g.halfSpan_s, 1);
    EXPECT_LE(g.halfSpan_s, 3);
    EXPECT_EQ(g.startTime_s, p.scsecofday - g.halfSpan_s - 5);
    EXPECT_EQ(g.endTime_s, p.scsecofday + g.halfSpan_s + 5);
    EXPECT_EQ(g.stepFactor, 1);
    const GeoPoint centre = scene().latLon(p.pixel / 2, (p.line + 1) / 2);
    EXPECT_LT(metresBetween(g.imageCentre, centre), 0.01);
}

TEST(SceneGeometryTest, LongScenesStepTwiceAsWide) {
    fixture::SarSceneSpec setup;
    setup.lines = 40000;
    setup.prf_hz = 1000.0;  // 40 s of image
    setup.fitMarginTime_s = 20.0;
    const fixture::SarScene longScene(setup);
    const SceneGeometry g = sceneGeometry(longScene.params());
    std::printf("[ figures  ] 40 s scene: half span %d s\n", g.halfSpan_s);
    EXPECT_GT(g.halfSpan_s, 15);
    EXPECT_EQ(g.stepFactor, 2);
}

TEST(SceneGeometryTest, NoSmallerLineLeavesTheHalfSpanAtZero) {
    // A scene whose line polynomial is constant: nothing is smaller than the
    // line at the centre time.
    SceneParameters p = scene().params();
    p.ll2lin.fill(0.0);
    p.ll2lin[24] = 100.0;
    const SceneGeometry g = sceneGeometry(p);
    EXPECT_EQ(g.halfSpan_s, 0);
    EXPECT_EQ(g.startTime_s, p.scsecofday - 5);
}

TEST(SceneGeometryTest, OpenReplacesTheSceneCentreAndBuildsTablesOnlyWhenAsked) {
    SceneParameters p = scene().params();
    MappingTable table;
    OrthoMatrix ortho;
    ScriptedUi ui;
    const SceneGeometry g = openSceneGeometry(p, false, table, ortho, ui);
    EXPECT_EQ(p.ctrlat, g.imageCentre.lat_deg);
    EXPECT_EQ(p.ctrlon, g.imageCentre.lon_deg);
    EXPECT_EQ(table.rows, 0);
    EXPECT_EQ(ortho.nx, 0);
    EXPECT_TRUE(ui.statuses.empty());

    openSceneGeometry(p, true, table, ortho, ui);
    EXPECT_GT(table.rows, 1);
    EXPECT_GT(table.columns, 1);
    EXPECT_EQ(ortho.nx, 45);  // 100 nx >= 4000 + 500
    EXPECT_EQ(ortho.ny, 85);
    ASSERT_FALSE(ui.statuses.empty());
    EXPECT_EQ(ui.statuses.back(), "Ortho matrix complete.");
}

TEST(SceneGeometryTest, AnUndecodedSceneGivesEmptyTablesNotAHang) {
    // No orbit, no polynomials: every ray and search meets zeros or NaN.
    SceneParameters empty;
    empty.pixel = 1000, empty.line = 2000;
    MappingTable table;
    OrthoMatrix ortho;
    ScriptedUi ui;
    openSceneGeometry(empty, true, table, ortho, ui);
    EXPECT_EQ(table.rows, 0);
    ASSERT_EQ(ortho.incidence.size(), 15u * 25u);
    for (double v : ortho.incidence) EXPECT_EQ(v, OrthoMatrix::kFallbackIncidence_deg);
    EXPECT_FALSE(pixelTimeAndRange(empty, {0.0, 0.0}).converged);
}

// ---------------------------------------------------------------- mapping table

namespace {

struct BuiltTable {
    SceneGeometry geometry;
    MappingTable table;
    ScriptedUi ui;
};

const BuiltTable& builtTable() {
    static const auto built = [] {
        auto b = std::make_unique<BuiltTable>();
        b->geometry = sceneGeometry(scene().params());
        buildMappingTable(scene().params(), b->geometry, b->table, b->ui);
        return b;
    }();
    return *built;
}

}  // namespace

TEST(MappingTableTest, NodesMatchTheGeometry) {
    const SceneParameters& p = scene().params();
    const BuiltTable& b = builtTable();
    const MappingTable& t = b.table;
    ASSERT_GT(t.rows, 10);
    ASSERT_GT(t.columns, 10);
    const V3 planePoint = toV3(b.geometry.centre.planePoint);
    double worstPixel = 0.0, worstLine = 0.0, worstSensitivity = 0.0, worstIncidence = 0.0, worstRadius = 0.0;
    for (int c = 0; c < t.columns; ++c) {
        const double time = b.geometry.startTime_s + c * 0.25;
        const V3 s = toV3(satelliteAt(p, time).position);
        worstRadius = std::max(worstRadius, std::fabs(t.orbitRadius[static_cast<std::size_t>(c)] -
                                                      fixture::len3(scene().setup().orbit.position(time))));
        for (int r = 0; r < t.rows; ++r) {
            const double theta = b.geometry.offNadirMin_deg - 1.0 + r * 0.15;
            auto truthAt = [&](double angle) {
                const V3 dir = rayDirection(s, planePoint, angle);
                return s + fixture::rayEllipsoidRange(s, dir) * dir;
            };
            const V3 g = truthAt(theta);
            const ScenePoint at = scene().pixelLine(g);
            const ScenePoint nearer = scene().pixelLine(truthAt(theta - 0.1));
            worstPixel = std::max(worstPixel, std::fabs(t.pixelAt(r, c) - at.pixel));
            worstLine = std::max(worstLine, std::fabs(t.lineAt(r, c) - at.line));
            const std::size_t i = MappingTable::index(r, c);
            worstSensitivity = std::max({worstSensitivity, std::fabs(t.pixelSensitivity[i] - (nearer.pixel - at.pixel)),
                                         std::fabs(t.lineSensitivity[i] - (nearer.line - at.line))});
            worstIncidence = std::max(worstIncidence, std::fabs(t.incidence[i] - angleBetween(s - g, g)));
        }
    }
    std::printf("[ figures  ] mapping table %d x %d vs geometry: pixel %.3g, line %.3g, sensitivity %.3g, "
                "incidence %.3g deg, orbit radius %.3g m\n",
                t.rows, t.columns, worstPixel, worstLine, worstSensitivity, worstIncidence, worstRadius);
    EXPECT_LT(worstPixel, 0.1);
    EXPECT_LT(worstLine, 0.1);
    EXPECT_LT(worstSensitivity, 0.15);
    EXPECT_LT(worstIncidence, 1e-4);
    EXPECT_LT(worstRadius, 0.5);
}

TEST(MappingTableTest, ShapeCoverageAndBookkeeping) {
    const SceneParameters& p = scene().params();
    const BuiltTable& b = builtTable();
    const MappingTable& t = b.table;
    // 2 (half span + 5) s in quarter seconds; rows up to one degree beyond
    // the extent on each side.
    EXPECT_EQ(t.columns, (2 * b.geometry.halfSpan_s + 10) * 4);
    EXPECT_LE(t.startOffNadir_deg + (t.rows - 1) * 0.15, b.geometry.offNadirMax_deg + 1.0);
    EXPECT_GT(t.startOffNadir_deg + t.rows * 0.15, b.geometry.offNadirMax_deg + 1.0);
    // The table covers the image and the margins the ortho matrix uses.
    const int mid = t.rows / 2;
    EXPECT_LT(t.lineAt(mid, 0), 0.0);
    EXPECT_GT(t.lineAt(mid, t.columns - 1), p.line);
    EXPECT_LT(t.pixelAt(0, t.columns / 2), -0.2 * p.pixel);
    EXPECT_GT(t.pixelAt(t.rows - 1, t.columns / 2), 1.2 * p.pixel);
    for (int c = 0; c < t.columns; ++c) EXPECT_EQ(t.firstRowLine[static_cast<std::size_t>(c)], t.lineAt(0, c));
    for (int r = 0; r < t.rows; ++r)
        EXPECT_EQ(t.middleColumnPixel[static_cast<std::size_t>(r)], t.pixelAt(r, t.columns / 2));

    const auto& statuses = b.ui.statuses;
    ASSERT_EQ(statuses.size(), static_cast<std::size_t>(t.columns) + 2);
    EXPECT_EQ(statuses.front(), "Ortho conv parameter calculation started");
    EXPECT_EQ(statuses[1], "Table gen nsl,nl=" + std::to_string(t.rows) + ", 0");
    EXPECT_EQ(statuses.back(), "sat-gnd mapping matrix complete.");
}

TEST(MappingTableTest, StopsAtItsCapacity) {
    const SceneParameters& p = scene().params();
    SceneGeometry g = sceneGeometry(p);
    g.halfSpan_s = 14;  // 152 quarter seconds at step factor 1
    g.stepFactor = 1;
    g.offNadirMin_deg = 10.0;  // 347 rows of 0.15 degrees
    g.offNadirMax_deg = 60.0;
    MappingTable table;
    ScriptedUi ui;
    buildMappingTable(p, g, table, ui);
    EXPECT_EQ(table.columns, MappingTable::kMaxColumns);
    EXPECT_EQ(table.rows, MappingTable::kMaxRows);
    EXPECT_FALSE(std::isnan(table.pixelAt(table.rows - 1, table.columns - 1)));
}

TEST(MappingTableTest, RaysPastTheLimbLeaveNaN) {
    const SceneParameters& p = scene().params();
    SceneGeometry g = sceneGeometry(p);
    g.offNadirMin_deg = 63.0;
    g.offNadirMax_deg = 66.0;  // the limb lies near 65.7 degrees
    MappingTable table;
    ScriptedUi ui;
    buildMappingTable(p, g, table, ui);
    ASSERT_GT(table.rows, 20);
    EXPECT_FALSE(std::isnan(table.pixelAt(0, 0)));
    EXPECT_TRUE(std::isnan(table.pixelAt(table.rows - 1, 0)));
    EXPECT_TRUE(std::isnan(table.incidence[MappingTable::index(table.rows - 1, 0)]));
    // The ortho matrix still comes out, the same by both searches.
    OrthoMatrix fast, reference;
    buildOrthoMatrix(table, p.pixel, p.line, fast, ui);
    buildOrthoMatrixReference(table, p.pixel, p.line, reference);
    EXPECT_EQ(fast.incidence, reference.incidence);
}
