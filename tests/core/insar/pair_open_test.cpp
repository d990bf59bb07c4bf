// Opening a simulated interferometric pair as the window does: the project
// command and mode 8 (side by side, table from geometry), the reopen under
// mode 9, and the refusals of projects that cannot make a pair.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <complex>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/app_core.h"
#include "app/command_ids.h"
#include "app/command_table.h"
#include "display/view_controller.h"
#include "document/tessarin_doc.h"
#include "imagefiles/tif_gen.h"
#include "insar/pair_project.h"
#include "insar/pair_state.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "products/alos2.h"
#include "simulator/scene_simulator.h"
#include "support/temp_dir.h"
#include "tiles/scene_tiling.h"

namespace tessarin::insar {
namespace {

namespace fs = std::filesystem;
constexpr int kPixels = 2048, kLines = 2048;
constexpr int kOffsetX = 3, kOffsetY = -5;

bool contains(const std::vector<std::string>& texts, const std::string& wanted) {
    for (const auto& t : texts)
        if (t.find(wanted) != std::string::npos) return true;
    return false;
}

// One simulated pair for the whole suite, tiled once.
class PairOpen : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = (fs::temp_directory_path() / ("tessarin-pair-" + std::to_string(::getpid()))).string();
        fs::remove_all(root_);
        simulator::SimulatorOptions o;
        o.folder = root_ + "/product";
        o.pixels = kPixels;
        o.lines = kLines;
        simulator::PairOptions pair;
        pair.perpendicularBaseline_m = 200.0;
        pair.offsetPixels = kOffsetX;
        pair.offsetLines = kOffsetY;
        o.pair = pair;
        truth_ = new simulator::SimulationTruth(simulator::simulateScene(o));
        const std::string tiles = root_ + "/tiles";
        fs::create_directories(tiles);
        ScriptedUi ui;
        for (const auto* images : {&truth_->products.at(0).imagePaths, &truth_->pair->products.at(0).imagePaths}) {
            products::Alos2 reader;
            const auto tiled = tiles::tileOriginalProduct(images->at(0), tiles, reader, ui);
            tileFiles_.push_back(tiled.names.tile);
        }
    }
    static void TearDownTestSuite() {
        fs::remove_all(root_);
        delete truth_;
        tileFiles_.clear();
    }
    void SetUp() override {
        work_ = root_ + "/work-" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::create_directories(work_);
        ::setenv("TESSARIN_WORKDIR", work_.c_str(), 1);
        link_ = format("link_data_pair_%d", static_cast<int>(::getpid()));
    }
    void TearDown() override {
        ::unsetenv("TESSARIN_WORKDIR");
        LinkBlock::remove(link_);
        fs::remove_all(work_);
    }

    document::CTessarinDoc* run(app::AppCore& core, int command) {
        const std::size_t before = core.documents().size();
        EXPECT_TRUE(core.run(*app::findCommand(command), nullptr));
        return core.documents().size() > before ? core.documents().back().get() : nullptr;
    }

    // A new pair (mode 8) moved on to its interferogram (mode 9).
    document::CTessarinDoc* openAndGenerate(app::AppCore& core) {
        document::CTessarinDoc* doc = run(core, app::cmd::kNewAlos2InferoPair);
        if (doc) {
            EXPECT_TRUE(core.run(*app::findCommand(app::cmd::kAlos2InferoGeneration), doc));
        }
        return doc;
    }

    // The amplitude codes of a line of an original level 1.1 image, as a
    // canvas holds them in its top 15 bits: trunc(|z| / 100).
    static std::vector<std::uint16_t> amplitudeCodes(const std::string& image, int line) {
        products::Alos2 r;
        r.setImagePath(image);
        EXPECT_TRUE(r.DecodeImageFileDescriptor(image));
        std::vector<std::complex<float>> z(static_cast<std::size_t>(r.params().pixel));
        EXPECT_TRUE(r.readComplexLine(line, z));
        std::vector<std::uint16_t> out;
        for (const auto& s : z)
            out.push_back(static_cast<std::uint16_t>(std::min(32767.0, std::trunc(std::abs(std::complex<double>(s)) * 0.01))));
        return out;
    }

