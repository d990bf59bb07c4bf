// The simulated interferometric pair, read back through the product readers:
// the interferogram of the two SLCs must hold the phase that the two truth
// orbits and the terrain predict, the baseline must be what the orbits give,
// and the sample coherence what was asked for. The prediction here is the
// test's own: ground points found with GeographicLib's heights, slant ranges
// minimised over the truth orbits.

#include <gtest/gtest.h>
#include <unistd.h>

#include <GeographicLib/Geocentric.hpp>
#include <cmath>
#include <complex>
#include <filesystem>
#include <iostream>
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
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Tolerances, with units.
constexpr double kPhaseTolerance_cycles = 0.05;   // window-averaged interferogram vs geometry
constexpr double kBaselineTolerance_m = 1.0e-3;   // truth baseline vs the orbits
constexpr double kCoherenceTolerance = 0.005;     // sample coherence over the scene vs the request
constexpr double kRangeTolerance_pixels = 0.01;   // the second product's own geometry vs its truth
constexpr int kWindowHalf = 4;                    // 9 x 9 samples per phase estimate

// Wide enough that the terrain, scaled to the scene, nowhere rises faster
// than the look angle (in narrower scenes the coast falls into layover and a
// cell's ground is ambiguous).
constexpr int kPixels = 2048, kLines = 512;
constexpr double kBaseline_m = 300.0;
constexpr double kCoherence = 0.85;
constexpr int kOffsetPixels = -4, kOffsetLines = 7;

const GeographicLib::Geocentric& earth() {
    static const GeographicLib::Geocentric e(kGrs80A, kGrs80F);
    return e;
}

Ecef unit(Ecef a) { return (1.0 / geometry::norm(a)) * a; }
Ecef cross(Ecef a, Ecef b) {
    return {a.y_m * b.z_m - a.z_m * b.y_m, a.z_m * b.x_m - a.x_m * b.z_m, a.x_m * b.y_m - a.y_m * b.x_m};
}

// The ground seen by the first scene at (pixel, line): on the circle of the
// pixel's slant range in the plane perpendicular to the velocity, where
// GeographicLib's height above the ellipsoid equals the terrain's (or 0).
Ecef groundOf(const SimulationTruth& t, double pixel, double line, bool withTerrain) {
    const double time = t.centreTime_s + (line - t.centreLine) / t.prf_hz;
    const Ecef s = t.orbit.position(time);
    const Ecef v = unit(t.orbit.velocity(time));
    const Ecef down = unit(-1.0 * (s - geometry::dot(s, v) * v));
    const Ecef side = (t.look == 'R' ? 1.0 : -1.0) * unit(cross(v, s));
    const double range = t.nearRange_m + pixel * t.pixsz_m;
    auto at = [&](double angle) { return s + range * (std::cos(angle) * down + std::sin(angle) * side); };
    auto above = [&](double angle) {
        const Ecef p = at(angle);
        double lat = 0, lon = 0, h = 0;
        earth().Reverse(p.x_m, p.y_m, p.z_m, lat, lon, h);
        return h - (withTerrain ? t.terrain.height_m({lat, lon}) : 0.0);
    };
    double lo = 0.0, hi = 1.2;  // off-nadir angles (rad) around the scene's
    for (int n = 0; n < 70; ++n) {
        const double mid = 0.5 * (lo + hi);
        (above(mid) < 0.0 ? lo : hi) = mid;  // below the surface: look further out
    }
    return at(0.5 * (lo + hi));
}

