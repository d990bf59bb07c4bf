#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <numbers>
#include <random>

#include "platform/file.h"
#include "platform/format.h"
#include "platform/ui.h"
#include "support/temp_dir.h"
#include "tiles/tile_store.h"

using namespace tessarin;
using namespace tessarin::tiles;

namespace {

// The packing rule written out plainly, independent of the library's code.
std::uint32_t plainPack(float i, float q) {
    if (std::isnan(i) || std::isnan(q)) i = q = 0;
    const double m = std::sqrt(double(i) * double(i) + double(q) * double(q));
    double a = std::trunc(m * 0.01);
    if (a > 32767) a = 32767;
    const double phi = std::atan2(double(q), double(i));
    long long p = static_cast<long long>(std::floor((phi + std::numbers::pi) / (2 * std::numbers::pi) * 512));
    p %= 512;
    return static_cast<std::uint32_t>(a) * 512 + static_cast<std::uint32_t>(p);
}

std::uint32_t fastPack(float i, float q) {
    const float iq[2] = {i, q};
    std::uint8_t out[3];
    double m = 0;
    packComplexLine(iq, 1, out, &m);
    return loadPacked(out);
}

}  // namespace

TEST(TileGridTest, LargeSceneGridOffsetsAndCoordinates) {
    const TileGrid g = TileGrid::make(10000, 30000);
    EXPECT_EQ(g.ntx, 10);
    EXPECT_EQ(g.nty, 30);
    EXPECT_EQ(g.fileBytes(TileKind::Complex), 300ull * 3145728ull);
    EXPECT_EQ(g.tileNumber(3, 2), 23);
    EXPECT_EQ(g.tileOffset(g.tileNumber(3, 2), TileKind::Complex), 23ull * 3145728ull);
    EXPECT_EQ(g.tileOffset(23, TileKind::Amplitude), 23ull * 2097152ull);
    const TileLocalPoint p = g.toLocal({9999, 29999});
    EXPECT_EQ(p, (TileLocalPoint{9, 29, 783, 303}));
    EXPECT_EQ(g.toGlobal(p), (GlobalPoint{9999, 29999}));
    EXPECT_EQ(g.toLocal({-1, 0}), (TileLocalPoint{-1, 0, 1023, 0}));
    EXPECT_FALSE(g.contains(10, 0));
    EXPECT_FALSE(g.contains(0, -1));
    EXPECT_TRUE(g.contains(9, 29));
    EXPECT_EQ(TileGrid::make(1024, 1025).nty, 2);
    EXPECT_EQ(TileGrid::make(0, 0).ntx, 0);
    EXPECT_THROW(TileGrid::make(10, 10, 0, 1024), Error);
}

// Tile numbers and offsets of grids with more tiles than an int counts (the
// largest scene in tiles of one or a few pixels): against exact 128-bit
// arithmetic, and the last line of the last tile ending the file.
TEST(TileGridTest, AddressesOfGridsBeyondIntTileCounts) {
    using Wide = unsigned __int128;
    struct Case {
        int pixel, line, tpix, tlin;
    };
    const Case cases[] = {{10000, 30000, 1024, 1024}, {131072, 2097152, 1, 1}, {131072, 2097152, 3, 2},
                          {100000, 2000000, 1, 8192}, {131072, 2097152, 8192, 1}};
    for (const auto& c : cases) {
        const TileGrid g = TileGrid::make(c.pixel, c.line, c.tpix, c.tlin);
        for (const TileKind kind : {TileKind::Complex, TileKind::Amplitude}) {
            SCOPED_TRACE(format("%d x %d in tiles of %d x %d, %zu-byte pixels", c.pixel, c.line, c.tpix, c.tlin,
                                pixelBytes(kind)));
            const int kxs[] = {0, 1, g.ntx / 2, g.ntx - 1};
            const int kys[] = {0, 1, g.nty / 2, g.nty - 1};
            for (const int ky : kys)
                for (const int kx : kxs)
                    for (const int y : {0, g.tlin - 1}) {
                        const Wide number = Wide(unsigned(ky)) * unsigned(g.ntx) + unsigned(kx);
                        const Wide want =
                            (number * unsigned(g.tlin) + unsigned(y)) * unsigned(g.tpix) * pixelBytes(kind);
                        EXPECT_TRUE(Wide(g.tileLineOffset(kx, ky, y, kind)) == want) << kx << ", " << ky << ", " << y;
                        EXPECT_TRUE(Wide(static_cast<std::uint64_t>(g.tileNumber(kx, ky))) == number);
                    }
            EXPECT_EQ(g.tileLineOffset(g.ntx - 1, g.nty - 1, g.tlin - 1, kind) +
                          static_cast<std::uint64_t>(g.tpix) * pixelBytes(kind),
                      g.fileBytes(kind));
        }
    }
}

