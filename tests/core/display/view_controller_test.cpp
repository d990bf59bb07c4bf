// Pointer and key handling of the view: picks, readout, re-centring,
// panning, brightness keys, tile selection.

#include "display/view_controller.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "app/command_ids.h"
#include "app/app_core.h"
#include "app/command_table.h"
#include "document/tessarin_doc.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/ui.h"
#include "support/product_fixture.h"
#include "support/temp_dir.h"

using namespace tessarin;
using namespace tessarin::display;
namespace cmd = tessarin::app::cmd;
namespace pr = tessarin::products;

namespace {

constexpr double kCalib_dB = -83.0;
constexpr int kClientW = 1600, kClientH = 1100;

// ---- pure conversions

TEST(ViewReadoutValue, AmplitudeOneReadsTheCalibrationFactorAndZeroReadsMinus100) {
    EXPECT_DOUBLE_EQ(sigmaNaughtDb(1, 1.0, false, kCalib_dB), kCalib_dB);
    EXPECT_DOUBLE_EQ(sigmaNaughtDb(0, 1.0, false, kCalib_dB), -100.0);
    EXPECT_DOUBLE_EQ(sigmaNaughtDb(0, 0.01, true, kCalib_dB), -100.0);
    EXPECT_NEAR(sigmaNaughtDb(1000, 1.0, false, 0.0), 60.0, 1e-12);
}

TEST(ViewReadoutValue, Level11ReadsTheAmplitudeCodeAndIsDividedByTheScale) {
    for (std::uint16_t v : {2, 77, 4000, 65535}) {
        const double l15 = sigmaNaughtDb(v, 1.0, false, kCalib_dB);
        // The amplitude code A of 2A + b, without the phase code's bit b.
        const double a = 20.0 * std::log10(static_cast<double>(v >> 1)) + kCalib_dB;
        EXPECT_NEAR(sigmaNaughtDb(v, 1.0, true, kCalib_dB), a, 1e-5) << v;
        // Divisor 0.01 lifts the value a hundredfold: +40 dB.
        EXPECT_NEAR(sigmaNaughtDb(v, 0.01, false, kCalib_dB), l15 + 40.0, 1e-4) << v;
    }
    // Single precision: 1/3 is rounded to a float before the logarithm.
    EXPECT_DOUBLE_EQ(sigmaNaughtDb(1, 3.0, false, 0.0), 20.0 * std::log10(static_cast<double>(1.0f / 3.0f)));
}

TEST(ViewRecentre, PlacesTheClickedPointAt300InATwoByTwoBlock) {
    Recentre r = recentreOn({1600, 1600}, 1024, 1024);
    EXPECT_EQ(r.origin, (tiles::GlobalPoint{1024, 1024}));
    EXPECT_EQ(r.pan, (Point{276, 276}));
    r = recentreOn({200, 3000}, 1024, 1024);
    EXPECT_EQ(r.origin.x, 0);
    EXPECT_EQ(r.pan.x, -100);
    EXPECT_EQ(r.origin.y, 2048);  // (3000 + 512) / 1024 = 3
    // Every point ends up inside its canvas, wherever it is.
    for (long long x : {0LL, 511LL, 512LL, 1023LL, 1536LL, 30000LL}) {
        r = recentreOn({x, x}, 1024, 1024);
        EXPECT_GE(x, r.origin.x);
        EXPECT_LT(x, r.origin.x + 2048);
    }
}

TEST(ViewBrightnessKeys, KThenLRestoresExceptWhereTheLimitsCutIn) {
    DisplaySlots slots;
    slots.gain(0, 1) = 0.105;  // K drives it under 0.1
    slots.gain(0, 2) = 3.9;    // L after K stays below 4
    slots.gain(1, 3) = 2.0;
    const double before2 = slots.gain(0, 2), before3 = slots.gain(1, 3), before9 = slots.gain(2, 9);
    ASSERT_TRUE(applyBrightnessKey(slots, 'K', false));
    EXPECT_DOUBLE_EQ(slots.gain(0, 1), 0.1);
    EXPECT_DOUBLE_EQ(slots.gain(0, 0), 1.0) << "K leaves column 0";
    ASSERT_TRUE(applyBrightnessKey(slots, 'L', false));
    EXPECT_NEAR(slots.gain(0, 2), before2, 1e-12);
    EXPECT_NEAR(slots.gain(1, 3), before3, 1e-12);
    EXPECT_NEAR(slots.gain(2, 9), before9, 1e-12);
    EXPECT_NEAR(slots.gain(0, 1), 0.11, 1e-12) << "the floor cut in";

    slots.gain(0, 4) = 3.8;
    applyBrightnessKey(slots, 'L', false);
    EXPECT_DOUBLE_EQ(slots.gain(0, 4), 4.0);
    applyBrightnessKey(slots, 'K', false);
    EXPECT_NEAR(slots.gain(0, 4), 4.0 / 1.1, 1e-12) << "the ceiling cut in";

    // Shift acts on column 0 only; H darkens all columns, Shift+H column 0 by 0.95 down to 0.2.
    DisplaySlots s2;
    applyBrightnessKey(s2, 'L', true);
    EXPECT_DOUBLE_EQ(s2.gain(0, 0), 1.1);
    EXPECT_DOUBLE_EQ(s2.gain(0, 1), 1.0);
    applyBrightnessKey(s2, 'H', false);
    EXPECT_DOUBLE_EQ(s2.gain(2, 9), 0.8);
    for (int i = 0; i < 100; ++i) applyBrightnessKey(s2, 'H', true);
    EXPECT_DOUBLE_EQ(s2.gain(0, 0), 0.2);
    EXPECT_DOUBLE_EQ(s2.gain(0, 5), 0.8);
    EXPECT_FALSE(applyBrightnessKey(s2, 'J', false));
}

// ---- canvas reads

class ViewCanvasRead : public tessarin::testing::TempDirTest {};

TEST_F(ViewCanvasRead, LastPixelReadsAndBeyondReadsNothing) {
    constexpr int kW = 2048;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(kW) * kW * 2);
    auto put = [&](int x, int y, std::uint16_t v) {
        const std::size_t at = (static_cast<std::size_t>(y) * kW + static_cast<std::size_t>(x)) * 2;
        bytes[at] = static_cast<std::uint8_t>(v & 0xff);
        bytes[at + 1] = static_cast<std::uint8_t>(v >> 8);
    };
    put(2047, 2047, 0x1234);
    put(0, 1, 7);
    put(1, 1, 0x0102);
    writeWholeFile(path("c.cut"), bytes);
    auto v = readCanvasValues(path("c.cut"), 2047, 2047, kW, kW, false);
    ASSERT_TRUE(v);
    EXPECT_EQ((*v)[0], 0x1234);
    EXPECT_EQ((*v)[1], 0) << "past the end of the file";
    v = readCanvasValues(path("c.cut"), 0, 1, kW, kW, false);
    ASSERT_TRUE(v);
    EXPECT_EQ((*v)[0], 7);
    EXPECT_EQ((*v)[1], 0x0102) << "little-endian, the next pixel";
    EXPECT_FALSE(readCanvasValues(path("c.cut"), 2048, 0, kW, kW, false));
    EXPECT_FALSE(readCanvasValues(path("c.cut"), 0, 2048, kW, kW, false));
    EXPECT_FALSE(readCanvasValues(path("c.cut"), -1, 0, kW, kW, false));
    EXPECT_FALSE(readCanvasValues(path("none.cut"), 0, 0, kW, kW, false));
    // Three-channel canvases: 6 bytes per pixel.
    v = readCanvasValues(path("c.cut"), 0, 0, 682, 2, true);
    ASSERT_TRUE(v);
    EXPECT_EQ((*v)[0], 0);
    v = readCanvasValues(path("c.cut"), 682, 0, kW, kW, true);  // offset 4092: pixel (2046, 0) of the plain canvas
    ASSERT_TRUE(v);
}

