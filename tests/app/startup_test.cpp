// Offscreen start-up of the desktop: frame, menus, About box, link block,
// recent files.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QMdiArea>
#include <QMenuBar>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

#include "form_dialog.h"
#include "main_frame.h"
#include "platform/format.h"
#include "qt_ui.h"
#include "tessarin_app.h"

using namespace tessarin;
using namespace tessarin::app;

namespace {

// Runs `action`, which opens a modal box, and returns the box's text after
// pressing its default button.
QString textOfModalBox(const std::function<void()>& action) {
    QString text;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box) {
            text = box->text();
            box->accept();
        }
    });
    action();
    return text;
}

QStringList menuTitles(QMainWindow& w) {
    QStringList titles;
    for (QAction* a : w.menuBar()->actions()) titles << a->text();
    return titles;
}

std::string linkName() { return format("link_data_apptest_%d", static_cast<int>(::getpid())); }

}  // namespace

TEST(Startup, EmptyFrameWithTitleStatusAndMenus) {
    TessarinApp app(linkName());
    ASSERT_TRUE(app.initInstance());
    MainFrame* frame = app.mainFrame();
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(frame->windowTitle(), "Tessarin");
    EXPECT_EQ(frame->statusText(), "Ready");
    EXPECT_TRUE(frame->mdiArea()->subWindowList().isEmpty()) << "start-up opens no document";
    EXPECT_EQ(menuTitles(*frame), (QStringList{"File", "View", "Window", "Help"}));
    EXPECT_EQ(frame->aboutAction()->text(), "&About Tessarin...");
    ASSERT_NE(app.linkBlock(), nullptr);
    EXPECT_TRUE(app.linkBlock()->valid());
    app.linkBlock()->writeOpenMode(4);
    EXPECT_EQ(readLinkBlockOpenMode(linkName()), 4);

    // The status bar toggles from the View menu.
    frame->statusBarAction()->trigger();
    EXPECT_FALSE(frame->statusBar()->isVisible());
    frame->statusBarAction()->trigger();
    EXPECT_TRUE(frame->statusBar()->isVisible());

    EXPECT_EQ(app.exitInstance(), 0);
    LinkBlock::remove(linkName());
}

TEST(Startup, AboutBoxShowsTheVersion) {
    TessarinApp app(linkName());
    ASSERT_TRUE(app.initInstance());
    const QString text = textOfModalBox([&] { app.mainFrame()->aboutAction()->trigger(); });
    EXPECT_TRUE(text.startsWith("Tessarin, Version 2.1.7\n\nBuilt with Qt ")) << text.toStdString();
    EXPECT_TRUE(text.contains("libpng ") && text.contains("zlib ")) << text.toStdString();
    app.exitInstance();
    LinkBlock::remove(linkName());
}

TEST(Startup, LinkBlockFailureEndsStartUpWithItsMessage) {
    TessarinApp app("bad/link/name");
    bool ok = true;
    const QString text = textOfModalBox([&] { ok = app.initInstance(); });
    EXPECT_FALSE(ok);
    EXPECT_EQ(text, "Unable to create link data file");
}

TEST(Startup, RecentFilesKeepFourNewestFirst) {
    TessarinApp app(linkName());
    ASSERT_TRUE(app.initInstance());
    MainFrame* frame = app.mainFrame();
    // Each entry keeps the OpenMode it was opened under; "/d/b" was stored
    // without one, as older settings hold entries.
    const std::pair<const char*, std::optional<int>> opened[] = {
        {"/d/a", 0}, {"/d/b", std::nullopt}, {"/d/c", 1}, {"/d/d", 5}, {"/d/e", 4}, {"/d/c", 11}};
    for (const auto& [f, mode] : opened) frame->addRecentFile(f, mode);
    EXPECT_EQ(frame->recentFiles(), (QStringList{"/d/c", "/d/e", "/d/d", "/d/b"}));
    // Kept in the settings: a new frame sees the same list and modes.
    MainFrame other;
    EXPECT_EQ(other.recentFiles(), frame->recentFiles());
    const std::pair<const char*, std::optional<int>> kept[] = {
        {"/d/c", 11}, {"/d/e", 4}, {"/d/d", 5}, {"/d/b", std::nullopt}, {"/d/a", std::nullopt}};
    for (const auto& [f, mode] : kept) EXPECT_EQ(other.recentFileMode(f), mode) << f;
    QSettings s("Local AppWizard-Generated Applications", "Tessarin");
    EXPECT_EQ(s.value("Recent File List/File1").toString(), "/d/c");
    EXPECT_EQ(s.value("Recent File List/Mode1").toInt(), 11);
    app.exitInstance();
    LinkBlock::remove(linkName());
}

TEST(QtUiText, FiltersKeepTheirRealPatterns) {
    EXPECT_EQ(toQtFilter("cpx Files (*tile.cpx)|*tile.cpx||"), "cpx Files (*tile.cpx)");
    EXPECT_EQ(toQtFilter("tile Files (*tile)|*tilex|All Files (*.*)|*.*||"), "tile Files (*tilex);;All Files (*.*)");
    EXPECT_EQ(toQtFilter("*1.1*"), "*1.1* (*1.1*)");
}

TEST(FormDialogTest, RendersAndStoresEveryKind) {
    Form f("Image Parameter");
    f.addInt("pixel", "pixel", 12).addReal("gain", "gain", 0.5).addText("name", "name", "x");
    f.addRadio("order", "byte order", {"Big", "Little"}, 1).addCheck("copy", "copy", true);
    FormDialog dialog(f);
    EXPECT_EQ(dialog.windowTitle(), "Image Parameter");
    auto* pixel = qobject_cast<QLineEdit*>(dialog.control("pixel"));
    ASSERT_NE(pixel, nullptr);
    EXPECT_EQ(pixel->text(), "12");
    pixel->setText(" 1600 ");
    Form out = f;
    ASSERT_TRUE(dialog.store(out));
    EXPECT_EQ(out.intValue("pixel"), 1600);
    EXPECT_EQ(out.choice("order"), 1);
    EXPECT_TRUE(out.checked("copy"));
    pixel->setText("16x");
    EXPECT_FALSE(dialog.store(out)) << "a value that does not parse is not taken";
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication qapp(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