// Zero-Doppler time and slant range: the smallest distance from the orbit
// to the point, by golden-section search around a guess.
struct Closest {
    double time_s = 0.0, range_m = 0.0;
};
Closest closest(const CircularOrbit& orbit, Ecef g, double guess_s) {
    const double phi = (std::sqrt(5.0) - 1.0) / 2.0;
    auto d = [&](double t) { return geometry::norm(orbit.position(t) - g); };
    double a = guess_s - 2.0, b = guess_s + 2.0;
    double c = b - phi * (b - a), e = a + phi * (b - a);
    double dc = d(c), de = d(e);
    for (int n = 0; n < 80; ++n) {
        if (dc < de) {
            b = e, e = c, de = dc;
            c = b - phi * (b - a), dc = d(c);
        } else {
            a = c, c = e, dc = de;
            e = a + phi * (b - a), de = d(e);
        }
    }
    return {0.5 * (a + b), d(0.5 * (a + b))};
}

// The interferometric phase -4 pi / lambda (R1 - R2) of the first scene's
// sample (pixel, line), in radians.
double predictedPhase(const SimulationTruth& t, double pixel, double line, bool withTerrain) {
    const Ecef g = groundOf(t, pixel, line, withTerrain);
    const double time = t.centreTime_s + (line - t.centreLine) / t.prf_hz;
    const double r1 = closest(t.orbit, g, time).range_m;
    const double r2 = closest(t.pair->orbit, g, time + t.pair->options.offsetLines / t.prf_hz).range_m;
    return -4.0 * std::numbers::pi / t.wavelength_m * (r1 - r2);
}

double wrap(double radians) { return std::remainder(radians, kTwoPi); }

class SimulatedPair : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = (std::filesystem::temp_directory_path() / ("tessarin-pair-" + std::to_string(::getpid()))).string();
        std::filesystem::remove_all(folder_);
        SimulatorOptions o;
        o.folder = folder_;
        o.seed = 11;
        o.pixels = kPixels, o.lines = kLines;
        o.level11 = true, o.level15 = false;
        PairOptions pair;
        pair.perpendicularBaseline_m = kBaseline_m;
        pair.coherence = kCoherence;
        pair.offsetPixels = kOffsetPixels, pair.offsetLines = kOffsetLines;
        o.pair = pair;
        truth_ = std::make_unique<SimulationTruth>(simulateScene(o));
        first_ = readImage(truth_->products.at(0).imagePaths.at(0));
        second_ = readImage(truth_->pair->products.at(0).imagePaths.at(0));
    }
    static void TearDownTestSuite() {
        std::filesystem::remove_all(folder_);
        truth_.reset();
        first_.clear(), second_.clear();
    }

    static products::Alos2 decode(const std::string& image) {
        products::Alos2 reader;
        reader.setImagePath(image);
        EXPECT_TRUE(reader.DecodeLeaderFile());
        EXPECT_TRUE(reader.DecodeImageFileDescriptor(reader.imagePath()));
        reader.setLookDirection(reader.imagePath());
        return reader;
    }

    static std::vector<std::complex<float>> readImage(const std::string& image) {
        const products::Alos2 reader = decode(image);
        products::ImageLineReader lines(image, reader.params());
        std::vector<std::complex<float>> all(static_cast<std::size_t>(kPixels) * kLines);
        for (int n = 0; n < kLines; ++n)
            EXPECT_TRUE(lines.readComplexLine(n, std::span(all).subspan(static_cast<std::size_t>(n) * kPixels, kPixels)));
        return all;
    }

    static std::complex<double> sample(const std::vector<std::complex<float>>& image, int pixel, int line) {
        return image[static_cast<std::size_t>(line) * kPixels + static_cast<std::size_t>(pixel)];
    }

    // First x conjugate(second), the second read at the offset position.
    static std::complex<double> interferogram(int pixel, int line) {
        return sample(first_, pixel, line) *
               std::conj(sample(second_, pixel + kOffsetPixels, line + kOffsetLines));
    }

    static std::string folder_;
    static std::unique_ptr<SimulationTruth> truth_;
    static std::vector<std::complex<float>> first_, second_;
};
std::string SimulatedPair::folder_;
std::unique_ptr<SimulationTruth> SimulatedPair::truth_;
std::vector<std::complex<float>> SimulatedPair::first_, SimulatedPair::second_;

