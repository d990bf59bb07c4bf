// The exported pictures: the parallel PNG encoder against libpng's reader
// and pngcheck, the brightness mapping against the display's rule written
// out, and the transparency against the alpha plane.

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "core/imagefiles/image_tools.h"
#include "export/frame_png.h"
#include "imagefiles/png_parallel.h"
#include "platform/error.h"
#include "platform/file.h"
#include "support/png_read.h"
#include "support/temp_dir.h"

using namespace tessarin;
using namespace tessarin::geoexport;

namespace {

using FramePngTest = tessarin::testing::TempDirTest;

std::vector<std::uint8_t> noise(std::size_t n, unsigned seed, int levels) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> d(0, levels - 1);
    std::vector<std::uint8_t> v(n);
    for (auto& b : v) b = static_cast<std::uint8_t>(d(rng) * (256 / levels));
    return v;
}

}  // namespace

// Every band split, level and size decodes to the very pixels given.
TEST_F(FramePngTest, ParallelEncoderDecodesToTheSamePixels) {
    struct Case {
        int width, height, threads, level, levels;
    };
    const Case cases[] = {
        {1, 1, 2, 3, 256},     {3, 65, 2, 1, 256},   {257, 300, 2, 3, 4},  {257, 300, 1, 3, 4},
        {300, 129, 5, 9, 2},  {64, 640, 8, 6, 256}, {2, 1000, 3, 1, 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << " threads " << c.threads);
        const auto rgba = noise(static_cast<std::size_t>(c.width) * c.height * 4, static_cast<unsigned>(c.width * 7 + c.height), c.levels);
        const std::string file = path(std::to_string(&c - cases).append(".p.png"));
        writeWholeFile(file, encodePngRgbaParallel(c.width, c.height, rgba, {c.threads, c.level}));
        const auto back = tessarin::testing::readPng(file);
        ASSERT_EQ(back.width, c.width);
        ASSERT_EQ(back.height, c.height);
        EXPECT_TRUE(back.pixels == rgba);
    }
    // pngcheck verifies every chunk's CRC and the zlib stream's checksum.
    const auto check = tessarin::testing::runTool("cd " + tessarin::testing::shellQuote(dir()) + " && pngcheck *.p.png");
    EXPECT_EQ(check.exitCode, 0) << check.output;
    std::size_t rgbaFiles = 0;
    for (std::size_t at = 0; (at = check.output.find("32-bit RGB+alpha", at)) != std::string::npos; ++at) ++rgbaFiles;
    EXPECT_EQ(rgbaFiles, std::size(cases)) << check.output;
    EXPECT_THROW(encodePngRgbaParallel(0, 5, {}), Error);
    EXPECT_THROW(encodePngRgbaParallel(4, 4, std::vector<std::uint8_t>(63)), Error);
}

// Transparency follows the alpha plane alone: a valid black pixel inside
// the frame stays opaque, a pixel outside stays transparent whatever it
// holds; brightness is the display's rule v / mean x 64 x gain, truncated
// and limited to 255, with the third channel at the second's mean.
TEST_F(FramePngTest, AlphaPlaneAndBrightnessRuleMakeThePicture) {
    const int w = 130, h = 70;
    std::vector<std::uint16_t> rgb(static_cast<std::size_t>(w) * h * 3);
    std::vector<std::uint8_t> alpha(static_cast<std::size_t>(w) * h, 255);
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> d(0, 60000);
    for (auto& v : rgb) v = static_cast<std::uint16_t>(d(rng));
    struct Special {
        int x, y;
        std::uint16_t r, g, b;
        std::uint8_t a;
    };
    const Special specials[] = {
        {0, 0, 0, 0, 0, 255},          // dark sea inside the frame
        {5, 3, 1, 0, 0, 255},
        {129, 69, 40000, 40000, 40000, 0},  // outside: data there, still transparent
        {64, 35, 0, 0, 0, 0},
    };
    for (const Special& s : specials) {
        const std::size_t k = static_cast<std::size_t>(s.y) * w + s.x;
        rgb[3 * k] = s.r, rgb[3 * k + 1] = s.g, rgb[3 * k + 2] = s.b;
        alpha[k] = s.a;
    }
    const FramePixels frame{w, h, rgb, alpha};
    const display::ChannelStatistics stats = frameStatistics(frame, 1);
    // The plain means of the opaque, non-zero samples.
    for (int c = 0; c < 2; ++c) {
        double sum = 0;
        long n = 0;
        for (std::size_t k = 0; k < alpha.size(); ++k)
            if (alpha[k] && rgb[3 * k + c]) sum += rgb[3 * k + c], ++n;
        EXPECT_NEAR(stats.mean[static_cast<std::size_t>(c)], sum / n, 1e-9 * sum / n);
    }
    EXPECT_EQ(stats.mean[2], stats.mean[1]);

    const std::array<double, 3> gains{1.0, 1.5, 0.5};
    const std::string file = path("f.png");
    writeFramePng(file, frame, stats, gains);
    const auto back = tessarin::testing::readPng(file);
    ASSERT_EQ(back.width, w);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::size_t k = static_cast<std::size_t>(y) * w + x;
            const auto px = back.at(x, y);
            ASSERT_EQ(px[3], alpha[k] ? 255 : 0) << x << "," << y;
            for (int c = 0; c < 3 && alpha[k]; ++c) {
                const double want = std::min(255.0, std::trunc(rgb[3 * k + c] / stats.mean[static_cast<std::size_t>(c)] * 64 * gains[static_cast<std::size_t>(c)]));
                ASSERT_EQ(px[static_cast<std::size_t>(c)], static_cast<int>(want)) << x << "," << y << " channel " << c;
            }
        }
    EXPECT_EQ(back.at(0, 0)[3], 255) << "black inside the frame is opaque";
}

// One reference for a run: the first frame with data fixes it, so the same
// value shows alike in every later frame; an empty frame fixes nothing.
TEST_F(FramePngTest, TheFirstFrameWithDataFixesTheBrightnessReference) {
    const int w = 64, h = 64;
    const auto frameOf = [&](std::uint16_t value, std::uint8_t a, std::vector<std::uint16_t>& rgb, std::vector<std::uint8_t>& alpha) {
        rgb.assign(static_cast<std::size_t>(w) * h * 3, value);
        alpha.assign(static_cast<std::size_t>(w) * h, a);
        return FramePixels{w, h, rgb, alpha};
    };
    std::vector<std::uint16_t> r0, r1, r2;
    std::vector<std::uint8_t> a0, a1, a2;
    BrightnessReference ref;
    ref.take(frameOf(500, 0, r0, a0));
    EXPECT_FALSE(ref.valid) << "a frame without opaque pixels";
    EXPECT_EQ(ref.take(frameOf(1000, 255, r1, a1)).mean[0], 1000.0);
    EXPECT_TRUE(ref.valid);
    EXPECT_EQ(ref.take(frameOf(3000, 255, r2, a2)).mean[0], 1000.0) << "the second frame keeps the first's reference";
}
