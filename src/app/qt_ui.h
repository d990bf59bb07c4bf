#pragma once
// The desktop's Ui: modal message boxes, the first status-bar pane with a
// progress bar, Qt file dialogs, Forms rendered by FormDialog, busy cursor.

#include <QPointer>

#include "platform/ui.h"

class QLabel;
class QMainWindow;
class QProgressBar;
class QString;

namespace tessarin::app {

// "Desc (*.x)|*.x||" -> "Desc (*.x);;..." for QFileDialog.
QString toQtFilter(const std::string& filter);

class QtUi : public Ui {
public:
    QtUi(QMainWindow* window, QLabel* statusPane, QProgressBar* progressBar);

    void message(const std::string& text) override;
    void status(const std::string& text) override;
    void progress(long long done, long long total) override;
    std::optional<std::string> openFile(const FileDialog& dialog) override;
    std::optional<std::string> saveFile(const FileDialog& dialog) override;
    std::optional<std::string> chooseFolder(const std::string& title) override;
    bool form(Form& form) override;
    void beginBusy() override;
    void endBusy() override;

    // The folder a file dialog of this filter (or title) starts in: the one
    // last used for that kind of file, else the work folder.
    static QString startFolder(const FileDialog& dialog);
    static void rememberFolder(const FileDialog& dialog, const QString& chosenPath);

private:
    QPointer<QMainWindow> window_;
    QPointer<QLabel> statusPane_;
    QPointer<QProgressBar> progressBar_;
    int busyDepth_ = 0;
    // A status text was written while busy: it is progress, and "Ready"
    // replaces it when the work ends.
    bool progressShown_ = false;
};

}  // namespace tessarin::app
