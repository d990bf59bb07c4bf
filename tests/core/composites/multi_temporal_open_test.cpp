// Multi-temporal sets of a simulated pair of level 1.5 scenes, as the window
// runs them: the set's creation with its table from geometry, its open and
// re-centring with every sample checked against the two CEOS images' digital
// numbers, the displacement adjust, the dates side by side without a table,
// the tie-point commands on amplitude tiles, and the refusals.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/app_core.h"
#include "app/command_ids.h"
#include "app/command_table.h"
#include "composites/composite_state.h"
#include "composites/multi_temporal.h"
#include "display/view_controller.h"
#include "document/tessarin_doc.h"
#include "insar/pair_state.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/set_file.h"
#include "platform/ui.h"
#include "products/alos2.h"
#include "simulator/scene_simulator.h"
#include "tiles/scene_tiling.h"

namespace tessarin::composites {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
constexpr int kSize = 2304;  // three tiles across and down: the open's canvas at (2048, 2048) holds data
constexpr int kOffsetX = 3, kOffsetY = -5;
constexpr std::size_t kCanvasBytes = 2048ull * 2048 * 3 * 2;

// The digital numbers of a level 1.5 image, row by row, read from the CEOS file.
std::vector<std::uint16_t> imageNumbers(const std::string& image) {
    products::Alos2 r;
    r.setImagePath(image);
    EXPECT_TRUE(r.DecodeImageFileDescriptor(image));
    std::vector<std::uint16_t> out(static_cast<std::size_t>(kSize) * kSize);
    for (int y = 0; y < kSize; ++y)
        EXPECT_TRUE(r.readAmplitudeLine(y, std::span(out.data() + static_cast<std::size_t>(y) * kSize, kSize)));
    return out;
}

std::optional<double> nccOf(const std::vector<std::string>& statuses) {
    for (auto it = statuses.rbegin(); it != statuses.rend(); ++it) {
        double v = 0;
        if (std::sscanf(it->c_str(), "registration check: NCC=%lf", &v) == 1) return v;
    }
    return std::nullopt;
}

class MultiTemporalOpen : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = (fs::temp_directory_path() / ("tessarin-mt-" + std::to_string(::getpid()))).string();
        fs::remove_all(root_);
        simulator::SimulatorOptions o;
        o.folder = root_ + "/product";
        o.pixels = o.lines = kSize;
        o.level11 = false;
        o.level15 = true;
        simulator::PairOptions pair;
        pair.perpendicularBaseline_m = 50.0;
        pair.offsetPixels = kOffsetX;
        pair.offsetLines = kOffsetY;
        o.pair = pair;
        const simulator::SimulationTruth truth = simulator::simulateScene(o);
        residualX_ = truth.pair->registrationResidualPixels;
        residualY_ = truth.pair->registrationResidualLines;
        const std::string tiles = root_ + "/tiles";
        fs::create_directories(tiles);
        ScriptedUi ui;
        for (const auto* images : {&truth.products.at(0).imagePaths, &truth.pair->products.at(0).imagePaths}) {
            products::Alos2 reader;
            tileFiles_.push_back(tiles::tileOriginalProduct(images->at(0), tiles, reader, ui).names.tile);
            numbers_.push_back(imageNumbers(images->at(0)));
        }
    }
    static void TearDownTestSuite() {
        fs::remove_all(root_);
        tileFiles_.clear();
        numbers_.clear();
    }
    void SetUp() override {
        work_ = root_ + "/work-" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::create_directories(work_);
        ::setenv("TESSARIN_WORKDIR", work_.c_str(), 1);
        link_ = format("link_data_mt_%d", static_cast<int>(::getpid()));
    }
    void TearDown() override {
        ::unsetenv("TESSARIN_WORKDIR");
        LinkBlock::remove(link_);
        fs::remove_all(work_);
    }

    document::CTessarinDoc* run(app::AppCore& core, int command, document::CTessarinDoc* on = nullptr) {
        const std::size_t before = core.documents().size();
        EXPECT_TRUE(core.run(*app::findCommand(command), on));
        return core.documents().size() > before ? core.documents().back().get() : nullptr;
    }

    // The DN of date d at (x, y), 0 outside its scene.
    static std::uint16_t dn(int d, long long x, long long y) {
        if (x < 0 || y < 0 || x >= kSize || y >= kSize) return 0;
        return numbers_[static_cast<std::size_t>(d)][static_cast<std::size_t>(y) * kSize + static_cast<std::size_t>(x)];
    }

    // Compares every sample of the composite's cut file with the images: the
    // master at (X, Y) and the second date at (X + sx, Y + sy). Returns the
    // pixels that differ, channel by channel.
    static std::array<long long, 3> mismatches(const std::string& cut, tiles::GlobalPoint origin, int sx, int sy) {
        const auto bytes = readWholeFile(cut);
        EXPECT_EQ(bytes.size(), kCanvasBytes);
        std::array<long long, 3> wrong{};
        if (bytes.size() != kCanvasBytes) return {-1, -1, -1};
        for (long long r = 0; r < 2048; ++r)
            for (long long c = 0; c < 2048; ++c) {
                const std::size_t at = static_cast<std::size_t>((r * 2048 + c) * 6);
                const long long X = origin.x + c, Y = origin.y + r;
                const auto value = [&](int ch) { return bytes[at + 2 * ch] | bytes[at + 2 * ch + 1] << 8; };
                wrong[0] += value(0) != dn(0, X, Y);
                wrong[1] += value(1) != dn(1, X + sx, Y + sy);
                wrong[2] += value(2) != 0;
            }
        return wrong;
    }

    // A short table whose corners all lie within a quarter sample of the offset.
    std::string writeSetWithTable(const std::string& name, bool withTable) {
        const std::string mlt = work_ + "/" + name + ".mlt";
        writeMultiTemporalSet(mlt, {tileFiles_[0], tileFiles_[1]});
        if (withTable) {
            insar::ConjugatePointTable t;
            const insar::MasterPoint m[4] = {{0, 0}, {kSize - 1, 0}, {0, kSize - 1}, {kSize - 1, kSize - 1}};
            const double dx[4] = {3.2, 2.8, 3.1, 2.76}, dy[4] = {-4.8, -5.2, -5.24, -4.9};
            for (std::size_t k = 0; k < 4; ++k) t.setPoint(k, m[k], dx[k], dy[k]);
            writeWholeFile(mlt + ".cnj", insar::encodeCnj(t, insar::CnjLayout::Short));
        }
        return mlt;
    }

    static void moveTo(document::CTessarinDoc& doc, tiles::GlobalPoint p) {
        doc.setCtrorigin(p);
        doc.assembleCanvas();
        doc.renderCanvasDisplays();
    }

    static inline std::string root_;
    static inline std::vector<std::string> tileFiles_;
    static inline std::vector<std::vector<std::uint16_t>> numbers_;
    static inline double residualX_ = 0, residualY_ = 0;
    std::string work_, link_;
};

