#include "main_frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QToolBar>
#include <QUrl>
#include <algorithm>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QSettings>
#include <QStatusBar>
#include <functional>
#include <optional>
#include <vector>

#include "app/app_core.h"
#include "app/application.h"
#include "app/command_ids.h"
#include "app/command_table.h"
#include "app/view_help.h"
#include "platform/ui.h"
#include "child_frame.h"
#include "document/tessarin_doc.h"

namespace tessarin::app {

namespace {

constexpr const char* kRecentGroup = "Recent File List";
// Beside "File1".."File4": the OpenMode each entry was opened under.
constexpr const char* kRecentModeKey = "Mode%1";
constexpr const char* kGeometryKey = "MainFrame/geometry";
constexpr const char* kStateKey = "MainFrame/state";

QSettings settings() { return QSettings(kSettingsOrganisation, kSettingsApplication); }

// A document's child window; closing it closes the document.
class ChildWindow : public QMdiSubWindow {
public:
    std::function<void()> onClose;

protected:
    void closeEvent(QCloseEvent* event) override {
        if (onClose) onClose();
        QMdiSubWindow::closeEvent(event);
    }
};

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

    hoverField_ = new QLabel(this);
    gainField_ = new QLabel(this);
    statusBar()->addPermanentWidget(hoverField_);
    statusBar()->addPermanentWidget(gainField_);
    statusBar()->addPermanentWidget(progressBar_);

    ui_ = std::make_unique<QtUi>(this, statusPane_, progressBar_);
    connect(mdi_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow*) { updateActions(); });
    setAcceptDrops(true);
    restoreWindow();
}

MainFrame::~MainFrame() = default;

QString MainFrame::statusText() const { return statusPane_->text(); }
QString MainFrame::hoverText() const { return hoverField_->text(); }

void MainFrame::attach(AppCore& core) {
    core_ = &core;
    core.onDocumentOpened = [this](document::CTessarinDoc& doc) {
        addDocumentWindow(doc);
        addRecentFile(QString::fromStdString(doc.path()), doc.openMode());
    };
    // Without a document: the no-document menu, its File entries grouped by
    // the kind of data they open. With one: the same File entries, then the
    // document's own menus; both end with Window and Help.
    std::vector<MenuEntry> noDocument, document;
    std::vector<MenuEntry> framework;
    for (const CommandInfo* info : menuEntries(kMenuNoDocument)) {
        const std::string popup(info->popup.empty() ? std::string_view("File") : info->popup);
        if (popup == "File" && info->owner == CommandOwner::Framework) {
            framework.push_back({popup, info});
        } else if (popup == "File") {
            const MenuEntry grouped{popup + "/" + fileGroupOf(*info), info};
            noDocument.push_back(grouped);
            document.push_back(grouped);
        } else {
            noDocument.push_back({popup, info});
        }
    }
    // The document's processing menus go under one "Process" menu, so the
    // menu bar holds File, View, Process, Window and Help even on a small or
    // scaled screen.
    for (const CommandInfo* info : menuEntries(kMenuDocument)) {
        std::string popup(info->popup.empty() ? std::string_view("File") : info->popup);
        const auto levels = popupLevels(popup);
        if (!levels.empty() && levels.front() != "File" && levels.front() != "View") popup = "Process/" + popup;
        document.push_back({popup, info});
    }
    for (const MenuEntry& e : framework) {
        noDocument.push_back(e);
        if (e.info->id != cmd::kFilePrintSetup) document.push_back(e);  // the document's File has its own
    }
    for (const CommandInfo* info : menuEntries(kMenuNoDocument))
        if (info->popup == "Help") document.push_back({"Help", info});
    buildMenu(noDocument, noDocument_);
    buildMenu(document, documentMenu_);
    buildToolbar();
    updateActions();
}

