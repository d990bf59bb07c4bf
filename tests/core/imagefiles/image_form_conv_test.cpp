// The raster conversions through their dialogs, against a plain reference
// written in Python from the conversions' description (truncation toward
// zero, clamping to -32767..32767), and the 8-bit image read back by GDAL.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <cstring>
#include <limits>
#include <random>

#include "app/app_core.h"
#include "app/command_ids.h"
#include "app/command_table.h"
#include "core/imagefiles/image_tools.h"
#include "imagefiles/image_form_conv.h"
#include "platform/bytes.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/ui.h"
#include "support/temp_dir.h"

using namespace tessarin;
using namespace tessarin::imagefiles;
using tessarin::testing::runTool;
using tessarin::testing::shellQuote;

namespace {

constexpr int P = 13, L = 300;  // three blocks of lines, the last one short

std::vector<std::uint8_t> floats(bool big) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const float special[] = {40000.0f, -40000.0f, 12.9f, -12.9f, nan, inf, -inf, 32767.5f, -32767.5f,
                             -32768.0f, 32768.0f, 1e30f, -1e30f, 0.0f, -0.0f, 0.99f, -0.99f};
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> d(-50000.0f, 50000.0f);
    ByteWriter w;
    for (int k = 0; k < P * L; ++k) {
        const float v = k < static_cast<int>(std::size(special)) ? special[k] : d(rng);
        w.write<float>(v, big ? ByteOrder::Big : ByteOrder::Little);
    }
    return w.take();
}

std::vector<std::uint8_t> shorts(int count, unsigned seed) {
    std::mt19937 rng(seed);
    ByteWriter w;
    for (int k = 0; k < count; ++k) w.le<std::uint16_t>(k < 2 ? 0x8000u : static_cast<std::uint16_t>(rng()));
    return w.take();
}

class Conversions : public tessarin::testing::WorkFolderTest {
protected:
    std::string write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        writeWholeFile(path(name), bytes);
        return path(name);
    }
    // Runs "Image Format Conversion" with these answers; the messages shown.
    std::vector<std::string> convert(const std::vector<std::string>& answers) {
        ScriptedUi ui(answers);
        app::AppCore core(ui, linkName);
        app::registerModules(core);
        EXPECT_TRUE(core.run(*app::findCommand(app::cmd::kImageFormatConversion), nullptr));
        EXPECT_EQ(ui.answersLeft(), 0u);
        return ui.messages;
    }
    std::vector<std::uint8_t> reference(int mode, const std::string& in, const std::string& args) {
        const std::string out = path(format("ref%d", mode));
        const auto run = runTool("python3 " + shellQuote(std::string(TESSARIN_SOURCE_DIR) +
                                                         "/tests/core/imagefiles/conversion_reference.py") +
                                 format(" %d ", mode) + shellQuote(in) + " " + shellQuote(out) + " " + args);
        EXPECT_EQ(run.exitCode, 0) << run.output;
        return readWholeFile(out);
    }
};

}  // namespace

TEST(FloatToSignedShort, ClampsInFloatingPointAndTruncates) {
    const struct {
        float in;
        std::int16_t out;
    } cases[] = {{40000.0f, 32767},  {-40000.0f, -32767}, {12.9f, 12},        {-12.9f, -12},
                 {32767.9f, 32767},  {-32767.9f, -32767}, {-32768.0f, -32767}, {1e38f, 32767},
                 {std::numeric_limits<float>::quiet_NaN(), 0}, {-std::numeric_limits<float>::infinity(), -32767},
                 {-0.5f, 0},         {3e9f, 32767}};
    for (const auto& c : cases) EXPECT_EQ(floatToSignedShort(c.in), c.out) << c.in;
}