TEST_F(SimulatedPair, InterferogramHoldsTheFlatEarthAndTopographicPhase) {
    // A grid of points over the scene plus a row through the hill (about
    // three quarters across in range, a third down in azimuth).
    std::vector<std::array<int, 2>> points;
    for (double fx : {0.05, 0.25, 0.5, 0.75, 0.95})
        for (double fy : {0.05, 0.3, 0.5, 0.7, 0.95})
            points.push_back({static_cast<int>(fx * kPixels), static_cast<int>(fy * kLines)});
    for (double fx : {0.65, 0.7, 0.75, 0.8, 0.85})
        points.push_back({static_cast<int>(fx * kPixels), static_cast<int>(0.32 * kLines)});

    double worst = 0.0, largestTopography = 0.0;
    double nearPhase = 0.0, farPhase = 0.0;
    for (const auto& [px, ln] : points) {
        ASSERT_GE(px - kWindowHalf + std::min(0, kOffsetPixels), 0);
        ASSERT_LT(px + kWindowHalf + std::max(0, kOffsetPixels), kPixels);
        std::complex<double> sum;
        for (int dy = -kWindowHalf; dy <= kWindowHalf; ++dy)
            for (int dx = -kWindowHalf; dx <= kWindowHalf; ++dx)
                if (ln + dy + kOffsetLines >= 0 && ln + dy + kOffsetLines < kLines && ln + dy >= 0 && ln + dy < kLines)
                    sum += interferogram(px + dx, ln + dy);
        const double predicted = predictedPhase(*truth_, px, ln, true);
        const double error = std::fabs(wrap(std::arg(sum) - predicted)) / kTwoPi;
        EXPECT_LT(error, kPhaseTolerance_cycles) << "at " << px << "," << ln;
        worst = std::max(worst, error);
        largestTopography = std::max(
            largestTopography, std::fabs(wrap(predicted - predictedPhase(*truth_, px, ln, false))) / kTwoPi);
    }
    // The check has teeth: terrain changes the phase by far more than the
    // tolerance somewhere, and the flat earth turns it through many cycles
    // across the swath (unwrapped along the centre line).
    EXPECT_GT(largestTopography, 5 * kPhaseTolerance_cycles);
    for (int px = 0; px < kPixels; ++px) {
        const double step = wrap(predictedPhase(*truth_, px + 1, kLines / 2, false) -
                                 predictedPhase(*truth_, px, kLines / 2, false));
        (px < kPixels / 2 ? nearPhase : farPhase) += step;
    }
    EXPECT_GT(std::fabs(nearPhase + farPhase) / kTwoPi, 3.0);
    std::cout << "[ figures  ] interferogram phase vs geometry: worst " << worst << " cycle over " << points.size()
              << " windows of " << (2 * kWindowHalf + 1) << "x" << (2 * kWindowHalf + 1)
              << "; topography up to " << largestTopography << " cycle; flat earth "
              << std::fabs(nearPhase + farPhase) / kTwoPi << " cycles across\n";
}