std::string MainFrame::fileGroupOf(const CommandInfo& info) {
    switch (info.area) {
        case CommandArea::Tiles: return "ALOS-2 scenes and TileSets";
        case CommandArea::Products: return "ALOS and other products";
        case CommandArea::Composites: return "Composites";
        case CommandArea::Insar: return "Interferometry";
        case CommandArea::Rasters: return "Raw rasters and pure SLC";
        case CommandArea::Dem: return "DEM";
        case CommandArea::ImageFiles:
        case CommandArea::Conversion: return "Image files";
        default: return "Tools";
    }
}

QString MainFrame::statusTipOf(const CommandInfo& info) const {
    QString caption = QString::fromStdString(std::string(info.caption)).remove('&').trimmed();
    if (caption.isEmpty()) caption = QString("Command %1").arg(info.id);
    if (!info.hasHandler) return caption + ": not available in this program";
    if (info.owner == CommandOwner::Framework) return caption;
    if (core_ && !core_->hasRegisteredHandler(info.id)) return caption + ": not built yet";
    if (info.openMode >= 0) return caption + ": opens a file as a new document";
    if (info.owner == CommandOwner::Document || info.owner == CommandOwner::View) {
        if (info.area == CommandArea::Insar) return caption + ": needs an interferometric pair";
        if (info.area == CommandArea::Composites) return caption + ": needs a composite";
        return caption + ": needs an open document";
    }
    return caption;
}

void MainFrame::buildMenu(const std::vector<MenuEntry>& entries, MenuSet& set) {
    std::map<std::string, QMenu*> popups;
    for (const MenuEntry& entry : entries) {
        const CommandInfo* info = entry.info;
        // Find or create the popup path ("Tile (export/selction)", "File/Save Tile image").
        QMenu* menu = nullptr;
        std::string pathSoFar;
        for (const std::string_view levelView : popupLevels(entry.popup)) {
            const std::string level(levelView);
            pathSoFar += (pathSoFar.empty() ? "" : "/") + level;
            auto it = popups.find(pathSoFar);
            if (it == popups.end()) {
                QMenu* created = menu ? menu->addMenu(QString::fromStdString(level))
                                      : new QMenu(QString::fromStdString(level), this);
                if (!menu) set.topLevel.push_back(created);
                it = popups.emplace(pathSoFar, created).first;
            }
            menu = it->second;
        }
        if (info->id == cmd::kFileRecent) {
            set.recentMenu = menu;
            set.recentAnchor = menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(QString::fromStdString(std::string(info->caption)));
        action->setCheckable(info->checkable);
        action->setStatusTip(statusTipOf(*info));
        action->setShortcut(shortcutOf(info->id));
        set.actions.emplace(info->id, std::make_pair(action, info));
        connect(action, &QAction::triggered, this, [this, info] { runCommand(*info); });
    }
    if (set.recentMenu) rebuildRecentEntries(set);
    if (auto view = popups.find("View"); view != popups.end() && &set == &documentMenu_) {
        QAction* actual = view->second->addAction("Actual device pixels");
        actual->setCheckable(true);
        actual->setStatusTip("Actual device pixels: one image sample per screen pixel, whatever the display scale");
        connect(actual, &QAction::toggled, this, [this](bool on) {
            actualPixels_ = on;
            for (QMdiSubWindow* sub : mdi_->subWindowList())
                if (auto* v = dynamic_cast<CTessarinView*>(sub->widget())) v->setActualPixels(on);
        });
        actualPixelsAction_ = actual;
    }
    addWindowAndHelp(set, popups);
}

QKeySequence MainFrame::shortcutOf(int id) {
    switch (id) {
        case cmd::kAlos2L11TileFile: return QKeySequence(Qt::CTRL | Qt::Key_O);
        case cmd::kAlos2L11Image: return QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O);
        case cmd::kFileClose: return QKeySequence(Qt::CTRL | Qt::Key_W);
        case cmd::kAppExit: return QKeySequence(Qt::CTRL | Qt::Key_Q);
        default: return {};
    }
}

