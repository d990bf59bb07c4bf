// The fringe commands on a simulated pair opened as the window opens it:
// the baseline report, phase ramps, bias and reverse phase with their
// refusals, the disc filter and the quality mask on the working area's
// files, and the colour products, the composite TIFF checked with libtiff's
// and GDAL's own tools.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/app_core.h"
#include "app/command_ids.h"
#include "app/command_table.h"
#include "display/view_controller.h"
#include "document/tessarin_doc.h"
#include "insar/baseline.h"
#include "insar/fringe_color.h"
#include "insar/fringe_commands.h"
#include "insar/fringe_filter.h"
#include "insar/pair_state.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/link_block.h"
#include "platform/ui.h"
#include "products/alos2.h"
#include "simulator/scene_simulator.h"
#include "tiles/scene_tiling.h"

namespace tessarin::insar {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
constexpr int kSize = 2048;
constexpr std::size_t kArea = static_cast<std::size_t>(kSize) * kSize;

bool contains(const std::vector<std::string>& texts, const std::string& wanted) {
    for (const auto& t : texts)
        if (t.find(wanted) != std::string::npos) return true;
    return false;
}

std::string run(const std::string& command) {
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return out;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    ::pclose(p);
    return out;
}

class FringeCommands : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = (fs::temp_directory_path() / ("tessarin-fringe-" + std::to_string(::getpid()))).string();
        fs::remove_all(root_);
        simulator::SimulatorOptions o;
        o.folder = root_ + "/product";
        o.pixels = kSize;
        o.lines = kSize;
        simulator::PairOptions pair;
        pair.perpendicularBaseline_m = 200.0;
        o.pair = pair;
        const auto truth = simulator::simulateScene(o);
        const std::string tiles = root_ + "/tiles";
        fs::create_directories(tiles);
        ScriptedUi ui;
        for (const auto* images : {&truth.products.at(0).imagePaths, &truth.pair->products.at(0).imagePaths}) {
            products::Alos2 reader;
            tileFiles_.push_back(tiles::tileOriginalProduct(images->at(0), tiles, reader, ui).names.tile);
        }
    }
    static void TearDownTestSuite() {
        fs::remove_all(root_);
        tileFiles_.clear();
    }
    void SetUp() override {
        work_ = root_ + "/work-" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::create_directories(work_);
        ::setenv("TESSARIN_WORKDIR", work_.c_str(), 1);
        link_ = format("link_data_fringe_%d", static_cast<int>(::getpid()));
        ui_ = std::make_unique<ScriptedUi>(std::vector<std::string>{work_ + "/pair", tileFiles_[0], tileFiles_[1]});
        core_ = std::make_unique<app::AppCore>(*ui_, link_);
        app::registerModules(*core_);
        ASSERT_TRUE(core_->run(*app::findCommand(app::cmd::kNewAlos2InferoPair), nullptr));
        doc_ = core_->documents().back().get();
        ASSERT_TRUE(core_->run(*app::findCommand(app::cmd::kAlos2InferoGeneration), doc_));
        ASSERT_EQ(doc_->openMode(), 9);
        pair_ = &doc_->moduleState<PairState>();
        ASSERT_TRUE(pair_->merged);
        ui_->messages.clear();
        ui_->statuses.clear();
        ui_->dialogTitles.clear();
    }
    void TearDown() override {
        core_.reset();
        ui_.reset();
        ::unsetenv("TESSARIN_WORKDIR");
        LinkBlock::remove(link_);
        fs::remove_all(work_);
    }
    bool command(int id) { return core_->run(*app::findCommand(id), doc_); }
    ConjugatePointTable& table() { return doc_->moduleState<TiePointState>().table; }

    static inline std::string root_;
    static inline std::vector<std::string> tileFiles_;
    std::string work_, link_;
    std::unique_ptr<ScriptedUi> ui_;
    std::unique_ptr<app::AppCore> core_;
    document::CTessarinDoc* doc_ = nullptr;
    PairState* pair_ = nullptr;
};

