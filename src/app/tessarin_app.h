#pragma once
// The application object: creates the main frame, ignores any file named on
// the command line, and creates the shared link block that carries each open
// command's OpenMode to the document it creates.

#include <memory>
#include <string>

#include "platform/link_block.h"

namespace tessarin::app {
class AppCore;
}

namespace tessarin::app {

class MainFrame;

class TessarinApp {
public:
    explicit TessarinApp(std::string linkBlockName = kLinkBlockName);
    ~TessarinApp();

    // Start-up in the original order; false when start-up fails (the failure
    // has been shown to the user and the application should end).
    bool initInstance();
    // Exit: stores the settings and returns the exit code.
    int exitInstance();

    MainFrame* mainFrame() const { return frame_.get(); }
    LinkBlock* linkBlock() const;
    AppCore* core() const { return core_.get(); }

private:
    std::string linkBlockName_;
    std::unique_ptr<MainFrame> frame_;
    std::unique_ptr<AppCore> core_;
};

}  // namespace tessarin::app
