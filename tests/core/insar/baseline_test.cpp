// The pair's baseline at the report's position against the simulator's
// truth: the two truth orbits at their zero-Doppler times of the ellipsoid
// ground under the first scene's (pixel, line), the incidence angle of the
// satellite / earth centre / ground triangle from vectors, and the height of
// one fringe cycle lambda R sin(theta) / (2 Bperp) computed here. A pair of
// unequal line counts must give the baseline of the equal pair.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <map>
#include <string>

#include "insar/baseline.h"
#include "insar/conjugate_point_table.h"
#include "platform/error.h"
#include "products/alos2.h"
#include "platform/format.h"
#include "simulator/scene_simulator.h"
#include "tiles/tile_store.h"

namespace tessarin::insar {
namespace {

namespace fs = std::filesystem;
using geometry::Ecef;

constexpr int kPixels = 2048, kLines = 512;

Ecef unit(Ecef a) { return (1.0 / geometry::norm(a)) * a; }
Ecef cross(Ecef a, Ecef b) {
    return {a.y_m * b.z_m - a.z_m * b.y_m, a.z_m * b.x_m - a.x_m * b.z_m, a.x_m * b.y_m - a.y_m * b.x_m};
}

struct Oracle {
    double perpendicular_m, parallel_m, incidence_deg, range_m;
    double slaveTime_s;
    Ecef velocity;  // unit, of the first satellite
};

// The baseline the truth orbits give at the first scene's (P, L) on the ellipsoid.
Oracle oracleAt(const simulator::SimulationTruth& t, double P, double L) {
    const simulator::SceneGeometryModel model(t.pixels, t.lines, t.look);
    const Ecef g = model.groundEllipsoid(P, L);
    const double t1 = t.orbit.zeroDopplerTime(g, model.timeOfLine(L));
    const double t2 = t.pair->orbit.zeroDopplerTime(g, t1);
    const Ecef s1 = t.orbit.position(t1), s2 = t.pair->orbit.position(t2);
    const Ecef u = unit(g - s1);
    Ecef n = unit(cross(t.orbit.velocity(t1), u));
    if (geometry::dot(n, s1) < 0.0) n = -1.0 * n;
    const Ecef b = s2 - s1;
    const double incidence = std::acos(geometry::dot(unit(g), unit(s1 - g))) / geometry::kRadPerDeg;
    return {geometry::dot(b, n), geometry::dot(b, u), incidence, geometry::norm(g - s1), t2, unit(t.orbit.velocity(t1))};
}

// A scene as the pair open decodes it (the orbit polynomials come from the reader).
products::SceneParameters decoded(const simulator::ProductTruth& p) {
    products::Alos2 reader;
    reader.setImagePath(p.imagePaths.at(0));
    reader.setLeaderPath(p.leaderPath);
    reader.DecodeLeaderFile();
    reader.DecodeImageFileDescriptor(p.imagePaths.at(0));
    return reader.params();
}

struct Case {
    double baseline_m;
    int secondLines;  // 0: as many as the first
};

class Baseline : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = (fs::temp_directory_path() / ("tessarin-baseline-" + std::to_string(::getpid()))).string();
        fs::remove_all(root_);
    }
    static void TearDownTestSuite() {
        fs::remove_all(root_);
        truths_.clear();
    }
    static const simulator::SimulationTruth& pair(const Case& c) {
        const std::string key = std::to_string(c.baseline_m) + "/" + std::to_string(c.secondLines);
        auto it = truths_.find(key);
        if (it != truths_.end()) return it->second;
        simulator::SimulatorOptions o;
        o.folder = root_ + "/" + std::to_string(truths_.size());
        o.pixels = kPixels;
        o.lines = kLines;
        simulator::PairOptions p;
        p.perpendicularBaseline_m = c.baseline_m;
        p.lines = c.secondLines;
        o.pair = p;
        return truths_.emplace(key, simulator::simulateScene(o)).first->second;
    }
    static inline std::string root_;
    static inline std::map<std::string, simulator::SimulationTruth> truths_;
};