TEST_F(FringeCommands, BaselineReportAtTheWorkingAreaOrigin) {
    ASSERT_TRUE(command(app::cmd::kInferoOrbitDistanceParameter));
    ASSERT_EQ(ui_->messages.size(), 1u);
    const std::string& text = ui_->messages[0];
    int P = 0, L = 0;
    double bperp = 0, bpara = 0, inc = 0, height = 0;
    ASSERT_EQ(std::sscanf(text.c_str(),
                          "Infero parm at pix=%d, line=%d\nBperp=%lf, Bpara=%lf\ninc angle=%lf degrees\n height "
                          "seisitivity/fringe cycle=%lf meters",
                          &P, &L, &bperp, &bpara, &inc, &height),
              6)
        << text;
    // The scene holds one working area from (0, 0): the origin moves with it.
    EXPECT_EQ(P, 904);
    EXPECT_EQ(L, 904);
    EXPECT_NEAR(bperp, 200.0, 2.0);
    const PairBaseline b = pairBaseline(doc_->reader(0).params(), doc_->reader(1).params(), table(), P, L);
    EXPECT_NEAR(height, 0.2290399 * b.slantRange_m * std::sin(inc * geometry::kRadPerDeg) / (2.0 * bperp), 0.002 * height);
    EXPECT_EQ(text, baselineReportText({P, L}, b));

    table().ready = false;
    ASSERT_TRUE(command(app::cmd::kInferoOrbitDistanceParameter));
    EXPECT_EQ(ui_->messages.back(), "Tie point table is not ready");
}

TEST_F(FringeCommands, RampsBiasAndReversePhase) {
    const Bytes org = readWholeFile(pair_->names.savedFringe);
    ASSERT_EQ(org.size(), kArea);
    const auto expectRamp = [&](int bias, const char* what) {
        SCOPED_TRACE(what);
        const Bytes frg = readWholeFile(pair_->names.interferogram);
        ASSERT_EQ(frg.size(), kArea);
        int wrong = 0;
        for (int i = 0; i < kSize; ++i)
            for (int j = 0; j < kSize; ++j) {
                const std::size_t k = static_cast<std::size_t>(i) * kSize + static_cast<std::size_t>(j);
                const long long ramp = static_cast<long long>(std::floor(-j / 8.0 + 0.5)) + bias;
                if (((frg[k] - org[k] - ramp) % 256 + 256) % 256 != 0) ++wrong;
            }
        EXPECT_EQ(wrong, 0);
    };
    // A cancelled dialog changes nothing.
    const Bytes frg0 = readWholeFile(pair_->names.interferogram);
    const Bytes cnj0 = readWholeFile(doc_->path() + ".cnj");
    ui_->addAnswer("cancel");
    ASSERT_TRUE(command(app::cmd::kApplyInclinationBySetParm));
    EXPECT_EQ(readWholeFile(pair_->names.interferogram), frg0);
    EXPECT_EQ(readWholeFile(doc_->path() + ".cnj"), cnj0);
    EXPECT_TRUE(ui_->messages.empty());

    ui_->addAnswer("H inc Cycle / tile width=-1,V inc Cycle /tile height=0");
    ASSERT_TRUE(command(app::cmd::kApplyInclinationBySetParm));
    EXPECT_EQ(ui_->messages, (std::vector<std::string>{"phase(V,H)=0.000000, -1.000000", "HincVal=-1.00, VinvVal=0.00",
                                                       "Proc complete"}));
    expectRamp(0, "H = -1");
    const Bytes cnj = readWholeFile(doc_->path() + ".cnj");
    ASSERT_EQ(cnj.size(), kFullCnjBytes);
    double h = 0;
    std::memcpy(&h, cnj.data() + 160, 8);
    EXPECT_EQ(h, -1.0);
    EXPECT_EQ(pair_->last.fringe, readWholeFile(pair_->names.interferogram));
    ASSERT_TRUE(command(app::cmd::kInferoPhaseIncParameter));
    EXPECT_EQ(ui_->messages.back(), "Phase inclination value \n Horizontal inc=-1.0000 cycle/tile\n\n Vertical inc=0.0000 cycle/tile");

    // The bias starts from the saved fringe and keeps the table's ramp.
    ui_->addAnswer("Bias Value (-255_255)=-1");
    ASSERT_TRUE(command(app::cmd::kFringeBiasModify));
    expectRamp(-1, "bias -1");
    ui_->addAnswer("Bias Value (-255_255)=256");
    ASSERT_TRUE(command(app::cmd::kFringeBiasModify));
    expectRamp(0, "bias 256");

    // Reverse twice: the table file byte for byte.
    ASSERT_TRUE(command(app::cmd::kSetResetReversePhase));
    EXPECT_EQ(ui_->messages.back(), "Phase reverse is changed to ON");
    EXPECT_EQ(table().phaseIncH, 1.0);
    ASSERT_TRUE(command(app::cmd::kCheckReversePhaseStatus));
    EXPECT_EQ(ui_->messages.back(), "Currently phase reverse is applyed");
    ASSERT_TRUE(command(app::cmd::kSetResetReversePhase));
    EXPECT_EQ(ui_->messages.back(), "Phase reverse is changed to OFF");
    EXPECT_EQ(readWholeFile(doc_->path() + ".cnj"), cnj);

    ASSERT_TRUE(command(app::cmd::kResetInclinationParameter));
    EXPECT_EQ(readWholeFile(pair_->names.interferogram), org);
    EXPECT_EQ(table().phaseIncH, 0.0);

    // The inclination pattern of the H = 1 ramp, shown and erased.
    display::ViewController view(*doc_, *ui_);
    core_->activeView = &view;
    ui_->addAnswer("H inc Cycle / tile width=1,V inc Cycle /tile height=0");
    ASSERT_TRUE(command(app::cmd::kApplyInclinationBySetParm));
    ASSERT_TRUE(command(app::cmd::kCalcFringeIncPattern));
    EXPECT_TRUE(view.state().inclinationShown);
    ASSERT_TRUE(doc_->paintInput().inclination);
    ASSERT_TRUE(command(app::cmd::kEraseIncPatternDraw));
    EXPECT_FALSE(view.state().inclinationShown);
    // After the products' run the raw fringe is a TIFF: the display comes from memory.
    ASSERT_TRUE(command(app::cmd::kPureSlcInferoGeneration));
    ASSERT_FALSE(fileExists(pair_->names.interferogram));
    ASSERT_TRUE(command(app::cmd::kInclinationControlOn));
    EXPECT_TRUE(view.inclination().active);
    EXPECT_TRUE(doc_->moduleState<FringeState>().inclinationControl);
    EXPECT_EQ(ui_->messages.back(), "Proc complete");
    ASSERT_TRUE(command(app::cmd::kReturnToOriginalFringe));
    EXPECT_FALSE(view.inclination().active);
    EXPECT_EQ(readWholeFile(pair_->names.interferogram), org);
    core_->activeView = nullptr;
}