TEST_F(Conversions, EveryModeAgainstThePlainReference) {
    const std::string size = format("pixels=%d,lines=%d", P, L);
    const auto cpx = shorts(2 * P * L, 3);
    struct Case {
        int mode;
        std::string input;
        std::vector<std::string> forms;  // after the mode and the file
        std::string refArgs;
        std::string output;
    };
    const std::string le = write("f.le", floats(false)), be = write("f.be", floats(true));
    const std::string s16 = write("s.raw", shorts(P * L, 5)), c16 = write("c.raw", cpx);
    const std::string c64 = write("c64.raw", shorts(4 * P * L, 9));  // complex float bytes (any pattern)
    const std::string pl = format("p=%d l=%d", P, L);
    const Case cases[] = {
        {0, le, {size}, pl, le + "Swap"},
        {1, s16, {size}, pl, s16 + "Swap"},
        {2, le, {size, "byteOrder=0"}, pl + " bo=0", le + "Fl2SSH"},
        {2, be, {size, "byteOrder=1"}, pl + " bo=1", be + "Fl2SSH"},
        {3, s16, {size, "byteOrder=0"}, pl + " bo=0", s16 + "sh2fl.flt"},
        {3, s16, {size, "byteOrder=1"}, pl + " bo=1", s16 + "sh2fl.flt"},
        {4, c16, {size, "byteOrder=0"}, pl + " bo=0", c16 + ".tif"},
        {4, c16, {size, "byteOrder=1"}, pl + " bo=1", c16 + ".tif"},
        {5, c64, {size, "first=3,last=211"}, pl + " first=3 last=211", c64 + "PureRaster"},
        {6, c64, {"pr=13,lr=300,pt=5,lt=64,b=8 bytes"}, "p=13 l=300 pt=5 lt=64 b=8", c64 + "Tile.dat"},
        {6, s16, {"pr=13,lr=300,pt=8,lt=128,b=1 byte"}, "p=13 l=300 pt=8 lt=128 b=1", s16 + "Tile.dat"},
        {7, c64, {"pt=13,lt=50,nx=2,ny=3,b=4 bytes"}, "pt=13 lt=50 nx=2 ny=3 b=4", c64.substr(0, c64.size() - 8) + "raster.datpureraster.dat"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> answers{format("mode=%d", c.mode), c.input};
        answers.insert(answers.end(), c.forms.begin(), c.forms.end());
        const auto messages = convert(answers);
        std::vector<std::uint8_t> got = readWholeFile(c.output);
        if (c.mode == 4) {
            // A real 8-bit grey TIFF: GDAL reads it back as the raw image.
            const auto info = tessarin::testing::gdalInfo(c.output);
            ASSERT_TRUE(info.is_object()) << c.output;
            EXPECT_EQ(info["bands"].size(), 1u);
            EXPECT_EQ(info["bands"][0]["type"], "Byte");
            const auto run = runTool("gdal_translate -q -of ENVI " + shellQuote(c.output) + " " + shellQuote(path("g.raw")));
            ASSERT_EQ(run.exitCode, 0) << run.output;
            got = readWholeFile(path("g.raw"));
        }
        EXPECT_TRUE(got == reference(c.mode, c.input, c.refArgs))
            << "mode " << c.mode << " " << c.refArgs << " (" << got.size() << " bytes)";
        if (c.mode == 2) {
            ASSERT_FALSE(messages.empty());
            EXPECT_EQ(messages.back().rfind("Float to sigbed short conversion complete", 0), 0u);
            EXPECT_NE(messages.back().find("not finite"), std::string::npos);
        }
        removeFile(c.output);
    }
    // Swapping twice gives the input back.
    for (const int mode : {0, 1}) {
        const std::string in = mode == 0 ? le : s16;
        convert({format("mode=%d", mode), in, size});
        writeWholeFile(path("again"), readWholeFile(in + "Swap"));
        convert({format("mode=%d", mode), path("again"), size});
        EXPECT_TRUE(readWholeFile(path("againSwap")) == readWholeFile(in)) << mode;
    }
    // Only the output is written beside the input.
    std::size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir())) files += e.is_regular_file() ? 1 : 0;
    EXPECT_GT(files, 0u);
    for (const auto& e : std::filesystem::directory_iterator(dir()))
        EXPECT_EQ(e.path().filename().string().find(".part"), std::string::npos) << e.path();
}

TEST_F(Conversions, AmplitudeImageEdgeCasesAndShortInputs) {
    // (3, 4) everywhere: the mean amplitude is 5 and every pixel becomes 64.
    ByteWriter w;
    for (int k = 0; k < 64 * 40; ++k) {
        w.le<std::int16_t>(3);
        w.le<std::int16_t>(4);
    }
    const std::string c = write("c.raw", w.take());
    convert({"mode=4", c, "pixels=64,lines=40", "byteOrder=0"});
    ASSERT_EQ(runTool("gdal_translate -q -of ENVI " + shellQuote(c + ".tif") + " " + shellQuote(path("g.raw"))).exitCode, 0);
    EXPECT_TRUE(readWholeFile(path("g.raw")) == std::vector<std::uint8_t>(64 * 40, 64));
    // All zero: zeros and a message.
    const std::string z = write("z.raw", std::vector<std::uint8_t>(64 * 40 * 4, 0));
    const auto said = convert({"mode=4", z, "pixels=64,lines=40", "byteOrder=1"});
    ASSERT_FALSE(said.empty());
    EXPECT_NE(said.back().find("the mean amplitude is 0"), std::string::npos);
    // Short inputs are refused before anything is written.
    const struct {
        int mode;
        std::vector<std::string> forms;
        std::string output;
    } shortCases[] = {
        {0, {"pixels=64,lines=41"}, c + "Swap"},
        {2, {"pixels=64,lines=81", "byteOrder=0"}, c + "Fl2SSH"},
        {4, {"pixels=64,lines=41", "byteOrder=0"}, c + ".tif"},
        {5, {"pixels=32,lines=41", "first=0,last=40"}, c + "PureRaster"},
        {5, {"pixels=32,lines=40", "first=5,last=40"}, c + "PureRaster"},
        {6, {"pr=64,lr=41,pt=16,lt=16,b=4 bytes"}, c + "Tile.dat"},
        {7, {"pt=64,lt=41,nx=1,ny=1,b=4 bytes"}, c.substr(0, c.size() - 8) + "raster.datpureraster.dat"},
    };
    for (const auto& s : shortCases) {
        removeFile(s.output);
        std::vector<std::string> answers{format("mode=%d", s.mode), c};
        answers.insert(answers.end(), s.forms.begin(), s.forms.end());
        const auto messages = convert(answers);
        ASSERT_FALSE(messages.empty()) << s.mode;
        EXPECT_TRUE(messages.back().find("nothing was converted") != std::string::npos ||
                    messages.back().find("line range") != std::string::npos)
            << s.mode << ": " << messages.back();
        EXPECT_FALSE(fileExists(s.output)) << s.mode;
    }
}
