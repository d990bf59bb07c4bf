// Raw complex rasters: the project and header codecs, the amplitude
// estimate, and the opens through their commands, checked against the level
// 1.1 path on the same samples, against GDAL's raw raster reading and
// against a plain recomputation.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <filesystem>
#include <limits>

#include "app/app_core.h"
#include "app/command_ids.h"
#include "app/command_table.h"
#include "core/imagefiles/image_tools.h"
#include "document/tessarin_doc.h"
#include "platform/bytes.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/ui.h"
#include "products/alos2.h"
#include "support/product_fixture.h"
#include "support/temp_dir.h"
#include "tiles/raw_raster.h"
#include "tiles/scene_tiling.h"

using namespace tessarin;
using namespace tessarin::tiles;
using document::CTessarinDoc;

namespace {

// Varied magnitudes (speckle-like, up to about 12x the mean) and phases in
// every quadrant; never zero.
std::complex<float> sampleAt(std::size_t x, int y) {
    std::uint32_t h = static_cast<std::uint32_t>(x) * 2654435761u ^ static_cast<std::uint32_t>(y) * 40503u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    const double u = (static_cast<double>(h & 0xFFFFu) + 0.5) / 65536.0;
    const double phase = static_cast<double>(h >> 16) / 65536.0 * 6.283185307179586 - 3.14159;
    const double mag = -std::log(u) * 150.0 + 0.25;
    return {static_cast<float>(mag * std::cos(phase)), static_cast<float>(mag * std::sin(phase))};
}

struct RasterFileSpec {
    int pixel = 0, line = 0, fileheader = 0, lineheader = 0, linebytes = 0;
    bool bigEndian = false;
    int linesWritten = -1;  // -1: all
};

// Writes a raster; header and padding bytes are 0xA5, so a reader that
// takes them for samples sees garbage.
void writeRaster(const std::string& path, const RasterFileSpec& s,
                 const std::function<std::complex<float>(std::size_t, int)>& f = sampleAt) {
    const int lines = s.linesWritten < 0 ? s.line : s.linesWritten;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(s.fileheader) +
                                        static_cast<std::size_t>(lines) * static_cast<std::size_t>(s.linebytes),
                                    0xA5);
    const ByteOrder order = s.bigEndian ? ByteOrder::Big : ByteOrder::Little;
    for (int y = 0; y < lines; ++y)
        for (int x = 0; x < s.pixel; ++x) {
            const std::complex<float> z = f(static_cast<std::size_t>(x), y);
            const std::size_t at = static_cast<std::size_t>(s.fileheader) + static_cast<std::size_t>(y) * s.linebytes +
                                   static_cast<std::size_t>(s.lineheader) + 8u * static_cast<std::size_t>(x);
            store<float>(bytes, at, z.real(), order);
            store<float>(bytes, at + 4, z.imag(), order);
        }
    writeWholeFile(path, bytes);
}

std::string rasterAnswer(const RasterFileSpec& s) {
    return format("pixel=%d,line=%d,fileHeader=%d,lineHeader=%d,lineBytes=%d,byteOrder=%d,pixSpace=2.5", s.pixel,
                  s.line, s.fileheader, s.lineheader, s.linebytes, s.bigEndian ? 1 : 0);
}

class RawRasters : public tessarin::testing::WorkFolderTest {
protected:
    CTessarinDoc* runOpen(app::AppCore& core, int commandId) {
        const std::size_t before = core.documents().size();
        EXPECT_TRUE(core.run(*app::findCommand(commandId), nullptr)) << commandId;
        return core.documents().size() > before ? core.documents().back().get() : nullptr;
    }
    std::string lastMessage(const ScriptedUi& ui) const { return ui.messages.empty() ? "" : ui.messages.back(); }
};

}  // namespace

