// A simulated ScanSAR-like product opens as the ScanSAR open command opens
// one: its leader is found by the ScanSAR naming rule (the stripmap rule
// finds none) and decoded; its bursts are separated by dark lines.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/command_ids.h"
#include "app/app_core.h"
#include "app/command_table.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "products/alos2.h"
#include "simulator/scene_simulator.h"
#include "support/temp_dir.h"

namespace tessarin::simulator {
namespace {

constexpr int kPixels = 700, kLines = 600;

class ScanSarProduct : public tessarin::testing::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        ::setenv("TESSARIN_WORKDIR", path("work").c_str(), 1);
        linkName_ = format("link_data_scansar_%d", static_cast<int>(::getpid()));
        SimulatorOptions o;
        o.folder = path("product");
        o.seed = 3;
        o.pixels = kPixels, o.lines = kLines;
        o.level11 = true, o.level15 = true;
        o.polarisations = {"HH", "HV"};
        o.scanSar = true;
        truth_ = simulateScene(o);
    }
    void TearDown() override {
        ::unsetenv("TESSARIN_WORKDIR");
        LinkBlock::remove(linkName_);
        TempDirTest::TearDown();
    }

    // Opens the image through an open command, as the window's menu does.
    document::CTessarinDoc* open(app::AppCore& core, int command) {
        const std::size_t before = core.documents().size();
        EXPECT_TRUE(core.run(*app::findCommand(command), nullptr));
        return core.documents().size() > before ? core.documents().back().get() : nullptr;
    }

    std::string image() const { return truth_.products.at(0).imagePaths.at(0); }

    std::string linkName_;
    SimulationTruth truth_;
};

TEST_F(ScanSarProduct, NamesFollowTheScanSarRule) {
    ASSERT_EQ(truth_.products.size(), 2u);
    const SplitPath hh = splitPath(image());
    EXPECT_EQ(hh.name, "IMG-HH-ALOS2011502960-140724-WBDR1.1__A");
    EXPECT_EQ(splitPath(truth_.products[0].imagePaths.at(1)).name, "IMG-HV-ALOS2011502960-140724-WBDR1.1__A");
    // The level 1.1 leader: "LED" + the image name without its first six and
    // last seven characters; no leader under the stripmap name.
    EXPECT_EQ(truth_.products[0].leaderPath, joinPath(hh.folder, "LED-ALOS2011502960-140724-WBD"));
    EXPECT_TRUE(fileExists(truth_.products[0].leaderPath));
    EXPECT_FALSE(fileExists(products::leaderPathOf(image())));
    // Level 1.5 keeps the ordinary rule, which its open command uses.
    EXPECT_EQ(truth_.products[1].leaderPath, products::leaderPathOf(truth_.products[1].imagePaths.at(0)));
    EXPECT_TRUE(fileExists(truth_.products[1].leaderPath));
    EXPECT_EQ(products::productLevelOf(image()), products::kLevel11);
}

TEST_F(ScanSarProduct, OpensUnderTheScanSarModeWithItsLeader) {
    ScriptedUi ui({image()});
    app::AppCore core(ui, linkName_);
    ASSERT_TRUE(core.linkBlock().valid());
    app::registerModules(core);
    document::CTessarinDoc* doc = open(core, app::cmd::kAlos2ScanSarSlcImage);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->openMode(), 11);
    EXPECT_TRUE(doc->scanSar());
    EXPECT_EQ(doc->levelCode(), 11);
    EXPECT_TRUE(doc->complexFlag());
    ASSERT_EQ(ui.messages.size(), 2u) << (ui.messages.empty() ? "" : ui.messages.back());
    EXPECT_EQ(ui.messages[1], "L1.1 ALOS2 CPX Scan SAR Original file Open");
    // The scene description is the simulated one.
    const auto& p = doc->reader(0).params();
    EXPECT_EQ(p.orbitPointCount, 28);
    EXPECT_EQ(p.pixel, kPixels);
    EXPECT_EQ(p.line, kLines);
    EXPECT_DOUBLE_EQ(p.pixsz, truth_.scene.pixsz);
    EXPECT_DOUBLE_EQ(p.calib, -115.0);
    EXPECT_NEAR(p.ctrlat, truth_.centre.lat_deg, 1e-6);
    EXPECT_NEAR(p.ctrlon, truth_.centre.lon_deg, 1e-6);
    EXPECT_DOUBLE_EQ(doc->calib(), -115.0);
    EXPECT_TRUE(fileExists(doc->tileNames().tile));
    // The TileSet carries the ScanSAR leader as its leader copy, so that it
    // reopens (after "Save Tile Image") with its geometry.
    products::Alos2 copy;
    copy.setImagePath(image());
    copy.setLeaderPath(doc->tileNames().leaderCopy);
    copy.DecodeLeaderFile();
    EXPECT_EQ(copy.params().orbitPointCount, 28);
}

TEST_F(ScanSarProduct, BurstsAreSeparatedByDarkLines) {
    products::Alos2 l11, l15;
    l11.setImagePath(image());
    l15.setImagePath(truth_.products[1].imagePaths.at(1));
    ASSERT_TRUE(l11.DecodeImageFileDescriptor(l11.imagePath()));
    ASSERT_TRUE(l15.DecodeImageFileDescriptor(l15.imagePath()));
    products::ImageLineReader complexLines(l11.imagePath(), l11.params());
    products::ImageLineReader amplitudeLines(l15.imagePath(), l15.params());
    std::vector<std::complex<float>> c(kPixels);
    std::vector<std::uint16_t> a(kPixels);
    int dark = 0;
    for (int n = 0; n < kLines; ++n) {
        ASSERT_TRUE(complexLines.readComplexLine(n, c));
        ASSERT_TRUE(amplitudeLines.readAmplitudeLine(n, a));
        int zeroComplex = 0, zeroAmplitude = 0;
        for (std::size_t p = 0; p < c.size(); ++p) {
            zeroComplex += c[p] == std::complex<float>(0.0f, 0.0f);
            zeroAmplitude += a[p] == 0;
        }
        const bool gap = n % kBurstPeriodLines >= kBurstPeriodLines - kBurstGapLines;
        dark += gap;
        if (gap) {
            EXPECT_EQ(zeroComplex, kPixels) << "line " << n;
            EXPECT_EQ(zeroAmplitude, kPixels) << "line " << n;
        } else {
            EXPECT_EQ(zeroComplex, 0) << "line " << n;
            EXPECT_LT(zeroAmplitude, kPixels / 4) << "line " << n;  // the sea is dark, not empty
        }
    }
    EXPECT_EQ(dark, 2 * kBurstGapLines);
}

}  // namespace
}  // namespace tessarin::simulator
