// "Save Current Tile" and "Bmp2Png" as the window runs them: the dialogs,
// the messages, and the written files read back by GDAL, libpng and our
// readers against what the scene and the canvas hold.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdlib>

#include "app/command_ids.h"
#include "app/app_core.h"
#include "app/command_table.h"
#include "core/imagefiles/image_tools.h"
#include "imagefiles/dib.h"
#include "imagefiles/png_output.h"
#include "imagefiles/tif_gen.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "support/png_read.h"
#include "support/product_fixture.h"
#include "support/temp_dir.h"

using namespace tessarin;
using namespace tessarin::app;
using document::CTessarinDoc;
namespace pr = tessarin::products;

namespace {


// Remembers the save dialogs it was asked.
class RecordingUi : public ScriptedUi {
public:
    using ScriptedUi::ScriptedUi;
    std::optional<std::string> saveFile(const FileDialog& dialog) override {
        saveDialogs.push_back(dialog);
        return ScriptedUi::saveFile(dialog);
    }
    std::vector<FileDialog> saveDialogs;
};

// The scene's samples, so that the files can be checked against the truth.
using tessarin::testing::rampAmplitude;
using tessarin::testing::rampComplex;

class ImageCommands : public tessarin::testing::WorkFolderTest {
protected:
    std::string writeProduct(int level, int lines = 1300, int pixels = 1100) {
        return tessarin::testing::writePlausibleProduct(path("product"),
                                                        {.level = level, .pixels = pixels, .lines = lines},
                                                        tessarin::testing::rampSamples())
            .imagePaths.at(0);
    }

    // Opens a product through its command and moves the canvas to the
    // scene's first tiles (the default centre lies beyond this small scene).
    // Forgets what the open showed.
    CTessarinDoc* openAtOrigin(AppCore& core, ScriptedUi& ui, int openCommand) {
        EXPECT_TRUE(core.run(*findCommand(openCommand), nullptr));
        if (core.documents().empty()) return nullptr;
        CTessarinDoc* doc = core.documents().back().get();
        doc->setCtrorigin({100, 100});
        doc->assembleCanvas();
        ui.messages.clear();
        ui.busyScopes = 0;
        return doc;
    }
};

struct Tiff48 {
    GeoTiffInfo info;
    std::vector<std::uint8_t> bytes;
    std::uint16_t at(int x, int y, int c) const {
        const std::size_t p = info.stripOffsets.at(static_cast<std::size_t>(y)) + static_cast<std::size_t>(x * 6 + c * 2);
        return static_cast<std::uint16_t>(bytes.at(p) | (bytes.at(p + 1) << 8));
    }
};

Tiff48 readTiff48(const std::string& path) {
    return {readGeoTiffFile(path), readWholeFile(path)};
}

using tessarin::testing::readPng;
using tessarin::testing::Rgba;

}  // namespace