TEST_F(MultiTemporalOpen, NewSetWritesTheSetAndItsTableFromGeometry) {
    ScriptedUi ui({work_ + "/new", tileFiles_[0], tileFiles_[1]});
    app::AppCore core(ui, link_);
    app::registerModules(core);
    document::CTessarinDoc* doc = run(core, app::cmd::kNewAlos2L15MtComposite);
    ASSERT_NE(doc, nullptr) << (ui.messages.empty() ? "" : ui.messages.back());
    EXPECT_EQ(ui.dialogTitles, (std::vector<std::string>{"Put Mulitemporal images set Name", "Select master tile file",
                                                         "Select second date tile file"}));
    EXPECT_EQ(ui.messages, (std::vector<std::string>{"Open ALOS2 L1.5 Multi Temporal Tile Creation",
                                                     "Close View and select 'Open ALOS2L1.5 MT Compo'"}));
    EXPECT_EQ(doc->openMode(), 10);
    EXPECT_EQ(doc->label(), "AmpMT");
    EXPECT_EQ(doc->levelCode(), 15);
    EXPECT_EQ(doc->channelCount(), 2);
    const std::string mlt = work_ + "/new.mlt";
    EXPECT_EQ(doc->path(), mlt);
    const auto set = readMultiTemporalSet(mlt);
    EXPECT_EQ(set.master, tileFiles_[0]);
    EXPECT_EQ(set.second, tileFiles_[1]);
    for (int s : {0, 1, 2, 6, 7, 8}) EXPECT_TRUE(doc->displaySlots().slot(s).hasBitmap) << "slot " << s;
    // Side by side: each date's own canvas, the second at the master's block.
    EXPECT_FALSE(doc->threeChannelCanvas());
    moveTo(*doc, {1100, 1100});
    const auto origin = doc->canvasState().origin;
    EXPECT_EQ(origin, (tiles::GlobalPoint{1024, 1024}));
    const auto second = readWholeFile(tiles::namesForExistingTileSet(tileFiles_[1]).canvas);
    ASSERT_EQ(second.size(), 2048u * 2048 * 2);
    long long wrong = 0;
    for (long long y = 0; y < 2048; y += 3)
        for (long long x = 0; x < 2048; x += 5) {
            const std::size_t at = static_cast<std::size_t>(2 * (y * 2048 + x));
            wrong += doc->canvas().at(x, y) != dn(0, origin.x + x, origin.y + y) ||
                     (second[at] | second[at + 1] << 8) != dn(1, origin.x + x, origin.y + y);
        }
    EXPECT_EQ(wrong, 0);

    // The short table from the two geometries, saved beside the set.
    const auto cnj = readWholeFile(mlt + ".cnj");
    EXPECT_EQ(cnj.size(), insar::kShortCnjBytes);
    const auto& t = doc->moduleState<insar::TiePointState>().table;
    EXPECT_TRUE(t.ready);
    EXPECT_EQ(insar::encodeCnj(t, insar::CnjLayout::Short), cnj);
    for (std::size_t k = 0; k < insar::kTiePoints; ++k) {
        EXPECT_NEAR(t.dispX[k], kOffsetX, residualX_ + 0.15) << k;
        EXPECT_NEAR(t.dispY[k], kOffsetY, residualY_ + 0.15) << k;
    }

    // Cancelling any of the three dialogs writes nothing and opens nothing.
    for (int cancelled = 0; cancelled < 3; ++cancelled) {
        std::vector<std::string> answers{work_ + "/c" + std::to_string(cancelled), tileFiles_[0], tileFiles_[1]};
        answers[static_cast<std::size_t>(cancelled)] = "cancel";
        answers.resize(static_cast<std::size_t>(cancelled) + 1);
        ScriptedUi cui(answers);
        app::AppCore ccore(cui, link_);
        app::registerModules(ccore);
        EXPECT_EQ(run(ccore, app::cmd::kNewAlos2L15MtComposite), nullptr) << cancelled;
        EXPECT_FALSE(fileExists(work_ + "/c" + std::to_string(cancelled) + ".mlt")) << cancelled;
        EXPECT_TRUE(cui.messages.empty());
    }
}

