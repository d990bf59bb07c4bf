// The shell's own commands: About and Exit.

#include "app/app_core.h"
#include "app/application.h"
#include "app/command_ids.h"
#include "app/modules.h"
#include "platform/ui.h"

namespace tessarin::app {

void registerShellCommands(AppCore& app) {
    app.registerHandler(CommandArea::Shell, cmd::kAppAbout,
                        {[](CommandContext& ctx) {
                             const std::string& details = ctx.app.aboutDetails;
                             ctx.ui.message(details.empty() ? std::string(kAboutText)
                                                            : std::string(kAboutText) + "\n\n" + details);
                         },
                         {},
                         {}});
    app.registerHandler(CommandArea::Framework, cmd::kAppExit,
                        {[](CommandContext& ctx) { ctx.app.exitRequested = true; }, {}, {}});
    app.declareAreaComplete(CommandArea::Shell);
}

}  // namespace tessarin::app
