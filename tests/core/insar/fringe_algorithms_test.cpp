// The fringe algorithms against plain references written here: ramps and
// bias in exact integer arithmetic, the disc filter as a direct sum of
// std::polar phasors, the quality ratio, the colour products of a test
// table, the masked colouring, and the colour table's search.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <filesystem>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "insar/fringe_color.h"
#include "insar/fringe_filter.h"
#include "insar/interferogram.h"
#include "insar/phase_ramp.h"
#include "platform/error.h"
#include "platform/file.h"
#include "support/temp_dir.h"

namespace tessarin::insar {
namespace {

using Bytes = std::vector<std::uint8_t>;

long long floorDiv16(long long a) { return a >= 0 ? a / 16 : -((-a + 15) / 16); }
std::size_t at(int y, int w, int x) { return static_cast<std::size_t>(y * w + x); }
std::uint8_t mod256(long long v) { return static_cast<std::uint8_t>(((v % 256) + 256) % 256); }

Bytes noise(int w, int h, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes b(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    for (auto& v : b) v = static_cast<std::uint8_t>(rng() & 0xFF);
    return b;
}

TEST(PhaseRamp, RampsAndBiasAreExactIntegers) {
    // H and V in half cycles, so 16 ramp = 2H (j + x0) + 2V (i + y0) exactly.
    struct Case {
        double h, v;
        long long x0, y0;
    };
    const Case cases[] = {{-1, 0, 4096, 0}, {1, 0, 0, 0},   {0, 0.5, 0, 2048}, {1, 0, 1024, 0},
                          {-1, 0, 1024, 3072}, {2.5, -1.5, 3072, 5120}, {0, 0, 7168, 1024}};
    constexpr int W = 2048, Hh = 6;
    const Bytes saved = noise(W, Hh, 7);
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "H " << c.h << " V " << c.v << " at " << c.x0 << ", " << c.y0);
        std::vector<std::uint8_t> unused;
        Bytes area(static_cast<std::size_t>(W) * W, 0);
        std::copy(saved.begin(), saved.end(), area.begin());
        applyPhaseRamp(area, unused, W, W, {c.x0, c.y0}, c.h, c.v);
        const long long h2 = std::llround(2 * c.h), v2 = std::llround(2 * c.v);
        int wrong = 0;
        for (int i = 0; i < Hh; ++i)
            for (int j = 0; j < W; ++j) {
                const std::size_t k = static_cast<std::size_t>(i) * W + static_cast<std::size_t>(j);
                const long long steps = floorDiv16(h2 * (j + c.x0) + v2 * (i + c.y0) + 8);
                if (area[k] != mod256(saved[k] + steps)) ++wrong;
            }
        EXPECT_EQ(wrong, 0);
    }
    // Bias: a mathematical modulo; 256 and -256 change nothing.
    for (const long long b : {-1LL, 1LL, 255LL, -255LL, 256LL, -256LL, 300LL, -513LL}) {
        Bytes f = saved;
        applyFringeBias(f, b);
        for (std::size_t k = 0; k < f.size(); ++k) ASSERT_EQ(f[k], mod256(saved[k] + b)) << b;
    }
    Bytes zero{0};
    applyFringeBias(zero, -1);
    EXPECT_EQ(zero[0], 255);
}

TEST(PhaseRamp, PatternShowsTheRampOfEachAxis) {
    // One cycle across (8 pixels a step) or down (4 lines a step): the
    // profile along that axis counts the steps, the other stays at the
    // middle's mean, 127.5 steps, coded 127.
    constexpr int W = 2048, H = 1024;
    for (const bool across : {true, false}) {
        SCOPED_TRACE(across ? "across" : "down");
        Bytes f(static_cast<std::size_t>(W) * H);
        for (int i = 0; i < H; ++i)
            for (int j = 0; j < W; ++j)
                f[static_cast<std::size_t>(i) * W + static_cast<std::size_t>(j)] = static_cast<std::uint8_t>(across ? j / 8 : i / 4);
        const auto curves = inclinationPattern(f, W, H);
        for (int k = 0; k < 256; ++k) {
            EXPECT_EQ(curves[across ? 0 : 1][static_cast<std::size_t>(k)], k);
            EXPECT_EQ(curves[across ? 1 : 0][static_cast<std::size_t>(k)], 127);
        }
    }
}

// ---- the disc filter against a direct sum

Bytes directDisc(const Bytes& in, int w, int h) {
    Bytes out(in.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::complex<double> sum = 0.0;
            for (int di = -5; di <= 5; ++di)
                for (int dj = -5; dj <= 5; ++dj) {
                    if (di * di + dj * dj > 24) continue;
                    const int yy = y + di, xx = x + dj;
                    if (yy < 0 || xx < 0 || yy >= h || xx >= w) continue;
                    sum += std::polar(1.0, in[at(yy, w, xx)] * 2.0 * std::numbers::pi / 256.0);
                }
            const double steps = std::floor(std::arg(sum) * 256.0 / (2.0 * std::numbers::pi) + 1.0e-6);
            out[at(y, w, x)] = mod256(static_cast<long long>(steps));
        }
    return out;
}

TEST(DiscFilter, MatchesADirectSumBordersIncluded) {
    struct Case {
        const char* what;
        int w, h;
        Bytes in;
    };
    std::vector<Case> cases;
    Bytes ramp(64 * 40);
    for (int i = 0; i < 40; ++i)
        for (int j = 0; j < 64; ++j) ramp[at(i, 64, j)] = static_cast<std::uint8_t>(3 * j + 5 * i);
    cases.push_back({"ramp", 64, 40, ramp});
    cases.push_back({"noise", 67, 45, noise(67, 45, 3)});
    cases.push_back({"tiny", 3, 2, noise(3, 2, 4)});
    cases.push_back({"one line", 30, 1, noise(30, 1, 5)});
    // Rows long enough to be summed in segments, with a remainder.
    cases.push_back({"long rows", 259, 20, noise(259, 20, 6)});
    // Smooth noise: a slow field plus small noise, like a real fringe.
    Bytes smooth(80 * 50);
    std::mt19937 rng(9);
    for (int i = 0; i < 50; ++i)
        for (int j = 0; j < 80; ++j)
            smooth[at(i, 80, j)] =
                static_cast<std::uint8_t>(static_cast<int>(40 * std::sin(j / 9.0) + 2 * i) + static_cast<int>(rng() % 41) - 20);
    cases.push_back({"smooth noise", 80, 50, smooth});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(discFilter(c.in, c.w, c.h, 1), directDisc(c.in, c.w, c.h));
        EXPECT_EQ(discFilter(c.in, c.w, c.h, 3), directDisc(c.in, c.w, c.h));
    }
    // Every uniform image stays itself, on an area of the real width.
    for (int s = 0; s < 256; ++s) {
        const Bytes u(2048 * 12, static_cast<std::uint8_t>(s));
        ASSERT_EQ(discFilter(u, 2048, 12, 2), u) << s;
    }
    EXPECT_THROW(discFilter(Bytes(10), 4, 3), Error);
}