TEST_F(MultiTemporalOpen, EverySampleIsTheRegisteredSecondDateAndTheAdjustMovesItExactly) {
    const std::string mlt = writeSetWithTable("reg", true);
    ScriptedUi ui({mlt});
    app::AppCore core(ui, link_);
    app::registerModules(core);
    document::CTessarinDoc* doc = run(core, app::cmd::kOpenMultiTemporalProject);
    ASSERT_NE(doc, nullptr) << (ui.messages.empty() ? "" : ui.messages.back());
    EXPECT_EQ(ui.dialogTitles, std::vector<std::string>{"Select Mulitemporal images project Name"});
    EXPECT_EQ(ui.messages, std::vector<std::string>{"Open ALOS2 L1.5 Multi Temporal Tile Open"});
    EXPECT_EQ(doc->openMode(), 6);
    EXPECT_EQ(doc->label(), "AmpMT");
    EXPECT_EQ(doc->displayType(), 2);
    EXPECT_TRUE(doc->threeChannelCanvas());
    EXPECT_EQ(doc->reader(0).pointingLeft(), 0);
    const auto& composite = doc->moduleState<CompositeState>();
    EXPECT_EQ(composite.cutPath, tiles::namesForExistingTileSet(tileFiles_[0]).canvas);
    EXPECT_EQ(doc->canvasPath(), composite.cutPath);
    for (int s : {0, 1, 2}) EXPECT_TRUE(doc->displaySlots().slot(s).hasBitmap) << "slot " << s;

    // The overview composite: the master's quick-look, then the second date's.
    const auto overview = readWholeFile(composite.overviewPath);
    const auto idx0 = readWholeFile(composite.members[0].index), idx1 = readWholeFile(composite.members[1].index);
    ASSERT_EQ(overview.size(), 3 * idx0.size());
    long long wrongOverview = 0;
    for (std::size_t i = 0; i < idx0.size(); ++i)
        wrongOverview += overview[3 * i] != idx0[i] || overview[3 * i + 1] != idx1[i] || overview[3 * i + 2] != 0;
    EXPECT_EQ(wrongOverview, 0);

    // The open's canvas at ctrorigin (2000, 2000), then the scene's first block.
    EXPECT_EQ(doc->canvasState().origin, (tiles::GlobalPoint{2048, 2048}));
    EXPECT_EQ(mismatches(composite.cutPath, {2048, 2048}, kOffsetX, kOffsetY), (std::array<long long, 3>{0, 0, 0}));
    moveTo(*doc, {0, 0});
    EXPECT_EQ(doc->canvasState().origin, (tiles::GlobalPoint{0, 0}));
    EXPECT_EQ(mismatches(composite.cutPath, {0, 0}, kOffsetX, kOffsetY), (std::array<long long, 3>{0, 0, 0}));
    const auto registered = nccOf(ui.statuses);
    ASSERT_TRUE(registered.has_value());
    EXPECT_GT(*registered, 0.8);

    // "Adjust Tie-Point displacement" (+3, -2): saved, and the composite
    // rebuilt at once with every sample moved by exactly that.
    ui.addAnswer("horizontal=3,vertical=-2");
    run(core, app::cmd::kAdjustTiePointDisplacement, doc);
    EXPECT_EQ(mismatches(composite.cutPath, {0, 0}, kOffsetX + 3, kOffsetY - 2), (std::array<long long, 3>{0, 0, 0}));
    const auto cnj = readWholeFile(mlt + ".cnj");
    ASSERT_EQ(cnj.size(), insar::kShortCnjBytes);
    double ax = 0, ay = 0;
    std::memcpy(&ax, cnj.data() + 160, 8);
    std::memcpy(&ay, cnj.data() + 168, 8);
    EXPECT_EQ(ax, 3.0);
    EXPECT_EQ(ay, -2.0);
    // Misregistered by (3, -2) only the scene's large features still match,
    // not its speckle.
    const auto shifted = nccOf(ui.statuses);
    ASSERT_TRUE(shifted.has_value());
    EXPECT_LT(*shifted, *registered - 0.2);

    // "Display Mt/Infero Composite" rebuilds it from the table as it stands.
    std::filesystem::remove(composite.cutPath);
    const std::size_t messages = ui.messages.size();
    run(core, app::cmd::kDisplayMtInferoComposite, doc);
    EXPECT_EQ(ui.messages.size(), messages);
    EXPECT_EQ(mismatches(composite.cutPath, {0, 0}, kOffsetX + 3, kOffsetY - 2), (std::array<long long, 3>{0, 0, 0}));

    // ThirdChannelCopy repeats channel 1 in channel 2 at once.
    run(core, app::cmd::kColorDataMode, doc);
    const auto bytes = readWholeFile(composite.cutPath);
    long long unequal = 0;
    for (std::size_t p = 0; p < bytes.size(); p += 6 * 97) unequal += bytes[p + 2] != bytes[p + 4] || bytes[p + 3] != bytes[p + 5];
    EXPECT_EQ(unequal, 0);

    // The cut file goes with the document.
    core.closeDocument(doc);
    EXPECT_FALSE(fileExists(composite.cutPath));
}

