// The simulated scene decoded by the system's own readers and geometry must
// give back what the simulator put in: ground positions, timing, orbit,
// phase and sigma-naught. GeographicLib is the independent geodesy.

#include <gtest/gtest.h>
#include <unistd.h>

#include <GeographicLib/Geocentric.hpp>
#include <GeographicLib/Geodesic.hpp>
#include <cmath>
#include <complex>
#include <filesystem>
#include <memory>
#include <numbers>
#include <vector>

#include "geometry/ellipsoid.h"
#include "geometry/mapping.h"
#include "geometry/orbit.h"
#include "platform/error.h"
#include "platform/file.h"
#include "products/alos2.h"
#include "simulator/scene_simulator.h"

namespace tessarin::simulator {
namespace {

constexpr double kGrs80A = 6378137.0, kGrs80F = 1.0 / 298.257222101;

// Tolerances, with units.
constexpr double kPositionTolerance_m = 0.05;    // polynomial ground position vs the geometry
constexpr double kFitResidualBound_m = 0.05;     // reported residual of the fit
// The search stops at 1e-4 s steps: a third of a line at 3050 Hz.
constexpr double kClosestApproachTolerance_s = 1.0e-4;
constexpr double kRangeTolerance_pixels = 0.01;
constexpr double kOrbitTolerance_m = 0.5;        // orbit polynomial vs the true orbit within the window
constexpr double kPhaseTolerance_rad = 2.0e-3;   // float samples of the path phase
constexpr double kSigma0Tolerance_dB = 0.3;

double distance_m(GeoPoint a, GeoPoint b) {
    static const GeographicLib::Geodesic geodesic(kGrs80A, kGrs80F);
    double s12 = 0.0;
    geodesic.Inverse(a.lat_deg, a.lon_deg, b.lat_deg, b.lon_deg, s12);
    return s12;
}

class SimulatedScene : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = (std::filesystem::temp_directory_path() / ("tessarin-sim-" + std::to_string(::getpid()))).string();
        std::filesystem::remove_all(folder_);
        SimulatorOptions o;
        o.folder = folder_;
        o.seed = 7;
        o.pixels = 320, o.lines = 480;
        o.level11 = o.level15 = true;
        o.polarisations = {"HH", "HV"};
        truth_ = std::make_unique<SimulationTruth>(simulateScene(o));
    }
    static void TearDownTestSuite() {
        std::filesystem::remove_all(folder_);
        truth_.reset();
    }

    static products::Alos2 decode(std::size_t product, std::size_t pol = 0) {
        products::Alos2 reader;
        reader.setImagePath(truth_->products.at(product).imagePaths.at(pol));
        EXPECT_TRUE(reader.DecodeLeaderFile());
        EXPECT_TRUE(reader.DecodeImageFileDescriptor(reader.imagePath()));
        reader.setLookDirection(reader.imagePath());
        return reader;
    }

    static std::string folder_;
    static std::unique_ptr<SimulationTruth> truth_;
};
std::string SimulatedScene::folder_;
std::unique_ptr<SimulationTruth> SimulatedScene::truth_;

TEST_F(SimulatedScene, PolynomialsReproduceCornersAndCentre) {
    const products::Alos2 reader = decode(0);
    const auto& p = reader.params();
    EXPECT_EQ(reader.productLevel(), products::kLevel11);
    EXPECT_EQ(p.pixel, 320);
    EXPECT_EQ(p.line, 480);
    EXPECT_EQ(p.pointingLeft, 0);
    for (std::size_t k = 0; k < 4; ++k) {
        const GeoPoint got = products::latLonOfPixelLine(p, truth_->cornerPixels[k]);
        EXPECT_LT(distance_m(got, truth_->corners[k]), kPositionTolerance_m) << "corner " << k;
        const ScenePoint back = products::pixelLineOfLatLon(p, truth_->corners[k]);
        EXPECT_NEAR(back.pixel, truth_->cornerPixels[k].pixel, 0.01) << "corner " << k;
        EXPECT_NEAR(back.line, truth_->cornerPixels[k].line, 0.01) << "corner " << k;
    }
    const GeoPoint centre = products::latLonOfPixelLine(p, {p.plRefPixel, p.plRefLine});
    EXPECT_LT(distance_m(centre, truth_->centre), kPositionTolerance_m);
    EXPECT_LT(distance_m({p.ctrlat, p.ctrlon}, truth_->centre), kPositionTolerance_m);
    EXPECT_LT(truth_->fitResidualLatLon_m, kFitResidualBound_m);
    EXPECT_LT(truth_->fitResidualPixelLine, 0.01);
    // The scene is where it was put: the satellite 35 N 139 E at the centre
    // time, looking east from an ascending pass.
    EXPECT_GT(truth_->centre.lon_deg, 139.0);
    EXPECT_NEAR(truth_->altitude_m, 628000.0, 1.0);
}

