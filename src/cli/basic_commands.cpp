// Small subcommands: the About text, the work folder, the link block.

#include <cstdint>
#include <cstdio>

#include "app/application.h"
#include "platform/link_block.h"
#include "platform/text.h"
#include "platform/work_folder.h"
#include "subcommands.h"

namespace tessarin::cli {

namespace {

int runAbout(const Args&, ConsoleUi& ui) {
    ui.message(app::kAboutText);
    return 0;
}

int runWorkdir(const Args&, ConsoleUi&) {
    std::printf("%s\n", workFolder().c_str());
    return 0;
}

int runLink(const Args& args, ConsoleUi& ui) {
    LinkBlock block;
    if (!block.valid()) {
        ui.message(LinkBlock::failureText(block.failure()));
        return 1;
    }
    if (const auto mode = args.value("write")) {
        const auto value = parseInteger(*mode);
        if (!value || *value < INT32_MIN || *value > INT32_MAX) throw UsageError("--write expects an integer");
        block.writeOpenMode(static_cast<std::int32_t>(*value));
    }
    const auto read = readLinkBlockOpenMode();
    if (!read) {
        ui.message("Can't open link data file");
        return 1;
    }
    std::printf("OpenMode %d\n", *read);
    return 0;
}

SubcommandRegistration aboutCommand({"about", "show the About box text", "", {}, runAbout});
SubcommandRegistration workdirCommand({"workdir", "print the work folder (new TileSets and scratch files go there)", "",
                                       {}, runWorkdir});
SubcommandRegistration linkCommand({"link", "show the OpenMode held in the shared link block", "[--write MODE]",
                                    {{"write", true, "store MODE as the next document's OpenMode first"}}, runLink});

}  // namespace

}  // namespace tessarin::cli