TEST_F(MultiTemporalOpen, WithoutATableTheOpenCompositesUnregisteredAndAMoveShowsTheDatesApart) {
    const std::string mlt = writeSetWithTable("none", false);
    ScriptedUi ui({mlt});
    app::AppCore core(ui, link_);
    app::registerModules(core);
    document::CTessarinDoc* doc = run(core, app::cmd::kOpenMultiTemporalProject);
    ASSERT_NE(doc, nullptr);
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_THAT(ui.messages[1], HasSubstr("Tie point Table is not ready"));
    EXPECT_THAT(ui.messages[1], HasSubstr(mlt + ".cnj"));
    // No corners, no global displacement: the same global sample of both.
    const auto& composite = doc->moduleState<CompositeState>();
    EXPECT_EQ(mismatches(composite.cutPath, {2048, 2048}, 0, 0), (std::array<long long, 3>{0, 0, 0}));
    // A move without a table: each date's own single-channel canvas.
    moveTo(*doc, {0, 0});
    EXPECT_FALSE(doc->threeChannelCanvas());
    EXPECT_EQ(readWholeFile(composite.cutPath).size(), 2048u * 2048 * 2);
    const auto second = readWholeFile(tiles::namesForExistingTileSet(tileFiles_[1]).canvas);
    ASSERT_EQ(second.size(), 2048u * 2048 * 2);
    long long wrong = 0;
    for (long long y = 0; y < 2048; y += 3)
        for (long long x = 0; x < 2048; x += 5) {
            const std::size_t at = static_cast<std::size_t>(2 * (y * 2048 + x));
            wrong += doc->canvas().at(x, y) != dn(0, x, y) || (second[at] | second[at + 1] << 8) != dn(1, x, y);
        }
    EXPECT_EQ(wrong, 0);
    EXPECT_TRUE(doc->displaySlots().slot(display::slot::kSecondMain).hasBitmap);
    // V shows the second date through the second display set, and back.
    display::ViewController view(*doc, ui);
    const auto shownSlots = [&] {
        const auto ops = view.paint(1400, 900);
        return ops.size() > 2 ? std::array<int, 3>{ops[0].slot, ops[1].slot, ops[2].slot} : std::array<int, 3>{};
    };
    const std::array<int, 3> first{display::slot::kOverview, display::slot::kMain, display::slot::kMagnifier};
    const std::array<int, 3> secondSet{display::slot::kSecondOverview, display::slot::kSecondMain,
                                       display::slot::kSecondMagnifier};
    EXPECT_EQ(shownSlots(), first);
    view.keyDown('V', {});
    EXPECT_EQ(view.state().imageId, 1);
    EXPECT_EQ(shownSlots(), secondSet);
    EXPECT_THAT(ui.statuses.back(), HasSubstr("Displat tile id=1"));
    view.keyDown('V', {});
    EXPECT_EQ(shownSlots(), first);
    view.keyDown('V', {});
    // "Create New Tie-point Table" makes it ready; the next move composites.
    run(core, app::cmd::kCreateNewTiePointTable, doc);
    EXPECT_EQ(readWholeFile(mlt + ".cnj").size(), insar::kShortCnjBytes);
    moveTo(*doc, {0, 0});
    EXPECT_TRUE(doc->threeChannelCanvas());
    EXPECT_EQ(readWholeFile(composite.cutPath).size(), kCanvasBytes);
    // The composite is one image: the view is back on it and V no longer switches.
    EXPECT_EQ(shownSlots(), first);
    view.state().histogramShown = true;
    view.keyDown('V', {});
    EXPECT_EQ(view.state().imageId, 0);
    EXPECT_FALSE(view.state().histogramShown);
}