TEST_F(SimulatedPair, SampleCoherenceIsTheRequestedOne) {
    // The predicted phase on a grid every 16 samples, interpolated, removed
    // from every sample of the sea at near range, where the ground is flat
    // and the interpolation exact (the coast lies beyond a fifth of the
    // swath).
    constexpr int kSeaPixels = 300;
    constexpr int kStep = 16;
    const int nodesX = kSeaPixels / kStep + 2, nodesY = kLines / kStep + 1;
    std::vector<double> node(static_cast<std::size_t>(nodesX * nodesY));
    for (int j = 0; j < nodesY; ++j)
        for (int i = 0; i < nodesX; ++i) {
            node[static_cast<std::size_t>(j * nodesX + i)] = predictedPhase(*truth_, i * kStep, j * kStep, true);
            const Ecef g = groundOf(*truth_, i * kStep, j * kStep, false);
            double lat = 0, lon = 0, h = 0;
            earth().Reverse(g.x_m, g.y_m, g.z_m, lat, lon, h);
            ASSERT_EQ(truth_->terrain.height_m({lat, lon}), 0.0) << "sea at " << i * kStep << "," << j * kStep;
        }
    // Unwrap along each cell's corners before interpolating.
    auto phaseAt = [&](int px, int ln) {
        const int i = std::min(px / kStep, nodesX - 2), j = std::min(ln / kStep, nodesY - 2);
        const double fx = double(px - i * kStep) / kStep, fy = double(ln - j * kStep) / kStep;
        const double p00 = node[static_cast<std::size_t>(j * nodesX + i)];
        const double p10 = p00 + wrap(node[static_cast<std::size_t>(j * nodesX + i + 1)] - p00);
        const double p01 = p00 + wrap(node[static_cast<std::size_t>((j + 1) * nodesX + i)] - p00);
        const double p11 = p00 + wrap(node[static_cast<std::size_t>((j + 1) * nodesX + i + 1)] - p00);
        return (1 - fy) * ((1 - fx) * p00 + fx * p10) + fy * ((1 - fx) * p01 + fx * p11);
    };
    std::complex<double> cross;
    double power1 = 0.0, power2 = 0.0;
    for (int ln = std::max(0, -kOffsetLines); ln < std::min(kLines, kLines - kOffsetLines); ++ln)
        for (int px = std::max(0, -kOffsetPixels); px < kSeaPixels; ++px) {
            cross += interferogram(px, ln) * std::polar(1.0, -phaseAt(px, ln));
            power1 += std::norm(sample(first_, px, ln));
            power2 += std::norm(sample(second_, px + kOffsetPixels, ln + kOffsetLines));
        }
    const double coherence = std::abs(cross) / std::sqrt(power1 * power2);
    EXPECT_NEAR(coherence, kCoherence, kCoherenceTolerance);
    // The two scenes carry the same reflectivity: equal power.
    EXPECT_NEAR(power2 / power1, 1.0, 0.02);
    std::cout << "[ figures  ] sample coherence " << coherence << " for " << kCoherence << "\n";
}

TEST_F(SimulatedPair, BaselineIsWhatTheOrbitsGive) {
    const PairTruth& pair = *truth_->pair;
    const GeodeticPoint& at = pair.baselineGround;
    Ecef g;
    earth().Forward(at.ground.lat_deg, at.ground.lon_deg, at.height_m, g.x_m, g.y_m, g.z_m);
    // The point is the first scene's centre pixel on the terrain.
    EXPECT_LT(geometry::norm(g - groundOf(*truth_, pair.baselinePixelLine.pixel, pair.baselinePixelLine.line, true)),
              0.01);
    const double guess = truth_->centreTime_s + (pair.baselinePixelLine.line - truth_->centreLine) / truth_->prf_hz;
    const Ecef s1 = truth_->orbit.position(closest(truth_->orbit, g, guess).time_s);
    const Ecef s2 = pair.orbit.position(closest(pair.orbit, g, guess).time_s);
    const Ecef b = s2 - s1;
    const Ecef u = unit(g - s1);
    const double parallel = geometry::dot(b, u);
    // Perpendicular the way the pair's baseline report forms it.
    const double perpendicular = geometry::norm(b - parallel * u);
    EXPECT_NEAR(parallel, pair.parallelBaseline_m, kBaselineTolerance_m);
    EXPECT_NEAR(perpendicular, std::fabs(pair.perpendicularBaseline_m), kBaselineTolerance_m);
    EXPECT_NEAR(pair.perpendicularBaseline_m, kBaseline_m, kBaselineTolerance_m);
    // Positive: the second satellite lies on the side away from the earth.
    EXPECT_GT(geometry::dot(b, unit(s1)), 0.0);
    EXPECT_NEAR(geometry::norm(b), kBaseline_m, kBaselineTolerance_m) << "displaced perpendicular only";
}