    static inline std::string root_;
    static inline simulator::SimulationTruth* truth_ = nullptr;
    static inline std::vector<std::string> tileFiles_;
    std::string work_, link_;
};

TEST_F(PairOpen, NewPairShowsBothScenesAndMakesTheTableFromGeometry) {
    const std::string inf = work_ + "/pair.INF";
    ScriptedUi ui({work_ + "/pair", tileFiles_[0], tileFiles_[1]});
    app::AppCore core(ui, link_);
    app::registerModules(core);
    document::CTessarinDoc* doc = run(core, app::cmd::kNewAlos2InferoPair);
    ASSERT_NE(doc, nullptr) << (ui.messages.empty() ? "" : ui.messages.back());
    EXPECT_EQ(ui.dialogTitles, (std::vector<std::string>{"Put Infero images set Name", "Select master tile file",
                                                         "Select slave tile file"}));
    EXPECT_EQ(ui.messages, (std::vector<std::string>{"InferoMenu1 id=8", "New ALOS2 Interferometry set open",
                                                     "Close View and select 'Open ALOS2 Infero prj'"}));
    for (const char* s : {"ImageFile header cut", "Master Leader file decode", "Slave Leader fole decode",
                          "End Leader fole decode"})
        EXPECT_TRUE(contains(ui.statuses, s)) << s;
    EXPECT_EQ(doc->openMode(), 8);
    EXPECT_EQ(doc->label(), "Infero");
    EXPECT_EQ(doc->levelCode(), 11);
    EXPECT_EQ(doc->channelCount(), 2);
    EXPECT_TRUE(doc->interferometry());
    EXPECT_EQ(doc->path(), inf);
    EXPECT_EQ(readPairProject(inf).slave, tileFiles_[1]);
    for (int s : {0, 1, 2, 6, 7, 8}) EXPECT_TRUE(doc->displaySlots().slot(s).hasBitmap) << "slot " << s;
    {
        // V shows the slave through the second display set, with its own pan.
        display::ViewController view(*doc, ui);
        view.state().pan = {display::Point{10, 20}, display::Point{30, 40}};
        view.keyDown('V', {});
        const auto ops = view.paint(1400, 900);
        ASSERT_GT(ops.size(), 2u);
        EXPECT_EQ(ops[0].slot, 6);
        EXPECT_EQ(ops[1].slot, 7);
        EXPECT_EQ(ops[1].source.left, 30);
        EXPECT_EQ(ops[2].slot, 8);
        view.keyDown('V', {});
        EXPECT_EQ(view.paint(1400, 900)[1].slot, 1);
    }

    // Both canvases hold their own scene at the working area (0, 0 for a
    // scene of two by two tiles), checked against the original images.
    const auto& pair = doc->moduleState<PairState>();
    EXPECT_EQ(doc->canvasState().origin.x, 0);
    const auto masterCanvas = readWholeFile(pair.names.masterCanvas);
    const auto slaveCanvas = readWholeFile(pair.names.slaveCanvas);
    ASSERT_EQ(masterCanvas.size(), 2u * 2048 * 2048);
    ASSERT_EQ(slaveCanvas.size(), masterCanvas.size());
    for (const auto& [canvas, image] :
         {std::pair{&masterCanvas, truth_->products[0].imagePaths[0]}, std::pair{&slaveCanvas, truth_->pair->products[0].imagePaths[0]}}) {
        for (int line : {0, 1000, 2047}) {
            const auto codes = amplitudeCodes(image, line);
            int equal = 0;
            for (int x = 0; x < kPixels; ++x) {
                const std::size_t at = 2 * (static_cast<std::size_t>(line) * 2048 + x);
                const int value = (*canvas)[at] | ((*canvas)[at + 1] << 8);
                equal += (value >> 1) == codes[static_cast<std::size_t>(x)];
            }
            EXPECT_GE(equal, kPixels - 2) << image << " line " << line;
        }
    }

    // The table from geometry, in the full layout beside the project.
    const auto cnj = readWholeFile(inf + ".cnj");
    EXPECT_EQ(cnj.size(), kFullCnjBytes);
    const auto& table = doc->moduleState<TiePointState>().table;
    EXPECT_TRUE(table.ready);
    for (std::size_t k = 0; k < kTiePoints; ++k) {
        EXPECT_NEAR(table.dispX[k], kOffsetX, truth_->pair->registrationResidualPixels + 0.15) << k;
        EXPECT_NEAR(table.dispY[k], kOffsetY, truth_->pair->registrationResidualLines + 0.15) << k;
    }

    // Reopened under mode 9 the table is loaded and ready, and the overview
    // composite holds master and slave quick-looks.
    core.closeDocument(doc);
    ScriptedUi ui9({inf});
    app::AppCore core9(ui9, link_);
    app::registerModules(core9);
    document::CTessarinDoc* doc9 = run(core9, app::cmd::kOpenAlos2InferoPrj);
    ASSERT_NE(doc9, nullptr) << (ui9.messages.empty() ? "" : ui9.messages.back());
    EXPECT_EQ(doc9->openMode(), 9);
    EXPECT_EQ(ui9.messages.at(0), "Open ALOS2 Inteferometry set");
    const auto& table9 = doc9->moduleState<TiePointState>().table;
    EXPECT_TRUE(table9.ready);
    EXPECT_EQ(encodeCnj(table9, CnjLayout::Full), cnj);
    const auto& pair9 = doc9->moduleState<PairState>();
    const auto composite = readWholeFile(pair9.names.overviewComposite);
    const auto masterIdx = readWholeFile(pair9.names.master.index), slaveIdx = readWholeFile(pair9.names.slave.index);
    ASSERT_EQ(composite.size(), 3 * masterIdx.size());
    for (std::size_t i = 0; i < masterIdx.size(); i += 97) {
        EXPECT_EQ(composite[3 * i], masterIdx[i]);
        EXPECT_EQ(composite[3 * i + 1], slaveIdx[i]);
    }
    // The merger ran on the working area: its four files, its displays, and
    // the convention said once.
    EXPECT_TRUE(contains(ui9.statuses, "sub-OpenALOS2InferoPair"));
    EXPECT_EQ(std::count(ui9.statuses.begin(), ui9.statuses.end(), "flat earth: samples carry -4 pi R / lambda"), 1);
    EXPECT_TRUE(pair9.merged);
    for (const auto& [file, size] : {std::pair{pair9.names.cut, 25165824u}, std::pair{pair9.names.interferogram, 4194304u},
                                     std::pair{pair9.names.savedFringe, 4194304u}, std::pair{pair9.names.coherence, 4194304u}})
        EXPECT_EQ(readWholeFile(file).size(), size) << file;
    for (int s : {1, 2, 3, 5}) EXPECT_TRUE(doc9->displaySlots().slot(s).hasBitmap) << "slot " << s;
    EXPECT_EQ(readWholeFile(pair9.names.interferogram), pair9.last.fringe);
    // Re-centring reruns it (the scene has one working area: same bytes).
    const auto before = pair9.last.coherence;
    doc9->assembleCanvas();
    EXPECT_EQ(pair9.last.coherence, before);
    EXPECT_EQ(std::count(ui9.statuses.begin(), ui9.statuses.end(), "flat earth: samples carry -4 pi R / lambda"), 1);
}