TEST_F(MultiTemporalOpen, TiePointCommandsMeasureOnAmplitudeTiles) {
    const std::string mlt = writeSetWithTable("spm", true);
    ScriptedUi ui({mlt});
    app::AppCore core(ui, link_);
    app::registerModules(core);
    document::CTessarinDoc* doc = run(core, app::cmd::kOpenMultiTemporalProject);
    ASSERT_NE(doc, nullptr);
    moveTo(*doc, {0, 0});
    display::ViewController view(*doc, ui);
    view.paint(1200, 800);
    core.activeView = &view;
    display::Modifiers withC;
    withC.heldC = true;
    view.leftButtonDown({600, 400}, withC);
    view.leftButtonUp({600, 400});
    ASSERT_TRUE(view.state().markShown);
    run(core, app::cmd::kSinglePointMatching, doc);
    const auto& t = doc->moduleState<insar::TiePointState>().table;
    EXPECT_TRUE(t.ready);
    for (std::size_t k = 0; k < insar::kTiePoints; ++k) {
        EXPECT_NEAR(t.dispX[k], kOffsetX, 0.1) << ui.messages.back();
        EXPECT_NEAR(t.dispY[k], kOffsetY, 0.1);
    }
    EXPECT_EQ(readWholeFile(mlt + ".cnj"), insar::encodeCnj(t, insar::CnjLayout::Short));
    // The displacement adjust applies under this mode and measures about
    // nothing more on a table just matched; its dialog cancelled.
    ui.addAnswer("cancel");
    run(core, app::cmd::kCalcTiePointAdjustParameter, doc);
    EXPECT_NEAR(t.adjustX, 0.0, 0.1);
    EXPECT_NEAR(t.adjustY, 0.0, 0.1);
    core.activeView = nullptr;
}