TEST(RasterProject, RoundTripsAndNamesTheFieldItEndsBefore) {
    RasterParameters p;
    p.rasterPath = "/data/sl\xc3\xa4ve.slc";
    p.pixel = 4000;
    p.line = 6000;
    p.linebytes = 32016;
    p.fileheader = 720;
    p.lineheader = 16;
    p.byteSwap = 1;
    p.pixSpace = 2.5;
    p.lineSpace = 3.25;
    p.minSlantRange = 850000.125;
    p.equalizingval = 0.375;
    const std::vector<std::uint8_t> bytes = encodeRasterProject(p);
    const std::size_t stringBytes = 4 + 2 * 15;  // marker, length byte, 15 UTF-16 characters
    ASSERT_EQ(bytes.size(), stringBytes + 6 * 4 + 4 * 8);
    EXPECT_EQ(loadLE<std::int32_t>(bytes, stringBytes + 4), 6000);
    EXPECT_EQ(loadLE<double>(bytes, stringBytes + 24 + 24), 0.375);
    EXPECT_EQ(decodeRasterProject(bytes, "p.prj"), p);
    const struct {
        std::size_t keep;
        const char* field;
    } cuts[] = {{3, "the raster path"},
                {stringBytes + 2, "Pixel"},
                {stringBytes + 5, "Line"},
                {stringBytes + 20, "the byte swap flag"},
                {stringBytes + 24, "pix space"},
                {bytes.size() - 1, "the amplitude scale"}};
    for (const auto& c : cuts) {
        try {
            decodeRasterProject(std::span(bytes.data(), c.keep), "p.prj");
            ADD_FAILURE() << c.keep;
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(c.field), std::string::npos) << c.keep << ": " << e.what();
        }
    }
}

TEST(RasterParameterChecks, RefuseImpossibleRasters) {
    const auto base = [] {
        RasterParameters p;
        p.rasterPath = "r";
        p.pixel = 100;
        p.line = 50;
        p.linebytes = 800;
        return p;
    };
    EXPECT_NO_THROW(checkRasterParameters(base()));
    const struct {
        const char* why;
        void (*damage)(RasterParameters&);
    } cases[] = {
        {"Pixel and Line must be positive", [](RasterParameters& p) { p.pixel = 0; }},
        {"Pixel and Line must be positive", [](RasterParameters& p) { p.line = -3; }},
        {"cannot be negative", [](RasterParameters& p) { p.fileheader = -1; }},
        {"cannot be negative", [](RasterParameters& p) { p.lineheader = -8; p.linebytes = 792; }},
        {"the lines would overlap", [](RasterParameters& p) { p.lineheader = 8; }},
        {"the lines would overlap", [](RasterParameters& p) { p.linebytes = 799; }},
        {"beyond any raster", [](RasterParameters& p) { p.pixel = (1 << 17) + 1; p.linebytes = 8 * p.pixel; }},
        {"beyond any raster", [](RasterParameters& p) { p.line = 1 << 30; }},
        {"not 0 or 1", [](RasterParameters& p) { p.byteSwap = 2; }},
    };
    for (const auto& c : cases) {
        RasterParameters p = base();
        c.damage(p);
        try {
            checkRasterParameters(p);
            ADD_FAILURE() << c.why;
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(c.why), std::string::npos) << e.what();
        }
    }
    // 64-bit offsets: 30000 lines of 80 kB pass 2^31 bytes.
    RasterParameters big = base();
    big.pixel = 10000;
    big.line = 30000;
    big.linebytes = 80016;
    big.fileheader = 720;
    big.lineheader = 16;
    EXPECT_EQ(rasterBytesNeeded(big), 720ull + 16ull + 29999ull * 80016ull + 80000ull);
}

TEST(RasterHeaderFile, EveryLineIsExamined) {
    const struct {
        const char* text;
        RasterHeader expected;
    } cases[] = {
        // The minimal header: "samples" on the second line.
        {"ENVI\nsamples = 4\nlines = 5\n", {4, 5, 0}},
        {"ENVI\nsamples = 4\nlines = 5", {4, 5, 0}},  // no final line feed
        {"ENVI\ndescription = {x}\nsamples = 4000\nlines = 6000\nbyte order = 1\ndata type = 6\nheader offset = 0\n",
         {4000, 6000, 1}},
        {"ENVI\r\nsamples = 7\r\nlines   = 500\r\n", {7, 500, 0}},  // CRLF, padded key
        // '=' before position 8 / 6 / 11 is not taken.
        {"samples=4000\nlines=6\nbyte order=1\n", {0, 0, 0}},
        {"samples = 4\nsamples = 9\n", {9, 0, 0}},
        {"lines = -4\n", {0, -4, 0}},
        {"linesx = 12\n", {0, 12, 0}},  // the rule reads keys by their beginning
    };
    for (const auto& c : cases) EXPECT_EQ(parseRasterHeader(c.text), c.expected) << c.text;
    // What this tool writes it reads back.
    EXPECT_EQ(parseRasterHeader(rasterHeaderText({1234, 567, 1})), (RasterHeader{1234, 567, 1}));
}

