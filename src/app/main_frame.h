#pragma once
// The main frame: title "Tessarin", an MDI area for the documents, the
// no-document menu, and a status bar whose first pane carries the status
// texts, with a progress bar beside it.

#include <QMainWindow>
#include <QStringList>
#include <memory>

#include "qt_ui.h"

class QAction;
class QLabel;
class QMdiArea;
class QMenu;
class QProgressBar;

namespace tessarin::app {

class MainFrame : public QMainWindow {
    Q_OBJECT
public:
    MainFrame();
    ~MainFrame() override;

    Ui& ui() { return *ui_; }
    QMdiArea* mdiArea() const { return mdi_; }
    QString statusText() const;
    QAction* aboutAction() const { return aboutAction_; }
    QAction* exitAction() const { return exitAction_; }
    QAction* statusBarAction() const { return statusBarAction_; }

    // The most-recently-used list (newest first, at most 4 entries), kept in
    // the settings so that it survives a restart.
    QStringList recentFiles() const;
    void addRecentFile(const QString& path);

    void showAbout();

signals:
    void recentFileChosen(const QString& path);

private:
    void buildMenus();
    void rebuildRecentMenu();

    QMdiArea* mdi_ = nullptr;
    QLabel* statusPane_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QMenu* fileMenu_ = nullptr;
    QAction* recentSeparator_ = nullptr;
    QList<QAction*> recentActions_;
    QAction* exitAction_ = nullptr;
    QAction* statusBarAction_ = nullptr;
    QAction* aboutAction_ = nullptr;
    std::unique_ptr<QtUi> ui_;
};

}  // namespace tessarin::app