// The view's inclination keys drive the same ramp as the dialog: one step
// is one phase code across the working area, so step 256 is one cycle.
TEST_F(FringeCommands, InclinationKeysApplyTheRamp) {
    const Bytes org = readWholeFile(pair_->names.savedFringe);
    ASSERT_EQ(org.size(), kArea);
    display::ViewController view(*doc_, *ui_);
    core_->activeView = &view;
    ASSERT_TRUE(command(app::cmd::kInclinationControlOn));
    ASSERT_TRUE(view.inclination().active);
    const auto wrongSamples = [&](int h, int v) {
        const Bytes frg = readWholeFile(pair_->names.interferogram);
        if (frg.size() != kArea) return -1;
        int wrong = 0;
        for (int i = 0; i < kSize; ++i)
            for (int j = 0; j < kSize; ++j) {
                const std::size_t k = static_cast<std::size_t>(i) * kSize + static_cast<std::size_t>(j);
                const long long ramp = static_cast<long long>(std::floor((h * j + v * i) / 8.0 + 0.5));
                if (((frg[k] - org[k] - ramp) % 256 + 256) % 256 != 0) ++wrong;
            }
        return wrong;
    };
    struct Step {
        int key;
        int h, v;  // cycles per working area after the key
    };
    const Step steps[] = {{'8', 0, 0}, {display::key::kLeft, -1, 0}, {'V', -1, 0}, {display::key::kUp, -1, 1},
                          {display::key::kUp, -1, 2}, {'H', -1, 2}, {display::key::kRight, 0, 2},
                          {'V', 0, 2}, {display::key::kDown, 0, 1}};
    for (const Step& s : steps) {
        SCOPED_TRACE(s.key);
        view.keyDown(s.key, {});
        EXPECT_EQ(table().phaseIncH, s.h);
        EXPECT_EQ(table().phaseIncV, s.v);
        if (s.key >= '0' && s.key <= '9') continue;
        if (s.key == 'H' || s.key == 'V') continue;
        EXPECT_EQ(wrongSamples(s.h, s.v), 0);
        // The table file carries the values, as after the dialog.
        const Bytes cnj = readWholeFile(doc_->path() + ".cnj");
        ASSERT_EQ(cnj.size(), kFullCnjBytes);
        double h = 0;
        std::memcpy(&h, cnj.data() + 160, 8);
        EXPECT_EQ(h, s.h);
        EXPECT_EQ(ui_->statuses.back(), format("HincVal=%.2f, VinvVal=%.2f", static_cast<double>(s.h),
                                               static_cast<double>(s.v)));
    }
    EXPECT_FALSE(contains(ui_->messages, "Proc complete")) << "keys report in the status bar";
    EXPECT_EQ(view.state().pan[0], display::Point{}) << "arrows do not pan in inclination mode";
    // Without a saved fringe a key says why and changes nothing.
    const Bytes frg = readWholeFile(pair_->names.interferogram);
    removeFile(pair_->names.savedFringe);
    view.keyDown(display::key::kRight, {});
    EXPECT_NE(ui_->messages.back().find("does not exist"), std::string::npos) << ui_->messages.back();
    EXPECT_EQ(table().phaseIncH, 0.0);
    EXPECT_EQ(readWholeFile(pair_->names.interferogram), frg);
    core_->activeView = nullptr;
}