TEST(AmplitudeEstimate, MeanOverTheGridAgainstAPlainRecomputation) {
    const std::string dir = (std::filesystem::temp_directory_path() / ("tessarin-est-" + std::to_string(::getpid()))).string();
    std::filesystem::create_directories(dir);
    const struct {
        int pixel, line, stride;
    } grids[] = {{300, 1000, 8}, {20, 30, 1}, {5000, 5000, 78}, {40000, 30000, 128}, {1, 1, 1}};
    for (const auto& g : grids) EXPECT_EQ(estimationStride(g.pixel, g.line), g.stride) << g.pixel << "x" << g.line;

    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const struct {
        const char* what;
        std::function<std::complex<float>(std::size_t, int)> f;
        bool refused;
    } rasters[] = {
        {"varied", sampleAt, false},
        {"zeros count, NaN and inf do not",
         [&](std::size_t x, int y) -> std::complex<float> {
             if (x % 16 == 0) return {0.0f, 0.0f};
             if (y % 3 == 0) return {nan, 1.0f};
             if (y % 5 == 0) return {inf, 0.0f};
             return sampleAt(x, y);
         },
         false},
        {"all zero", [](std::size_t, int) { return std::complex<float>{0.0f, 0.0f}; }, true},
        {"all NaN", [&](std::size_t, int) { return std::complex<float>{nan, nan}; }, true},
    };
    for (const bool big : {false, true}) {
        for (const auto& r : rasters) {
            const RasterFileSpec s{.pixel = 300, .line = 1000, .fileheader = 64, .lineheader = 8, .linebytes = 2416,
                                   .bigEndian = big};
            const std::string path = dir + "/r.raw";
            writeRaster(path, s, r.f);
            RasterParameters p{path, s.pixel, s.line, s.linebytes, s.fileheader, s.lineheader, big ? 1 : 0};
            if (r.refused) {
                try {
                    estimateAmplitude(p);
                    ADD_FAILURE() << r.what;
                } catch (const Error& e) {
                    EXPECT_NE(std::string(e.what()).find("the raster has no non-zero samples on the estimation grid"),
                              std::string::npos);
                }
                continue;
            }
            double sum = 0.0;
            long long n = 0;
            for (int y = 0; y < s.line; y += 8)
                for (int x = 0; x < s.pixel; x += 8) {
                    const std::complex<float> z = r.f(static_cast<std::size_t>(x), y);
                    const double m = std::hypot(double(z.real()), double(z.imag()));
                    if (!std::isfinite(m)) continue;
                    sum += m;
                    ++n;
                }
            const AmplitudeEstimate e = estimateAmplitude(p);
            EXPECT_EQ(e.stride, 8);
            EXPECT_EQ(e.samples, n) << r.what;
            EXPECT_NEAR(e.meanMagnitude, sum / n, 1e-9 * sum / n) << r.what;
            EXPECT_NEAR(e.equalizingval, 2048.0 / (sum / n), 1e-9 * e.equalizingval) << r.what;
        }
    }
    // The mean magnitude 8192 packs to 2048 with the scale 0.25.
    writeRaster(dir + "/c.raw", {.pixel = 10, .line = 10, .linebytes = 80},
                [](std::size_t, int) { return std::complex<float>{0.0f, -8192.0f}; });
    EXPECT_DOUBLE_EQ(estimateAmplitude({dir + "/c.raw", 10, 10, 80, 0, 0, 0}).equalizingval, 0.25);

    // Past 2^31 bytes: a sparse raster of 30000 lines of 80016 bytes whose
    // only non-zero sample on the grid is on line 29952 (the 235th grid line).
    {
        const RasterParameters big{dir + "/big.raw", 10000, 30000, 80016, 720, 16, 0};
        ASSERT_EQ(estimationStride(big.pixel, big.line), 128);
        const std::uint64_t at = 720ull + 16ull + 29952ull * 80016ull;
        ASSERT_GT(at, 1ull << 31);
        {
            File f(big.rasterPath, File::Mode::Write);
            f.seek(at);
            std::vector<std::uint8_t> z(8);
            store<float>(z, 0, 3.0f, ByteOrder::Little);
            store<float>(z, 4, 4.0f, ByteOrder::Little);
            f.write(z);
            f.seek(rasterBytesNeeded(big) - 1);
            f.write(std::vector<std::uint8_t>(1, 0));
        }
        const AmplitudeEstimate e = estimateAmplitude(big);
        EXPECT_EQ(e.samples, 235LL * 79);  // ceil(30000 / 128) lines, ceil(10000 / 128) samples
        EXPECT_DOUBLE_EQ(e.meanMagnitude, 5.0 / (235.0 * 79.0));
    }
    std::filesystem::remove_all(dir);
}