TEST_F(SimulatedScene, CornersLieAtTheirSlantRangeOnTheEllipsoid) {
    // Independent of the simulator's geodesy: GeographicLib puts the truth
    // corners back into space, and the true orbit must see them at zero
    // Doppler and at the range of their pixel.
    const GeographicLib::Geocentric earth(kGrs80A, kGrs80F);
    const double dt = 1.0e-3;
    for (std::size_t k = 0; k < 4; ++k) {
        Ecef g;
        earth.Forward(truth_->corners[k].lat_deg, truth_->corners[k].lon_deg, 0.0, g.x_m, g.y_m, g.z_m);
        const double t = truth_->centreTime_s + (truth_->cornerPixels[k].line - truth_->centreLine) / truth_->prf_hz;
        const Ecef s = truth_->orbit.position(t);
        EXPECT_NEAR(geometry::norm(g - s), truth_->nearRange_m + truth_->cornerPixels[k].pixel * truth_->pixsz_m,
                    0.01);
        // Range rate through a finite difference of the true orbit.
        const double rate = (geometry::norm(g - truth_->orbit.position(t + dt)) -
                             geometry::norm(g - truth_->orbit.position(t - dt))) / (2 * dt);
        EXPECT_NEAR(rate, 0.0, 1.0e-3) << "corner " << k;
    }
}

TEST_F(SimulatedScene, ClosestApproachFindsTheLineTimeAndRange) {
    const products::Alos2 reader = decode(0);
    const auto& p = reader.params();
    const GeographicLib::Geocentric earth(kGrs80A, kGrs80F);
    std::vector<ScenePoint> points(truth_->cornerPixels.begin(), truth_->cornerPixels.end());
    points.push_back({p.plRefPixel, p.plRefLine});
    for (const auto& t : truth_->targets) points.push_back(t.at);
    for (const ScenePoint& at : points) {
        const geometry::ClosestApproach ca = geometry::pixelTimeAndRange(p, at);
        ASSERT_TRUE(ca.converged);
        // The system's own line timing and the simulator's must agree.
        const double expectedTime = geometry::lineTime_s(p, at.line);
        EXPECT_NEAR(expectedTime,
                    truth_->centreTime_s + (at.line - truth_->centreLine) / truth_->prf_hz, 1.0e-9);
        EXPECT_NEAR(ca.time_s - expectedTime, 0.0, kClosestApproachTolerance_s)
            << at.pixel << "," << at.line;
        EXPECT_NEAR((ca.range_m - truth_->nearRange_m) / p.pixsz, at.pixel, kRangeTolerance_pixels)
            << at.pixel << "," << at.line;
    }
}

TEST_F(SimulatedScene, OrbitPolynomialFollowsTheTrueOrbit) {
    const products::Alos2 reader = decode(0);
    const auto& p = reader.params();
    EXPECT_EQ(p.orbitPointCount, 28);
    EXPECT_DOUBLE_EQ(p.orbitInterval, 60.0);
    for (double d = -120.0; d <= 120.0; d += 7.5) {
        const double t = p.orbitRefTime + d;
        const geometry::SatellitePosition s = geometry::satelliteAt(p, t);
        EXPECT_LT(geometry::norm(s.position - truth_->orbit.position(t)), kOrbitTolerance_m) << d;
    }
    // Near-circular: radius of every state vector within metres of the orbit's.
    for (int i = 0; i < p.orbitPointCount; ++i)
        EXPECT_NEAR(p.stateVectors[static_cast<std::size_t>(i)].radius, truth_->orbit.radius_m, 0.01);
    // Earth-fixed velocity: the rotating frame slows an ascending pass's
    // eastward component; the speed stays within 1 % of the inertial one.
    const Ecef v = truth_->orbit.velocity(p.orbitRefTime);
    EXPECT_NEAR(geometry::norm(v) / (truth_->orbit.radius_m * truth_->orbit.rate_rad_s), 1.0, 0.06);
}

TEST_F(SimulatedScene, SamplesCarryThePathPhaseAndTheLevelsAgree) {
    products::Alos2 l11 = decode(0);
    products::Alos2 l15 = decode(1);
    products::ImageLineReader complexReader(l11.imagePath(), l11.params());
    products::ImageLineReader amplitudeReader(l15.imagePath(), l15.params());
    std::vector<std::complex<float>> c(320);
    std::vector<std::uint16_t> a(320);
    for (const PointTarget& t : truth_->targets) {
        ASSERT_TRUE(complexReader.readComplexLine(static_cast<int>(t.at.line), c));
        const double range = truth_->nearRange_m + t.at.pixel * truth_->pixsz_m;
        const double expected = std::remainder(-4.0 * std::numbers::pi / truth_->wavelength_m * range,
                                               2.0 * std::numbers::pi);
        const auto sample = c[static_cast<std::size_t>(t.at.pixel)];
        EXPECT_NEAR(std::remainder(std::arg(sample) - expected, 2.0 * std::numbers::pi), 0.0, kPhaseTolerance_rad);
        EXPECT_NEAR(20.0 * std::log10(std::abs(sample)) + l11.params().calib, t.sigma0_dB, 1.0e-4);
    }
    // Same speckle in both levels: amplitudes differ by the calibration.
    const double scale = std::pow(10.0, (l11.params().calib - l15.params().calib) / 20.0);
    EXPECT_DOUBLE_EQ(l11.params().calib, -115.0);
    EXPECT_DOUBLE_EQ(l15.params().calib, -83.0);
    for (int n : {0, 100, 479}) {
        ASSERT_TRUE(complexReader.readComplexLine(n, c));
        ASSERT_TRUE(amplitudeReader.readAmplitudeLine(n, a));
        for (std::size_t p = 0; p < c.size(); p += 13)
            EXPECT_NEAR(a[p], std::abs(c[p]) * scale, 0.5 + 1e-6 * a[p]) << n << "," << p;
    }
}