TEST(QualityMask, RatioOfTheSmallerAmplitude) {
    struct Case {
        std::uint32_t a, b;
        int q;
    };
    const Case cases[] = {{0, 0, 0},     {100, 100, 255}, {0, 5, 0},    {5, 0, 0},       {200, 100, 128},
                          {100, 200, 128}, {3, 2, 170},   {2, 3, 170},  {65535, 65534, 255}, {65535, 1, 0},
                          {1000, 999, 255}, {257, 1, 0},  {256, 1, 1}};
    Bytes cut;
    for (const Case& c : cases) {
        EXPECT_EQ(qualityByte(c.a, c.b), c.q) << c.a << " " << c.b;
        for (std::uint32_t v : {c.a, c.b, 77u}) cut.push_back(static_cast<std::uint8_t>(v)), cut.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    const Bytes mask = qualityMask(cut, static_cast<int>(std::size(cases)), 1);
    for (std::size_t k = 0; k < std::size(cases); ++k) EXPECT_EQ(mask[k], cases[k].q) << k;
    EXPECT_THROW(qualityMask(Bytes(5), 1, 1), Error);
}

TEST(FringeInterpolation, FillsFromValidNeighboursOnly) {
    constexpr int W = 60, H = 50;
    const Bytes uniform(W * H, 77);
    Bytes mask(W * H, 255);
    mask[25 * W + 30] = 0;
    mask[0] = 1;  // only 255 counts as valid
    Bytes f = uniform;
    f[25 * W + 30] = 3;
    f[0] = 9;
    const Bytes out = interpolateByMask(f, mask, W, H);
    EXPECT_EQ(out[25 * W + 30], 77);
    EXPECT_EQ(out[0], 77);
    for (std::size_t k = 1; k < out.size(); ++k)
        if (k != 25 * W + 30) {
            ASSERT_EQ(out[k], 77) << k;
        }
    // Nothing valid within reach: kept.
    const Bytes none(W * H, 0);
    EXPECT_EQ(interpolateByMask(f, none, W, H), f);
}

// ---- colour

ColorTable testTable() {
    ColorTable t{};
    for (int k = 0; k < 256; ++k)
        t[static_cast<std::size_t>(k)] = {static_cast<std::uint8_t>(k), static_cast<std::uint8_t>(255 - k),
                                          static_cast<std::uint8_t>((7 * k) & 255)};
    return t;
}

TEST(FringeColour, ProductsOfATestTable) {
    const ColorTable t = testTable();
    const Bytes f = noise(97, 31, 11);
    const std::size_t n = f.size();
    const Bytes clr = colourFringe(f, t);
    ASSERT_EQ(clr.size(), 3 * n);
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t c = 0; c < 3; ++c) ASSERT_EQ(clr[3 * i + c], t[f[i]][c]);

    std::mt19937 rng(2);
    std::vector<std::uint16_t> a(n);
    for (auto& v : a) v = static_cast<std::uint16_t>(rng() % 3000);
    a[0] = 60000;  // far above the mean: full colour in both
    double sum = 0;
    for (auto v : a) sum += v;
    const double mean = sum / static_cast<double>(n);
    const Bytes withI = colourFringeWithIntensity(f, a, t);
    const Bytes comp = fringeImageComposite(f, a, t);
    for (std::size_t i = 0; i < n; ++i) {
        const double fac = std::min(1.0, 196.0 / mean * a[i] / 1024.75);
        const double e = a[i] / mean * 64.0;
        const int eb = e < 256.0 ? static_cast<int>(e) : 255;
        for (std::size_t c = 0; c < 3; ++c) {
            ASSERT_EQ(withI[3 * i + c], static_cast<std::uint8_t>(std::min(255.0, std::trunc(t[f[i]][c] * fac)))) << i;
            ASSERT_EQ(comp[3 * i + c], (t[f[i]][c] * eb) / 256) << i;
        }
    }
    for (std::size_t c = 0; c < 3; ++c) EXPECT_EQ(withI[c], t[f[0]][c]);
    EXPECT_EQ(compositeFactor(static_cast<std::uint16_t>(4 * 100), 100.0), 255);
    EXPECT_EQ(compositeFactor(399, 100.0), 255);
    EXPECT_EQ(compositeFactor(200, 100.0), 128);
    // A dark area: factors 0, no division by zero.
    const std::vector<std::uint16_t> dark(n, 0);
    EXPECT_EQ(colourFringeWithIntensity(f, dark, t), Bytes(3 * n, 0));
    EXPECT_EQ(fringeImageComposite(f, dark, t), Bytes(3 * n, 0));
    EXPECT_THROW(colourFringeWithIntensity(f, std::vector<std::uint16_t>(3), t), Error);
}