// The raster in both byte orders tiles to the bytes the level 1.1 path makes
// of the same samples written as a CEOS product, with the same scale.
TEST_F(RawRasters, TilesLikeTheLevel11PathInBothByteOrders) {
    const int P = 1100, L = 1300;
    tessarin::testing::ProductOptions po;
    po.pixels = P;
    po.lines = L;
    const auto product =
        tessarin::testing::writePlausibleProduct(path("product"), po, {.complex = sampleAt});
    std::vector<std::uint8_t> firstTiles;
    double scale = 0.0;
    for (const bool big : {false, true}) {
        const RasterFileSpec s{.pixel = P, .line = L, .fileheader = 100, .lineheader = 12, .linebytes = 12 + 8 * P + 4,
                               .bigEndian = big};
        const std::string raster = path(big ? "be.slc" : "le.slc");
        writeRaster(raster, s);
        ScriptedUi ui({raster, rasterAnswer(s)});
        app::AppCore core(ui, linkName);
        app::registerModules(core);
        CTessarinDoc* doc = runOpen(core, app::cmd::kPureSlcRasterImage);
        ASSERT_NE(doc, nullptr) << lastMessage(ui);
        EXPECT_EQ(ui.messages.front(), "Select pure cpx image to open");
        EXPECT_EQ(ui.dialogTitles.front(), "Put Image prj file");
        EXPECT_TRUE(doc->hasData());
        const RasterParameters saved = readRasterProject(raster + ".prj");
        EXPECT_EQ(saved.pixel, P);
        EXPECT_EQ(saved.byteSwap, big ? 1 : 0);
        EXPECT_EQ(saved.pixSpace, 2.5);
        EXPECT_EQ(saved.equalizingval, doc->equalizingval());
        const auto tiles = readWholeFile(doc->tileNames().tile);
        EXPECT_EQ(tiles.size(), 4u * 1024 * 1024 * 3);
        if (!big) {
            firstTiles = tiles;
            scale = doc->equalizingval();
        } else {
            EXPECT_EQ(doc->equalizingval(), scale);
            EXPECT_TRUE(tiles == firstTiles) << "the byte orders tile differently";
        }
        // The header beside the tiles reopens them.
        EXPECT_EQ(readRasterHeader(rasterHeaderPathOf(doc->tileNames().tile)), (RasterHeader{P, L, big ? 1 : 0}));
        bool saidSaturation = false;
        for (const auto& t : ui.statuses) saidSaturation |= t.find("at the top amplitude code") != std::string::npos;
        EXPECT_TRUE(saidSaturation);
    }
    products::Alos2 reader;
    ScriptedUi ui;
    ConversionOptions options;
    options.equalizingval = scale;
    const TiledProduct ceos = tileOriginalProduct(product.imagePaths.at(0), path("ceos"), reader, ui, options);
    EXPECT_TRUE(readWholeFile(ceos.names.tile) == firstTiles) << "the raster and the CEOS product tile differently";
}

