// The ConjugatePointTable: its two file layouts against a packer of the
// test's own, refusals of damaged files, blending against affine fields on
// random quadrilaterals, and the table from geometry against the simulated
// pair's known offset.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "insar/conjugate_point_table.h"
#include "platform/error.h"
#include "simulator/scene_simulator.h"
#include "support/temp_dir.h"

namespace tessarin::insar {
namespace {

// Raw little-endian values appended in order (the test machine is little-endian).
template <class T>
void put(std::vector<std::uint8_t>& out, T v) {
    std::uint8_t b[sizeof(T)];
    std::memcpy(b, &v, sizeof(T));
    out.insert(out.end(), b, b + sizeof(T));
}

ConjugatePointTable sampleTable() {
    ConjugatePointTable t;
    const MasterPoint m[4] = {{0, 0}, {7167, 3}, {-2, 7167}, {7170, 7165}};
    for (std::size_t k = 0; k < 4; ++k) t.setPoint(k, m[k], 3.25 - 0.125 * k, -5.5 + 0.0625 * k);
    t.adjustX = 0.375;
    t.adjustY = -1.75;
    t.phaseIncH = 0.015625;
    t.phaseIncV = -2.5;
    t.reversePhase = 1;
    return t;
}

std::vector<std::uint8_t> packedByHand(const ConjugatePointTable& t, bool full) {
    std::vector<std::uint8_t> out;
    for (std::size_t k = 0; k < 4; ++k) {
        put<std::int32_t>(out, t.master[k].x);
        put<std::int32_t>(out, t.master[k].y);
    }
    for (std::size_t k = 0; k < 4; ++k) put(out, t.master[k].x + t.dispX[k]);  // slave x = master + displacement
    for (std::size_t k = 0; k < 4; ++k) put(out, t.master[k].y + t.dispY[k]);
    for (double v : t.dispX) put(out, v);
    for (double v : t.dispY) put(out, v);
    if (full) {
        put(out, t.phaseIncH);
        put(out, t.phaseIncV);
    }
    put(out, t.adjustX);
    put(out, t.adjustY);
    if (full) put<std::int32_t>(out, t.reversePhase);
    return out;
}

TEST(CnjLayouts, BothLayoutsArePinnedAndReadBackBySize) {
    const ConjugatePointTable t = sampleTable();
    for (const bool full : {false, true}) {
        const auto layout = full ? CnjLayout::Full : CnjLayout::Short;
        const auto bytes = encodeCnj(t, layout);
        ASSERT_EQ(bytes, packedByHand(t, full));
        ASSERT_EQ(bytes.size(), full ? kFullCnjBytes : kShortCnjBytes);
        ConjugatePointTable back;
        back.phaseIncH = 9.0;  // not in the short layout: kept
        EXPECT_EQ(decodeCnj(bytes, "t.cnj", back), layout);
        for (std::size_t k = 0; k < 4; ++k) {
            EXPECT_EQ(back.master[k].x, t.master[k].x);
            EXPECT_EQ(back.master[k].y, t.master[k].y);
            EXPECT_EQ(back.dispX[k], t.dispX[k]);
            EXPECT_EQ(back.dispY[k], t.dispY[k]);
            EXPECT_EQ(back.slaveX[k], t.slaveX[k]);
        }
        EXPECT_EQ(back.adjustX, t.adjustX);
        EXPECT_EQ(back.adjustY, t.adjustY);
        EXPECT_EQ(back.phaseIncH, full ? t.phaseIncH : 9.0);
        EXPECT_EQ(back.reversePhase, full ? t.reversePhase : 0);
    }
}

TEST(CnjLayouts, EveryOtherLengthAndEveryUnusableValueIsRefusedWithTheTableUnchanged) {
    const ConjugatePointTable original = sampleTable();
    const auto full = encodeCnj(original, CnjLayout::Full);
    std::vector<std::uint8_t> longer = full;
    longer.push_back(0);
    for (std::size_t n = 0; n <= longer.size(); ++n) {
        if (n == kShortCnjBytes || n == kFullCnjBytes) continue;
        ConjugatePointTable into = original;
        EXPECT_THROW(decodeCnj(std::span(longer.data(), n), "t.cnj", into), Error) << n;
        EXPECT_EQ(encodeCnj(into, CnjLayout::Full), full) << n;
    }
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const struct {
        std::size_t offset;
        double value;
    } damaged[] = {{96, nan}, {128 + 8, inf}, {32, 1e30}, {176, nan}, {160, -inf}, {64 + 24, nan}};
    for (const auto& d : damaged) {
        auto bytes = full;
        std::memcpy(bytes.data() + d.offset, &d.value, sizeof(double));
        ConjugatePointTable into = original;
        EXPECT_THROW(decodeCnj(bytes, "t.cnj", into), Error) << d.offset;
        EXPECT_EQ(encodeCnj(into, CnjLayout::Full), full) << d.offset;
    }
    auto flag = full;
    flag[192] = 2;  // reverse phase is 0 or 1
    ConjugatePointTable into = original;
    EXPECT_THROW(decodeCnj(flag, "t.cnj", into), Error);
    auto farPoint = full;
    const std::int32_t far = 2'000'000;
    std::memcpy(farPoint.data() + 8, &far, sizeof far);
    EXPECT_THROW(decodeCnj(farPoint, "t.cnj", into), Error);
}

TEST(Blending, ReproducesAffineFieldsOnRandomQuadrilateralsAndRefusesDegenerateOnes) {
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> jitter(-0.3, 0.3), unit(0.0, 1.0), coef(-1e-3, 1e-3);
    constexpr double W = 8000, H = 12000;
    for (int trial = 0; trial < 200; ++trial) {
        ConjugatePointTable t;
        const double ax = 10 * coef(random) * 1e3, bx = coef(random), cx = coef(random);
        const double ay = 10 * coef(random) * 1e3, by = coef(random), cy = coef(random);
        const auto fx = [&](double x, double y) { return ax + bx * x + cx * y; };
        const auto fy = [&](double x, double y) { return ay + by * x + cy * y; };
        const double base[4][2] = {{0, 0}, {W, 0}, {0, H}, {W, H}};
        for (std::size_t k = 0; k < 4; ++k) {
            const MasterPoint m{static_cast<std::int32_t>(std::lround(base[k][0] + jitter(random) * W * 0.3)),
                                static_cast<std::int32_t>(std::lround(base[k][1] + jitter(random) * H * 0.3))};
            t.setPoint(k, m, fx(m.x, m.y), fy(m.x, m.y));
        }
        ASSERT_FALSE(layoutProblem(t, 0, W)) << trial;
        for (std::size_t k = 0; k < 4; ++k) {
            const ScenePoint d = blendedDisplacement(t, t.master[k].x, t.master[k].y);
            EXPECT_NEAR(d.pixel, t.dispX[k], 1e-9);
            EXPECT_NEAR(d.line, t.dispY[k], 1e-9);
        }
        for (int n = 0; n < 20; ++n) {
            const double x = unit(random) * W, y = unit(random) * H;
            const ScenePoint d = blendedDisplacement(t, x, y);
            EXPECT_NEAR(d.pixel, fx(x, y), 1e-9) << trial;
            EXPECT_NEAR(d.line, fy(x, y), 1e-9) << trial;
            t.adjustX = 0.5, t.adjustY = -0.25;
            const ScenePoint s = slavePosition(t, x, y);
            EXPECT_NEAR(s.pixel, x + fx(x, y) + 0.5, 1e-9);
            EXPECT_NEAR(s.line, y + fy(x, y) - 0.25, 1e-9);
            t.adjustX = t.adjustY = 0.0;
        }
    }
    // Degenerate layouts, each refused over the columns a scene evaluates.
    const struct {
        MasterPoint m[4];
    } degenerate[] = {
        {{{0, 0}, {0, 0}, {0, 0}, {0, 0}}},              // an all-zero table
        {{{5, 0}, {5, 0}, {0, 100}, {100, 100}}},        // x1 = x0
        {{{0, 0}, {100, 0}, {50, 100}, {50, 100}}},      // x3 = x2
        {{{0, 100}, {100, 100}, {0, 0}, {100, 0}}},      // top and bottom swapped
        {{{0, 0}, {100, 0}, {0, 0}, {100, 0}}},          // both edges on one line
        {{{0, 0}, {100, 0}, {0, 50}, {100, -100}}},      // the edges cross inside the range
        {{{0, 0}, {100, 10}, {0, 200}, {100, 190}}},     // cross beyond the scene, inside the evaluated range
    };
    for (const auto& d : degenerate) {
        ConjugatePointTable t;
        for (std::size_t k = 0; k < 4; ++k) t.setPoint(k, d.m[k], 1.0, 1.0);
        EXPECT_TRUE(layoutProblem(t, -1024, 100 + 1024)) << d.m[1].x << "," << d.m[3].y;
    }
}

class GeometricTable : public tessarin::testing::TempDirTest {};

TEST_F(GeometricTable, GivesTheSimulatedOffset) {
    simulator::SimulatorOptions o;
    o.folder = path("pair");
    o.pixels = 2048;
    o.lines = 2048;
    simulator::PairOptions pair;
    pair.perpendicularBaseline_m = 200.0;
    pair.offsetPixels = 3;
    pair.offsetLines = -5;
    o.pair = pair;
    const auto truth = simulator::simulateScene(o);
    ASSERT_TRUE(truth.pair);
    const ConjugatePointTable t = geometricTable(truth.scene, truth.pair->scene);
    EXPECT_TRUE(t.ready);
    const MasterPoint corners[4] = {{0, 0}, {2047, 0}, {0, 2047}, {2047, 2047}};
    for (std::size_t k = 0; k < 4; ++k) {
        EXPECT_EQ(t.master[k].x, corners[k].x);
        EXPECT_EQ(t.master[k].y, corners[k].y);
        EXPECT_NEAR(t.dispX[k], 3.0, truth.pair->registrationResidualPixels + 0.15) << k;
        EXPECT_NEAR(t.dispY[k], -5.0, truth.pair->registrationResidualLines + 0.15) << k;
        EXPECT_DOUBLE_EQ(t.slaveX[k], corners[k].x + t.dispX[k]);
    }
    EXPECT_FALSE(layoutProblem(t, -1024, 3 * 1024));
}

}  // namespace
}  // namespace tessarin::insar