TEST(ComplexPacking, KnownSamples) {
    EXPECT_EQ(amplitudeCode(packComplexReference(300, 400)), 5u);
    EXPECT_EQ(phaseCode(packComplexReference(0, 1)), 384u);        // pi/2
    EXPECT_EQ(phaseCode(packComplexReference(-1, 0)), 0u);         // pi wraps from 512 to 0
    EXPECT_EQ(phaseCode(packComplexReference(-1, -0.0f)), 0u);     // -pi
    EXPECT_EQ(phaseCode(packComplexReference(1, 0)), 256u);
    EXPECT_EQ(packComplexReference(0, 0), 256u) << "a zero sample has amplitude 0 and phase code 256";
    EXPECT_EQ(amplitudeCode(packComplexReference(4000000, 0)), 32767u);
    EXPECT_EQ(amplitudeCode(packComplexReference(3276799, 0)), 32767u);
    EXPECT_EQ(amplitudeCode(packComplexReference(3276800, 0)), 32767u);
    EXPECT_EQ(amplitudeCode(packComplexReference(std::numeric_limits<float>::infinity(), 0)), 32767u);
    EXPECT_EQ(packComplexReference(std::nanf(""), 5), 256u);
    // Big-endian 3-byte storage.
    std::uint8_t b[3];
    storePacked(b, 0x123456);
    EXPECT_EQ(b[0], 0x12);
    EXPECT_EQ(b[2], 0x56);
    EXPECT_EQ(loadPacked(b), 0x123456u);
    const auto u = unpackComplex(packComplexReference(0, 1000));
    EXPECT_NEAR(u.magnitude, 1000, 1e-9);
    EXPECT_NEAR(u.phase_rad, std::numbers::pi / 2, 1e-9);
}

