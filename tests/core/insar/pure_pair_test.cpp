// A pure SLC pair (mode 30) from the simulator's pair exported as raw
// rasters: cut out of the CEOS image files (mode 29), tiled (mode 26), saved
// with their projects, paired, and its interferogram generated with the
// table of the CEOS pair. The phase of the complex interferogram must equal
// the CEOS pair's (the flat-earth term enters the 8-bit fringe only), and
// the coherence agrees to the quantisation of the amplitude codes.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <complex>
#include <filesystem>
#include <numbers>

#include "app/app_core.h"
#include "app/command_ids.h"
#include "app/command_table.h"
#include "display/view_controller.h"
#include "document/tessarin_doc.h"
#include "insar/pair_project.h"
#include "insar/pair_state.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/ui.h"
#include "products/alos2.h"
#include "simulator/scene_simulator.h"
#include "tiles/raw_raster.h"
#include "tiles/scene_tiling.h"

namespace tessarin::insar {
namespace {

namespace fs = std::filesystem;

class PurePair : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = (fs::temp_directory_path() / ("tessarin-purepair-" + std::to_string(::getpid()))).string();
        fs::remove_all(root_);
        fs::create_directories(root_ + "/work");
        ::setenv("TESSARIN_WORKDIR", (root_ + "/work").c_str(), 1);
        link_ = format("link_data_purepair_%d", static_cast<int>(::getpid()));
    }
    void TearDown() override {
        ::unsetenv("TESSARIN_WORKDIR");
        LinkBlock::remove(link_);
        fs::remove_all(root_);
    }
    document::CTessarinDoc* run(app::AppCore& core, int command, document::CTessarinDoc* doc = nullptr) {
        const std::size_t before = core.documents().size();
        EXPECT_TRUE(core.run(*app::findCommand(command), doc)) << command;
        return core.documents().size() > before ? core.documents().back().get() : nullptr;
    }
    std::string root_, link_;
};

