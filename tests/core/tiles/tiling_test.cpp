#include <gtest/gtest.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <cmath>
#include <filesystem>
#include <functional>
#include <numbers>
#include <random>

#include "platform/bytes.h"
#include "platform/file.h"
#include "platform/ui.h"
#include "support/temp_dir.h"
#include "tiles/tiling.h"

using namespace tessarin;
using namespace tessarin::tiles;

namespace {

constexpr int kFileHeader = 720;

// Writes an image file of the CEOS layout: a 720-byte descriptor (left
// blank: the conversion takes the layout from its caller), then line records
// with a prefix and big-endian samples.
ImageLayout writeComplexImage(const std::string& path, int pixel, int line, int prefix,
                              const std::function<std::pair<float, float>(int, int)>& sample) {
    ByteWriter w;
    w.fill(kFileHeader, 0);
    for (int y = 0; y < line; ++y) {
        w.fill(static_cast<std::size_t>(prefix), 0xAA);
        for (int x = 0; x < pixel; ++x) {
            const auto [i, q] = sample(x, y);
            w.be<float>(i);
            w.be<float>(q);
        }
    }
    writeWholeFile(path, w.buffer());
    return {path, pixel, line, kFileHeader, prefix, prefix + 8 * pixel, true};
}

ImageLayout writeAmplitudeImage(const std::string& path, int pixel, int line, int prefix,
                                const std::function<std::uint16_t(int, int)>& sample) {
    ByteWriter w;
    w.fill(kFileHeader, 0);
    for (int y = 0; y < line; ++y) {
        w.fill(static_cast<std::size_t>(prefix), 0x55);
        for (int x = 0; x < pixel; ++x) w.be<std::uint16_t>(sample(x, y));
    }
    writeWholeFile(path, w.buffer());
    return {path, pixel, line, kFileHeader, prefix, prefix + 2 * pixel, true};
}

// The conversion written out plainly, sample by sample with atan2, as the
// reference for the tile bytes and the quick-look.
struct Reference {
    std::vector<std::uint8_t> tiles;
    std::vector<std::uint8_t> quickLook;
};

Reference referenceComplex(const std::function<std::pair<float, float>(int, int)>& sample, int pixel, int line) {
    const int ntx = (pixel + 1023) / 1024;
    const int nty = (line + 1023) / 1024;
    Reference r;
    r.tiles.assign(static_cast<std::size_t>(ntx) * nty * 1024 * 1024 * 3, 0);
    std::vector<double> cells(65536, 0.0);
    const int bx = std::max(1, pixel / 256);
    const int by = std::max(1, line / 256);
    for (int y = 0; y < line; ++y) {
        for (int x = 0; x < pixel; ++x) {
            auto [i, q] = sample(x, y);
            if (std::isnan(i) || std::isnan(q)) i = q = 0;
            const double m = std::sqrt(double(i) * i + double(q) * q);
            if (y / by < 256 && x / bx < 256) cells[static_cast<std::size_t>(y / by * 256 + x / bx)] += m;
            const std::uint32_t a = static_cast<std::uint32_t>(std::min(32767.0, std::trunc(m * 0.01)));
            const double phi = std::atan2(double(q), double(i));
            const auto p = static_cast<std::uint32_t>(
                static_cast<long long>(std::floor((phi + std::numbers::pi) / (2 * std::numbers::pi) * 512)) % 512);
            const std::uint32_t w = a * 512 + p;
            const std::size_t tile = static_cast<std::size_t>(x / 1024 + (y / 1024) * ntx);
            const std::size_t at = tile * 1024 * 1024 * 3 + (static_cast<std::size_t>(y % 1024) * 1024 + x % 1024) * 3;
            r.tiles[at] = static_cast<std::uint8_t>(w >> 16);
            r.tiles[at + 1] = static_cast<std::uint8_t>(w >> 8);
            r.tiles[at + 2] = static_cast<std::uint8_t>(w);
        }
    }
    r.quickLook = quickLookImage(cells);
    return r;
}

std::pair<float, float> speckle(int x, int y) {
    // Deterministic, wide-ranging samples with structure.
    std::uint32_t h = static_cast<std::uint32_t>(x) * 2654435761u ^ static_cast<std::uint32_t>(y) * 40503u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    const double amp = (x < 1800 ? 800.0 : 20000.0) * ((h & 0xFFFF) / 65536.0 + 0.01);
    const double ph = ((h >> 16) / 65536.0) * 2 * std::numbers::pi;
    return {static_cast<float>(amp * std::cos(ph)), static_cast<float>(amp * std::sin(ph))};
}

// A Ui that fails on the n-th status text, like a conversion cut short by a
// full disk or a crash of the caller.
class FailingUi : public ScriptedUi {
public:
    explicit FailingUi(int failAt) : failAt_(failAt) {}
    void status(const std::string& text) override {
        if (++count_ == failAt_) throw Error("interrupted");
        ScriptedUi::status(text);
    }

private:
    int failAt_;
    int count_ = 0;
};

using Tiling = tessarin::testing::TempDirTest;

}  // namespace

