// The tie-point matcher: the parabola step against quadratics of known
// vertex, the peak and the refusals on windows built here, and the
// simulated pair's known offset recovered at textured points.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "insar/tie_point_matcher.h"

namespace tessarin::insar {
namespace {

TEST(ParabolaVertex, FindsTheVertexOfSampledQuadraticsAndStaysPutOnFlatOnes) {
    const struct {
        double vertex, curvature, height;
    } table[] = {{0.3, 2.0, 1.0}, {-0.2, 0.5, 0.9}, {0.0, 1.0, 0.7}, {0.5, 3.0, 0.2}, {-0.45, 0.01, 0.99}};
    for (const auto& q : table) {
        const auto f = [&](double x) { return q.height - q.curvature * (x - q.vertex) * (x - q.vertex); };
        const Vertex v = parabolaVertex(f(-1), f(0), f(1));
        EXPECT_NEAR(v.offset, q.vertex, 1e-12) << q.vertex;
        EXPECT_NEAR(v.peak, q.height, 1e-12) << q.vertex;
    }
    // A plateau or a minimum gives no step.
    for (const auto& [l, c, r] : {std::array{1.0, 1.0, 1.0}, std::array{1.0, 0.5, 1.0}, std::array{0.2, 0.2, 0.9}})
        EXPECT_EQ(parabolaVertex(l, c, r).offset, 0.0);
}

// A slave window of speckle-like amplitudes and the master window cut from
// it at shift (column, row) on the +-15 grid.
struct Windows {
    std::vector<std::uint16_t> master, slave;
};
Windows cut(int column, int row, std::uint64_t seed) {
    std::mt19937_64 random(seed);
    std::exponential_distribution<double> power(1.0);
    Windows w;
    w.slave.resize(kSlaveWindow * kSlaveWindow);
    for (auto& a : w.slave) a = static_cast<std::uint16_t>(std::min(65535.0, 300.0 * std::sqrt(power(random))));
    w.master.resize(kMasterWindow * kMasterWindow);
    for (int k = 0; k < kMasterWindow; ++k)
        for (int l = 0; l < kMasterWindow; ++l)
            w.master[k * kMasterWindow + l] = w.slave[(k + row) * kSlaveWindow + l + column];
    return w;
}

TEST(CorrelateWindows, PeakRefusalsAndTheirTexts) {
    // An exact copy at column 18, row 10: shift (+3, -5), r = 1.
    const Windows w = cut(18, 10, 1);
    for (const bool checking : {false, true}) {
        const MatchResult r = correlateWindows(w.master, w.slave, checking);
        EXPECT_TRUE(r.accepted);
        EXPECT_EQ(r.column, 18);
        EXPECT_EQ(r.row, 10);
        EXPECT_NEAR(r.correlation, 1.0, 1e-12);
        EXPECT_NEAR(r.dx, 3.0, 0.5);
        EXPECT_NEAR(r.dy, -5.0, 0.5);
    }
    // On the border of the grid: no sub-pixel step on that axis; refused
    // by the checking variant only.
    for (const auto& [column, row] : {std::pair{0, 12}, std::pair{30, 4}, std::pair{7, 0}, std::pair{20, 30}}) {
        const Windows b = cut(column, row, 2);
        const MatchResult reporting = correlateWindows(b.master, b.slave, false);
        EXPECT_TRUE(reporting.accepted);
        EXPECT_TRUE(reporting.borderPeak);
        if (column == 0 || column == 30) {
            EXPECT_EQ(reporting.fx, 0.0);
        }
        if (row == 0 || row == 30) {
            EXPECT_EQ(reporting.fy, 0.0);
        }
        EXPECT_FALSE(correlateWindows(b.master, b.slave, true).accepted) << column << "," << row;
    }
    // Unrelated sparse windows: low correlation, the text names column then
    // row. (Unrelated speckle correlates near pi / 4 without mean removal.)
    Windows u = cut(15, 15, 3);
    u.master = cut(15, 15, 4).master;
    for (std::size_t i = 0; i < u.master.size(); ++i)
        if (i % 7 != 0) u.master[i] = 0;
    for (std::size_t i = 0; i < u.slave.size(); ++i)
        if (i % 5 != 0) u.slave[i] = 0;
    const MatchResult low = correlateWindows(u.master, u.slave, true);
    EXPECT_FALSE(low.accepted);
    EXPECT_NE(low.refusal.find("correlation is low ixax=" + std::to_string(low.column) + ",jmax=" + std::to_string(low.row)),
              std::string::npos)
        << low.refusal;
    // No energy: correlation 0, refused, never NaN.
    const std::vector<std::uint16_t> zeros(kMasterWindow * kMasterWindow, 0), slaveZeros(kSlaveWindow * kSlaveWindow, 0);
    for (const auto& [m, s] : {std::pair{&zeros, &w.slave}, std::pair{&w.master, &slaveZeros}}) {
        for (const bool checking : {false, true}) {
            const MatchResult z = correlateWindows(*m, *s, checking);
            EXPECT_FALSE(z.accepted);
            EXPECT_EQ(z.correlation, 0.0);
            EXPECT_EQ(z.dx, 0.0);
        }
    }
}

}  // namespace
}  // namespace tessarin::insar