TEST_F(MultiTemporalOpen, ASingleSceneViewOfTheMasterKeepsItsOwnCanvas) {
    ScriptedUi ui({tileFiles_[0], writeSetWithTable("both", true)});
    app::AppCore core(ui, link_);
    app::registerModules(core);
    document::CTessarinDoc* single = run(core, app::cmd::kAlos2L15TileFile);
    ASSERT_NE(single, nullptr);
    const std::string canvas = single->canvasPath();
    moveTo(*single, {0, 0});
    document::CTessarinDoc* mt = run(core, app::cmd::kOpenMultiTemporalProject);
    ASSERT_NE(mt, nullptr);
    EXPECT_EQ(mt->canvasPath(), canvas) << "the composite's cut file is the master's canvas name";
    EXPECT_EQ(readWholeFile(canvas).size(), kCanvasBytes);
    // A click on the single-scene view finds three channels and rebuilds.
    display::ViewController view(*single, ui);
    view.paint(1200, 800);
    view.leftButtonDown({100, 100}, {});
    view.leftButtonUp({100, 100});
    EXPECT_EQ(readWholeFile(canvas).size(), 2048u * 2048 * 2);
    const auto origin = single->canvasState().origin;
    single->canvas().read(canvas);
    EXPECT_EQ(single->canvas().at(10, 20), dn(0, origin.x + 10, origin.y + 20));
    // Closing the composite removes the file; the view builds it again.
    core.closeDocument(mt);
    EXPECT_FALSE(fileExists(canvas));
    view.keyDown('K', {});
    EXPECT_EQ(readWholeFile(canvas).size(), 2048u * 2048 * 2);
}