TEST_F(PairOpen, GenerationTurnsAModeEightPairIntoItsInterferogram) {
    ScriptedUi ui({work_ + "/gen", tileFiles_[0], tileFiles_[1]});
    app::AppCore core(ui, link_);
    app::registerModules(core);
    document::CTessarinDoc* doc = run(core, app::cmd::kNewAlos2InferoPair);
    ASSERT_NE(doc, nullptr);
    const auto* generation = app::findCommand(app::cmd::kAlos2InferoGeneration);
    EXPECT_TRUE(core.run(*generation, doc));
    EXPECT_EQ(doc->openMode(), 9);
    EXPECT_TRUE(doc->openModeRow().threeChannelCanvas);
    EXPECT_TRUE(doc->moduleState<PairState>().merged);
    EXPECT_TRUE(fileExists(work_ + "/gen.INFcoho.img"));
    // Under mode 9 the composite command rebuilds the working area.
    const std::size_t messages = ui.messages.size();
    EXPECT_TRUE(core.run(*app::findCommand(app::cmd::kDisplayMtInferoComposite), doc));
    EXPECT_EQ(ui.messages.size(), messages) << ui.messages.back();
}

TEST_F(PairOpen, SinglePointMatchingAtTheMarkRefinesTheTable) {
    ScriptedUi ui({work_ + "/spm", tileFiles_[0], tileFiles_[1]});
    app::AppCore core(ui, link_);
    app::registerModules(core);
    document::CTessarinDoc* doc = run(core, app::cmd::kNewAlos2InferoPair);
    ASSERT_NE(doc, nullptr);
    display::ViewController view(*doc, ui);
    view.paint(1200, 800);
    core.activeView = &view;
    const auto* matching = app::findCommand(app::cmd::kSinglePointMatching);
    // Without a mark it asks for one.
    EXPECT_TRUE(core.run(*matching, doc));
    EXPECT_EQ(ui.messages.back(), "Set bright mark in current tile by Hold 'c' key and mouse click");
    display::Modifiers withC;
    withC.heldC = true;
    view.leftButtonDown({600, 400}, withC);
    view.leftButtonUp({600, 400});
    ASSERT_TRUE(view.state().markShown);
    EXPECT_TRUE(core.run(*matching, doc));
    const auto& t = doc->moduleState<TiePointState>().table;
    EXPECT_TRUE(t.ready);
    const MasterPoint corners[4] = {{0, 0}, {kPixels, 0}, {0, kLines}, {kPixels, kLines}};
    for (std::size_t k = 0; k < kTiePoints; ++k) {
        EXPECT_EQ(t.master[k].x, corners[k].x);
        EXPECT_EQ(t.master[k].y, corners[k].y);
        EXPECT_NEAR(t.dispX[k], kOffsetX, 0.05) << ui.messages.back();
        EXPECT_NEAR(t.dispY[k], kOffsetY, 0.05);
    }
    EXPECT_EQ(readWholeFile(work_ + "/spm.INF.cnj"), encodeCnj(t, CnjLayout::Full));

    // Manual pick-ups: the marked point, and the slave image's point under it.
    const tiles::GlobalPoint marked = view.markGlobalPoints()[0];
    EXPECT_TRUE(core.run(*app::findCommand(app::cmd::kBottomLeftPickUpManual), doc));
    EXPECT_EQ(t.master[2].x, marked.x);
    EXPECT_EQ(t.master[2].y, marked.y);
    EXPECT_EQ(t.dispX[2], static_cast<double>(view.markGlobalPoints()[1].x - marked.x));
    EXPECT_TRUE(t.cornerSet[2]);

    // The diagnostic correlation on the side-by-side canvases at the mark:
    // its windows are the canvases' slices, its shift the offset.
    EXPECT_TRUE(core.run(*app::findCommand(app::cmd::kTiePositionCalcAtCKeyClickedPoint), doc));
    const auto& pair = doc->moduleState<PairState>();
    const auto canvasValue = [](const std::vector<std::uint8_t>& c, long long x, long long y) {
        const std::size_t at = 2 * (static_cast<std::size_t>(y) * 2048 + static_cast<std::size_t>(x));
        return c[at] | (c[at + 1] << 8);
    };
    const auto mark = view.markImagePoints()[0];
    for (const auto& [canvas, size] : {std::pair{pair.names.masterCanvas, 41}, std::pair{pair.names.slaveCanvas, 61}}) {
        const auto cut = readWholeFile(canvas + "wcut.img");
        ASSERT_EQ(cut.size(), 2u * size * size) << canvas;
        const auto whole = readWholeFile(canvas);
        for (int r = 0; r < size; r += 7)
            for (int c = 0; c < size; c += 5)
                EXPECT_EQ(cut[2 * (r * size + c)] | (cut[2 * (r * size + c) + 1] << 8),
                          canvasValue(whole, mark.x - size / 2 + c, mark.y - size / 2 + r));
    }
    const auto shown = ui.messages.back().find("dx,dy=");
    ASSERT_NE(shown, std::string::npos) << ui.messages.back();
    double dx = 0, dy = 0;
    ASSERT_EQ(std::sscanf(ui.messages.back().c_str() + shown, "dx,dy=%lf, %lf", &dx, &dy), 2);
    EXPECT_NEAR(dx, kOffsetX, 0.05);
    EXPECT_NEAR(dy, kOffsetY, 0.05);
    core.activeView = nullptr;
}

