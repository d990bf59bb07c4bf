// Document opening through the open commands, as the window runs them.

#include <gtest/gtest.h>

#include <algorithm>

#include "app/app_core.h"
#include "app/command_ids.h"
#include "app/command_table.h"
#include "composites/composite_state.h"
#include "platform/file.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "support/png_read.h"
#include "support/product_fixture.h"
#include "support/temp_dir.h"
#include "tiles/scene_tiling.h"

using namespace tessarin;
using namespace tessarin::app;
using document::CTessarinDoc;
namespace pr = tessarin::products;

namespace {

class OpenModes : public tessarin::testing::WorkFolderTest {
protected:
    // A small product of the given level, polarisation and look.
    std::string writeProduct(int level, const std::string& pol = "HH", char look = 'R', int lines = 1300,
                             int pixels = 1100) {
        return tessarin::testing::writePlausibleProduct(
                   path("product"),
                   {.level = level, .pixels = pixels, .lines = lines, .polarisations = {pol}, .look = look},
                   tessarin::testing::rampSamples())
            .imagePaths.at(0);
    }

    CTessarinDoc* runOpen(AppCore& core, int commandId) {
        const std::size_t before = core.documents().size();
        EXPECT_TRUE(core.run(*findCommand(commandId), nullptr)) << commandId;
        return core.documents().size() > before ? core.documents().back().get() : nullptr;
    }
};

}  // namespace

TEST_F(OpenModes, OriginalLevel11ThroughItsCommand) {
    const std::string image = writeProduct(pr::kLevel11, "HV");
    ScriptedUi ui({image});
    AppCore core(ui, linkName);
    ASSERT_TRUE(core.linkBlock().valid());
    registerModules(core);
    CTessarinDoc* doc = runOpen(core, cmd::kAlos2L11Image);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(ui.dialogTitles, std::vector<std::string>{"Select PALSAR2 L|1.1 file"});
    EXPECT_EQ(doc->openMode(), 1);
    EXPECT_EQ(doc->label(), "Original ALOS2 L1.1");
    EXPECT_EQ(doc->levelCode(), 11);
    EXPECT_TRUE(doc->complexFlag());
    EXPECT_FALSE(doc->amplitudeFlag()) << "an IMG-HV name sets it, the level 1.1 open clears it";
    EXPECT_FALSE(doc->existingTiles());
    EXPECT_EQ(ui.messages, std::vector<std::string>{"L1.1 ALOS2 CPX Original file Open"});
    ASSERT_GE(ui.statuses.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(ui.statuses.begin(), ui.statuses.begin() + 5),
              (std::vector<std::string>{"PreProc data", "Allocate memory", "End Preproc", "Sub OpenAlos2L11",
                                        "Tiling process start"}));
    EXPECT_EQ(ui.statuses[5], "kpy=0 of 2, kx 0 of 2");
    const auto end = std::find(ui.statuses.begin(), ui.statuses.end(), "End tiling image");
    ASSERT_NE(end, ui.statuses.end());
    // Then the overview (256 lines, every line sampled) and the two canvas
    // displays (2048 lines, every 32nd sampled).
    EXPECT_EQ(ui.statuses.end() - end - 1, 256 + 64 + 64);
    EXPECT_EQ(ui.statuses.back(), "Statistics calc, line=2016");
    // The canvas around (5000, 5000) of a 1100 x 1300 scene lies beyond the
    // grid: the complex merger's block starts at tile 5.
    EXPECT_EQ(doc->canvasState().kx0, 5);
    EXPECT_TRUE(fileExists(doc->canvasPath()));
    EXPECT_DOUBLE_EQ(doc->calib(), doc->reader(0).params().calib);

    // Closing keeps the whole TileSet, its header and leader copies too, so
    // that the TileSet just made can be reopened; the display files go.
    const auto names = doc->tileNames();
    const auto displayFiles = doc->displaySlots().displayFiles();
    ASSERT_FALSE(displayFiles.empty());
    core.closeDocument(doc);
    for (const auto& f : {names.headerCopy, names.leaderCopy, names.tile, names.quickLook})
        EXPECT_TRUE(fileExists(f)) << f;
    for (const auto& f : displayFiles) EXPECT_FALSE(fileExists(f)) << f;
    ui.addAnswer(names.tile);
    CTessarinDoc* reopened = runOpen(core, cmd::kAlos2L11TileFile);
    ASSERT_NE(reopened, nullptr) << (ui.messages.empty() ? "" : ui.messages.back());
    EXPECT_EQ(reopened->reader(0).params().pixel, 1100);
}