TEST_F(SimulatedScene, SeaHasItsSigmaNaughtInBothPolarisations) {
    // The sea lies at near range (west of the coast, right-looking ascending).
    for (std::size_t pol = 0; pol < 2; ++pol) {
        products::Alos2 reader = decode(0, pol);
        products::ImageLineReader lines(reader.imagePath(), reader.params());
        std::vector<std::complex<float>> c(320);
        double power = 0.0;
        long count = 0;
        for (int n = 0; n < 480; ++n) {
            ASSERT_TRUE(lines.readComplexLine(n, c));
            for (std::size_t p = 0; p < 24; ++p) power += std::norm(std::complex<double>(c[p])), ++count;
        }
        const double sigma0 = 10.0 * std::log10(power / static_cast<double>(count)) + reader.params().calib;
        EXPECT_NEAR(sigma0, surfaceSigma0_dB(Surface::Sea, truth_->polarisations[pol]), kSigma0Tolerance_dB);
    }
}

TEST(SceneSimulator, GeodeticConversionAgreesWithGeographicLib) {
    const GeographicLib::Geocentric earth(kGrs80A, kGrs80F);
    for (const auto& q : {std::array<double, 3>{35.8, 142.9, 0.0}, {-60.0, -10.0, 850.0}, {89.0, 10.0, -30.0},
                          {0.0, 179.9, 628000.0}}) {
        Ecef p;
        earth.Forward(q[0], q[1], q[2], p.x_m, p.y_m, p.z_m);
        const GeodeticPoint g = ecefToGeodetic(p);
        EXPECT_NEAR(g.ground.lat_deg, q[0], 1e-9);
        EXPECT_NEAR(g.ground.lon_deg, q[1], 1e-9);
        EXPECT_NEAR(g.height_m, q[2], 1e-4);
    }
}

TEST(SceneSimulator, TerrainGroundStandsAtTheTerrainHeight) {
    const SceneGeometryModel model(200, 300, 'L');
    const GeographicLib::Geocentric earth(kGrs80A, kGrs80F);
    double highest = 0.0;
    for (double px : {0.0, 100.0, 199.0})
        for (double ln : {0.0, 150.0, 299.0}) {
            const Ecef g = model.groundTerrain(px, ln);
            double lat = 0, lon = 0, h = 0;
            earth.Reverse(g.x_m, g.y_m, g.z_m, lat, lon, h);
            EXPECT_NEAR(h, model.terrain().height_m({lat, lon}), 0.01);
            highest = std::max(highest, h);
            // Raised ground is seen at the same range, nearer the satellite's track.
            const ScenePoint back = model.pixelLine(g);
            EXPECT_NEAR(back.pixel, px, 1e-3);
            EXPECT_NEAR(back.line, ln, 1e-3);
        }
    EXPECT_GT(highest, 10.0);
}

TEST(SceneSimulator, SameSeedSameBytesOtherSeedOtherSpeckle) {
    const auto base = std::filesystem::temp_directory_path() / ("tessarin-sim-seed-" + std::to_string(::getpid()));
    std::filesystem::remove_all(base);
    auto run = [&](const std::string& name, std::uint64_t seed) {
        SimulatorOptions o;
        o.folder = (base / name).string();
        o.seed = seed;
        o.pixels = 64, o.lines = 48;
        o.look = 'L';
        return readWholeFile(simulateScene(o).products.at(0).imagePaths.at(0));
    };
    const auto a = run("a", 3), b = run("b", 3), c = run("c", 4);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    EXPECT_EQ(a.size(), c.size());
    std::filesystem::remove_all(base);
}

TEST(SceneSimulator, RefusesBadOptions) {
    SimulatorOptions o;
    o.folder = "/nonexistent-never-written";
    o.pixels = 8;
    EXPECT_THROW(simulateScene(o), Error);
    o.pixels = 64, o.lines = 64;
    o.polarisations = {"HH", "XX"};
    EXPECT_THROW(simulateScene(o), Error);
    o.polarisations = {"HV", "HV"};
    EXPECT_THROW(simulateScene(o), Error);
    o.polarisations = {"HH"};
    o.level11 = o.level15 = false;
    EXPECT_THROW(simulateScene(o), Error);
    o.level11 = true;
    o.look = 'X';
    EXPECT_THROW(simulateScene(o), Error);
}

}  // namespace
}  // namespace tessarin::simulator
