#include "tessarin_app.h"

#include <QApplication>
#include <QSettings>
#include <QtGlobal>
#include <png.h>
#include <zlib.h>

#include "app/application.h"
#include "app/app_core.h"
#include "main_frame.h"

namespace tessarin::app {

TessarinApp::TessarinApp(std::string linkBlockName) : linkBlockName_(std::move(linkBlockName)) {}

TessarinApp::~TessarinApp() = default;

LinkBlock* TessarinApp::linkBlock() const { return core_ ? &core_->linkBlock() : nullptr; }

bool TessarinApp::initInstance() {
    QApplication::setOrganizationName(kSettingsOrganisation);
    QApplication::setApplicationName(kSettingsApplication);
    // No display name: Qt would append it to every title ("Tessarin - [FILE]" once).
    QApplication::setDesktopFileName("tessarin");

    frame_ = std::make_unique<MainFrame>();
    // A file named on the command line is deliberately not opened: start-up
    // always ends with an empty main frame.
    frame_->show();

    core_ = std::make_unique<AppCore>(frame_->ui(), linkBlockName_);
    if (!core_->linkBlock().valid()) {
        frame_->ui().message(LinkBlock::failureText(core_->linkBlock().failure()));
        return false;
    }
    registerModules(*core_);
    core_->aboutDetails = QString("Built with Qt %1 (running %2), libpng %3, zlib %4")
                              .arg(QT_VERSION_STR, qVersion(), PNG_LIBPNG_VER_STRING, ZLIB_VERSION)
                              .toStdString();
    frame_->attach(*core_);
    return true;
}

int TessarinApp::exitInstance() {
    QSettings s(kSettingsOrganisation, kSettingsApplication);
    if (!s.contains("ApplicationLook")) s.setValue("ApplicationLook", kDefaultApplicationLook);
    // The link block stays for other running copies, which share it.
    frame_.reset();
    core_.reset();
    return 0;
}

}  // namespace tessarin::app
