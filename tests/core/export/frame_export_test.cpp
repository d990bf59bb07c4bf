// The frame export over converters of known output: what is written, what
// the block KML lists, and how failures are told.

#include <gtest/gtest.h>

#include <filesystem>

#include "core/imagefiles/image_tools.h"
#include "export/frame_export.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/ui.h"
#include "support/png_read.h"
#include "support/temp_dir.h"

using namespace tessarin;
using namespace tessarin::geoexport;
using tessarin::testing::runTool;
using tessarin::testing::shellQuote;

namespace {

using FrameExportTest = tessarin::testing::TempDirTest;

// A frame of 40 x 30 cells of 0.001 degrees per tile index, with a
// transparent left column.
GroundFrame knownFrame(FrameIndex f) {
    GroundFrame g;
    g.width = 40;
    g.height = 30;
    g.dphi = 0.001;
    const double north = 36.0 - 0.015 * f.ky, west = 140.0 + 0.02 * f.kx;
    g.gridBox = {north, north - g.height * g.dphi, west + g.width * g.dphi, west};
    g.rgb.assign(static_cast<std::size_t>(g.width) * g.height * 3, static_cast<std::uint16_t>(1000 + 100 * f.kx));
    g.alpha.assign(static_cast<std::size_t>(g.width) * g.height, 255);
    for (int y = 0; y < g.height; ++y) g.alpha[static_cast<std::size_t>(y) * g.width] = 0;
    return g;
}

}  // namespace

TEST_F(FrameExportTest, FailedFramesAreNamedAndLeftOutOfTheBlock) {
    ScriptedUi ui;
    const std::string folder = path("KMLfolder/scene");
    // A folder where the second frame's PNG would go: that frame cannot be written.
    std::filesystem::create_directories(folder + "/AmpTilex2_y0.png");
    const FrameConverter convert = [](FrameIndex f) {
        if (f.kx == 4) throw Error("Fail to read canvas image");
        return knownFrame(f);
    };
    BrightnessReference reference;
    const ExportRun run = exportFrames({{0, 0}, {2, 0}, {4, 0}, {6, 0}}, {folder, "AmpTile"}, convert, {&reference, {1, 1, 1}}, ui);
    EXPECT_EQ(run.written(), 2);
    EXPECT_EQ(run.failed(), 2);
    const std::string summary = run.summary("Multiple tile process complete", folder);
    EXPECT_EQ(summary.find("complete"), std::string::npos) << summary;
    EXPECT_NE(summary.find("2 of 4 frames written"), std::string::npos) << summary;
    EXPECT_NE(summary.find("kx=2, ky=0: cannot write \"" + folder + "/AmpTilex2_y0.png\""), std::string::npos) << summary;
    EXPECT_NE(summary.find("kx=4, ky=0: Fail to read canvas image"), std::string::npos) << summary;
    EXPECT_FALSE(std::filesystem::exists(folder + "/AmpTilex4_y0.kml"));

    const std::string block = folder + "/AmpTileTileBlock0.kml";
    writeMultiOverlay(block, run.writtenImages());
    EXPECT_EQ(runTool("xmllint --noout " + shellQuote(block)).exitCode, 0);
    std::string hrefs =
        runTool("xmllint --xpath \"//*[local-name()='href'][contains(., 'x')]/text()\" " + shellQuote(block), false).output;
    std::erase(hrefs, '\n');
    EXPECT_EQ(hrefs, "AmpTilex0_y0.pngAmpTilex6_y0.png");
    // Each listed image exists, and GDAL places the written frames by their grid boxes.
    for (const FrameOutcome& f : run.frames) {
        if (!f.written()) continue;
        EXPECT_TRUE(std::filesystem::is_regular_file(f.pngPath));
        const auto info = tessarin::testing::gdalInfo(f.kmlPath);
        ASSERT_TRUE(info.is_object()) << f.kmlPath;
        EXPECT_NEAR(info["geoTransform"][0].get<double>(), knownFrame(f.index).gridBox.west, 1e-10);
        EXPECT_NEAR(info["geoTransform"][3].get<double>(), knownFrame(f.index).gridBox.north, 1e-10);
        const auto png = tessarin::testing::readPng(f.pngPath);
        EXPECT_EQ(png.at(0, 5)[3], 0);
        EXPECT_EQ(png.at(1, 5)[3], 255);
    }
    // One reference for the run: the first frame's mean maps to 64, the
    // last frame's brighter value above it.
    EXPECT_EQ(tessarin::testing::readPng(run.frames[0].pngPath).at(3, 3)[0], 64);
    EXPECT_EQ(tessarin::testing::readPng(run.frames[3].pngPath).at(3, 3)[0], 102);

    // Exporting a frame again replaces its files with the same bytes.
    const auto before = readWholeFile(run.frames[3].pngPath), kmlBefore = readWholeFile(run.frames[3].kmlPath);
    const ExportRun again = exportFrames({{6, 0}}, {folder, "AmpTile"}, convert, {&reference, {1, 1, 1}}, ui);
    ASSERT_EQ(again.written(), 1);
    EXPECT_TRUE(readWholeFile(run.frames[3].pngPath) == before);
    EXPECT_TRUE(readWholeFile(run.frames[3].kmlPath) == kmlBefore);
}

TEST_F(FrameExportTest, AFolderThatCannotBeMadeEndsTheExportWithItsName) {
    ScriptedUi ui;
    writeTextFile(path("KMLfolder"), "a file in the way\n");
    try {
        exportFrames({{0, 0}}, {path("KMLfolder/scene"), "AmpTile"}, knownFrame, {}, ui);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("cannot create the folder \"" + path("KMLfolder/scene") + "\""),
                  std::string::npos)
            << e.what();
    }
}