TEST_F(ImageCommands, SaveCurrentTileWritesTheAmplitudeCanvasUnmapped) {
    const std::string image = writeProduct(pr::kLevel15);
    RecordingUi ui({image, path("cut")});
    AppCore core(ui, linkName);
    registerModules(core);
    EXPECT_FALSE(core.isEnabled(*findCommand(cmd::kSaveCurrentTile), nullptr));
    CTessarinDoc* doc = openAtOrigin(core, ui, cmd::kAlos2L15Image);
    ASSERT_NE(doc, nullptr);
    EXPECT_TRUE(core.run(*findCommand(cmd::kSaveCurrentTile), doc));

    ASSERT_EQ(ui.saveDialogs.size(), 1u);
    EXPECT_EQ(ui.saveDialogs[0].title, "Save Current Tile");
    EXPECT_EQ(ui.saveDialogs[0].initialPath,
              joinPath(doc->tileNames().folder, doc->tileNames().imageName + "_pix0_lin0.tif"));
    // The name typed without extension gets ".tif".
    const std::string written = path("cut.tif");
    EXPECT_EQ(ui.messages, std::vector<std::string>{"Save current tile complete\n" + written});
    EXPECT_EQ(ui.busyScopes, 1);
    EXPECT_EQ(ui.busyDepth, 0);

    const nlohmann::json info = tessarin::testing::gdalInfo(written);
    ASSERT_TRUE(info.is_object());
    EXPECT_EQ(info["size"][0], 2048);
    EXPECT_EQ(info["size"][1], 2048);
    ASSERT_EQ(info["bands"].size(), 3u);
    EXPECT_EQ(info["bands"][0]["type"], "UInt16");
    // The level 1.5 digital numbers themselves, in all three bands; zero
    // beyond the scene's 1100 pixels.
    const long dn = rampAmplitude(57, 71);
    EXPECT_EQ(tessarin::testing::gdalPixel(written, 57, 71), (std::vector<long>{dn, dn, dn}));
    EXPECT_EQ(tessarin::testing::gdalPixel(written, 1500, 71), (std::vector<long>{0, 0, 0}));

    const Tiff48 tiff = readTiff48(written);
    const auto& canvas = doc->canvas();
    int mismatches = 0;
    for (int y = 0; y < canvas.height(); y += 7)
        for (int x = 0; x < canvas.width(); x += 5)
            for (int c = 0; c < 3; ++c) mismatches += tiff.at(x, y, c) != canvas.at(x, y);
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(tiff.at(1099, 1299, 1), rampAmplitude(1099, 1299));
}

TEST_F(ImageCommands, SaveCurrentTileOfAComplexCanvasGivesTheAmplitudeCode) {
    const std::string image = writeProduct(pr::kLevel11, 600, 700);
    RecordingUi ui({image, path("c.TIF")});
    AppCore core(ui, linkName);
    registerModules(core);
    CTessarinDoc* doc = openAtOrigin(core, ui, cmd::kAlos2L11Image);
    ASSERT_NE(doc, nullptr);
    EXPECT_TRUE(core.run(*findCommand(cmd::kSaveCurrentTile), doc));
    ASSERT_TRUE(fileExists(path("c.TIF"))) << "a TIFF extension in any case is kept";

    // Complex canvas values are 2A plus the top phase bit; the file holds A,
    // the sample magnitude times 0.01, truncated.
    const Tiff48 tiff = readTiff48(path("c.TIF"));
    const auto& canvas = doc->canvas();
    int oddValues = 0, mismatches = 0;
    for (int y = 0; y < 600; y += 3)
        for (int x = 0; x < 700; x += 3) {
            const std::uint16_t v = canvas.at(x, y);
            oddValues += v & 1;
            mismatches += tiff.at(x, y, 0) != v / 2 || tiff.at(x, y, 2) != v / 2;
            const auto a = static_cast<std::uint16_t>(std::abs(rampComplex(static_cast<std::size_t>(x), y)) * 0.01);
            mismatches += tiff.at(x, y, 1) != a;
        }
    EXPECT_GT(oddValues, 1000) << "the phase bit is set on half the scene";
    EXPECT_EQ(mismatches, 0);
}

TEST_F(ImageCommands, SaveCurrentTileCancelledOrFailedWritesNothingAndSaysSo) {
    const std::string image = writeProduct(pr::kLevel15, 300, 400);
    RecordingUi ui({image, "cancel", path("no/such/folder/t.tif")});
    AppCore core(ui, linkName);
    registerModules(core);
    CTessarinDoc* doc = openAtOrigin(core, ui, cmd::kAlos2L15Image);
    ASSERT_NE(doc, nullptr);
    EXPECT_TRUE(core.run(*findCommand(cmd::kSaveCurrentTile), doc));
    EXPECT_TRUE(ui.messages.empty()) << "cancel: no message";
    EXPECT_EQ(ui.busyScopes, 0);
    EXPECT_FALSE(fileExists(doc->currentTileImagePath()));

    EXPECT_TRUE(core.run(*findCommand(cmd::kSaveCurrentTile), doc));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].find("Save current tile complete"), std::string::npos) << ui.messages[0];
    EXPECT_EQ(ui.busyDepth, 0) << "the busy cursor ends with the failure";
}