TEST_F(PairOpen, WholeSceneRunWritesCheckedTiffsAndForgetsItsNames) {
    const std::string run = work_ + "/run";
    fs::create_directories(run);
    ScriptedUi ui({work_ + "/whole", tileFiles_[0], tileFiles_[1], run + "/scene"});
    app::AppCore core(ui, link_);
    app::registerModules(core);
    document::CTessarinDoc* doc = openAndGenerate(core);
    ASSERT_NE(doc, nullptr);
    EXPECT_TRUE(core.run(*app::findCommand(app::cmd::kInferoGenerationByAddressInput), doc));
    EXPECT_EQ(ui.messages.back(), "Whole scene process complete. 1 tiles are created");
    EXPECT_TRUE(contains(ui.statuses, "Line block=0 of 2, Pix bloc=0 of 2"));
    const struct {
        const char* suffix;
        int samples;
    } outputs[] = {{"amp.img", 3}, {"frg.img", 1}, {"coh.img", 1}};
    for (const auto& o : outputs) {
        const std::string raw = run + "/sceneFS.prjid0_0" + o.suffix;
        EXPECT_FALSE(fileExists(raw)) << raw << ": the raw file goes once its TIFF is checked";
        const GeoTiffInfo info = readGeoTiffFile(raw + ".tif");
        EXPECT_EQ(info.width, 2048u) << raw;
        EXPECT_EQ(info.lines, 2048u) << raw;
        EXPECT_EQ(info.samplesPerPixel, o.samples) << raw;
    }
    // Names from the user stay required, and the run's own are gone.
    EXPECT_TRUE(core.run(*app::findCommand(app::cmd::kPureSlcInferoGeneration), doc));
    EXPECT_EQ(ui.messages.back(), "output filename is not set yet.");
}

