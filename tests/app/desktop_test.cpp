// The desktop as a user meets it: a window that fits the screen, menus that
// keep opening and leaving with documents open, a readout that follows the
// pointer, no stale status texts, files dropped on the frame.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <regex>

#include "app/app_core.h"
#include "app/command_ids.h"
#include "app/command_table.h"
#include "child_frame.h"
#include "main_frame.h"
#include "platform/format.h"
#include "platform/ui.h"
#include "support/product_fixture.h"
#include "support/temp_dir.h"
#include "tessarin_app.h"

using namespace tessarin;
using namespace tessarin::app;
namespace pr = tessarin::products;

namespace {

using DesktopTest = tessarin::testing::WorkFolderTest;

// The values of "pv1=A, pv2=B(dB)" in a click readout.
std::pair<double, double> readoutValues(const std::string& readout) {
    std::smatch m;
    EXPECT_TRUE(std::regex_search(readout, m, std::regex("pv1=(-?[0-9.]+), pv2=(-?[0-9.]+)"))) << readout;
    return {std::stod(m[1]), std::stod(m[2])};
}

QStringList entriesOf(QMenu* menu) {
    QStringList out;
    for (QAction* a : menu->actions()) out << a->text();
    return out;
}

QMenu* topMenu(MainFrame& frame, const QString& title) {
    for (QAction* a : frame.menuBar()->actions())
        if (a->text() == title) return a->menu();
    return nullptr;
}

}  // namespace

TEST_F(DesktopTest, MenusReadoutStatusTextsAndDrops) {
    // A dual-polarisation level 1.5 scene, both polarisations tiled.
    auto product = tessarin::testing::plausibleProduct(
        path("product"), {.level = pr::kLevel15, .pixels = 1100, .lines = 1300, .polarisations = {"HH", "HV"}});
    pr::SampleSource source;
    source.amplitudeLine = [](std::size_t pol, int n, std::span<std::uint16_t> s) {
        for (std::size_t x = 0; x < s.size(); ++x) s[x] = static_cast<std::uint16_t>(200 + 900 * pol + (x + 3 * static_cast<std::size_t>(n)) % 700);
    };
    const auto written = pr::writeCeosProduct(product, source);
    std::vector<std::string> tiles;
    {
        ScriptedUi scripted(written.imagePaths);
        AppCore tiler(scripted, linkName + "_tiler");
        registerModules(tiler);
        for (std::size_t k = 0; k < 2; ++k) {
            ASSERT_TRUE(tiler.run(*findCommand(cmd::kAlos2L15Image), nullptr));
            tiles.push_back(tiler.documents().back()->tileNames().tile);
            tiler.closeDocument(tiler.documents().back().get());
        }
        LinkBlock::remove(linkName + "_tiler");
    }

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
    MainFrame& frame = *app.mainFrame();
    const QRect screen = frame.screen()->availableGeometry();
    EXPECT_LE(frame.frameGeometry().width(), screen.width());
    EXPECT_LE(frame.frameGeometry().height(), screen.height());

    // A TileSet dropped on the frame opens under the mode its name implies;
    // the progress texts of the open end in "Ready".
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(tiles[0]))});
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&frame, &enter);
    EXPECT_TRUE(enter.isAccepted()) << "the frame takes files";
    QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&frame, &drop);
    EXPECT_TRUE(drop.isAccepted());
    ASSERT_EQ(app.core()->documents().size(), 1u) << boxes.join("|").toStdString();
    EXPECT_EQ(app.core()->documents().back()->openMode(), 4);
    EXPECT_EQ(frame.statusText(), "Ready");
    const std::string name = app.core()->documents().back()->fileName();
    EXPECT_EQ(frame.windowTitle().toStdString(), "Tessarin - [" + name + "]");

    // With a document open the menus still open, close and leave.
    for (const char* title : {"File", "Window", "Help"}) EXPECT_NE(topMenu(frame, title), nullptr) << title;
    QMenu* file = topMenu(frame, "File");
    ASSERT_NE(file, nullptr);
    const QStringList fileEntries = entriesOf(file);
    for (const char* e : {"ALOS-2 scenes and TileSets", "Composites", "&Close", "E&xit"})
        EXPECT_TRUE(fileEntries.contains(e)) << e << " in " << fileEntries.join(",").toStdString();
    EXPECT_TRUE(fileEntries.filter(QString::fromStdString(tiles[0])).size() == 1) << "the recent files";
    ASSERT_NE(frame.action(cmd::kAlos2L11TileFile), nullptr);
    EXPECT_TRUE(frame.action(cmd::kAlos2L11TileFile)->isEnabled());
    EXPECT_EQ(frame.action(cmd::kAlos2L11TileFile)->shortcut(), QKeySequence("Ctrl+O"));
    EXPECT_TRUE(frame.action(cmd::kFileClose)->isEnabled());
    EXPECT_TRUE(frame.action(cmd::kAppExit)->isEnabled());
    EXPECT_TRUE(frame.action(cmd::kAlosL10)->statusTip().contains("not available")) << "no handler: says why";

    // A second document: the composite of the HV member.
    app.core()->linkBlock().writeOpenMode(2);
    ASSERT_NE(app.core()->openDocument(tiles[1]), nullptr) << boxes.join("|").toStdString();
    QApplication::processEvents();
    ASSERT_EQ(frame.mdiArea()->subWindowList().size(), 2);
    QMenu* window = frame.windowMenu();
    ASSERT_NE(window, nullptr);
    emit window->aboutToShow();
    EXPECT_EQ(entriesOf(window).filter(QRegularExpression("^&[12] ")).size(), 2) << entriesOf(window).join(",").toStdString();

    // The hover field shows the click readout's values, each channel named.
    auto* view = dynamic_cast<CTessarinView*>(frame.mdiArea()->activeSubWindow()->widget());
    ASSERT_NE(view, nullptr);
    document::CTessarinDoc& composite = view->document();
    composite.setCtrorigin({0, 0});
    composite.assembleCanvas();
    composite.renderCanvasDisplays();
    view->resize(1600, 1100);
    view->controller().paint(1600, 1100);
    QMouseEvent move(QEvent::MouseMove, QPointF(300, 200), view->mapToGlobal(QPointF(300, 200)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view, &move);
    const std::string hover = frame.hoverText().toStdString();
    view->controller().leftButtonDown({300, 200}, {});
    const auto [pv1, pv2] = readoutValues(view->controller().lastReadout());
    EXPECT_NE(hover.find(format("HV %.2f dB", pv1)), std::string::npos) << hover;
    EXPECT_NE(hover.find(format("HH %.2f dB", pv2)), std::string::npos) << hover;
    EXPECT_NE(hover.find("pix,lin 300,200"), std::string::npos) << hover;
    EXPECT_GT(pv1, -100.0) << "a point inside the scene";
    // TESSARIN_SCREENSHOT=FILE.png keeps the window for a person to look at.
    if (qEnvironmentVariableIsSet("TESSARIN_SCREENSHOT")) frame.grab().save(qEnvironmentVariable("TESSARIN_SCREENSHOT"));

    // What the frame cannot open it says; closing leaves nothing behind.
    boxes.clear();
    frame.openDropped(QString::fromStdString(path("notes.txt")));
    EXPECT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes.value(0).contains("neither a TileSet")) << boxes.join("|").toStdString();
    frame.mdiArea()->closeAllSubWindows();
    QApplication::processEvents();
    EXPECT_TRUE(app.core()->documents().empty());
    EXPECT_EQ(frame.statusText(), "Ready");
    EXPECT_TRUE(frame.hoverText().isEmpty());
    app.exitInstance();
}