TEST(FringeColour, MaskedColouringKeepsValidBlackVisible) {
    ColorTable t = testTable();
    t[5] = {0, 0, 0};
    const Bytes product{5, 0, 200, 7, 0};
    const Bytes mask{1, 1, 0, 9, 255};
    const Bytes colour = maskedColouring(product, mask, true, t);
    EXPECT_EQ(colour, (Bytes{1, 1, 1, 0, 255, 0, 0, 0, 0, 7, 248, 49, 0, 255, 0}));
    const Bytes grey = maskedColouring(product, mask, false, t);
    EXPECT_EQ(grey, (Bytes{5, 5, 5, 1, 1, 1, 0, 0, 0, 7, 7, 7, 1, 1, 1}));
}

class FringeColourFiles : public testing::TempDirTest {};

TEST_F(FringeColourFiles, ScratchFileIsTheOneDeleted) {
    const Bytes product{1, 2, 3, 4, 5, 6}, mask{1, 0, 1, 1, 1, 1};
    writeWholeFile(path("frg"), product);
    writeWholeFile(path("mask"), mask);
    const ColorTable t = testTable();
    std::string seen;
    maskedColouringThroughFile(path("frg"), path("mask"), 3, 2, path("out"), true, t, [&](const std::string& scratch) {
        seen = scratch;
        EXPECT_EQ(readWholeFile(scratch), maskedColouring(product, mask, true, t));
    });
    EXPECT_EQ(seen, path("out") + "tempo");
    EXPECT_FALSE(fileExists(seen));
    // A failing writer still leaves no scratch file behind.
    EXPECT_THROW(maskedColouringThroughFile(path("frg"), path("mask"), 3, 2, path("out"), false, t,
                                            [](const std::string&) { throw Error("writer failed"); }),
                 Error);
    EXPECT_FALSE(fileExists(path("out") + "tempo"));
    // A short product or a missing mask: refused, nothing written.
    EXPECT_THROW(maskedColouringThroughFile(path("frg"), path("mask"), 4, 2, path("o2"), true, t, {}), Error);
    EXPECT_THROW(maskedColouringThroughFile(path("frg"), path("nomask"), 3, 2, path("o2"), true, t, {}), Error);
    EXPECT_FALSE(fileExists(path("o2") + "tempo"));
}