TEST_F(FringeCommands, RampRefusalsWriteNothing) {
    const Bytes frg = readWholeFile(pair_->names.interferogram);
    // A short saved fringe, then a missing one: a message, no dialog, nothing written.
    writeWholeFile(pair_->names.savedFringe, Bytes(100, 1));
    for (int id : {app::cmd::kApplyInclinationBySetParm, app::cmd::kFringeBiasModify, app::cmd::kResetInclinationParameter}) {
        ASSERT_TRUE(command(id));
        EXPECT_NE(ui_->messages.back().find("holds 100 bytes"), std::string::npos) << ui_->messages.back();
    }
    removeFile(pair_->names.savedFringe);
    ASSERT_TRUE(command(app::cmd::kApplyInclinationBySetParm));
    EXPECT_NE(ui_->messages.back().find("does not exist"), std::string::npos) << ui_->messages.back();
    EXPECT_TRUE(ui_->dialogTitles.empty());
    EXPECT_FALSE(contains(ui_->messages, "Proc complete"));
    EXPECT_EQ(readWholeFile(pair_->names.interferogram), frg);
    // A table that is not ready stops the command.
    table().ready = false;
    ASSERT_TRUE(command(app::cmd::kSetResetReversePhase));
    EXPECT_EQ(ui_->messages.back(), "Tie point list is not ready");
    EXPECT_EQ(table().reversePhase, 0);
    // The filter refuses a missing fringe and writes nothing.
    removeFile(pair_->names.interferogram);
    ASSERT_TRUE(command(app::cmd::kAverage3x3));
    EXPECT_NE(ui_->messages.back().find("does not exist"), std::string::npos);
    EXPECT_FALSE(fileExists(pair_->names.interferogram));
    ASSERT_TRUE(command(app::cmd::kFringeColorWithoutIntensity));
    EXPECT_FALSE(fileExists(pair_->names.interferogram + ".clr"));
}

TEST_F(FringeCommands, FilterAndQualityMask) {
    const Bytes before = readWholeFile(pair_->names.interferogram);
    ASSERT_TRUE(command(app::cmd::kAverage3x3));
    EXPECT_EQ(ui_->messages.back(), "filtering fringe complete");
    const Bytes after = readWholeFile(pair_->names.interferogram);
    EXPECT_EQ(after, discFilter(before, kSize, kSize, 1));
    EXPECT_NE(after, before);

    ASSERT_TRUE(command(app::cmd::kNewQualityMaskGen));
    const Bytes mask = readWholeFile(fs::path(pair_->names.cut).parent_path().string() + "/QualityMask.img");
    ASSERT_EQ(mask.size(), kArea);
    const Bytes cut = readWholeFile(pair_->names.cut);
    for (std::size_t k = 0; k < kArea; k += 997) {
        const int a = cut[6 * k] | cut[6 * k + 1] << 8, b = cut[6 * k + 2] | cut[6 * k + 3] << 8;
        const int q = (a == 0 && b == 0) ? 0 : std::min(255, 256 * std::min(a, b) / std::max(a, b));
        ASSERT_EQ(mask[k], q) << k;
    }
}

