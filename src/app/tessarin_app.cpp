#include "tessarin_app.h"

#include <QApplication>
#include <QSettings>

#include "app/application.h"
#include "main_frame.h"

namespace tessarin::app {

TessarinApp::TessarinApp(std::string linkBlockName) : linkBlockName_(std::move(linkBlockName)) {}

TessarinApp::~TessarinApp() = default;

bool TessarinApp::initInstance() {
    QApplication::setOrganizationName(kSettingsOrganisation);
    QApplication::setApplicationName(kSettingsApplication);
    QApplication::setApplicationDisplayName(kAppTitle);
    QApplication::setDesktopFileName("tessarin");

    frame_ = std::make_unique<MainFrame>();
    // A file named on the command line is deliberately not opened: start-up
    // always ends with an empty main frame.
    frame_->show();

    link_ = std::make_unique<LinkBlock>(linkBlockName_);
    if (!link_->valid()) {
        frame_->ui().message(LinkBlock::failureText(link_->failure()));
        return false;
    }
    return true;
}

int TessarinApp::exitInstance() {
    QSettings s(kSettingsOrganisation, kSettingsApplication);
    if (!s.contains("ApplicationLook")) s.setValue("ApplicationLook", kDefaultApplicationLook);
    // The link block stays for other running copies, which share it.
    link_.reset();
    frame_.reset();
    return 0;
}

}  // namespace tessarin::app