// A raster smaller than a tile: the first canvas holds its samples (the
// block is kept on the grid), GDAL's raw reading of the raster gives the
// values the canvas shows, and what is saved reopens under mode 12.
TEST_F(RawRasters, SmallRasterShowsItsSamplesAndReopensAfterSaving) {
    const RasterFileSpec s{.pixel = 500, .line = 500, .fileheader = 32, .lineheader = 0, .linebytes = 4000,
                           .bigEndian = true};
    const std::string raster = path("small.slc");
    writeRaster(raster, s);
    ScriptedUi ui({raster, rasterAnswer(s)});
    app::AppCore core(ui, linkName);
    app::registerModules(core);
    CTessarinDoc* doc = runOpen(core, app::cmd::kPureSlcRasterImage);
    ASSERT_NE(doc, nullptr) << lastMessage(ui);
    EXPECT_EQ(doc->ctrorigin(), (GlobalPoint{1000, 1000}));
    EXPECT_EQ(doc->canvasState().kx0, 0);
    const auto& canvas = doc->canvas();
    const auto tiles = readWholeFile(doc->tileNames().tile);
    long long nonZeroOutside = 0, mismatches = 0;
    for (int y = 0; y < canvas.height(); ++y)
        for (int x = 0; x < canvas.width(); ++x) {
            const std::uint16_t v = canvas.at(x, y);
            if (x < 500 && y < 500) {
                const std::size_t at = (static_cast<std::size_t>(y) * 1024 + x) * 3;
                mismatches += v != (tiles[at] << 8 | tiles[at + 1]);
            } else {
                nonZeroOutside += v != 0;
            }
        }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(nonZeroOutside, 0);

    // GDAL reads the raster through a raw VRT band; the canvas value is
    // 2A plus the top phase bit of the packed GDAL sample.
    const std::string vrt = path("small.vrt");
    writeWholeFile(vrt, std::vector<std::uint8_t>(0));
    {
        const std::string text = format(
            "<VRTDataset rasterXSize=\"500\" rasterYSize=\"500\"><VRTRasterBand dataType=\"CFloat32\" band=\"1\" "
            "subClass=\"VRTRawRasterBand\"><SourceFilename relativetoVRT=\"0\">%s</SourceFilename>"
            "<ImageOffset>32</ImageOffset><PixelOffset>8</PixelOffset><LineOffset>4000</LineOffset>"
            "<ByteOrder>MSB</ByteOrder></VRTRasterBand></VRTDataset>",
            raster.c_str());
        writeWholeFile(vrt, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    }
    std::string points;
    const int probes[][2] = {{0, 0}, {499, 0}, {0, 499}, {499, 499}, {123, 321}, {250, 7}, {37, 480}};
    for (const auto& p : probes) points += format("%d %d\n", p[0], p[1]);
    writeWholeFile(path("points"), std::span(reinterpret_cast<const std::uint8_t*>(points.data()), points.size()));
    const auto run = tessarin::testing::runTool("gdallocationinfo -valonly " + tessarin::testing::shellQuote(vrt) +
                                                " < " + tessarin::testing::shellQuote(path("points")), false);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    std::size_t pos = 0;
    for (const auto& p : probes) {
        const std::size_t end = run.output.find('\n', pos);
        ASSERT_NE(end, std::string::npos);
        const std::string line = run.output.substr(pos, end - pos);
        pos = end + 1;
        const std::size_t plus = line.find('+', 1);
        ASSERT_NE(plus, std::string::npos) << line;
        const float re = std::stof(line.substr(0, plus));
        const float im = std::stof(line.substr(plus + 1, line.size() - plus - 2));
        const std::complex<float> z = sampleAt(static_cast<std::size_t>(p[0]), p[1]);
        EXPECT_NEAR(re, z.real(), 1e-4 * std::abs(z)) << line;
        EXPECT_NEAR(im, z.imag(), 1e-4 * std::abs(z)) << line;
        // The canvas shows the exact samples; GDAL prints them rounded, so
        // the canvas is checked against the packing of the exact value.
        const std::uint32_t word = packComplexReference(z.real(), z.imag(), doc->equalizingval());
        EXPECT_EQ(canvas.at(p[0], p[1]), word >> 8) << p[0] << "," << p[1];
    }

    // "Save Pure Tile Image" moves the TileSet out of the work folder with
    // its project; mode 12 reopens it with the same canvas.
    const std::vector<std::uint16_t> shown = canvas.values();
    const std::string oldTile = doc->tileNames().tile, oldQuick = doc->tileNames().quickLook;
    std::filesystem::create_directories(path("kept"));
    ui.addAnswer(path("kept/smallslc"));
    ASSERT_TRUE(core.run(*app::findCommand(app::cmd::kSavePureTileImage), doc)) << lastMessage(ui);
    const std::string saved = path("kept/smallslctile.cpx");
    EXPECT_TRUE(fileExists(saved));
    EXPECT_TRUE(fileExists(path("kept/smallslc.idx")));
    EXPECT_TRUE(fileExists(path("kept/smallslc.hdr")));
    EXPECT_FALSE(fileExists(oldTile));
    EXPECT_FALSE(fileExists(oldQuick));
    EXPECT_EQ(readRasterProject(saved + ".prj").equalizingval, doc->equalizingval());
    const double scale = doc->equalizingval();
    core.closeDocument(doc);

    ui.addAnswer(saved);
    CTessarinDoc* again = runOpen(core, app::cmd::kSlcTileOpen);
    ASSERT_NE(again, nullptr) << lastMessage(ui);
    EXPECT_EQ(again->ctrorigin(), (GlobalPoint{5000, 5000}));
    EXPECT_EQ(again->canvasPath(), path("kept/smallslc.ID0_.cut"));
    EXPECT_EQ(again->equalizingval(), scale);
    EXPECT_TRUE(again->canvas().values() == shown);
    core.closeDocument(again);
    // "Pure SLC Tile" reopens it through its project; other projects are
    // refused naming the command that opens them.
    ui.addAnswer(saved + ".prj");
    CTessarinDoc* byProject = runOpen(core, app::cmd::kPureSlcTile);
    ASSERT_NE(byProject, nullptr) << lastMessage(ui);
    EXPECT_EQ(byProject->openMode(), 27);
    EXPECT_TRUE(byProject->hasData());
    EXPECT_EQ(byProject->equalizingval(), scale);
    EXPECT_TRUE(byProject->canvas().values() == shown);
    core.closeDocument(byProject);
    const std::pair<std::string, std::string> refused[] = {
        {path("kept/purePINF.prj"), "Open Pure SLC Infero prj"},
        {path("other.prj"), "Pure SLC Raster Image (flt point)"},
        {path("kept/gonetile.cpx.prj"), "does not exist"}};
    for (const auto& [project, named] : refused) {
        writeWholeFile(project, std::vector<std::uint8_t>(16, 0));
        ui.addAnswer(project);
        const std::size_t before = core.documents().size();
        core.run(*app::findCommand(app::cmd::kPureSlcTile), nullptr);
        EXPECT_NE(lastMessage(ui).find(named), std::string::npos) << lastMessage(ui);
        for (std::size_t k = before; k < core.documents().size(); ++k)
            EXPECT_FALSE(core.documents()[k]->hasData()) << project;
    }

    // Two raster TileSets overlaid: the second one's canvas beside the first.
    ui.addAnswer(path("kept/dual"));
    ui.addAnswer(saved);
    ui.addAnswer(saved);
    CTessarinDoc* overlay = runOpen(core, app::cmd::kDualSlcTileOverlay);
    ASSERT_NE(overlay, nullptr) << lastMessage(ui);
    EXPECT_EQ(overlay->openMode(), 16);
    EXPECT_TRUE(fileExists(path("kept/dual.cmt")));
    EXPECT_TRUE(overlay->canvas().values() == shown);
    EXPECT_TRUE(readWholeFile(path("kept/smallslc.ID1_.cut")) == readWholeFile(path("kept/smallslc.ID0_.cut")));
}

TEST_F(RawRasters, RefusalsAndShortRasters) {
    const RasterFileSpec s{.pixel = 64, .line = 40, .linebytes = 512};
    const std::string raster = path("r.slc");
    writeRaster(raster, s, [](std::size_t, int) { return std::complex<float>{0.0f, 0.0f}; });
    struct Case {
        const char* what;
        std::string answer;
        const char* message;
    };
    const Case cases[] = {
        {"all zero", rasterAnswer(s), "the raster has no non-zero samples on the estimation grid"},
        {"overlapping records", "pixel=64,line=40,lineHeader=8,lineBytes=512", "the lines would overlap"},
        {"negative header", "pixel=64,line=40,fileHeader=-4", "cannot be negative"},
        {"no size", "pixel=0,line=40", "must be positive"},
        {"longer than the file", "pixel=64,line=40,fileHeader=30000", "less than one line"},
    };
    for (const Case& c : cases) {
        ScriptedUi ui({raster, c.answer});
        app::AppCore core(ui, linkName);
        app::registerModules(core);
        EXPECT_EQ(runOpen(core, app::cmd::kPureSlcRasterImage), nullptr) << c.what;
        EXPECT_NE(lastMessage(ui).find(c.message), std::string::npos) << c.what << ": " << lastMessage(ui);
    }
    EXPECT_FALSE(fileExists(path("work/r.slctile.cpx")));

    // A short raster warns and tiles its missing lines as zeros.
    RasterFileSpec shortSpec{.pixel = 64, .line = 40, .linebytes = 512, .linesWritten = 25};
    writeRaster(raster, shortSpec);
    ScriptedUi ui({raster, rasterAnswer(shortSpec)});
    app::AppCore core(ui, linkName);
    app::registerModules(core);
    CTessarinDoc* doc = runOpen(core, app::cmd::kPureSlcRasterImage);
    ASSERT_NE(doc, nullptr) << lastMessage(ui);
    EXPECT_NE(ui.messages.at(1).find("lines past its end are left zero"), std::string::npos) << ui.messages.at(1);
    // A zero sample packs with amplitude 0 and the phase of atan2(0, 0).
    const std::uint16_t zero = static_cast<std::uint16_t>(packComplexReference(0.0f, 0.0f) >> 8);
    EXPECT_GT(doc->canvas().at(10, 24), 2);
    for (int y = 25; y < 40; ++y) EXPECT_EQ(doc->canvas().at(10, y), zero) << y;

    // Mode 12 refuses a header that gives no size, naming it.
    const std::string tile = path("h.slctile.cpx");
    writeWholeFile(tile, std::vector<std::uint8_t>(3u << 20));
    const std::string header = "ENVI\nlines = 50\n";
    writeWholeFile(path("h.slc.hdr"), std::span(reinterpret_cast<const std::uint8_t*>(header.data()), header.size()));
    ui.addAnswer(tile);
    EXPECT_EQ(runOpen(core, app::cmd::kSlcTileOpen), nullptr);
    EXPECT_NE(lastMessage(ui).find("h.slc.hdr"), std::string::npos) << lastMessage(ui);
}

// Mode 29 strips the headers: the cut equals the samples alone, in the
// raster's byte order.
TEST_F(RawRasters, HeaderStrippingCut) {
    const RasterFileSpec s{.pixel = 33, .line = 17, .fileheader = 720, .lineheader = 12, .linebytes = 12 + 264 + 20,
                           .bigEndian = true};
    const std::string raster = path("c.slc");
    writeRaster(raster, s);
    ScriptedUi ui({raster, rasterAnswer(s)});
    app::AppCore core(ui, linkName);
    app::registerModules(core);
    runOpen(core, app::cmd::kAlosAlos2PureCut);
    EXPECT_EQ(lastMessage(ui), "pure cut complete");
    EXPECT_EQ(ui.messages.front(), "Select pure cpx image to Convert");
    const auto raw = readWholeFile(raster);
    std::vector<std::uint8_t> expected;
    for (int y = 0; y < s.line; ++y) {
        const auto* at = raw.data() + 720 + y * s.linebytes + 12;
        expected.insert(expected.end(), at, at + 33 * 8);
    }
    EXPECT_TRUE(readWholeFile(raster + "PurRaster") == expected);

    // Mode 28 writes its tiling project and opens nothing.
    ui.addAnswer(raster);
    ui.addAnswer("pixel=33,line=17,tilePixels=16,tileLines=8");
    CTessarinDoc* tiling = runOpen(core, app::cmd::kPureSlcTileImage);
    ASSERT_NE(tiling, nullptr) << lastMessage(ui);
    EXPECT_EQ(lastMessage(ui), "original tile with arbitral tile size");
    EXPECT_FALSE(tiling->hasData());
    EXPECT_EQ(readWholeFile(raster + ".tprj").size(), 4u + 2 * raster.size() + 16 + 24 + 4);
}