TEST(ComplexPacking, FastPackerMatchesThePlainRuleEverywhere) {
    std::vector<std::pair<float, float>> samples;
    const float specials[] = {0.0f, -0.0f, 1.0f, -1.0f, std::numeric_limits<float>::denorm_min(),
                              -std::numeric_limits<float>::denorm_min(), std::numeric_limits<float>::min(),
                              std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(),
                              std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                              std::nanf(""), 3276799.0f, 3276800.0f, 1e-30f, 7.0f};
    for (float a : specials)
        for (float b : specials) samples.emplace_back(a, b);
    // Samples on and next to every phase-code boundary.
    for (int k = 0; k < 512; ++k) {
        const double theta = -std::numbers::pi + k * 2 * std::numbers::pi / 512;
        for (double r : {1.0, 123.456, 1e6, 3e-39}) {
            const float i = static_cast<float>(r * std::cos(theta));
            const float q = static_cast<float>(r * std::sin(theta));
            samples.emplace_back(i, q);
            samples.emplace_back(std::nextafter(i, 1e30f), q);
            samples.emplace_back(i, std::nextafter(q, -1e30f));
        }
    }
    // Samples close to each boundary, inside and outside the band of 1e-4
    // code units in which the fast packer defers to the plain rule: a fast
    // angle off by more than the band's width puts one of them on the wrong
    // side, trusted.
    for (int k = 0; k < 512; ++k) {
        for (double d : {-3e-3, -5e-4, -1.5e-4, -2e-5, 2e-5, 1.5e-4, 5e-4, 3e-3}) {
            const double theta = -std::numbers::pi + (k + d) * 2 * std::numbers::pi / 512;
            for (double r : {1.0, 777.0, 2.5e5}) samples.emplace_back(static_cast<float>(r * std::cos(theta)),
                                                                      static_cast<float>(r * std::sin(theta)));
        }
    }
    std::mt19937 rng(42);
    std::uniform_real_distribution<float> uniform(-5000.0f, 5000.0f);
    std::uniform_int_distribution<std::uint32_t> bits;
    for (int k = 0; k < 400000; ++k) samples.emplace_back(uniform(rng), uniform(rng));
    for (int k = 0; k < 200000; ++k) samples.emplace_back(std::bit_cast<float>(bits(rng)), std::bit_cast<float>(bits(rng)));

    // One call over the whole array, as the tiler does, plus single samples.
    std::vector<float> iq;
    for (auto [i, q] : samples) {
        iq.push_back(i);
        iq.push_back(q);
    }
    std::vector<std::uint8_t> packed(3 * samples.size());
    std::vector<double> mags(samples.size(), 0.0);
    packComplexLine(iq.data(), samples.size(), packed.data(), mags.data());
    std::size_t mismatches = 0;
    for (std::size_t k = 0; k < samples.size(); ++k) {
        const auto [i, q] = samples[k];
        const std::uint32_t want = plainPack(i, q);
        if (loadPacked(&packed[3 * k]) != want || fastPack(i, q) != want) {
            if (++mismatches < 10) ADD_FAILURE() << "sample (" << i << ", " << q << ")";
        }
        EXPECT_EQ(packComplexReference(i, q), want);
    }
    EXPECT_EQ(mismatches, 0u);

    // The same samples as a level 1.1 record holds them (big-endian), with
    // the conjugating phase sign and another equalisation factor.
    std::vector<std::uint8_t> record(8 * samples.size());
    for (std::size_t k = 0; k < 2 * samples.size(); ++k) {
        const std::uint32_t u = std::bit_cast<std::uint32_t>(iq[k]);
        for (int b = 0; b < 4; ++b) record[4 * k + static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(u >> (24 - 8 * b));
    }
    // Every build of the packer the processor can run, not only the widest.
    for (auto set : {PackingInstructions::Baseline, PackingInstructions::Avx2, PackingInstructions::Avx512}) {
        if (!packingInstructionsAvailable(set)) continue;
        SCOPED_TRACE(static_cast<int>(set));
        for (int sign : {1, -1}) {
            packComplexSamplesUsing(set, record.data(), true, samples.size(), packed.data(), mags.data(), 0.05, sign);
            mismatches = 0;
            for (std::size_t k = 0; k < samples.size(); ++k) {
                const auto [i, q] = samples[k];
                if (loadPacked(&packed[3 * k]) != packComplexReference(i, q, 0.05, sign) && ++mismatches < 10)
                    ADD_FAILURE() << "sample (" << i << ", " << q << ") with phase sign " << sign;
                const double m = std::sqrt(double(i) * i + double(q) * q);
                if (!std::isnan(m) && mags[k] != m && ++mismatches < 10) ADD_FAILURE() << "magnitude of sample " << k;
            }
            EXPECT_EQ(mismatches, 0u);
        }
    }
}

// A processor gets a build only when it has every feature of the build's
// x86-64 level (as the psABI lists them), whichever one a VM masks.
TEST(PackingInstructionsTest, ChoiceNeedsEveryFeatureOfTheLevel) {
    using F = CpuFeature;
    struct Named {
        F feature;
        const char* name;
        int level;
    };
    const Named features[] = {
        {F::Cx16, "cmpxchg16b", 2}, {F::Sahf, "lahf-sahf", 2}, {F::Popcnt, "popcnt", 2}, {F::Sse3, "sse3", 2},
        {F::Sse41, "sse4.1", 2},    {F::Sse42, "sse4.2", 2},   {F::Ssse3, "ssse3", 2},   {F::Avx, "avx", 3},
        {F::Avx2, "avx2", 3},       {F::Bmi1, "bmi1", 3},      {F::Bmi2, "bmi2", 3},     {F::F16c, "f16c", 3},
        {F::Fma, "fma", 3},         {F::Lzcnt, "lzcnt", 3},    {F::Movbe, "movbe", 3},   {F::Xsave, "xsave", 3},
        {F::Osxsave, "osxsave", 3}, {F::Avx512f, "avx512f", 4}, {F::Avx512bw, "avx512bw", 4},
        {F::Avx512cd, "avx512cd", 4}, {F::Avx512dq, "avx512dq", 4}, {F::Avx512vl, "avx512vl", 4},
    };
    const auto upTo = [&](int level) {
        CpuFeatureSet set;
        for (const auto& f : features)
            if (f.level <= level) set |= cpuFeatures({f.feature});
        return set;
    };
    const PackingInstructions buildOfLevel[] = {PackingInstructions::Baseline, PackingInstructions::Baseline,
                                                PackingInstructions::Baseline, PackingInstructions::Avx2,
                                                PackingInstructions::Avx512};
    struct Case {
        CpuFeatureSet available;
        PackingInstructions expected;
        std::string what;
    };
    std::vector<Case> cases = {{{}, PackingInstructions::Baseline, "nothing"}};
    for (int level = 2; level <= 4; ++level) {
        cases.push_back({upTo(level), buildOfLevel[level], format("v%d", level)});
        // Masking one feature of the level drops to the level below.
        for (const auto& f : features) {
            if (f.level > level) continue;
            CpuFeatureSet less = upTo(level);
            less.reset(static_cast<std::size_t>(f.feature));
            cases.push_back({less, buildOfLevel[f.level - 1], format("v%d without %s", level, f.name)});
        }
    }
    for (const auto& c : cases) EXPECT_EQ(widestPacking(c.available), c.expected) << c.what;
}

// What cpuid gives agrees with the compiler's run-time checks, feature by
// feature and for the levels as a whole.
TEST(PackingInstructionsTest, DetectionAgreesWithTheCompilersChecks) {
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12
    using F = CpuFeature;
    __builtin_cpu_init();
    const std::pair<F, bool> compiler[] = {
        {F::Cx16, __builtin_cpu_supports("cmpxchg16b")}, {F::Sahf, __builtin_cpu_supports("lahf_lm")},
        {F::Popcnt, __builtin_cpu_supports("popcnt")},   {F::Sse3, __builtin_cpu_supports("sse3")},
        {F::Sse41, __builtin_cpu_supports("sse4.1")},    {F::Sse42, __builtin_cpu_supports("sse4.2")},
        {F::Ssse3, __builtin_cpu_supports("ssse3")},     {F::Avx, __builtin_cpu_supports("avx")},
        {F::Avx2, __builtin_cpu_supports("avx2")},       {F::Bmi1, __builtin_cpu_supports("bmi")},
        {F::Bmi2, __builtin_cpu_supports("bmi2")},       {F::F16c, __builtin_cpu_supports("f16c")},
        {F::Fma, __builtin_cpu_supports("fma")},         {F::Lzcnt, __builtin_cpu_supports("lzcnt")},
        {F::Movbe, __builtin_cpu_supports("movbe")},     {F::Xsave, __builtin_cpu_supports("xsave")},
        {F::Osxsave, __builtin_cpu_supports("osxsave")}, {F::Avx512f, __builtin_cpu_supports("avx512f")},
        {F::Avx512bw, __builtin_cpu_supports("avx512bw")}, {F::Avx512cd, __builtin_cpu_supports("avx512cd")},
        {F::Avx512dq, __builtin_cpu_supports("avx512dq")}, {F::Avx512vl, __builtin_cpu_supports("avx512vl")},
    };
    const CpuFeatureSet detected = processorFeatures();
    for (const auto& [feature, present] : compiler)
        EXPECT_EQ(detected.test(static_cast<std::size_t>(feature)), present) << static_cast<int>(feature);
    const PackingInstructions widest = widestPacking(detected);
    EXPECT_EQ(widest != PackingInstructions::Baseline, __builtin_cpu_supports("x86-64-v3") != 0);
    EXPECT_EQ(widest == PackingInstructions::Avx512, __builtin_cpu_supports("x86-64-v4") != 0);
#else
    GTEST_SKIP() << "the compiler has no run-time check of the x86-64 levels";
#endif
}

using TileFiles = tessarin::testing::TempDirTest;

TEST_F(TileFiles, ReadTileOutsideTheGridNeverTouchesTheFile) {
    const TileGrid g = TileGrid::make(1500, 1500, 1024, 1024);
    std::vector<std::uint8_t> tile(g.tileBytes(TileKind::Amplitude), 0xEE);
    File none;  // not even open
    readTile(none, g, 2, 0, TileKind::Amplitude, tile);
    EXPECT_EQ(std::count(tile.begin(), tile.end(), 0), static_cast<long>(tile.size()));
    readTile(none, g, 0, -1, TileKind::Amplitude, tile);
    // A tile file cut short: the missing part reads as zeros.
    std::vector<std::uint8_t> data(g.tileBytes(TileKind::Amplitude) + 10, 7);
    writeWholeFile(path("short.tile"), data);
    File f(path("short.tile"), File::Mode::Read);
    readTile(f, g, 1, 0, TileKind::Amplitude, tile);
    EXPECT_EQ(tile[9], 7);
    EXPECT_EQ(tile[10], 0);
    EXPECT_EQ(tile.back(), 0);
}

TEST(TileNames, NewAndExistingTileSets) {
    const auto n = namesForNewTileSet("/data/p/IMG-HH-ALOS2011502960-140724-UBSR1.1__A", "/work", TileKind::Complex);
    EXPECT_EQ(n.tile, "/work/IMG-HH-ALOS2011502960-140724-UBSR1.1__Atile.cpx");
    EXPECT_EQ(n.quickLook, "/work/IMG-HH-ALOS2011502960-140724-UBSR1.1__A.idx");
    EXPECT_EQ(n.canvas, "/work/IMG-HH-ALOS2011502960-140724-UBSR1.1__A.cut");
    EXPECT_EQ(n.headerCopy, "/work/FHDR-ALOS2011502960-140724-UBSR1.1__A");
    EXPECT_EQ(n.leaderCopy, "/work/LED-ALOS2011502960-140724-UBSR1.1__A");
    EXPECT_EQ(n.volume, "/work/VOL-ALOS2011502960-140724-UBSR1.1__A");
    const auto a = namesForNewTileSet("IMG-HV-ALOS2x-1.5__D", "/w", TileKind::Amplitude);
    EXPECT_EQ(a.tile, "/w/IMG-HV-ALOS2x-1.5__Dtile");

    const auto e = namesForExistingTileSet("/keep/IMG-VV-ALOS2x-UBSL1.1__Atile.cpx");
    EXPECT_EQ(e.imageName, "IMG-VV-ALOS2x-UBSL1.1__A");
    EXPECT_EQ(e.quickLook, "/keep/IMG-VV-ALOS2x-UBSL1.1__A.idx");
    EXPECT_EQ(e.canvas, "/keep/IMG-VV-ALOS2x-UBSL1.1__A.cut");
    EXPECT_EQ(e.headerCopy, "/keep/FHDR-ALOS2x-UBSL1.1__A");
    EXPECT_EQ(e.leaderCopy, "/keep/LED-ALOS2x-UBSL1.1__A");
    const auto e2 = namesForExistingTileSet("/keep/IMG-HH-ALOS2y-1.5__Dtile");
    EXPECT_EQ(e2.quickLook, "/keep/IMG-HH-ALOS2y-1.5__D.idx");
    EXPECT_THROW(namesForExistingTileSet("/keep/IMG-HH-ALOS2y.idx"), Error);
    TileKind k{};
    ASSERT_TRUE(tileKindFromName("xtile.cpx", k));
    EXPECT_EQ(k, TileKind::Complex);
    ASSERT_TRUE(tileKindFromName("xtile", k));
    EXPECT_EQ(k, TileKind::Amplitude);
}

TEST_F(TileFiles, HeaderAndLeaderCopies) {
    std::vector<std::uint8_t> image(5000);
    for (std::size_t k = 0; k < image.size(); ++k) image[k] = static_cast<std::uint8_t>(k * 7);
    writeWholeFile(path("IMG-HH-x"), image);
    copyImageHeader(path("IMG-HH-x"), path("FHDR-x"));
    const auto head = readWholeFile(path("FHDR-x"));
    ASSERT_EQ(head.size(), 1200u);
    EXPECT_TRUE(std::equal(head.begin(), head.end(), image.begin()));
    copyLeader(path("IMG-HH-x"), path("LED-copy"));
    EXPECT_EQ(readWholeFile(path("LED-copy")), image);
    EXPECT_THROW(copyLeader(path("missing"), path("LED-copy2")), Error);
    EXPECT_FALSE(fileExists(path("LED-copy2")));
}

TEST_F(TileFiles, SaveTileSetMovesFourFilesOrNothingOnCancel) {
    const auto names = namesForNewTileSet("/p/IMG-HH-ALOS2x-1.1__A", dir(), TileKind::Complex);
    for (const auto& f : {names.tile, names.headerCopy, names.quickLook, names.leaderCopy})
        writeWholeFile(f, std::vector<std::uint8_t>{1, 2, 3});
    std::filesystem::create_directories(path("keep"));
    {
        ScriptedUi ui({"cancel"});
        EXPECT_FALSE(saveTileSet(ui, names, TileKind::Complex));
        EXPECT_TRUE(ui.messages.empty()) << "nothing was saved, so nothing is reported";
        EXPECT_TRUE(fileExists(names.tile));
    }
    ScriptedUi ui({path("keep/whatever.cpx")});
    EXPECT_TRUE(saveTileSet(ui, names, TileKind::Complex));
    ASSERT_EQ(ui.dialogTitles.size(), 1u);
    EXPECT_EQ(ui.dialogTitles[0], "Select directory to svae tilefile");
    EXPECT_EQ(ui.messages, std::vector<std::string>{"Save image complete"});
    for (const auto& f : {names.tile, names.headerCopy, names.quickLook, names.leaderCopy}) {
        EXPECT_FALSE(fileExists(f)) << f;
        EXPECT_TRUE(fileExists(path("keep/" + std::filesystem::path(f).filename().string()))) << f;
    }
}

// The saved files replace what stood under their names by a rename (a link
// to the old file keeps the old bytes: it was not rewritten in place, so an
// interrupted copy cannot leave it half written), and no temporary remains.
// A name without a folder is refused rather than saved beside wherever the
// program runs.
TEST_F(TileFiles, SaveTileSetReplacesByRenameAndRefusesANameWithoutFolder) {
    namespace fs = std::filesystem;
    const auto names = namesForNewTileSet("/p/IMG-HH-ALOS2x-1.1__A", dir(), TileKind::Complex);
    const std::vector<std::uint8_t> fresh{1, 2, 3};
    const std::vector<std::uint8_t> old{9};
    const auto writeSources = [&] {
        for (const auto& f : {names.tile, names.headerCopy, names.quickLook, names.leaderCopy})
            writeWholeFile(f, fresh);
    };
    writeSources();
    fs::create_directories(path("keep"));
    const std::string destination = path("keep/" + fs::path(names.tile).filename().string());
    writeWholeFile(destination, old);
    fs::create_hard_link(destination, path("old-link"));
    ScriptedUi ui({path("keep/whatever.cpx")});
    ASSERT_TRUE(saveTileSet(ui, names, TileKind::Complex));
    EXPECT_EQ(readWholeFile(destination), fresh);
    EXPECT_EQ(readWholeFile(path("old-link")), old) << "the old tile file was overwritten in place";
    EXPECT_EQ(std::distance(fs::directory_iterator(path("keep")), fs::directory_iterator()), 4);

    writeSources();
    fs::create_directories(path("cwd"));
    const fs::path before = fs::current_path();
    fs::current_path(path("cwd"));
    ScriptedUi bare({"whatever.cpx"});
    try {
        saveTileSet(bare, names, TileKind::Complex);
        ADD_FAILURE() << "a name without a folder was accepted";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("folder"), std::string::npos) << e.what();
    }
    fs::current_path(before);
    EXPECT_TRUE(fs::is_empty(path("cwd")));
    for (const auto& f : {names.tile, names.headerCopy, names.quickLook, names.leaderCopy})
        EXPECT_TRUE(fileExists(f)) << f;
    EXPECT_TRUE(bare.messages.empty());
}
