// The view widget hands Qt key and mouse events to the core view logic:
// readout into the status texts, held C for the mark, drag panning, keys.

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>

#include "app/app_core.h"
#include "child_frame.h"
#include "platform/ui.h"
#include "support/product_fixture.h"
#include "support/temp_dir.h"

using namespace tessarin;
using namespace tessarin::app;

namespace {

// Amplitude 1000 everywhere: sigma-naught 20 log10(1000) - 83 dB.
std::string writeLevel15(const std::string& folder) {
    return tessarin::testing::writePlausibleProduct(
               folder, {.level = products::kLevel15, .pixels = 1200, .lines = 1200, .levelSuffix = "GUD"},
               {.amplitude = [](std::size_t, int) -> std::uint16_t { return 1000; }})
        .imagePaths.at(0);
}

void click(QWidget& w, QPoint at, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QMouseEvent press(QEvent::MouseButtonPress, at, w.mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, mods);
    QApplication::sendEvent(&w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, w.mapToGlobal(at), Qt::LeftButton, Qt::NoButton, mods);
    QApplication::sendEvent(&w, &release);
}

void key(QWidget& w, QEvent::Type type, int k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent e(type, k, mods);
    QApplication::sendEvent(&w, &e);
}

using ViewEvents = tessarin::testing::WorkFolderTest;

}  // namespace

TEST_F(ViewEvents, KeysAndPointerReachTheViewLogic) {
    ScriptedUi ui;
    AppCore core(ui, linkName);
    registerModules(core);
    core.linkBlock().writeOpenMode(0);
    document::CTessarinDoc* doc = core.openDocument(writeLevel15(path("product")));
    ASSERT_NE(doc, nullptr);
    doc->setCtrorigin({0, 0});
    doc->assembleCanvas();

    CTessarinView view(*doc);
    view.resize(1600, 1100);
    view.grab();  // paints, and so records the panes
    ASSERT_EQ(view.geometry().main, (display::Rect{0, 0, 1339, 1100}));

    click(view, {20, 30});
    ASSERT_FALSE(ui.statuses.empty());
    EXPECT_EQ(ui.statuses.back().rfind("Tile ID kx,ky=(0, 0), pix,lin=(20, 30),lat,lon=", 0), 0u) << ui.statuses.back();
    EXPECT_NE(ui.statuses.back().find("pv1=-23.00,"), std::string::npos) << "20 log10(1000) - 83";

    key(view, QEvent::KeyPress, Qt::Key_E);
    EXPECT_EQ(view.viewState().zoom, 8);
    key(view, QEvent::KeyPress, Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(view.viewState().pan[0], (display::Point{5, 0}));

    // C held while clicking sets the mark instead of reading out.
    const std::size_t statuses = ui.statuses.size();
    key(view, QEvent::KeyPress, Qt::Key_C);
    click(view, {100, 200});
    key(view, QEvent::KeyRelease, Qt::Key_C);
    EXPECT_TRUE(view.viewState().markShown);
    EXPECT_EQ(view.viewState().mark, (display::Point{100, 200}));
    EXPECT_EQ(ui.statuses.size(), statuses);
    click(view, {100, 200});
    EXPECT_GT(ui.statuses.size(), statuses) << "after release, a click reads out again";

    // A drag with the left button pans.
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(400, 400), QPointF(400, 400), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&view, &press);
    QMouseEvent move(QEvent::MouseMove, QPointF(390, 380), QPointF(390, 380), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(&view, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(390, 380), QPointF(390, 380), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(&view, &release);
    EXPECT_EQ(view.viewState().pan[0], (display::Point{15, 20}));
    core.closeDocument(doc);
}