TEST_F(ImageCommands, Bmp2PngConvertsTheChosenBitmapAndKeepsIt) {
    // Pixel (0, 0) black, (1, 0) blue 1, (2, 0) a colour.
    TopDownBitmap picture = TopDownBitmap::bgr24(3, 2);
    picture.row(0)[3] = 1;
    picture.row(0)[6] = 30, picture.row(0)[7] = 20, picture.row(0)[8] = 10;
    CDib::fromBitmap(picture).writeFile(path("pic.bmp"));
    const auto bmpBytes = readWholeFile(path("pic.bmp"));
    CDib::fromBitmap(TopDownBitmap::grey8(4, 4)).writeFile(path("grey.bmp"));

    ScriptedUi ui({path("pic.bmp"), path("grey.bmp"), "cancel"});
    AppCore core(ui, linkName);
    registerModules(core);
    const CommandInfo& bmp2png = *findCommand(cmd::kBmp2Png);
    EXPECT_TRUE(core.run(bmp2png, nullptr));
    EXPECT_EQ(ui.dialogTitles, std::vector<std::string>{"Bmp2Png"});
    EXPECT_EQ(ui.messages, std::vector<std::string>{path("pic.bmp")});
    EXPECT_EQ(readWholeFile(path("pic.bmp")), bmpBytes) << "the user's bitmap stays as it was";
    const tessarin::testing::ToolRun check = tessarin::testing::runTool("pngcheck " + tessarin::testing::shellQuote(path("pic.png")));
    EXPECT_EQ(check.exitCode, 0) << check.output;
    const Rgba png = readPng(path("pic.png"));
    ASSERT_EQ(png.width, 3);
    ASSERT_EQ(png.height, 2);
    EXPECT_EQ(png.at(0, 0)[3], 0) << "black is transparent";
    EXPECT_EQ(png.at(1, 0), (std::array<std::uint8_t, 4>{0, 0, 1, 255}));
    EXPECT_EQ(png.at(2, 0), (std::array<std::uint8_t, 4>{10, 20, 30, 255}));
    EXPECT_EQ(png.at(2, 1)[3], 0);

    // An 8-bit palette bitmap is refused, and nothing is written.
    ui.messages.clear();
    EXPECT_TRUE(core.run(bmp2png, nullptr));
    EXPECT_EQ(ui.messages, (std::vector<std::string>{path("grey.bmp"), "File type is not RGB or PNG"}));
    EXPECT_FALSE(fileExists(path("grey.png")));
    EXPECT_TRUE(fileExists(path("grey.bmp")));

    ui.messages.clear();
    EXPECT_TRUE(core.run(bmp2png, nullptr));
    EXPECT_TRUE(ui.messages.empty()) << "cancel";
}

TEST_F(ImageCommands, BitmapFileToPngNamesAndRefusals) {
    const TopDownBitmap picture = TopDownBitmap::bgr24(2, 2);
    CDib::fromBitmap(picture).writeFile(path("a.dib"));
    EXPECT_EQ(bitmapFileToPng(path("a.dib")), path("a.png")) << "the extension is replaced";
    CDib::fromBitmap(picture).writeFile(path("noext"));
    EXPECT_EQ(bitmapFileToPng(path("noext")), path("noext.png"));
    EXPECT_EQ(bitmapFileToPng(path("a.dib"), path("out")), path("out.png"));
    // A bitmap that carries the PNG name would be overwritten by its PNG.
    CDib::fromBitmap(picture).writeFile(path("b.png"));
    const auto before = readWholeFile(path("b.png"));
    EXPECT_THROW(bitmapFileToPng(path("b.png")), Error);
    EXPECT_EQ(readWholeFile(path("b.png")), before);
}
