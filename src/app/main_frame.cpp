#include "main_frame.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QSettings>
#include <QStatusBar>

#include "app/application.h"

namespace tessarin::app {

namespace {

constexpr const char* kRecentGroup = "Recent File List";

QSettings settings() { return QSettings(kSettingsOrganisation, kSettingsApplication); }

}  // namespace

MainFrame::MainFrame() {
    setWindowTitle(kAppTitle);
    mdi_ = new QMdiArea(this);
    mdi_->setViewMode(QMdiArea::SubWindowView);
    setCentralWidget(mdi_);

    statusPane_ = new QLabel(kReadyText, this);
    progressBar_ = new QProgressBar(this);
    progressBar_->setMaximumWidth(200);
    progressBar_->setTextVisible(false);
    progressBar_->hide();
    statusBar()->addWidget(statusPane_, 1);
    statusBar()->addPermanentWidget(progressBar_);

    ui_ = std::make_unique<QtUi>(this, statusPane_, progressBar_);
    buildMenus();
    resize(1280, 900);
}

MainFrame::~MainFrame() = default;

QString MainFrame::statusText() const { return statusPane_->text(); }

void MainFrame::buildMenus() {
    fileMenu_ = menuBar()->addMenu("&File");
    recentSeparator_ = fileMenu_->addSeparator();
    exitAction_ = fileMenu_->addAction("E&xit");
    exitAction_->setStatusTip("Quit the application; prompts to save documents");
    connect(exitAction_, &QAction::triggered, this, &QWidget::close);
    rebuildRecentMenu();

    QMenu* view = menuBar()->addMenu("&View");
    statusBarAction_ = view->addAction("&Status Bar");
    statusBarAction_->setCheckable(true);
    statusBarAction_->setChecked(true);
    connect(statusBarAction_, &QAction::toggled, statusBar(), &QWidget::setVisible);

    QMenu* help = menuBar()->addMenu("&Help");
    aboutAction_ = help->addAction("&About Tessarin...");
    connect(aboutAction_, &QAction::triggered, this, &MainFrame::showAbout);
}

void MainFrame::showAbout() { ui_->message(kAboutText); }

QStringList MainFrame::recentFiles() const {
    QSettings s = settings();
    s.beginGroup(kRecentGroup);
    QStringList files;
    for (int i = 1; i <= kRecentFileCount; ++i) {
        const QString f = s.value(QString("File%1").arg(i)).toString();
        if (!f.isEmpty()) files << f;
    }
    return files;
}

void MainFrame::addRecentFile(const QString& path) {
    QStringList files = recentFiles();
    files.removeAll(path);
    files.prepend(path);
    while (files.size() > kRecentFileCount) files.removeLast();
    QSettings s = settings();
    s.beginGroup(kRecentGroup);
    for (int i = 1; i <= kRecentFileCount; ++i) {
        const QString key = QString("File%1").arg(i);
        if (i <= files.size()) s.setValue(key, files[i - 1]);
        else s.remove(key);
    }
    s.endGroup();
    rebuildRecentMenu();
}

void MainFrame::rebuildRecentMenu() {
    for (QAction* a : recentActions_) {
        fileMenu_->removeAction(a);
        a->deleteLater();
    }
    recentActions_.clear();
    const QStringList files = recentFiles();
    if (files.isEmpty()) {
        auto* none = new QAction("Recent File", this);
        none->setEnabled(false);
        fileMenu_->insertAction(recentSeparator_, none);
        recentActions_ << none;
    }
    for (int i = 0; i < files.size(); ++i) {
        auto* a = new QAction(QString("&%1 %2").arg(i + 1).arg(files[i]), this);
        const QString path = files[i];
        connect(a, &QAction::triggered, this, [this, path] { emit recentFileChosen(path); });
        fileMenu_->insertAction(recentSeparator_, a);
        recentActions_ << a;
    }
}

}  // namespace tessarin::app