// ---- a written product opened as the window opens it

class ViewOnProduct : public tessarin::testing::WorkFolderTest {
protected:
    void TearDown() override {
        if (core) {
            while (!core->documents().empty()) core->closeDocument(core->documents().back().get());
        }
        view.reset();
        core.reset();
        WorkFolderTest::TearDown();
    }

    static std::uint16_t amplitudeAt(long long x, long long y) { return tessarin::testing::viewAmplitude(x, y); }

    // The view scene of the fixture: level 1.5, 1100 x 1300 (2 x 2 tiles),
    // lat/lon polynomials linear about the reference pixel/line.
    document::CTessarinDoc* openLevel15() {
        auto product = tessarin::testing::plausibleProduct(path("product"), tessarin::testing::viewProductOptions());
        product.params.calib = kCalib_dB;
        const std::string image =
            pr::writeCeosProduct(product, tessarin::testing::sampleSource(tessarin::testing::viewSamples()))
                .imagePaths.at(0);
        core = std::make_unique<app::AppCore>(ui, linkName);
        EXPECT_TRUE(core->linkBlock().valid());
        app::registerModules(*core);
        core->linkBlock().writeOpenMode(0);
        document::CTessarinDoc* doc = core->openDocument(image);
        if (!doc) return nullptr;
        view = std::make_unique<ViewController>(*doc, ui);
        core->activeView = view.get();
        view->paint(kClientW, kClientH);
        return doc;
    }