TEST_F(Tiling, ComplexSceneMatchesThePlainReferenceByteForByte) {
    const int pixel = 2500, line = 1500;
    const auto image = writeComplexImage(path("IMG-HH-scene"), pixel, line, 544, speckle);
    const Reference ref = referenceComplex(speckle, pixel, line);
    for (int threads : {1, 3}) {
        SCOPED_TRACE(threads);
        ScriptedUi ui;
        ConversionOptions options;
        options.threads = threads;
        const auto r = convertComplex(image, path("t.cpx"), path("t.idx"), ui, options);
        EXPECT_EQ(r.grid.ntx, 3);
        EXPECT_EQ(r.grid.nty, 2);
        EXPECT_EQ(r.bucketX, 9);
        EXPECT_EQ(r.bucketY, 5);
        const auto tiles = readWholeFile(path("t.cpx"));
        ASSERT_EQ(tiles.size(), ref.tiles.size());
        EXPECT_TRUE(tiles == ref.tiles);
        EXPECT_EQ(readWholeFile(path("t.idx")), ref.quickLook);
        // Tile 5 (kx 2, ky 1): scene pixels 2048..2499, lines 1024..1499; zeros elsewhere.
        const std::size_t t5 = 5u * 1024 * 1024 * 3;
        const auto at = [&](std::size_t x, std::size_t y) { return t5 + (y * 1024 + x) * 3; };
        EXPECT_NE(loadPacked(&tiles[at(451, 475)]), 0u);
        EXPECT_EQ(loadPacked(&tiles[at(452, 0)]), 0u);
        EXPECT_EQ(loadPacked(&tiles[at(0, 476)]), 0u);
        EXPECT_EQ(loadPacked(&tiles[at(1023, 1023)]), 0u);
        // Status texts: one per tile, then the end.
        ASSERT_EQ(ui.statuses.size(), 7u);
        EXPECT_EQ(ui.statuses[0], "kpy=0 of 2, kx 0 of 3");
        EXPECT_EQ(ui.statuses[5], "kpy=1 of 2, kx 2 of 3");
        EXPECT_EQ(ui.statuses[6], "End tiling image");
        EXPECT_EQ(ui.lastProgress, (std::pair<long long, long long>{2, 2}));
        EXPECT_EQ(ui.busyDepth, 0);
    }
}

TEST_F(Tiling, ZeroSamplesInsideTheSceneAreNotZeroBytes) {
    // A zero sample inside the scene packs with phase code 256; outside the
    // scene every byte is 0.
    const auto image = writeComplexImage(path("IMG-HH-zero"), 10, 3, 0, [](int, int) { return std::pair{0.0f, 0.0f}; });
    ScriptedUi ui;
    convertComplex(image, path("z.cpx"), path("z.idx"), ui);
    const auto tiles = readWholeFile(path("z.cpx"));
    EXPECT_EQ(loadPacked(&tiles[0]), 256u);
    EXPECT_EQ(loadPacked(&tiles[9 * 3]), 256u);
    EXPECT_EQ(loadPacked(&tiles[10 * 3]), 0u);
    EXPECT_EQ(loadPacked(&tiles[1024 * 3 * 3]), 0u);
    // All cells zero: the quick-look is all zero, no division by zero.
    const auto ql = readWholeFile(path("z.idx"));
    EXPECT_EQ(std::count(ql.begin(), ql.end(), 0), 65536);
}