TEST_F(OpenModes, TwoCommandsTwoDocumentsEachWithItsOwnMode) {
    const std::string l15 = writeProduct(pr::kLevel15, "HH", 'R', 600, 700);
    const std::string l11 = writeProduct(pr::kLevel11, "VV", 'R', 600, 700);
    ScriptedUi ui({l15, l11});
    AppCore core(ui, linkName);
    registerModules(core);
    CTessarinDoc* a = runOpen(core, cmd::kAlos2L15Image);
    CTessarinDoc* b = runOpen(core, cmd::kAlos2L11Image);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->openMode(), 0);
    EXPECT_EQ(a->label(), "OrgSingleAmp");
    EXPECT_EQ(a->levelCode(), 15);
    EXPECT_TRUE(a->amplitudeFlag());
    EXPECT_EQ(a->tileKind(), tiles::TileKind::Amplitude);
    EXPECT_EQ(b->openMode(), 1);
    EXPECT_EQ(core.documents().size(), 2u);
    EXPECT_EQ(ui.messages, (std::vector<std::string>{"Original ALOS2 Lev1.5 file open", "L1.1 ALOS2 CPX Original file Open"}));
}

TEST_F(OpenModes, ReopeningTileSetsReadsTheCopiesAndTheLook) {
    const std::string left = writeProduct(pr::kLevel11, "HH", 'L', 700, 900);
    ScriptedUi ui;
    pr::Alos2 reader;
    const auto tiled = tiles::tileOriginalProduct(left, path("keep"), reader, ui);
    ASSERT_TRUE(tiled.names.tile.ends_with("L1.1__Atile.cpx"));
    const std::string amp = writeProduct(pr::kLevel15, "HH", 'R', 700, 900);
    pr::Alos2 reader2;
    const auto ampTiled = tiles::tileOriginalProduct(amp, path("keep"), reader2, ui);

    ScriptedUi ui2({tiled.names.tile, ampTiled.names.tile});
    AppCore core(ui2, linkName);
    registerModules(core);
    CTessarinDoc* c = runOpen(core, cmd::kAlos2L11TileFile);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->label(), "CpxTile");
    EXPECT_EQ(c->openMode(), 5);
    EXPECT_TRUE(c->existingTiles());
    EXPECT_TRUE(c->tileOpen());
    EXPECT_EQ(c->reader(0).pointingLeft(), 1);
    EXPECT_EQ(c->grid().ntx, 1);
    EXPECT_EQ(c->canvasPath(), path("keep/") + tiled.names.imageName + ".cut");
    EXPECT_DOUBLE_EQ(c->calib(), reader.params().calib);
    CTessarinDoc* a = runOpen(core, cmd::kAlos2L15TileFile);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->label(), "AmpTile");
    EXPECT_EQ(a->levelCode(), 15);
    EXPECT_EQ(a->reader(0).pointingLeft(), 0);
    EXPECT_EQ(ui2.messages, (std::vector<std::string>{"Open ALOS2 L1.1 Tile image Open", "Open ALOS2 L1.5 Tile image Open"}));
    // Closing a reopened TileSet deletes none of its files.
    core.closeDocument(c);
    EXPECT_TRUE(fileExists(tiled.names.headerCopy));
    EXPECT_TRUE(fileExists(tiled.names.leaderCopy));
}

TEST_F(OpenModes, UnknownModesOpenEmptyAndModeSevenRefuses) {
    const std::string image = writeProduct(pr::kLevel11, "HV", 'R', 50, 60);
    ScriptedUi ui;
    AppCore core(ui, linkName);
    registerModules(core);
    core.linkBlock().writeOpenMode(13);
    CTessarinDoc* empty = core.openDocument(image);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->openMode(), 13);
    EXPECT_FALSE(empty->hasData());
    EXPECT_TRUE(empty->amplitudeFlag()) << "set by the common steps for an IMG-HV name";
    EXPECT_TRUE(ui.messages.empty());

    core.linkBlock().writeOpenMode(7);
    EXPECT_EQ(core.openDocument(image), nullptr);
    EXPECT_EQ(ui.messages, (std::vector<std::string>{"Open L1.1 Multi Temporal Tile Open",
                                                     "Restart program as Inteferometry mode",
                                                     "Process image as Interferpmetry. Restart program.."}));
    EXPECT_EQ(core.documents().size(), 1u);

    // 1000 stored as 32 bits reads back through the 16-bit read.
    core.linkBlock().writeOpenMode(1000);
    ui.messages.clear();
    EXPECT_EQ(core.openDocument(image), nullptr) << "no earlier conversion of this image";
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_NE(ui.messages[1].find("No complex tile file"), std::string::npos);
}