    bool run(int id) { return core->run(*app::findCommand(id), core->documents().back().get()); }

    ScriptedUi ui;
    std::unique_ptr<app::AppCore> core;
    std::unique_ptr<ViewController> view;
};

TEST_F(ViewOnProduct, ReadoutMatchesAnIndependentComputation) {
    auto* doc = openLevel15();
    ASSERT_NE(doc, nullptr);
    // Centre the canvas on the scene's first tiles through the position dialog.
    doc->displaySlots().gain(0, 1) = 1.5;
    doc->displaySlots().gain(0, 2) = 2.5;
    ui.addAnswer("pixel=100,line=200");
    ASSERT_TRUE(run(cmd::kPutSceneCenterAddress));
    EXPECT_EQ(ui.dialogTitles.back(), "Image Parameter");
    EXPECT_EQ(doc->canvasState().origin, (tiles::GlobalPoint{0, 0}));
    view->paint(kClientW, kClientH);
    // Both canvas slots were rendered again: they took up the new gains.
    EXPECT_DOUBLE_EQ(doc->displaySlots().slot(1).dib.m_brt[0], 1.5);
    EXPECT_DOUBLE_EQ(doc->displaySlots().slot(2).dib.m_brt[0], 2.5);

    view->state().pan[0] = {7, 11};
    view->leftButtonDown({50, 60}, {});
    view->leftButtonUp({50, 60});
    const long long gx = 57, gy = 71;
    const auto& p = doc->reader(0).params();
    const double P = static_cast<double>(gx) - p.plRefPixel, L = static_cast<double>(gy) - p.plRefLine;
    const double lat = 35.6 + 2e-5 * P - 3e-5 * L, lon = 139.7 - 4e-5 * P + 1e-5 * L;
    const double pv1 = 20.0 * std::log10(amplitudeAt(gx, gy)) + kCalib_dB;
    const double pv2 = 20.0 * std::log10(amplitudeAt(gx + 1, gy)) + kCalib_dB;
    ASSERT_FALSE(ui.statuses.empty());
    const std::string& text = ui.statuses.back();
    int kx = -1, ky = -1, px = -1, ln = -1;
    double readLat = 0, readLon = 0, readPv1 = 0, readPv2 = 0;
    ASSERT_EQ(std::sscanf(text.c_str(),
                          "Tile ID kx,ky=(%d, %d), pix,lin=(%d, %d),lat,lon=%lf, %lf, sigma0:pv1=%lf, pv2=%lf(dB)", &kx,
                          &ky, &px, &ln, &readLat, &readLon, &readPv1, &readPv2),
              8)
        << text;
    EXPECT_EQ(text.substr(text.size() - 4), "(dB)");
    EXPECT_EQ(kx, 0);
    EXPECT_EQ(ky, 0);
    EXPECT_EQ(px, 57);
    EXPECT_EQ(ln, 71);
    // The polynomial coefficients travel through text fields: a few 1e-7 degrees.
    EXPECT_NEAR(readLat, lat, 2e-6);
    EXPECT_NEAR(readLon, lon, 2e-6);
    EXPECT_NEAR(readPv1, pv1, 0.006);
    EXPECT_NEAR(readPv2, pv2, 0.006);
    EXPECT_EQ(doc->ctrorigin(), (tiles::GlobalPoint{57, 71})) << "the click becomes the current point";

    // D:M:S through its command; the tile shown is that of the point before the click.
    ASSERT_TRUE(run(cmd::kGeoFormatDms));
    view->leftButtonDown({1030, 900}, {});
    view->leftButtonUp({1030, 900});
    const std::string& dms = ui.statuses.back();
    EXPECT_EQ(dms.rfind("Tile ID kx,ky=(0, 0), pix,lin=(1037, 911)lat_N:", 0), 0u) << dms;
    EXPECT_NE(dms.find(";lon_E139,"), std::string::npos) << dms;
    EXPECT_NE(dms.find(format("sigma0:pv1=%.1f,", 20.0 * std::log10(amplitudeAt(1037, 911)) + kCalib_dB)),
              std::string::npos)
        << dms;
    view->leftButtonDown({5, 5}, {});
    EXPECT_EQ(ui.statuses.back().rfind("Tile ID kx,ky=(1, 0),", 0), 0u) << ui.statuses.back();
}

