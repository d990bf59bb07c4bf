#include "main_frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
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
#include "child_frame.h"
#include "document/tessarin_doc.h"

namespace tessarin::app {

namespace {

constexpr const char* kRecentGroup = "Recent File List";
// Beside "File1".."File4": the OpenMode each entry was opened under.
constexpr const char* kRecentModeKey = "Mode%1";

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
    statusBar()->addPermanentWidget(progressBar_);

    ui_ = std::make_unique<QtUi>(this, statusPane_, progressBar_);
    connect(mdi_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow*) { updateActions(); });
    resize(1600, 1100);
}

MainFrame::~MainFrame() = default;

QString MainFrame::statusText() const { return statusPane_->text(); }

void MainFrame::attach(AppCore& core) {
    core_ = &core;
    core.onDocumentOpened = [this](document::CTessarinDoc& doc) {
        addDocumentWindow(doc);
        addRecentFile(QString::fromStdString(doc.path()), doc.openMode());
    };
    buildMenu(kMenuNoDocument, noDocument_);
    buildMenu(kMenuDocument, documentMenu_);
    updateActions();
}

void MainFrame::buildMenu(int menuId, MenuSet& set) {
    std::map<std::string, QMenu*> popups;
    for (const CommandInfo* info : menuEntries(menuId)) {
        // Find or create the popup path ("Tile (export/selction)", "File/Save Tile image").
        QMenu* menu = nullptr;
        std::string pathSoFar;
        const std::string_view popup = info->popup.empty() ? std::string_view("File") : info->popup;
        for (const std::string_view levelView : popupLevels(popup)) {
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
        set.actions.emplace(info->id, std::make_pair(action, info));
        connect(action, &QAction::triggered, this, [this, info] { runCommand(*info); });
    }
    if (set.recentMenu) rebuildRecentEntries(set);
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
}

void MainFrame::runCommand(const CommandInfo& info) {
    if (info.owner == CommandOwner::Framework) {
        if (info.id == cmd::kAppExit) close();
        else if (info.id == cmd::kViewStatusBar) statusBar()->setVisible(!statusBar()->isVisible());
        else if (info.id == cmd::kFileClose) mdi_->closeActiveSubWindow();
    } else if (core_) {
        core_->activeView = activeViewController();
        core_->run(info, activeDocument());
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
    document::CTessarinDoc* docPtr = &doc;
    window->onClose = [this, window, docPtr] {
        windows_.erase(window);
        if (core_) core_->closeDocument(docPtr);
        updateActions();
    };
    windows_[window] = &doc;
    mdi_->addSubWindow(window);
    window->showMaximized();
    mdi_->setActiveSubWindow(window);
    updateActions();
}

void MainFrame::showAbout() { ui_->message(kAboutText); }

void MainFrame::closeEvent(QCloseEvent* event) {
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
    if (core_) core_->reopenRecent(path.toStdString(), recentFileMode(path));
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