TEST_F(Tiling, NarrowAndShortScenesUseOneSampleBuckets) {
    const auto image = writeComplexImage(path("IMG-HH-narrow"), 100, 300, 12, speckle);
    ScriptedUi ui;
    const auto r = convertComplex(image, path("n.cpx"), path("n.idx"), ui);
    EXPECT_EQ(r.bucketX, 0);
    EXPECT_EQ(r.bucketY, 1);
    EXPECT_EQ(readWholeFile(path("n.idx")), referenceComplex(speckle, 100, 300).quickLook);
    const auto ql = readWholeFile(path("n.idx"));
    EXPECT_EQ(ql[100], 0) << "cells past the scene stay empty";
}

TEST_F(Tiling, AmplitudeSceneLittleEndianTilesAndClampedBuckets) {
    const int pixel = 1100, line = 600;
    const auto value = [](int x, int y) { return static_cast<std::uint16_t>((x * 31 + y * 17) % 60000 + 1); };
    const auto image = writeAmplitudeImage(path("IMG-HH-amp"), pixel, line, 192, value);
    ScriptedUi ui;
    const auto r = convertAmplitude(image, path("a.tile"), path("a.idx"), ui);
    EXPECT_EQ(r.grid.ntx, 2);
    EXPECT_EQ(r.grid.nty, 1);
    const auto tiles = readWholeFile(path("a.tile"));
    ASSERT_EQ(tiles.size(), 2u * 1024 * 1024 * 2);
    const auto px = [&](int x, int y) {
        const std::size_t at = static_cast<std::size_t>(x / 1024) * 1024 * 1024 * 2 +
                               (static_cast<std::size_t>(y) * 1024 + x % 1024) * 2;
        return static_cast<int>(tiles[at] | (tiles[at + 1] << 8));
    };
    EXPECT_EQ(px(0, 0), value(0, 0));
    EXPECT_EQ(px(1099, 599), value(1099, 599));
    EXPECT_EQ(px(1050, 10), value(1050, 10));
    EXPECT_EQ(px(1100, 10), 0);
    EXPECT_EQ(px(5, 600), 0);
    // Quick-look: buckets of 4 pixels x 2 lines; columns 1024..1099 land in
    // cells 256.. and are clamped into the last column.
    std::vector<double> cells(65536, 0.0);
    for (int y = 0; y < line; ++y)
        for (int x = 0; x < pixel; ++x) cells[static_cast<std::size_t>(std::min(y / 2, 255) * 256 + std::min(x / 4, 255))] += value(x, y);
    EXPECT_EQ(readWholeFile(path("a.idx")), quickLookImage(cells));
    EXPECT_EQ(ui.statuses, std::vector<std::string>{"End tiling image"});
}

TEST_F(Tiling, InterruptedConversionLeavesNothingUnderTheFinalNames) {
    const auto image = writeComplexImage(path("IMG-HH-cut"), 2100, 1100, 0, speckle);
    FailingUi ui(4);
    EXPECT_THROW(convertComplex(image, path("c.cpx"), path("c.idx"), ui), Error);
    EXPECT_FALSE(fileExists(path("c.cpx")));
    EXPECT_FALSE(fileExists(path("c.idx")));
    int files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir())) ++files;
    EXPECT_EQ(files, 1) << "only the image may remain";
    EXPECT_EQ(ui.busyDepth, 0) << "the busy cursor ends with the failure";
}