TEST_F(FringeCommands, ColourProductsAndTheCompositeTiff) {
    ColorTable t{};
    for (int k = 0; k < 256; ++k)
        t[static_cast<std::size_t>(k)] = {static_cast<std::uint8_t>(k), static_cast<std::uint8_t>(255 - k),
                                          static_cast<std::uint8_t>((7 * k) & 255)};
    writeWholeFile(work_ + "/" + kColorTableName, colorTableBytes(t));
    const Bytes frg = readWholeFile(pair_->names.interferogram);
    ASSERT_TRUE(command(app::cmd::kFringeColorWithoutIntensity));
    const Bytes clr = readWholeFile(pair_->names.interferogram + ".clr");
    ASSERT_EQ(clr.size(), 3 * kArea);
    for (std::size_t k = 0; k < kArea; k += 13)
        for (std::size_t c = 0; c < 3; ++c) ASSERT_EQ(clr[3 * k + c], t[frg[k]][c]) << k;
    EXPECT_EQ(doc_->displaySlots().slot(1).dib.bitmap.bytesPerPixel, 3);
    ASSERT_TRUE(command(app::cmd::kFringeColorWithIntensity));
    EXPECT_EQ(readWholeFile(pair_->names.interferogram + ".clr"),
              colourFringeWithIntensity(frg, masterIntensity(readWholeFile(pair_->names.cut), kArea), t));

    ASSERT_TRUE(command(app::cmd::kFringeImageColorComposite));
    EXPECT_EQ(ui_->messages.back(), "Color composite complete");
    const std::string tif = pair_->names.cut + "CFringe.tif";
    const std::string info = run("tiffinfo '" + tif + "' 2>&1");
    EXPECT_NE(info.find("Image Width: 2048 Image Length: 2048"), std::string::npos) << info;
    EXPECT_NE(info.find("Bits/Sample: 8"), std::string::npos) << info;
    EXPECT_NE(info.find("Samples/Pixel: 3"), std::string::npos) << info;
    // 200 points through GDAL against (table * e) >> 8.
    const Bytes cut = readWholeFile(pair_->names.cut);
    double sum = 0;
    for (std::size_t k = 0; k < kArea; ++k) sum += cut[6 * k] | cut[6 * k + 1] << 8;
    const double mean = sum / static_cast<double>(kArea);
    std::mt19937 rng(5);
    std::ostringstream points;
    std::vector<std::size_t> at;
    for (int n = 0; n < 200; ++n) {
        const int x = static_cast<int>(rng() % kSize), y = static_cast<int>(rng() % kSize);
        points << x << ' ' << y << '\n';
        at.push_back(static_cast<std::size_t>(y) * kSize + static_cast<std::size_t>(x));
    }
    std::ofstream(work_ + "/points.txt") << points.str();
    std::vector<std::string> bands(3);
    for (int b = 1; b <= 3; ++b)
        bands[static_cast<std::size_t>(b - 1)] =
            run(format("gdallocationinfo -valonly -b %d '%s' < '%s/points.txt' 2>&1", b, tif.c_str(), work_.c_str()));
    for (int b = 0; b < 3; ++b) {
        std::istringstream in(bands[static_cast<std::size_t>(b)]);
        for (std::size_t n = 0; n < at.size(); ++n) {
            int v = -1;
            ASSERT_TRUE(in >> v) << bands[static_cast<std::size_t>(b)];
            const std::size_t k = at[n];
            const double e = (cut[6 * k] | cut[6 * k + 1] << 8) / mean * 64.0;
            const int eb = e < 256.0 ? static_cast<int>(e) : 255;
            EXPECT_EQ(v, (t[frg[k]][static_cast<std::size_t>(b)] * eb) >> 8) << n;
        }
    }

    // The temporary inclination TIFFs: the magnifier's bitmap and the fringe itself.
    ASSERT_TRUE(command(app::cmd::kSaveTemporalInclinationFringe));
    EXPECT_TRUE(fileExists(temporalAmplitudeTiffPath(pair_->names.interferogram)));
    const std::string grey = run("gdallocationinfo -valonly '" + pair_->names.interferogram + ".tif' 100 37 2>&1");
    EXPECT_EQ(std::atoi(grey.c_str()), frg[37 * kSize + 100]) << grey;

    // The output colour choices: grey, colour, colour until changed.
    EXPECT_EQ(doc_->moduleState<FringeState>().outputColour, (std::array<int, 3>{0, 1, 1}));
    ui_->addAnswer("Interferogram=Color,DifInfero=Gray,Coherence=1");
    ASSERT_TRUE(command(app::cmd::kInferoOutputColorCombination));
    EXPECT_EQ(doc_->moduleState<FringeState>().outputColour, (std::array<int, 3>{1, 0, 1}));
    ui_->addAnswer("cancel");
    ASSERT_TRUE(command(app::cmd::kInferoOutputColorCombination));
    EXPECT_EQ(doc_->moduleState<FringeState>().outputColour, (std::array<int, 3>{1, 0, 1}));
}

}  // namespace
}  // namespace tessarin::insar