TEST_F(ViewOnProduct, ReadoutBeyondTheCanvasKeepsTheLastValues) {
    auto* doc = openLevel15();
    ASSERT_NE(doc, nullptr);
    ui.addAnswer("pixel=0,line=0");
    ASSERT_TRUE(run(cmd::kPositionDialog));
    view->paint(kClientW, kClientH);
    view->state().pan[0] = {2047 - 20, 2047 - 30};
    view->leftButtonDown({20, 30}, {});  // canvas (2047, 2047): outside the scene, a zero
    EXPECT_NE(ui.statuses.back().find("sigma0:pv1=-100.00, pv2=-100.00(dB)"), std::string::npos);
    view->state().pan[0] = {0, 0};
    view->leftButtonDown({3, 4}, {});
    const std::string v = format("pv1=%.2f", 20.0 * std::log10(amplitudeAt(3, 4)) + kCalib_dB);
    EXPECT_NE(ui.statuses.back().find(v), std::string::npos);
    view->state().pan[0] = {2048 - 20, 0};
    view->leftButtonDown({20, 4}, {});  // canvas (2048, 4): no value, the last one stays
    EXPECT_NE(ui.statuses.back().find(v), std::string::npos) << ui.statuses.back();
    EXPECT_NE(ui.statuses.back().find("pix,lin=(2048, 4)"), std::string::npos);
}