TEST_F(MultiTemporalOpen, LookSideFromTheMastersName) {
    // The master's files under names whose look letter is R, L or another.
    const auto names = tiles::namesForExistingTileSet(tileFiles_[0]);
    const std::size_t at = names.imageName.size() - 10 + 3;
    ASSERT_EQ(names.imageName[at], 'R');
    const struct {
        char letter;
        int before, after;
    } table[] = {{'R', 1, 0}, {'L', 0, 1}, {'X', 0, 0}, {'X', 1, 1}};
    for (const auto& c : table) {
        std::string image = names.imageName;
        image[at] = c.letter;
        const std::string folder = work_ + "/" + c.letter + std::to_string(c.before);
        fs::create_directories(folder);
        const std::string rest = image.substr(6);
        for (const auto& [from, to] : {std::pair{names.tile, image + "tile"}, std::pair{names.quickLook, image + ".idx"},
                                       std::pair{names.headerCopy, "FHDR" + rest}, std::pair{names.leaderCopy, "LED" + rest}})
            fs::create_symlink(from, folder + "/" + to);
        const std::string mlt = folder + "/look.mlt";
        writeMultiTemporalSet(mlt, {folder + "/" + image + "tile", tileFiles_[1]});
        ScriptedUi ui;
        app::AppCore core(ui, link_);
        app::registerModules(core);
        core.linkBlock().writeOpenMode(6);
        document::CTessarinDoc doc(ui, core.openModes(), link_);
        doc.reader(0).params().pointingLeft = c.before;
        ASSERT_TRUE(doc.OnOpenDocument(mlt)) << (ui.messages.empty() ? "" : ui.messages.back());
        EXPECT_EQ(doc.reader(0).pointingLeft(), c.after) << c.letter << " after " << c.before;
        doc.OnCloseDocument();
    }
}

TEST_F(MultiTemporalOpen, RefusedSetsAndTheComplexSet) {
    // A member that is not an amplitude TileSet is refused naming it.
    const std::string cpx = work_ + "/IMG-HH-ALOS2011502960-140724-UBSR1.1__Atile.cpx";
    writeWholeFile(cpx, std::vector<std::uint8_t>(6, 0));
    const std::string wrong = work_ + "/wrong.mlt";
    writeMultiTemporalSet(wrong, {tileFiles_[0], cpx});
    {
        ScriptedUi ui({wrong});
        app::AppCore core(ui, link_);
        app::registerModules(core);
        EXPECT_EQ(run(core, app::cmd::kOpenMultiTemporalProject), nullptr);
        ASSERT_FALSE(ui.messages.empty());
        EXPECT_THAT(ui.messages.back(), HasSubstr(cpx));
        EXPECT_THAT(ui.messages.back(), HasSubstr("not an amplitude tile file"));
    }
    // "New ALOS2L1.5 MT Compo" refuses it before writing the set.
    {
        ScriptedUi ui({work_ + "/refused", tileFiles_[0], cpx});
        app::AppCore core(ui, link_);
        app::registerModules(core);
        EXPECT_EQ(run(core, app::cmd::kNewAlos2L15MtComposite), nullptr);
        EXPECT_FALSE(fileExists(work_ + "/refused.mlt"));
        EXPECT_THAT(ui.messages.back(), HasSubstr(cpx));
    }
    // The save-style open picks existing sets only.
    {
        ScriptedUi ui({work_ + "/absent.mlt"});
        app::AppCore core(ui, link_);
        app::registerModules(core);
        EXPECT_EQ(run(core, app::cmd::kOpenMultiTemporalSet), nullptr);
        EXPECT_EQ(ui.messages, std::vector<std::string>{"The multi-temporal set \"" + work_ + "/absent.mlt\" does not exist"});
    }
    // The complex set: named, its form, three dates; written, then refused.
    {
        ScriptedUi ui({work_ + "/cpx", "files=1", cpx, cpx, cpx});
        app::AppCore core(ui, link_);
        app::registerModules(core);
        EXPECT_EQ(run(core, app::cmd::kAlos2L11MtComposite), nullptr);
        EXPECT_EQ(ui.dialogTitles,
                  (std::vector<std::string>{"Put Multi temporal(cpx) images set Name", "Multi Temporal Composite",
                                            "Select master tile file", "Select slave tile file", "Select 3rd date tile file"}));
        EXPECT_EQ(ui.messages, (std::vector<std::string>{"Open L1.1 Multi Temporal Tile Open",
                                                         "Restart program as Inteferometry mode",
                                                         "Process image as Interferpmetry. Restart program.."}));
        const auto set = readComplexMultiTemporalSet(work_ + "/cpx.cmt");
        EXPECT_EQ(set.count, 3);
        EXPECT_EQ(set.third, cpx);
    }
}

}  // namespace
}  // namespace tessarin::composites