TEST_F(PairOpen, TableRepairRewritesKnownLayoutsAndRefusesTheRest) {
    ConjugatePointTable t;
    const MasterPoint m[4] = {{0, 0}, {2047, 0}, {0, 2047}, {2047, 2047}};
    for (std::size_t k = 0; k < kTiePoints; ++k) t.setPoint(k, m[k], 3.25, -4.75);
    t.adjustX = 0.5;
    const struct {
        const char* name;
        std::vector<std::uint8_t> bytes;
        bool repaired;
    } table[] = {
        {"short", encodeCnj(t, CnjLayout::Short), true},
        {"full", encodeCnj(t, CnjLayout::Full), true},
        {"odd", std::vector<std::uint8_t>(200, 1), false},
    };
    for (const auto& row : table) {
        const std::string inf = work_ + "/" + row.name + ".INF";
        writeWholeFile(inf + ".cnj", row.bytes);
        ScriptedUi ui({inf});
        app::AppCore core(ui, link_);
        app::registerModules(core);
        EXPECT_TRUE(core.run(*app::findCommand(app::cmd::kInferoConjTableRepair), nullptr));
        if (row.repaired) {
            EXPECT_EQ(readWholeFile(inf + ".cnj"), encodeCnj(t, CnjLayout::Full)) << row.name;
            EXPECT_EQ(readWholeFile(inf + ".cnj.bak"), row.bytes) << row.name;
        } else {
            EXPECT_EQ(readWholeFile(inf + ".cnj"), row.bytes) << row.name;
            EXPECT_FALSE(fileExists(inf + ".cnj.bak"));
            EXPECT_TRUE(contains(ui.messages, "holds 200 bytes")) << row.name;
        }
    }
}

TEST_F(PairOpen, CancellingTheSlaveDialogLeavesNoProject) {
    ScriptedUi ui({work_ + "/cancelled", tileFiles_[0], "cancel"});
    app::AppCore core(ui, link_);
    app::registerModules(core);
    EXPECT_EQ(run(core, app::cmd::kNewAlos2InferoPair), nullptr);
    EXPECT_FALSE(fileExists(work_ + "/cancelled.INF"));
}