TEST_F(ViewOnProduct, CtrlClickInTheOverviewRecentres) {
    auto* doc = openLevel15();
    ASSERT_NE(doc, nullptr);
    const Rect overview = view->geometry().overview;
    ASSERT_GT(overview.width(), 0);
    const double scale = doc->paintInput().overviewScaleX;
    // The overview point whose scene x lies past the first tile's middle.
    const int dx = static_cast<int>(std::ceil(600 / scale));
    const long long gx = static_cast<long long>(dx * scale);
    EXPECT_TRUE(view->leftButtonDown({overview.left + dx, overview.top + 1}, {.ctrl = true}));
    const Recentre expected =
        recentreOn({gx, static_cast<long long>(doc->paintInput().overviewScaleY)}, 1024, 1024);
    EXPECT_EQ(doc->canvasState().origin, expected.origin);
    EXPECT_EQ(view->state().pan[0], expected.pan);
    EXPECT_EQ(view->state().pan[1], expected.pan);
    EXPECT_EQ(ui.statuses.back(), format("In rect x,y %d,%d", overview.left + dx, overview.top + 1));
    EXPECT_FALSE(view->dragging()) << "Ctrl+click starts no drag";
    // A Ctrl+click in the main pane does nothing.
    EXPECT_FALSE(view->leftButtonDown({100, 100}, {.ctrl = true}));
}

TEST_F(ViewOnProduct, DragPansAndStopsNearThePaneBorder) {
    auto* doc = openLevel15();
    ASSERT_NE(doc, nullptr);
    const Rect main = view->geometry().main;
    view->leftButtonDown({500, 500}, {});
    ASSERT_TRUE(view->dragging());
    int redraws = 0;
    for (int i = 1; i <= 10; ++i) redraws += view->pointerMove({500 - i, 500 - 2 * i}, {});
    EXPECT_EQ(redraws, 2) << "every fifth move";
    EXPECT_EQ(view->state().pan[0], (Point{10, 20}));
    // Right up to 5 pixels from the left border still pans; within it the drag ends.
    view->pointerMove({5, 480}, {});
    EXPECT_TRUE(view->dragging());
    view->pointerMove({4, 480}, {});
    EXPECT_FALSE(view->dragging());
    const Point after = view->state().pan[0];
    view->pointerMove({100, 100}, {});
    EXPECT_EQ(view->state().pan[0], after) << "no pan once stopped";
    view->leftButtonDown({500, 500}, {});
    view->pointerMove({500, main.height() - 4}, {});
    EXPECT_FALSE(view->dragging());
    view->leftButtonDown({500, 500}, {});
    view->pointerMove({main.width() - 4, 500}, {});
    EXPECT_FALSE(view->dragging());
}

TEST_F(ViewOnProduct, KeysPanZoomMarkAndRerender) {
    auto* doc = openLevel15();
    ASSERT_NE(doc, nullptr);
    view->keyDown(key::kLeft, {});
    view->keyDown(key::kUp, {.shift = true});
    EXPECT_EQ(view->state().pan[0], (Point{1, 5}));
    view->keyDown(key::kRight, {.shift = true});
    view->keyDown(key::kDown, {});
    EXPECT_EQ(view->state().pan[0], (Point{-4, 4}));
    view->keyDown('E', {});
    EXPECT_EQ(view->state().zoom, 8);
    view->keyDown('S', {});
    EXPECT_EQ(view->state().zoom, 4);

    view->keyDown('O', {});
    EXPECT_EQ(view->state().mark, (Point{0, 0})) << "O moves only a shown mark";
    view->leftButtonDown({40, 50}, {.heldC = true});
    EXPECT_TRUE(view->state().markShown);
    EXPECT_EQ(view->markImagePoints()[0], (Point{36, 54}));
    EXPECT_EQ(view->markGlobalPoints()[0].x, 36 + doc->canvasState().origin.x);
    view->keyDown('O', {});
    view->keyDown('P', {.shift = true});
    EXPECT_EQ(view->state().mark, (Point{41, 49}));
    view->keyDown('C', {.shift = true});
    EXPECT_FALSE(view->state().markShown);

    // Brightness: slot 1 is re-rendered with the new gain.
    const double before = doc->displaySlots().slot(1).dib.m_brt[0];
    view->keyDown('L', {});
    EXPECT_NEAR(doc->displaySlots().slot(1).dib.m_brt[0], before * 1.1, 1e-12);
    EXPECT_TRUE(doc->displaySlots().slot(0).hasBitmap);

    // Keys whose tools are not here change nothing visible.
    const ViewState s = view->state();
    for (int k : {'I', 'Y', 'T', 'X', '3'}) view->keyDown(k, {});
    EXPECT_EQ(view->state().pan[0], s.pan[0]);
    EXPECT_EQ(view->state().zoom, s.zoom);
    view->keyDown('F', {});
    EXPECT_EQ(view->displayMode(), 1);
    view->keyDown('D', {});
    EXPECT_EQ(view->displayMode(), 2);

    // Inclination mode: digits set the step, arrows adjust the chosen axis.
    view->inclination().active = true;
    EXPECT_EQ(view->inclination().step(), 128);
    view->keyDown('3', {});
    view->keyDown(key::kRight, {});
    view->keyDown('V', {});
    view->keyDown(key::kDown, {});
    view->keyDown(key::kDown, {});
    EXPECT_EQ(view->inclination().horizontalInclination, 8);
    EXPECT_EQ(view->inclination().verticalInclination, -16);
    EXPECT_EQ(view->state().pan[0], s.pan[0]) << "arrows do not pan in inclination mode";
}