TEST_F(SimulatedPair, SecondProductDescribesItsOwnAcquisition) {
    const products::Alos2 first = decode(truth_->products.at(0).imagePaths.at(0));
    const products::Alos2 second = decode(truth_->pair->products.at(0).imagePaths.at(0));
    const auto& p1 = first.params();
    const auto& p2 = second.params();
    // Two ALOS-2 names: another revolution (207 per 14 days) and date.
    EXPECT_NE(first.imagePath(), second.imagePath());
    EXPECT_NE(second.imagePath().find("IMG-HH-ALOS2013572960-140807-UBSR1.1__A"), std::string::npos)
        << second.imagePath();
    EXPECT_EQ(products::productLevelOf(second.imagePath()), products::kLevel11);
    EXPECT_EQ(std::vector<int>({p2.Y, p2.M, p2.D}), std::vector<int>({2014, 8, 7}));
    EXPECT_EQ(std::vector<int>({p2.orbitFirstYear, p2.orbitFirstMonth, p2.orbitFirstDay}),
              std::vector<int>({2014, 8, 7}));
    EXPECT_DOUBLE_EQ(p2.scsecofday, p1.scsecofday);
    EXPECT_EQ(p2.pixel, kPixels);
    EXPECT_EQ(p2.line, kLines);

    // The system's closest approach in the second product finds the second
    // scene's own timing and range.
    for (const ScenePoint at : {ScenePoint{0, 0}, ScenePoint{kPixels - 1.0, 0}, ScenePoint{kPixels / 2.0, kLines / 2.0},
                                ScenePoint{0, kLines - 1.0}, ScenePoint{kPixels - 1.0, kLines - 1.0}}) {
        const geometry::ClosestApproach ca = geometry::pixelTimeAndRange(p2, at);
        ASSERT_TRUE(ca.converged);
        EXPECT_NEAR((ca.range_m - truth_->pair->nearRange_m) / p2.pixsz, at.pixel, kRangeTolerance_pixels);
        EXPECT_NEAR(ca.time_s, geometry::lineTime_s(p2, at.line), 1.0e-4);
        EXPECT_NEAR(geometry::norm(ca.satellite - truth_->pair->orbit.position(ca.time_s)), 0.0, 0.5);
    }
    EXPECT_LT(truth_->pair->fitResidualLatLon_m, 0.05);
    EXPECT_LT(truth_->pair->fitResidualPixelLine, 0.01);

    // Where the second scene's geometry images a cell is the offset position
    // within the reported residual: the parallel baseline changes across the
    // swath by about a sample here.
    const PairTruth& pair = *truth_->pair;
    EXPECT_LT(pair.registrationResidualPixels, 1.5);
    EXPECT_LT(pair.registrationResidualLines, 0.1);
    double worstPixel = 0.0, worstLine = 0.0;
    for (double fx : {0.0, 0.5, 1.0})
        for (double fy : {0.0, 0.5, 1.0}) {
            const double px = std::floor(fx * (kPixels - 1 - std::abs(kOffsetPixels))) + std::max(0, -kOffsetPixels);
            const double ln = std::floor(fy * (kLines - 1 - std::abs(kOffsetLines))) + std::max(0, -kOffsetLines);
            const Ecef g = groundOf(*truth_, px, ln, true);
            const double guess = geometry::lineTime_s(p2, ln + kOffsetLines);
            const Closest c2 = closest(pair.orbit, g, guess);
            const double pixel2 = (c2.range_m - pair.nearRange_m) / p2.pixsz;
            const double line2 = (c2.time_s - p2.scsecofday) * p2.prf + (kLines + 1) / 2;
            worstPixel = std::max(worstPixel, std::fabs(pixel2 - (px + kOffsetPixels)));
            worstLine = std::max(worstLine, std::fabs(line2 - (ln + kOffsetLines)));
        }
    EXPECT_LE(worstPixel, pair.registrationResidualPixels + 0.01);
    EXPECT_LE(worstLine, pair.registrationResidualLines + 0.01);
    // At the centre the offset is exact.
    {
        const double px = std::floor(kPixels / 2.0), ln = truth_->centreLine;
        const Ecef g = groundOf(*truth_, px, ln, true);
        const double pixel2 =
            (closest(pair.orbit, g, geometry::lineTime_s(p2, ln + kOffsetLines)).range_m - pair.nearRange_m) / p2.pixsz;
        EXPECT_NEAR(pixel2, px + kOffsetPixels, 1.0e-3);
    }
}