TEST_F(OpenModes, CompressModeUsesTheTilesOfAnEarlierConversion) {
    const std::string image = writeProduct(pr::kLevel11, "HH", 'R', 300, 400);
    ScriptedUi ui({image, image});
    AppCore core(ui, linkName);
    registerModules(core);
    CTessarinDoc* first = runOpen(core, cmd::kAlos2L11Image);
    ASSERT_NE(first, nullptr);
    const std::size_t statuses = ui.statuses.size();
    CTessarinDoc* again = runOpen(core, cmd::kCompressCpxFile);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->openMode(), 1000);
    EXPECT_EQ(again->tileNames().tile, first->tileNames().tile);
    const std::vector<std::string> later(ui.statuses.begin() + static_cast<long>(statuses), ui.statuses.end());
    EXPECT_TRUE(std::none_of(later.begin(), later.end(), [](const std::string& s) { return s == "Tiling process start"; }));
    EXPECT_EQ(again->canvas().values(), first->canvas().values());
}

TEST_F(OpenModes, CancelChangesNothingAndDisabledEntriesStayDisabled) {
    ScriptedUi ui({"cancel"});
    AppCore core(ui, linkName);
    registerModules(core);
    core.linkBlock().writeOpenMode(42);
    EXPECT_TRUE(core.run(*findCommand(cmd::kAlos2L11Image), nullptr));
    EXPECT_TRUE(core.documents().empty());
    EXPECT_EQ(core.linkBlock().readOpenMode(), 42) << "a cancelled dialog leaves the link block alone";
    for (int id : {cmd::kAlosL10, cmd::kModifyJaxaAlos2, cmd::kModifyGeoRef, cmd::kPureTileImageFile, cmd::kSaveTileImage2, cmd::kGeoTifSave, cmd::kFringe, cmd::kCreateCurrentTileKml, cmd::kGenerateSimFringe, cmd::kCreateSimFringe2, cmd::kCreateInferoMask, cmd::kLoadConjugatePointList, cmd::kExportKmlForCurrentTileDisabled}) {
        const CommandInfo* info = findCommand(id);
        ASSERT_NE(info, nullptr) << id;
        EXPECT_FALSE(core.isEnabled(*info, nullptr)) << id;
        EXPECT_FALSE(core.run(*info, nullptr)) << id;
    }
    // A document command needs a document.
    EXPECT_FALSE(core.isEnabled(*findCommand(cmd::kSaveTileImage), nullptr));
    EXPECT_TRUE(core.isEnabled(*findCommand(cmd::kAppAbout), nullptr));
}

TEST_F(OpenModes, ScanSarWarningAndLeaderRule) {
    const std::string image = writeProduct(pr::kLevel11, "HH", 'R', 200, 300);
    // ScanSAR products keep their leader as "LED" + the name without the
    // polarisation prefix and the last seven characters.
    const SplitPath sp = splitPath(image);
    const std::string rest = sp.name.substr(6, sp.name.size() - 6 - 7);
    const std::string regularLeader = joinPath(sp.folder, "LED" + sp.name.substr(6));
    replaceFile(regularLeader, joinPath(sp.folder, "LED" + rest));
    ScriptedUi ui({image});
    AppCore core(ui, linkName);
    registerModules(core);
    CTessarinDoc* doc = runOpen(core, cmd::kAlos2ScanSarSlcImage);
    ASSERT_NE(doc, nullptr);
    EXPECT_TRUE(doc->scanSar());
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0], "This menu works only for ALOS2 Scan SAR SLC skimmed line data.\n"
                              "Original data must be modified to pick up line data at given interval.");
    EXPECT_EQ(ui.messages[1], "L1.1 ALOS2 CPX Scan SAR Original file Open");
    EXPECT_NE(doc->reader(0).params().orbitPointCount, 0) << "the leader was found under the ScanSAR name";
}

TEST_F(OpenModes, PngExportThroughTheExportSlot) {
    // A 3-channel 16-bit raster: a black frame two pixels wide around data.
    // Statistics sample every 32nd pixel and line: (32, 32) is the one
    // non-zero sample, so the means are 100 and 150.
    const int w = 64, h = 64;
    std::vector<std::uint8_t> raster;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                const bool frame = x < 2 || y < 2 || x >= w - 2 || y >= h - 2;
                const std::uint16_t v = frame ? 0 : static_cast<std::uint16_t>(100 + 50 * c);
                raster.push_back(static_cast<std::uint8_t>(v & 0xFF));
                raster.push_back(static_cast<std::uint8_t>(v >> 8));
            }
    writeWholeFile(path("export.raw"), raster);
    ScriptedUi ui({path("export.raw")});
    AppCore core(ui, linkName);
    registerModules(core);
    core.linkBlock().writeOpenMode(13);
    CTessarinDoc* doc = core.openDocument(path("export.raw"));
    ASSERT_NE(doc, nullptr);
    const std::string png = doc->exportPng({path("export.raw"), w, h, 3, 2}, path("export"), true, true);
    EXPECT_EQ(png, path("export.png"));
    EXPECT_FALSE(fileExists(path("export.raw"))) << "the exporter's scratch raster is deleted";
    EXPECT_FALSE(fileExists(path("export.bmp")));
    const auto image = tessarin::testing::readPng(png);
    ASSERT_EQ(image.width, w);
    EXPECT_EQ(image.at(0, 0)[3], 0) << "the black frame is transparent";
    EXPECT_EQ(image.at(10, 10)[3], 255);
    // Red is channel 0 at its mean (64); blue is channel 2 mapped with channel 1's mean.
    EXPECT_EQ(image.at(10, 10)[0], 64);
    EXPECT_EQ(image.at(10, 10)[2], static_cast<int>(200.0 / 150.0 * 64));

    // A composite's ThirdChannelCopy shows green again in blue; its cut
    // file goes when the document closes.
    auto& composite = doc->moduleState<composites::CompositeState>();
    composite.thirdChannelCopy = true;
    composite.cutPath = path("compo.cut");
    writeWholeFile(composite.cutPath, raster);
    writeWholeFile(path("export.raw"), raster);
    const auto copied = tessarin::testing::readPng(doc->exportPng({path("export.raw"), w, h, 3, 2}, path("again"), true, true));
    EXPECT_EQ(copied.at(10, 10)[2], copied.at(10, 10)[1]);
    EXPECT_NE(copied.at(10, 10)[1], image.at(10, 10)[2]);
    core.closeDocument(doc);
    EXPECT_FALSE(fileExists(path("compo.cut")));
}

