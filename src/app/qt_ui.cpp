#include "qt_ui.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCryptographicHash>
#include <QFileInfo>
#include <QSettings>
#include <QFileDialog>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QProgressBar>
#include <QStringList>

#include "app/application.h"
#include "form_dialog.h"
#include "platform/work_folder.h"

namespace tessarin::app {

QString toQtFilter(const std::string& filter) {
    QStringList out;
    for (const auto& f : parseFileFilter(filter)) {
        QStringList patterns;
        for (const auto& p : f.patterns) patterns << QString::fromStdString(p);
        const QString desc = QString::fromStdString(f.description);
        const QString joined = patterns.join(' ');
        // Qt reads the patterns from the parentheses; the patterns that count
        // are the filter's own, whatever the description says.
        QString name = desc.contains('(') ? desc.left(desc.indexOf('(')).trimmed() : desc;
        if (name == joined) name.clear();
        out << (name.isEmpty() ? joined : name) + " (" + joined + ")";
    }
    return out.join(";;");
}

QtUi::QtUi(QMainWindow* window, QLabel* statusPane, QProgressBar* progressBar)
    : window_(window), statusPane_(statusPane), progressBar_(progressBar) {}

void QtUi::message(const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, kAppTitle, QString::fromStdString(text), QMessageBox::Ok, window_);
    box.exec();
}

void QtUi::status(const std::string& text) {
    if (busyDepth_ > 0) progressShown_ = true;
    if (statusPane_) statusPane_->setText(QString::fromStdString(text));
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtUi::progress(long long done, long long total) {
    if (!progressBar_) return;
    if (total <= 0 || done >= total) {
        progressBar_->hide();
        return;
    }
    progressBar_->setRange(0, 1000);
    progressBar_->setValue(static_cast<int>(1000 * done / total));
    progressBar_->show();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

namespace {

QString folderKey(const FileDialog& dialog) {
    const std::string kind = dialog.filter.empty() ? dialog.title : dialog.filter;
    return "Folders/" + QString(QCryptographicHash::hash(QByteArray::fromStdString(kind), QCryptographicHash::Md5).toHex());
}

// Long product names differ at their ends: show them whole.
void showWholeNames(QFileDialog& d) {
    for (auto* view : d.findChildren<QAbstractItemView*>()) view->setTextElideMode(Qt::ElideNone);
}

}  // namespace

QString QtUi::startFolder(const FileDialog& dialog) {
    const QSettings s(kSettingsOrganisation, kSettingsApplication);
    const QString last = s.value(folderKey(dialog)).toString();
    if (!last.isEmpty() && QFileInfo(last).isDir()) return last;
    return QString::fromStdString(tessarin::workFolder());
}

void QtUi::rememberFolder(const FileDialog& dialog, const QString& chosenPath) {
    QSettings s(kSettingsOrganisation, kSettingsApplication);
    s.setValue(folderKey(dialog), QFileInfo(chosenPath).absolutePath());
}

std::optional<std::string> QtUi::openFile(const FileDialog& dialog) {
    const QString start = dialog.initialPath.empty() ? startFolder(dialog) : QString::fromStdString(dialog.initialPath);
    QFileDialog d(window_, QString::fromStdString(dialog.title), start, toQtFilter(dialog.filter));
    d.setFileMode(QFileDialog::ExistingFile);
    d.setOption(QFileDialog::ReadOnly);
    showWholeNames(d);
    if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return std::nullopt;
    const QString path = d.selectedFiles().front();
    rememberFolder(dialog, path);
    return path.toStdString();
}

std::optional<std::string> QtUi::saveFile(const FileDialog& dialog) {
    const QString start = dialog.initialPath.empty() ? startFolder(dialog) : QString::fromStdString(dialog.initialPath);
    QFileDialog d(window_, QString::fromStdString(dialog.title), start, toQtFilter(dialog.filter));
    d.setAcceptMode(QFileDialog::AcceptSave);
    showWholeNames(d);
    if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return std::nullopt;
    const QString path = d.selectedFiles().front();
    rememberFolder(dialog, path);
    return path.toStdString();
}

std::optional<std::string> QtUi::chooseFolder(const std::string& title) {
    const QString path = QFileDialog::getExistingDirectory(window_, QString::fromStdString(title));
    if (path.isEmpty()) return std::nullopt;
    return path.toStdString();
}

bool QtUi::form(Form& f) {
    FormDialog dialog(f, window_);
    return dialog.exec() == QDialog::Accepted && dialog.store(f);
}

void QtUi::beginBusy() {
    if (busyDepth_++ == 0) QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtUi::endBusy() {
    if (busyDepth_ > 0 && --busyDepth_ == 0) {
        QApplication::restoreOverrideCursor();
        if (progressBar_) progressBar_->hide();
        if (progressShown_ && statusPane_) statusPane_->setText(kReadyText);
        progressShown_ = false;
    }
}

}  // namespace tessarin::app
