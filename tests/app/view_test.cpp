// The window on an opened product: panes where they belong, pixels as the
// brightness mapping says, and the document menu in a document's window.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QTimer>
#include <cmath>

#include "app/app_core.h"
#include "child_frame.h"
#include "main_frame.h"
#include "platform/ui.h"
#include "support/product_fixture.h"
#include "support/temp_dir.h"
#include "tessarin_app.h"
#include "tiles/tile_store.h"
#include "tiles/tiling.h"

using namespace tessarin;
using namespace tessarin::app;

namespace {

constexpr int kScene = 1500;

// A level 1.1 product: magnitude 5000 left of column 750, 10000 right of it,
// all at the same phase.
std::string writeProduct(const std::string& folder) {
    const auto sample = [](std::size_t x, int) {
        return x < 750 ? std::complex<float>(3000, 4000) : std::complex<float>(6000, 8000);
    };
    return tessarin::testing::writePlausibleProduct(folder, {.pixels = kScene, .lines = kScene}, {.complex = sample})
        .imagePaths.at(0);
}

using WindowTest = tessarin::testing::WorkFolderTest;

}  // namespace

TEST_F(WindowTest, ThreePanesShowTheMappedCanvasAndQuickLook) {
    const std::string image = writeProduct(path("product"));
    ScriptedUi ui;
    AppCore core(ui, linkName);
    registerModules(core);
    core.linkBlock().writeOpenMode(1);
    document::CTessarinDoc* doc = core.openDocument(image);
    ASSERT_NE(doc, nullptr);
    // Bring the scene into the canvas: ctrorigin (100, 100) puts tile (0, 0) first.
    doc->setCtrorigin({100, 100});
    doc->assembleCanvas();
    doc->displaySlots().resetBrightnessReference(1);
    doc->displaySlots().resetBrightnessReference(2);
    doc->renderCanvasDisplays();

    // Canvas values: 2 * A + the top bit of the phase code, the same phase on both halves.
    const std::uint32_t left = tiles::packComplexReference(3000, 4000);
    const std::uint32_t right = tiles::packComplexReference(6000, 8000);
    const double vLeft = left >> 8, vRight = right >> 8;
    // The mean over every 32nd pixel and line of the canvas, zeros not counted.
    double sum = 0;
    int count = 0;
    for (int y = 0; y < 2048; y += 32)
        for (int x = 0; x < 2048; x += 32)
            if (x < kScene && y < kScene) sum += x < 750 ? vLeft : vRight, ++count;
    const double mean = sum / count;
    const auto mapped = [&](double v) { return std::min(255, static_cast<int>(std::trunc(v / mean * 64))); };

    CTessarinView view(*doc);
    view.resize(1600, 1100);
    view.viewState().pan[0] = {0, 450};  // main pane row y shows canvas line y + 450
    const QImage shot = view.grab().toImage();
    ASSERT_EQ(shot.width(), 1600);
    // TESSARIN_SCREENSHOT=FILE.png keeps the picture for a person to look at.
    if (qEnvironmentVariableIsSet("TESSARIN_SCREENSHOT")) shot.save(qEnvironmentVariable("TESSARIN_SCREENSHOT"));
    const auto& g = view.geometry();
    EXPECT_EQ(g.overview, (display::Rect{1344, 0, 1600, 256}));
    EXPECT_EQ(g.main, (display::Rect{0, 0, 1339, 1100}));
    EXPECT_EQ(g.magnifier, (display::Rect{1344, 261, 1600, 517}));
    EXPECT_EQ(qGray(shot.pixel(10, 10)), mapped(vLeft));
    EXPECT_EQ(qGray(shot.pixel(1000, 10)), mapped(vRight)) << "mean " << mean << " right " << vRight;
    EXPECT_EQ(qGray(shot.pixel(1200, 1049)), mapped(vRight));
    EXPECT_EQ(qGray(shot.pixel(1200, 1050)), 0) << "canvas line 1500: past the last scene line";
    // The magnifier doubles: its pixel (2k, 2k) shows canvas pixel (k, k).
    EXPECT_EQ(qGray(shot.pixel(1344 + 20, 261 + 20)), mapped(vLeft));
    // The overview shows the quick-look: left cells darker than right ones.
    EXPECT_LT(qGray(shot.pixel(1344 + 10, 100)), qGray(shot.pixel(1344 + 200, 100)));
    // The footprint outline on the overview is yellow.
    // (Its left edge lies under the canvas extent's red one.)
    EXPECT_EQ(g.footprint.top, 450 / tiles::effectiveBucket(kScene / 256));
    const QRgb outline = shot.pixel(g.footprint.left + 100, g.footprint.top);
    EXPECT_EQ(qRed(outline), 255);
    EXPECT_EQ(qGreen(outline), 255);
    EXPECT_EQ(qBlue(outline), 0);
    core.closeDocument(doc);
}

TEST_F(WindowTest, OpeningADocumentSwitchesToTheDocumentMenu) {
    const std::string image = writeProduct(path("product"));
    // The open shows its message box; press OK on every box that comes up.
    QStringList boxes;
    QTimer dismiss;
    QObject::connect(&dismiss, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            boxes << box->text();
            box->accept();
        }
    });
    dismiss.start(10);
    TessarinApp app(linkName);
    ASSERT_TRUE(app.initInstance());
    MainFrame* frame = app.mainFrame();
    EXPECT_NE(frame->action(32780), nullptr);
    EXPECT_TRUE(frame->action(32780)->isEnabled());
    EXPECT_FALSE(frame->action(32924)->isEnabled()) << "an entry without a handler";
    EXPECT_TRUE(frame->action(32801)->isEnabled()) << "ALOS-2 pairs are built";
    EXPECT_TRUE(frame->action(32867)->isEnabled()) << "pure SLC pairs are built";
    EXPECT_TRUE(frame->action(32836)->isEnabled()) << "\"Pure SLC Tile\" reopens a raster TileSet";
    app.core()->linkBlock().writeOpenMode(1);
    ASSERT_NE(app.core()->openDocument(image), nullptr);
    QApplication::processEvents();
    EXPECT_EQ(boxes, QStringList{"L1.1 ALOS2 CPX Original file Open"});
    ASSERT_EQ(frame->mdiArea()->subWindowList().size(), 1);
    EXPECT_NE(frame->activeDocument(), nullptr);
    QStringList titles;
    for (QAction* a : frame->menuBar()->actions()) titles << a->text();
    EXPECT_EQ(titles, (QStringList{"File", "View", "Process", "Window", "Help"}));
    QStringList processing;
    for (QAction* a : frame->menuBar()->actions())
        if (a->text() == "Process")
            for (QAction* sub : a->menu()->actions()) processing << sub->text();
    EXPECT_TRUE(processing.contains("Scene Info")) << processing.join(",").toStdString();
    EXPECT_NE(frame->action(32792), nullptr);
    EXPECT_TRUE(frame->action(32792)->isEnabled()) << "Save Tile Image after an original open";
    EXPECT_EQ(frame->recentFiles().value(0).toStdString(), image);
    frame->mdiArea()->closeAllSubWindows();
    QApplication::processEvents();
    EXPECT_TRUE(app.core()->documents().empty()) << "closing the window closes the document";
    EXPECT_EQ(frame->action(32780) != nullptr, true) << "back to the no-document menu";
    app.exitInstance();
}