TEST_F(ViewOnProduct, EdgeRecentreFollowsTheFootprint) {
    auto* doc = openLevel15();
    ASSERT_NE(doc, nullptr);
    ui.addAnswer("pixel=0,line=0");
    ASSERT_TRUE(run(cmd::kImageCenterModify));
    view->paint(kClientW, kClientH);
    // The scene has 2 x 2 tiles: moving right would need kx0 + 1 < 1, so R keeps the canvas.
    view->state().pan[0] = {1500, 0};
    view->paint(kClientW, kClientH);
    view->keyDown('R', {});
    EXPECT_EQ(doc->canvasState().origin, (tiles::GlobalPoint{0, 0}));
    EXPECT_EQ(view->state().pan[0], (Point{1500, 0}));
    // Shift+R reloads at the current point.
    doc->setCtrorigin({1030, 1030});
    view->keyDown('R', {.shift = true});
    EXPECT_EQ(doc->canvasState().origin, (tiles::GlobalPoint{1024, 1024}));
    // Now the footprint is left of and above the canvas: R moves back by a tile.
    view->state().pan = {Point{-10, -10}, Point{-10, -10}};
    view->paint(kClientW, kClientH);
    view->keyDown('R', {});
    EXPECT_EQ(doc->canvasState().origin, (tiles::GlobalPoint{0, 0}));
    EXPECT_EQ(view->state().pan[0], (Point{1014, 1014}));
    EXPECT_EQ(view->state().pan[1], (Point{1014, 1014}));
}

TEST_F(ViewOnProduct, TileSelectionChecksTheLimits) {
    auto* doc = openLevel15();
    ASSERT_NE(doc, nullptr);
    ui.addAnswer("kx=2,ky=0");
    ASSERT_TRUE(run(cmd::kSelectSubSceneByTileId));
    EXPECT_EQ(ui.dialogTitles.back(), "Put Tile ID to Open");
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_EQ(ui.messages.back(), "Tile number 2, 0  exceed limit of=2, 2");
    const auto originBefore = doc->canvasState().origin;
    EXPECT_EQ(doc->canvasState().origin, originBefore);
    ui.addAnswer("ky=-1");  // the fields start with the last values entered
    const std::size_t messages = ui.messages.size();
    ASSERT_TRUE(run(cmd::kSelectSubSceneByTileId));
    EXPECT_EQ(ui.messages.back(), "Tile number 2, -1  exceed limit of=2, 2");
    ui.addAnswer("kx=1,ky=1");
    ASSERT_TRUE(run(cmd::kSelectSubSceneByTileId));
    EXPECT_EQ(ui.messages.size(), messages + 1);
    EXPECT_EQ(doc->ctrorigin(), (tiles::GlobalPoint{1034, 1034}));
    EXPECT_EQ(doc->canvasState().origin, (tiles::GlobalPoint{1024, 1024}));
}

}  // namespace