void MainFrame::addWindowAndHelp(MenuSet& set, std::map<std::string, QMenu*>& popups) {
    // Window: arrange and switch the document windows.
    QMenu* window = new QMenu("Window", this);
    set.windowMenu = window;
    connect(window, &QMenu::aboutToShow, this, [this, window] { fillWindowMenu(window); });
    fillWindowMenu(window);
    QMenu* help = nullptr;
    if (auto it = popups.find("Help"); it != popups.end()) {
        help = it->second;
        // Help stays last.
        set.topLevel.erase(std::remove(set.topLevel.begin(), set.topLevel.end(), help), set.topLevel.end());
    } else {
        help = new QMenu("Help", this);
    }
    set.topLevel.push_back(window);
    QAction* keys = help->addAction(kViewHelpTitle);
    keys->setShortcut(QKeySequence::HelpContents);
    keys->setStatusTip("The keys and mouse actions of the image view");
    connect(keys, &QAction::triggered, this, [this] { showViewHelp(); });
    set.topLevel.push_back(help);
}

void MainFrame::fillWindowMenu(QMenu* menu) {
    menu->clear();
    menu->addAction("Tile", mdi_, &QMdiArea::tileSubWindows);
    menu->addAction("Cascade", mdi_, &QMdiArea::cascadeSubWindows);
    QAction* next = menu->addAction("Next", mdi_, &QMdiArea::activateNextSubWindow);
    next->setShortcut(QKeySequence::NextChild);
    const auto windows = mdi_->subWindowList();
    if (!windows.isEmpty()) menu->addSeparator();
    for (int i = 0; i < windows.size(); ++i) {
        QMdiSubWindow* sub = windows[i];
        QAction* a = menu->addAction(QString("&%1 %2").arg(i + 1).arg(sub->windowTitle()));
        a->setCheckable(true);
        a->setChecked(sub == mdi_->activeSubWindow());
        connect(a, &QAction::triggered, this, [this, sub] { mdi_->setActiveSubWindow(sub); });
    }
}

void MainFrame::buildToolbar() {
    QToolBar* bar = addToolBar("Tools");
    bar->setObjectName("MainToolbar");
    for (int id : {cmd::kAlos2L11Image, cmd::kAlos2L15Image, cmd::kAlos2L11TileFile, cmd::kAlos2L15TileFile,
                   cmd::kAlos2L11FbdComposite, cmd::kHhHvComposite, cmd::kNewAlos2InferoPair, cmd::kOpenAlos2InferoPrj,
                   cmd::kSaveCurrentTile, cmd::kCreateImageFrameKml}) {
        const CommandInfo* info = findCommand(id);
        if (!info) continue;
        QAction* a = bar->addAction(QString::fromStdString(std::string(info->caption)));
        a->setStatusTip(statusTipOf(*info));
        connect(a, &QAction::triggered, this, [this, info] { runCommand(*info); });
        toolbarActions_.emplace_back(a, info);
    }
}

void MainFrame::showViewHelp() {
    QMessageBox box(QMessageBox::NoIcon, kViewHelpTitle, kViewHelpText, QMessageBox::Ok, this);
    box.setObjectName("ViewHelp");
    box.exec();
}

MainFrame::MenuSet& MainFrame::currentSet() { return showingDocumentMenu_ ? documentMenu_ : noDocument_; }
const MainFrame::MenuSet& MainFrame::currentSet() const { return showingDocumentMenu_ ? documentMenu_ : noDocument_; }

QAction* MainFrame::action(int id) const {
    const MenuSet& set = currentSet();
    const auto it = set.actions.find(id);
    return it == set.actions.end() ? nullptr : it->second.first;
}

display::ViewController* MainFrame::activeViewController() const {
    QMdiSubWindow* sub = mdi_->activeSubWindow();
    auto* view = sub ? dynamic_cast<CTessarinView*>(sub->widget()) : nullptr;
    return view ? &view->controller() : nullptr;
}

document::CTessarinDoc* MainFrame::activeDocument() const {
    const auto it = windows_.find(mdi_->activeSubWindow());
    return it == windows_.end() ? nullptr : it->second;
}