TEST(SimulatedPairOptions, FirstSceneIsUnchangedAndSecondIsDeterministic) {
    const auto base = std::filesystem::temp_directory_path() / ("tessarin-pair-seed-" + std::to_string(::getpid()));
    std::filesystem::remove_all(base);
    auto run = [&](const std::string& name, bool pair, double coherence) {
        SimulatorOptions o;
        o.folder = (base / name).string();
        o.seed = 5;
        o.pixels = 96, o.lines = 80;
        o.level15 = true;
        if (pair) {
            o.pair = PairOptions{};
            o.pair->perpendicularBaseline_m = -300.0;
            o.pair->coherence = coherence;
        }
        return simulateScene(o);
    };
    const SimulationTruth single = run("single", false, 0.0);
    const SimulationTruth a = run("a", true, 0.9), b = run("b", true, 0.9), c = run("c", true, 0.5);
    ASSERT_TRUE(a.pair && b.pair && c.pair);
    EXPECT_FALSE(single.pair);
    for (std::size_t level = 0; level < 2; ++level) {
        // Adding the second acquisition leaves the first byte for byte.
        EXPECT_EQ(readWholeFile(single.products.at(level).imagePaths.at(0)),
                  readWholeFile(a.products.at(level).imagePaths.at(0)));
        EXPECT_EQ(readWholeFile(a.pair->products.at(level).imagePaths.at(0)),
                  readWholeFile(b.pair->products.at(level).imagePaths.at(0)));
        EXPECT_NE(readWholeFile(a.pair->products.at(level).imagePaths.at(0)),
                  readWholeFile(c.pair->products.at(level).imagePaths.at(0)));
    }
    EXPECT_NEAR(a.pair->perpendicularBaseline_m, -300.0, 1.0e-3);
    EXPECT_EQ(a.pair->options.offsetPixels, 3);
    EXPECT_EQ(a.pair->options.offsetLines, -5);
    std::filesystem::remove_all(base);
}

TEST(SimulatedPairOptions, RefusesPairsItCannotMake) {
    const auto folder = std::filesystem::temp_directory_path() / ("tessarin-pair-bad-" + std::to_string(::getpid()));
    SimulatorOptions o;
    o.folder = folder.string();
    o.pixels = 64, o.lines = 64;
    auto refused = [&](const char* why, auto change) {
        o.pair = PairOptions{};
        o.pair->perpendicularBaseline_m = 100.0;
        change(*o.pair);
        try {
            simulateScene(o);
            ADD_FAILURE() << "accepted: " << why;
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(why), std::string::npos) << e.what();
        }
        EXPECT_FALSE(std::filesystem::exists(folder)) << "refused before writing";
    };
    refused("baseline", [](PairOptions& p) { p.perpendicularBaseline_m = 1.0e6; });
    refused("baseline", [](PairOptions& p) { p.perpendicularBaseline_m = std::nan(""); });
    refused("coherence", [](PairOptions& p) { p.coherence = 1.5; });
    refused("coherence", [](PairOptions& p) { p.coherence = -0.1; });
    refused("repeat", [](PairOptions& p) { p.repeatDays = 0; });
    refused("offset", [](PairOptions& p) { p.offsetPixels = 64; });
    refused("offset", [](PairOptions& p) { p.offsetLines = -101; });
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace tessarin::simulator