TEST_F(PairOpen, ProjectsThatCannotMakeAPairAreRefusedNamingTheFile) {
    // A slave renamed to a left-looking product: its copies beside it.
    const SplitPath slave = splitPath(tileFiles_[1]);
    auto lookLeft = [](std::string name) {
        const auto at = name.find("R1.1__A");
        name[at] = 'L';
        return name;
    };
    const std::string leftFolder = work_ + "/left";
    fs::create_directories(leftFolder);
    const std::string leftTile = leftFolder + "/" + lookLeft(slave.name);
    fs::copy_file(tileFiles_[1], leftTile);
    const composites::Member right = composites::memberOf(tileFiles_[1], tiles::TileKind::Complex);
    const composites::Member left = composites::memberOf(leftTile, tiles::TileKind::Complex);
    fs::copy_file(right.headerCopy, left.headerCopy);
    fs::copy_file(right.leaderCopy, left.leaderCopy);
    // A member whose header copy is missing.
    const std::string bareFolder = work_ + "/bare";
    fs::create_directories(bareFolder);
    const std::string bareTile = bareFolder + "/" + slave.name;
    fs::copy_file(tileFiles_[1], bareTile);

    const struct {
        const char* name;
        std::string master, slave, named;
    } table[] = {
        {"missing slave", tileFiles_[0], work_ + "/IMG-HH-none-UBSR1.1__Atile.cpx", "IMG-HH-none-UBSR1.1__Atile.cpx"},
        {"other look side", tileFiles_[0], leftTile, "look to different sides"},
        {"no header copy", tileFiles_[0], bareTile, "FHDR"},
        {"too short", tileFiles_[0], work_ + "/IMG-HHtile.cpx", "IMG-HHtile.cpx"},
    };
    for (const auto& row : table) {
        const std::string inf = work_ + "/" + row.name + ".INF";
        writePairProject(inf, {row.master, row.slave});
        for (const int command : {app::cmd::kOpenAlos2InferoPrj}) {
            ScriptedUi ui({inf});
            app::AppCore core(ui, link_);
            app::registerModules(core);
            EXPECT_EQ(run(core, command), nullptr) << row.name;
            EXPECT_TRUE(contains(ui.messages, row.named)) << row.name << ": " << (ui.messages.empty() ? "" : ui.messages.back());
        }
    }
}

TEST_F(PairOpen, ModeNineWithoutAUsableTableSaysSoAndLeavesItNotReady) {
    const std::string inf = work_ + "/untabled.INF";
    writePairProject(inf, {tileFiles_[0], tileFiles_[1]});
    const struct {
        const char* name;
        std::vector<std::uint8_t> cnj;  // empty: no file
    } table[] = {
        {"no file", {}},
        {"all zero", std::vector<std::uint8_t>(kFullCnjBytes, 0)},
        {"odd size", std::vector<std::uint8_t>(180, 0)},
    };
    for (const auto& row : table) {
        removeFile(inf + ".cnj");
        if (!row.cnj.empty()) writeWholeFile(inf + ".cnj", row.cnj);
        ScriptedUi ui({inf});
        app::AppCore core(ui, link_);
        app::registerModules(core);
        document::CTessarinDoc* doc = run(core, app::cmd::kOpenAlos2InferoPrj);
        ASSERT_NE(doc, nullptr) << row.name;
        EXPECT_FALSE(doc->moduleState<TiePointState>().table.ready) << row.name;
        EXPECT_TRUE(contains(ui.messages, "Tie point Table is not ready")) << row.name;
        // The geometric table makes it ready again.
        EXPECT_TRUE(core.run(*app::findCommand(app::cmd::kCreateNewTiePointTable), doc)) << row.name;
        EXPECT_TRUE(doc->moduleState<TiePointState>().table.ready) << row.name;
        EXPECT_EQ(readWholeFile(inf + ".cnj").size(), kFullCnjBytes);
    }
}

}  // namespace
}  // namespace tessarin::insar