void MainFrame::updateActions() {
    document::CTessarinDoc* doc = activeDocument();
    if (core_) core_->activeView = activeViewController();
    const bool wantDocumentMenu = doc != nullptr;
    if (menuBar()->actions().isEmpty() || wantDocumentMenu != showingDocumentMenu_) {
        showingDocumentMenu_ = wantDocumentMenu;
        menuBar()->clear();
        for (QMenu* m : currentSet().topLevel) menuBar()->addMenu(m);
    }
    for (auto& [id, entry] : currentSet().actions) {
        auto [action, info] = entry;
        bool enabled = false;
        bool checked = false;
        if (info->owner == CommandOwner::Framework) {
            enabled = id == cmd::kAppExit || id == cmd::kViewStatusBar || (id == cmd::kFileClose && doc);
            checked = id == cmd::kViewStatusBar && statusBar()->isVisible();
        } else if (core_) {
            enabled = core_->isEnabled(*info, doc);
            checked = core_->isChecked(*info, doc);
        }
        action->setEnabled(enabled);
        if (action->isCheckable()) action->setChecked(checked);
    }
    for (auto& [action, info] : toolbarActions_) action->setEnabled(core_ && core_->isEnabled(*info, doc));
    if (!doc) {
        hoverField_->clear();
        gainField_->clear();
    }
}

void MainFrame::runCommand(const CommandInfo& info) {
    if (info.owner == CommandOwner::Framework) {
        if (info.id == cmd::kAppExit) close();
        else if (info.id == cmd::kViewStatusBar) statusBar()->setVisible(!statusBar()->isVisible());
        else if (info.id == cmd::kFileClose) mdi_->closeActiveSubWindow();
    } else if (core_) {
        core_->activeView = activeViewController();
        // Opening and processing write progress texts, which give way to
        // "Ready" when the work ends; a command whose result is a status
        // text (an application tool) keeps it.
        std::optional<BusyScope> work;
        if (info.openMode >= 0 || info.owner != CommandOwner::Application) work.emplace(*ui_);
        core_->run(info, activeDocument());
        work.reset();
        // View commands change what the view shows.
        if (QMdiSubWindow* sub = mdi_->activeSubWindow(); sub && sub->widget()) sub->widget()->update();
        if (core_->exitRequested) close();
    }
    updateActions();
}

void MainFrame::addDocumentWindow(document::CTessarinDoc& doc) {
    auto* window = new ChildWindow;
    auto* view = new CTessarinView(doc, window);
    window->setWidget(view);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(QString::fromStdString(doc.fileName()));
    view->setActualPixels(actualPixels_);
    view->onPointer = [this](const QString& hover, const QString& gain) {
        hoverField_->setText(hover);
        gainField_->setText(gain);
    };
    document::CTessarinDoc* docPtr = &doc;
    window->onClose = [this, window, docPtr] {
        windows_.erase(window);
        if (core_) core_->closeDocument(docPtr);
        // Nothing of the closed document stays in the status bar.
        statusPane_->setText(kReadyText);
        hoverField_->clear();
        gainField_->clear();
        updateActions();
    };
    windows_[window] = &doc;
    mdi_->addSubWindow(window);
    window->showMaximized();
    mdi_->setActiveSubWindow(window);
    updateActions();
}

void MainFrame::restoreWindow() {
    // The first window fits the screen it opens on; later ones come back as
    // they were left, still within the screen.
    const QSettings s = settings();
    if (!restoreGeometry(s.value(kGeometryKey).toByteArray())) resize(1600, 1100);
    const QScreen* shown = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!shown) return;
    const QRect available = shown->availableGeometry();
    if (width() > available.width() || height() > available.height() || !available.intersects(frameGeometry())) {
        resize(std::min(width(), available.width() * 9 / 10), std::min(height(), available.height() * 9 / 10));
        move(available.center() - rect().center());
    }
    restoreState(s.value(kStateKey).toByteArray());
}

void MainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainFrame::dropEvent(QDropEvent* event) {
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) openDropped(url.toLocalFile());
    }
    event->acceptProposedAction();
}