TEST_F(PurePair, GivesTheInterferogramOfTheCeosPair) {
    simulator::SimulatorOptions o;
    o.folder = root_ + "/product";
    o.pixels = 1040;
    o.lines = 1060;
    simulator::PairOptions po;
    po.perpendicularBaseline_m = 200.0;
    po.offsetPixels = 3;
    po.offsetLines = -5;
    o.pair = po;
    const simulator::SimulationTruth truth = simulator::simulateScene(o);
    const std::string images[2] = {truth.products.at(0).imagePaths.at(0), truth.pair->products.at(0).imagePaths.at(0)};

    // The CEOS pair: tiles, the table from geometry (mode 8), the merger.
    ScriptedUi ui;
    app::AppCore core(ui, link_);
    app::registerModules(core);
    std::string ceosTiles[2];
    tiles::ImageLayout layouts[2];
    for (int k = 0; k < 2; ++k) {
        products::Alos2 reader;
        ceosTiles[k] = tiles::tileOriginalProduct(images[k], root_ + "/tiles", reader, ui).names.tile;
        layouts[k] = tiles::imageLayoutOf(images[k], reader);
    }
    const std::string inf = root_ + "/pair.INF";
    ui.addAnswer(inf);
    ui.addAnswer(ceosTiles[0]);
    ui.addAnswer(ceosTiles[1]);
    document::CTessarinDoc* ceos = run(core, app::cmd::kNewAlos2InferoPair);
    ASSERT_NE(ceos, nullptr) << (ui.messages.empty() ? "" : ui.messages.back());
    ASSERT_TRUE(core.run(*app::findCommand(app::cmd::kAlos2InferoGeneration), ceos));
    const MergerResult expected = ceos->moduleState<PairState>().last;
    ASSERT_FALSE(expected.interferogram.empty());

    // The rasters: the samples of each image file without its CEOS records.
    std::string projects[2];
    for (int k = 0; k < 2; ++k) {
        const auto& l = layouts[k];
        const std::string raster = root_ + format("/date%d.slc", k);
        fs::copy_file(l.imagePath, raster);
        ui.addAnswer(raster);
        ui.addAnswer(format("pixel=%d,line=%d,fileHeader=%d,lineHeader=%d,lineBytes=%d,byteOrder=1", l.pixel, l.line,
                            l.fileheader, l.lineheader, l.linebytes));
        run(core, app::cmd::kAlosAlos2PureCut);
        ASSERT_EQ(ui.messages.back(), "pure cut complete");
        const std::string pure = raster + "PurRaster";
        ASSERT_EQ(fs::file_size(pure), 8ull * l.pixel * l.line);
        ui.addAnswer(pure);
        ui.addAnswer(format("pixel=%d,line=%d,fileHeader=0,lineHeader=0,lineBytes=0,byteOrder=1", l.pixel, l.line));
        document::CTessarinDoc* doc = run(core, app::cmd::kPureSlcRasterImage);
        ASSERT_NE(doc, nullptr) << ui.messages.back();
        fs::create_directories(root_ + "/kept");
        ui.addAnswer(root_ + format("/kept/date%dslctile.cpx", k));
        ASSERT_TRUE(core.run(*app::findCommand(app::cmd::kSavePureTileImage), doc));
        projects[k] = root_ + format("/kept/date%dslctile.cpx.prj", k);
        ASSERT_TRUE(fileExists(projects[k]));
        core.closeDocument(doc);
    }

    // The pair of rasters with the CEOS pair's table.
    const std::string pinf = root_ + "/purePINF.prj";
    fs::copy_file(inf + ".cnj", pinf + ".cnj");
    ui.addAnswer(root_ + "/pure");
    ui.addAnswer(projects[0]);
    ui.addAnswer(projects[1]);
    document::CTessarinDoc* pure = run(core, app::cmd::kNewPureSlcInferoPair);
    ASSERT_NE(pure, nullptr) << ui.messages.back();
    EXPECT_EQ(pure->path(), pinf);
    EXPECT_EQ(pure->openMode(), 30);
    ASSERT_TRUE(core.run(*app::findCommand(app::cmd::kPureSlcInferoGeneration), pure));
    EXPECT_TRUE(fileExists(pinf + "frg.img.tif"));
    EXPECT_TRUE(fileExists(pinf + "coho.img.tif"));
    const MergerResult& got = pure->moduleState<PairState>().last;
    ASSERT_EQ(got.interferogram.size(), expected.interferogram.size());
    EXPECT_EQ(got.masterTopLeft, expected.masterTopLeft);
    EXPECT_EQ(got.slaveTopLeft, expected.slaveTopLeft);

    long long compared = 0, phaseOff = 0;
    double coherenceDiff = 0.0;
    for (std::size_t i = 0; i < got.interferogram.size(); ++i) {
        EXPECT_EQ(got.valid[i], expected.valid[i]);
        const std::complex<float> a = got.interferogram[i], b = expected.interferogram[i];
        if (std::abs(a) == 0.0f || std::abs(b) == 0.0f) continue;
        ++compared;
        const double d = std::remainder(std::arg(a) - std::arg(b), 2 * std::numbers::pi);
        phaseOff += std::abs(d) > 1e-4;
        coherenceDiff += std::abs(int(got.coherence[i]) - int(expected.coherence[i]));
    }
    EXPECT_GT(compared, 1000000);
    EXPECT_EQ(phaseOff, 0);
    EXPECT_LT(coherenceDiff / static_cast<double>(compared), 1.0);

    // The tie-point commands measure on the complex tiles, without a leader:
    // the simulator's offset at the mark, the corners at the raster's size.
    display::ViewController view(*pure, ui);
    view.paint(1200, 800);
    core.activeView = &view;
    display::Modifiers withC;
    withC.heldC = true;
    view.leftButtonDown({500, 450}, withC);
    ASSERT_TRUE(view.state().markShown);
    auto& t = pure->moduleState<TiePointState>().table;
    ASSERT_TRUE(core.run(*app::findCommand(app::cmd::kTopLeftCorner), pure));
    // (A top-left corner in the middle of the scene then fails the layout check, as it should.)
    ASSERT_GE(ui.messages.size(), 2u);
    ASSERT_EQ(ui.messages[ui.messages.size() - 2].rfind("displacement at masterpoint", 0), 0u)
        << ui.messages[ui.messages.size() - 2];
    EXPECT_EQ(t.master[0].x, view.markGlobalPoints()[0].x);
    EXPECT_NEAR(t.dispX[0], po.offsetPixels, 0.05) << ui.messages.back();
    EXPECT_NEAR(t.dispY[0], po.offsetLines, 0.05);
    ASSERT_TRUE(core.run(*app::findCommand(app::cmd::kSinglePointMatching), pure));
    const MasterPoint corners[4] = {{0, 0}, {o.pixels, 0}, {0, o.lines}, {o.pixels, o.lines}};
    for (std::size_t k = 0; k < kTiePoints; ++k) {
        EXPECT_EQ(t.master[k].x, corners[k].x) << k;
        EXPECT_EQ(t.master[k].y, corners[k].y) << k;
        EXPECT_NEAR(t.dispX[k], po.offsetPixels, 0.05) << ui.messages.back();
        EXPECT_NEAR(t.dispY[k], po.offsetLines, 0.05);
    }
    EXPECT_TRUE(t.ready);
    // Saved in the full layout the pair opened with: the ramp and the
    // reverse flag the merger applies stay in the file.
    EXPECT_EQ(readWholeFile(pinf + ".cnj"), encodeCnj(t, CnjLayout::Full));
    core.activeView = nullptr;
}

}  // namespace
}  // namespace tessarin::insar