TEST_F(FringeColourFiles, TableSearchAndTheShippedDefault) {
    // The shipped file is the built-in default, and that default is cyclic:
    // neighbouring entries, 255 to 0 included, differ by a few levels only.
    const std::string shipped = std::string(TESSARIN_SOURCE_DIR) + "/share/ColorTable.raw";
    EXPECT_EQ(readWholeFile(shipped), colorTableBytes(defaultColorTable()));
    const ColorTable d = defaultColorTable();
    int largest = 0;
    for (int k = 0; k < 256; ++k)
        for (int c = 0; c < 3; ++c)
            largest = std::max(largest, std::abs(d[static_cast<std::size_t>(k)][static_cast<std::size_t>(c)] -
                                                 d[static_cast<std::size_t>((k + 1) % 256)][static_cast<std::size_t>(c)]));
    EXPECT_LE(largest, 4);
    EXPECT_NE(d[0], d[128]);

    // The work folder's table first.
    const ColorTable t = testTable();
    writeWholeFile(path(kColorTableName), colorTableBytes(t));
    const LoadedColorTable own = loadColorTable(dir());
    EXPECT_EQ(own.table, t);
    EXPECT_EQ(own.path, path(kColorTableName));
    EXPECT_TRUE(own.notice.empty()) << own.notice;
    // A short one is passed over with a notice; what follows (the share
    // folder's table or the built-in one) is the default.
    writeWholeFile(path(kColorTableName), Bytes(700, 9));
    const LoadedColorTable fallback = loadColorTable(dir());
    EXPECT_EQ(fallback.table, d);
    EXPECT_NE(fallback.notice.find("700 bytes"), std::string::npos) << fallback.notice;
}

TEST(FringeColour, AmplitudeTiffNameCutsWithinTheFileName) {
    EXPECT_EQ(temporalAmplitudeTiffPath("/data/ab.INFfrg.img"), "/data/CAmp.tif");
    EXPECT_EQ(temporalAmplitudeTiffPath("/data/projectX.INFfrg.img"), "/data/projCAmp.tif");
    EXPECT_EQ(temporalAmplitudeTiffPath("/d/frg.img"), "/d/CAmp.tif");
    EXPECT_EQ(temporalAmplitudeTiffPath("short"), "CAmp.tif");
}

}  // namespace
}  // namespace tessarin::insar