TEST_F(Tiling, LyingLayoutsAreRefusedAndTruncatedFilesReadAsZeros) {
    auto image = writeComplexImage(path("IMG-HH-lie"), 50, 40, 8, speckle);
    ScriptedUi ui;
    ImageLayout lie = image;
    lie.linebytes = 100;  // 50 samples of 8 bytes cannot fit
    EXPECT_THROW(convertComplex(lie, path("l.cpx"), path("l.idx"), ui), Error);
    lie = image;
    lie.pixel = 1 << 30;
    lie.linebytes = 8 + 8 * (1 << 27);
    EXPECT_THROW(convertComplex(lie, path("l.cpx"), path("l.idx"), ui), Error);
    lie = image;
    lie.pixel = 0;
    EXPECT_THROW(convertAmplitude(lie, path("l.tile"), path("l.idx"), ui), Error);
    // Records claimed to be 1 GiB long: only each line's prefix and samples
    // are read (nothing holds a chunk of such records), past the end of the
    // file they read as zeros.
    lie = image;
    lie.linebytes = 1 << 30;
    convertComplex(lie, path("g.cpx"), path("g.idx"), ui);
    const auto giant = readWholeFile(path("g.cpx"));
    EXPECT_EQ(loadPacked(&giant[0]), packComplexReference(speckle(0, 0).first, speckle(0, 0).second));
    EXPECT_EQ(loadPacked(&giant[(1 * 1024 + 3) * 3]), 256u) << "line 1 lies beyond the end of the file";
    // So is a prefix claimed to be 1 GiB long: the samples lie past the end.
    lie = image;
    lie.lineheader = 1 << 30;
    lie.linebytes = (1 << 30) + 8 * 50;
    convertComplex(lie, path("h.cpx"), path("h.idx"), ui);
    EXPECT_EQ(loadPacked(&readWholeFile(path("h.cpx"))[0]), 256u);
    // The file holds 40 lines; a descriptor claiming 60 converts the rest as zeros.
    lie = image;
    lie.line = 60;
    convertComplex(lie, path("t.cpx"), path("t.idx"), ui);
    const auto tiles = readWholeFile(path("t.cpx"));
    EXPECT_NE(loadPacked(&tiles[(39 * 1024) * 3]), 0u);
    EXPECT_EQ(loadPacked(&tiles[(45 * 1024) * 3]), 256u) << "missing lines read as zero samples";
}

TEST_F(Tiling, AmplitudeSceneOfSeveralStripsAndChunksMatchesThePlainLayout) {
    // 2100 x 2100 samples: three tile rows and columns (the last ones
    // partial), each tile row read in more than one chunk.
    const int pixel = 2100, line = 2100;
    const auto value = [](int x, int y) { return static_cast<std::uint16_t>((x * 7919 + y * 104729) % 65535 + 1); };
    const auto image = writeAmplitudeImage(path("IMG-HH-big"), pixel, line, 192, value);
    std::vector<std::uint8_t> want(9u * 1024 * 1024 * 2, 0);
    std::vector<double> cells(65536, 0.0);
    for (int y = 0; y < line; ++y) {
        for (int x = 0; x < pixel; ++x) {
            const std::size_t at = (static_cast<std::size_t>(x / 1024 + (y / 1024) * 3) * 1024 * 1024 +
                                    static_cast<std::size_t>(y % 1024) * 1024 + static_cast<std::size_t>(x % 1024)) *
                                   2;
            want[at] = static_cast<std::uint8_t>(value(x, y) & 0xFF);
            want[at + 1] = static_cast<std::uint8_t>(value(x, y) >> 8);
            cells[static_cast<std::size_t>(std::min(y / 8, 255) * 256 + std::min(x / 8, 255))] += value(x, y);
        }
    }
    for (int threads : {1, 3}) {
        SCOPED_TRACE(threads);
        ScriptedUi ui;
        ConversionOptions options;
        options.threads = threads;
        convertAmplitude(image, path("b.tile"), path("b.idx"), ui, options);
        EXPECT_TRUE(readWholeFile(path("b.tile")) == want);
        EXPECT_EQ(readWholeFile(path("b.idx")), quickLookImage(cells));
        EXPECT_EQ(ui.lastProgress, (std::pair<long long, long long>{3, 3}));
    }
}