TEST_F(Baseline, ReportMatchesTheTruthOrbits) {
    const Case cases[] = {{200.0, 0}, {-200.0, 0}, {200.0, 700}, {200.0, 400}, {35.0, 0}};
    const tiles::TileGrid grid = tiles::TileGrid::make(kPixels, kLines, 1024, 1024);
    const tiles::GlobalPoint origin = baselineOrigin({5000, 5000}, grid, kPixels, kLines);
    // The working area of this scene starts at (0, 0): the origin moves with it and into the scene.
    EXPECT_EQ(origin.x, 5000 - 4096);
    EXPECT_EQ(origin.y, kLines - 1);
    std::map<double, double> equalPair;  // baseline -> Bperp of the equal pair at origin
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "baseline " << c.baseline_m << " m, second scene lines " << c.secondLines);
        const auto& truth = pair(c);
        ASSERT_TRUE(truth.pair);
        if (c.secondLines) {
            EXPECT_EQ(truth.pair->scene.line, c.secondLines);
            EXPECT_EQ(truth.pair->cellOffsetLines, -5 + (c.secondLines + 1) / 2 - (kLines + 1) / 2);
        }
        const auto master = decoded(truth.products.at(0)), slave = decoded(truth.pair->products.at(0));
        const ConjugatePointTable table = geometricTable(master, slave);
        for (const tiles::GlobalPoint at : {origin, tiles::GlobalPoint{100, 40}, tiles::GlobalPoint{1900, 300}}) {
            const double P = static_cast<double>(at.x), L = static_cast<double>(at.y);
            const PairBaseline b = pairBaseline(master, slave, table, P, L);
            const Oracle o = oracleAt(truth, P, L);
            EXPECT_NEAR(b.perpendicular_m, o.perpendicular_m, 0.05) << P << ", " << L;
            EXPECT_NEAR(b.parallel_m, o.parallel_m, 0.1) << P << ", " << L;
            EXPECT_NEAR(b.incidence_deg, o.incidence_deg, 0.02) << P << ", " << L;
            // The slave satellite where it sees the ground: its own line time,
            // within a few lines of the zero-Doppler time, so nearly no
            // baseline along the track (a line is some 4 m of orbit).
            EXPECT_NEAR(b.slaveTime_s, o.slaveTime_s, 3.0 / truth.prf_hz) << P << ", " << L;
            EXPECT_LT(std::fabs(geometry::dot(b.slaveSatellite - b.masterSatellite, o.velocity)), 15.0) << P << ", " << L;
            const double h = truth.wavelength_m * o.range_m * std::sin(o.incidence_deg * geometry::kRadPerDeg) /
                             (2.0 * std::fabs(o.perpendicular_m));
            EXPECT_NEAR(b.heightPerCycle_m, h, 0.002 * h) << P << ", " << L;
            EXPECT_GT(b.heightPerCycle_m, 0.0);
            if (at.x == origin.x && at.y == origin.y) {
                if (c.secondLines == 0) equalPair[c.baseline_m] = b.perpendicular_m;
                else {
                    ASSERT_TRUE(equalPair.count(c.baseline_m));
                    EXPECT_NEAR(b.perpendicular_m, equalPair[c.baseline_m], 0.05);
                }
            }
        }
    }
    // A negative baseline: the same magnitudes, the sign kept for phase prediction.
    EXPECT_NEAR(equalPair[-200.0], -equalPair[200.0], 0.1);
}

TEST_F(Baseline, ReportTextAndAZeroBaseline) {
    const auto& truth = pair({-200.0, 0});
    const auto master = decoded(truth.products.at(0)), slave = decoded(truth.pair->products.at(0));
    const ConjugatePointTable table = geometricTable(master, slave);
    const PairBaseline b = pairBaseline(master, slave, table, 904, 511);
    const std::string text = baselineReportText({904, 511}, b);
    EXPECT_EQ(text.rfind("Infero parm at pix=904, line=511\nBperp=", 0), 0u) << text;
    // Printed unsigned.
    EXPECT_NE(text.find(format("Bperp=%.2f,", std::fabs(b.perpendicular_m))), std::string::npos) << text;
    EXPECT_NE(text.find("\n height seisitivity/fringe cycle="), std::string::npos) << text;

    // The master against itself: no baseline, an infinite height per cycle.
    ConjugatePointTable same = geometricTable(master, master);
    const PairBaseline zero = pairBaseline(master, master, same, 904, 300);
    // A leader without an orbit is refused, not reported as a zero baseline.
    EXPECT_THROW(pairBaseline(truth.scene, truth.scene, same, 904, 300), Error);
    EXPECT_NEAR(zero.perpendicular_m, 0.0, 1e-3);
    EXPECT_NEAR(zero.parallel_m, 0.0, 1e-3);
    EXPECT_EQ(heightPerCycle_m(0.229, 8.0e5, 0.6, 0.0), std::numeric_limits<double>::infinity());
    PairBaseline exact = zero;
    exact.perpendicular_m = 0.0;
    exact.heightPerCycle_m = heightPerCycle_m(0.229, exact.slantRange_m, 0.6, 0.0);
    EXPECT_NE(baselineReportText({904, 300}, exact).find("fringe cycle=inf meters"), std::string::npos);
    // The topographic phase has the baseline's sign and is one cycle at the height per cycle.
    const double theta = b.incidence_deg * geometry::kRadPerDeg;
    EXPECT_NEAR(std::fabs(topographicCycles(b.heightPerCycle_m, truth.wavelength_m, b.slantRange_m, theta, b.perpendicular_m)),
                1.0, 1e-9);
    EXPECT_LT(topographicCycles(100.0, truth.wavelength_m, b.slantRange_m, theta, b.perpendicular_m), 0.0);
}

}  // namespace
}  // namespace tessarin::insar