void MainFrame::openDropped(const QString& path) {
    if (!core_) return;
    const std::string file = path.toStdString();
    const auto mode = core_->impliedOpenMode(file);
    if (!mode) {
        ui_->message("\"" + file +
                     "\" is neither a TileSet (tile, tile.cpx) nor an ALOS-2 level 1.1 or 1.5 image: open it from the "
                     "File menu");
        return;
    }
    {
        BusyScope work(*ui_);
        core_->reopenRecent(file, mode);
    }
    updateActions();
}

void MainFrame::closeEvent(QCloseEvent* event) {
    QSettings s = settings();
    s.setValue(kGeometryKey, saveGeometry());
    s.setValue(kStateKey, saveState());
    mdi_->closeAllSubWindows();
    QMainWindow::closeEvent(event);
}

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

std::optional<int> MainFrame::recentFileMode(const QString& path) const {
    QSettings s = settings();
    s.beginGroup(kRecentGroup);
    for (int i = 1; i <= kRecentFileCount; ++i) {
        if (s.value(QString("File%1").arg(i)).toString() != path) continue;
        bool ok = false;
        const int mode = s.value(QString(kRecentModeKey).arg(i)).toInt(&ok);
        if (ok) return mode;
        return std::nullopt;
    }
    return std::nullopt;
}

void MainFrame::addRecentFile(const QString& path, std::optional<int> openMode) {
    QStringList files = recentFiles();
    std::vector<std::optional<int>> modes;
    for (const QString& f : files) modes.push_back(recentFileMode(f));
    for (int i = static_cast<int>(files.size()) - 1; i >= 0; --i) {
        if (files[i] != path) continue;
        files.removeAt(i);
        modes.erase(modes.begin() + i);
    }
    files.prepend(path);
    modes.insert(modes.begin(), openMode);
    while (files.size() > kRecentFileCount) {
        files.removeLast();
        modes.pop_back();
    }
    QSettings s = settings();
    s.beginGroup(kRecentGroup);
    for (int i = 1; i <= kRecentFileCount; ++i) {
        const QString key = QString("File%1").arg(i);
        const QString modeKey = QString(kRecentModeKey).arg(i);
        if (i <= files.size()) s.setValue(key, files[i - 1]);
        else s.remove(key);
        const auto& mode = i <= files.size() ? modes[static_cast<std::size_t>(i - 1)] : std::nullopt;
        if (mode) s.setValue(modeKey, *mode);
        else s.remove(modeKey);
    }
    s.endGroup();
    rebuildRecentEntries(noDocument_);
    rebuildRecentEntries(documentMenu_);
}

void MainFrame::openRecent(const QString& path) {
    // The entry's own OpenMode decides; an entry stored without one opens
    // under the mode its name implies, else under the last OpenMode.
    if (core_) {
        BusyScope work(*ui_);
        core_->reopenRecent(path.toStdString(), recentFileMode(path));
    }
    updateActions();
}

void MainFrame::rebuildRecentEntries(MenuSet& set) {
    if (!set.recentMenu) return;
    for (QAction* a : set.recentMenu->actions()) {
        if (a->property("recent").toBool()) {
            set.recentMenu->removeAction(a);
            a->deleteLater();
        }
    }
    const QStringList files = recentFiles();
    if (files.isEmpty()) {
        auto* none = new QAction("Recent File", set.recentMenu);
        none->setEnabled(false);
        none->setProperty("recent", true);
        set.recentMenu->insertAction(set.recentAnchor, none);
    }
    for (int i = 0; i < files.size(); ++i) {
        auto* a = new QAction(QString("&%1 %2").arg(i + 1).arg(files[i]), set.recentMenu);
        a->setProperty("recent", true);
        const QString path = files[i];
        connect(a, &QAction::triggered, this, [this, path] { openRecent(path); });
        set.recentMenu->insertAction(set.recentAnchor, a);
    }
}

}  // namespace tessarin::app
