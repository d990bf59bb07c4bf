#pragma once

// The main frame: title "Tessarin", an MDI area with one child window per
// document, the menus built from the command table (the no-document menu
// while no document window is active, the document menu otherwise), and a
// status bar whose first pane carries the status texts, with a progress bar.

#include <QMainWindow>
#include <QKeySequence>
#include <QStringList>
#include <string>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "app/command_ids.h"
#include "qt_ui.h"

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QProgressBar;

namespace tessarin::document {
class CTessarinDoc;
}
namespace tessarin::display {
class ViewController;
}

namespace tessarin::app {

class AppCore;
struct CommandInfo;

class MainFrame : public QMainWindow {
    Q_OBJECT
public:
    MainFrame();
    ~MainFrame() override;

    Ui& ui() { return *ui_; }
    QMdiArea* mdiArea() const { return mdi_; }
    QString statusText() const;

    // Builds the menus from the command table and routes commands to core.
    void attach(AppCore& core);

    // The action of a command in the menu now shown (null when absent).
    QAction* action(int id) const;
    QAction* aboutAction() const { return action(cmd::kAppAbout); }
    QAction* exitAction() const { return action(cmd::kAppExit); }
    QAction* statusBarAction() const { return action(cmd::kViewStatusBar); }

    // The active document, if a document window is active.
    document::CTessarinDoc* activeDocument() const;
    // The core view logic of the active window, for view commands.
    display::ViewController* activeViewController() const;
    // Enables and checks every action for the active document, and shows the
    // menu that fits it.
    void updateActions();

    // The most-recently-used list (newest first, at most 4 entries), kept in
    // the settings so that it survives a restart.
    // Each entry keeps the OpenMode it was opened under, and reopens under it.
    QStringList recentFiles() const;
    // The OpenMode stored with an entry; none for an entry stored without
    // one (older settings) or not in the list.
    std::optional<int> recentFileMode(const QString& path) const;
    void addRecentFile(const QString& path, std::optional<int> openMode = std::nullopt);
    void openRecent(const QString& path);

    // The page of the view's keys and mouse actions (Help, F1).
    void showViewHelp();
    // A file dropped on the frame: opened under the mode its name implies.
    void openDropped(const QString& path);
    QString hoverText() const;
    const std::vector<std::pair<QAction*, const CommandInfo*>>& toolbarActions() const { return toolbarActions_; }
    QMenu* windowMenu() const { return currentSet().windowMenu; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    struct MenuSet {
        std::vector<QMenu*> topLevel;
        std::multimap<int, std::pair<QAction*, const CommandInfo*>> actions;
        QMenu* recentMenu = nullptr;      // the popup holding the recent-file entries
        QAction* recentAnchor = nullptr;  // entries go before this action
        QMenu* windowMenu = nullptr;
    };
    // A menu entry and the popup it goes into.
    struct MenuEntry {
        std::string popup;
        const CommandInfo* info;
    };
    void buildMenu(const std::vector<MenuEntry>& entries, MenuSet& set);
    void addWindowAndHelp(MenuSet& set, std::map<std::string, QMenu*>& popups);
    void fillWindowMenu(QMenu* menu);
    void buildToolbar();
    void restoreWindow();
    QString statusTipOf(const CommandInfo& info) const;
    static std::string fileGroupOf(const CommandInfo& info);
    static QKeySequence shortcutOf(int id);
    void runCommand(const CommandInfo& info);
    void rebuildRecentEntries(MenuSet& set);
    void addDocumentWindow(document::CTessarinDoc& doc);
    MenuSet& currentSet();
    const MenuSet& currentSet() const;

    QMdiArea* mdi_ = nullptr;
    QLabel* statusPane_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QLabel* hoverField_ = nullptr;  // what lies under the pointer
    QLabel* gainField_ = nullptr;   // the brightness gain
    std::vector<std::pair<QAction*, const CommandInfo*>> toolbarActions_;
    bool actualPixels_ = false;
    QAction* actualPixelsAction_ = nullptr;
    std::unique_ptr<QtUi> ui_;
    AppCore* core_ = nullptr;
    MenuSet noDocument_;
    MenuSet documentMenu_;
    bool showingDocumentMenu_ = false;
    std::map<QMdiSubWindow*, document::CTessarinDoc*> windows_;
    QList<QAction*> recentActions_;
};

}  // namespace tessarin::app