TEST_F(Tiling, AmplitudeFileCutShortReadsAsZeros) {
    // 20 lines of 30 samples, cut in the middle of line 12's samples, with a
    // descriptor that claims 25 lines: the samples that are there are kept,
    // the rest are zero.
    const auto value = [](int x, int y) { return static_cast<std::uint16_t>(1000 + 40 * y + x); };
    auto image = writeAmplitudeImage(path("IMG-HH-cut"), 30, 20, 12, value);
    auto bytes = readWholeFile(image.imagePath);
    bytes.resize(static_cast<std::size_t>(kFileHeader + 12 * image.linebytes + 12 + 2 * 10));
    writeWholeFile(image.imagePath, bytes);
    image.line = 25;
    for (int threads : {1, 2}) {
        ScriptedUi ui;
        ConversionOptions options;
        options.threads = threads;
        convertAmplitude(image, path("c.tile"), path("c.idx"), ui, options);
        const auto tiles = readWholeFile(path("c.tile"));
        const auto px = [&](int x, int y) {
            const std::size_t at = (static_cast<std::size_t>(y) * 1024 + static_cast<std::size_t>(x)) * 2;
            return static_cast<int>(tiles[at] | (tiles[at + 1] << 8));
        };
        EXPECT_EQ(px(29, 11), value(29, 11));
        EXPECT_EQ(px(9, 12), value(9, 12));
        EXPECT_EQ(px(10, 12), 0);
        EXPECT_EQ(px(0, 13), 0);
        EXPECT_EQ(px(5, 24), 0);
    }
}

// A read that fails is no end of file: the conversion stops with the file's
// name and the system's reason, however the records are read, and leaves no
// file behind, not even a temporary one. The "image" is the process's
// memory file, a regular file whose reads at unmapped addresses fail (EIO).
TEST_F(Tiling, ReadErrorsStopTheConversionAndLeaveNoFiles) {
    const std::string image = "/proc/self/mem";
    const std::string out = path("out");
    std::filesystem::create_directory(out);
    struct Case {
        const char* what;
        bool complex;
        int recordSlack;  // record bytes besides prefix and samples
    };
    const Case cases[] = {{"complex records read in runs", true, 0},
                          {"complex samples read line by line", true, 1 << 20},
                          {"amplitudes read into their tiles", false, 0},
                          {"amplitudes read line by line", false, 1 << 20}};
    for (const auto& c : cases) {
        for (int threads : {1, 2}) {
            SCOPED_TRACE(std::string(c.what) + ", threads " + std::to_string(threads));
            const int pixel = 300, prefix = 12;
            const ImageLayout layout{image, pixel, 200, kFileHeader, prefix,
                                     prefix + (c.complex ? 8 : 2) * pixel + c.recordSlack, true};
            ConversionOptions options;
            options.threads = threads;
            ScriptedUi ui;
            try {
                if (c.complex)
                    convertComplex(layout, out + "/e.cpx", out + "/e.idx", ui, options);
                else
                    convertAmplitude(layout, out + "/e.tile", out + "/e.idx", ui, options);
                ADD_FAILURE() << "a failed read was taken for zeros";
            } catch (const Error& e) {
                const std::string text = e.what();
                EXPECT_NE(text.find(image), std::string::npos) << text;
                EXPECT_NE(text.find(std::strerror(EIO)), std::string::npos) << text;
            }
            EXPECT_TRUE(std::filesystem::is_empty(out));
            EXPECT_EQ(ui.busyDepth, 0);
        }
    }
}

TEST(QuickLook, ScalingRule) {
    std::vector<double> equal(65536, 3.5);
    const auto zeros = quickLookImage(equal);
    EXPECT_EQ(std::count(zeros.begin(), zeros.end(), 0), 65536);
    // Half the cells 1, half 3: m = 2, s = 1, lo = 0 -> 32 and 96.
    std::vector<double> two(65536, 1.0);
    std::fill(two.begin() + 32768, two.end(), 3.0);
    const auto img = quickLookImage(two);
    EXPECT_EQ(img[0], 32);
    EXPECT_EQ(img[65535], 96);
    // A bright outlier saturates at 255.
    std::vector<double> bright(65536, 1.0);
    bright[7] = 1e9;
    EXPECT_EQ(quickLookImage(bright)[7], 255);
}