TEST_F(OpenModes, RasterToPngTestModeKeepsTheUsersRaster) {
    // A canvas-sized raster of 3 channels of 2 bytes.
    // Value 257 everywhere, but 0 in a square: the square is transparent,
    // the rest shown at its own mean (a fresh export slot has no statistics
    // to map by; mapping by zero means would give an all-black PNG).
    std::vector<std::uint8_t> raw(2048u * 2048 * 3 * 2, 1);
    for (std::size_t y = 0; y < 64; ++y) std::fill_n(raw.begin() + static_cast<std::ptrdiff_t>(y * 2048 * 6), 64 * 6, 0);
    writeWholeFile(path("test.raw"), raw);
    ScriptedUi ui({path("test.raw")});
    AppCore core(ui, linkName);
    registerModules(core);
    EXPECT_TRUE(core.run(*findCommand(cmd::kTestRasterPngConversion), nullptr));
    ASSERT_EQ(core.documents().size(), 1u);
    EXPECT_EQ(core.documents()[0]->openMode(), 200);
    EXPECT_TRUE(fileExists(path("test.raw"))) << "the chosen raster is the user's file";
    const auto image = tessarin::testing::readPng(path("test.rawalpha.png"));
    ASSERT_EQ(image.width, 2048);
    EXPECT_EQ(image.at(10, 10)[3], 0);
    EXPECT_EQ(image.at(100, 100)[3], 255);
    EXPECT_EQ(image.at(100, 100)[0], 64) << "a sample at its channel's mean shows as 64";
    EXPECT_EQ(image.at(100, 100)[1], 64);
}

// A recent entry reopens under the OpenMode stored with it, or the one its
// name implies, whatever the last open command wrote into the link block;
// an open that fails is closed, so its scratch files go.
TEST_F(OpenModes, RecentEntriesKeepTheirModeAndFailedOpensAreClosed) {
    const std::string l11 = writeProduct(pr::kLevel11, "HH", 'R', 600, 700);
    const std::string l15 = writeProduct(pr::kLevel15, "HH", 'R', 600, 700);
    ScriptedUi ui({l11, l15});
    AppCore core(ui, linkName);
    registerModules(core);
    CTessarinDoc* first = runOpen(core, cmd::kAlos2L11Image);
    ASSERT_NE(first, nullptr);
    const std::string tile = first->tileNames().tile;
    core.closeDocument(first);
    ASSERT_NE(runOpen(core, cmd::kAlos2L15Image), nullptr);
    ASSERT_EQ(core.linkBlock().readOpenMode(), 0);
    for (const std::optional<int> stored : {std::optional<int>(5), std::optional<int>()}) {
        CTessarinDoc* again = core.reopenRecent(tile, stored);
        ASSERT_NE(again, nullptr) << (stored ? "stored mode" : "implied mode") << ": " << ui.messages.back();
        EXPECT_EQ(again->openMode(), 5);
        core.closeDocument(again);
    }

    const std::string scratch = joinPath(path("work"), "tempobuf");
    writeWholeFile(scratch, std::vector<std::uint8_t>(16, 1));
    core.linkBlock().writeOpenMode(0);
    EXPECT_EQ(core.openDocument(l11), nullptr) << "a level 1.1 product under the level 1.5 mode";
    EXPECT_NE(ui.messages.back().find("level 1.1 product"), std::string::npos) << ui.messages.back();
    EXPECT_FALSE(fileExists(scratch)) << "the failed open's document was closed";
}
