// tessarin-cli open / command / menu: documents and the command table,
// exactly as the window runs them.

#include <cstdio>

#include "app/app_core.h"
#include "app/command_table.h"
#include "display/raw_dib.h"
#include "imagefiles/png_output.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/text.h"
#include "subcommands.h"

namespace tessarin::cli {

namespace {

const app::CommandInfo& commandNamed(const std::string& name) {
    const app::CommandInfo* info = app::findCommand(name);
    if (!info) throw UsageError("no command \"" + name + "\" in the command table (see tessarin-cli menu)");
    return *info;
}

void printDocument(const document::CTessarinDoc& doc) {
    std::printf("document: %s\n", doc.path().c_str());
    std::printf("  OpenMode %d, label \"%s\", level code %d, channels %d, display type %d\n", doc.openMode(),
                doc.label().c_str(), doc.levelCode(), doc.channelCount(), doc.displayType());
    std::printf("  complex %d, amplitude %d, existing tiles %d, tile open %d, ScanSAR %d, pointingLeft %d\n",
                doc.complexFlag(), doc.amplitudeFlag(), doc.existingTiles(), doc.tileOpen(), doc.scanSar(),
                doc.reader(0).pointingLeft());
    if (doc.hasData()) {
        const auto& s = doc.canvasState();
        std::printf("  tiles %s (%d x %d), canvas %s\n", doc.tileNames().tile.c_str(), doc.grid().ntx, doc.grid().nty,
                    doc.canvasPath().c_str());
        std::printf("  ctrorigin %lld,%lld, canvas origin %lld,%lld, current tile %lld\n", doc.ctrorigin().x,
                    doc.ctrorigin().y, s.origin.x, s.origin.y, s.currentTile);
    }
}

int runOpen(const Args& args, ConsoleUi& ui) {
    args.requirePositionals(1, "PATH");
    const auto modeText = args.value("mode");
    if (!modeText) throw UsageError("--mode N is required (the OpenMode of the open command)");
    const auto mode = parseInteger(*modeText);
    if (!mode || *mode < 0 || *mode > 32767) throw UsageError("--mode expects an OpenMode from 0 to 32767");
    // Check every command name before anything is opened.
    std::vector<const app::CommandInfo*> commands;
    for (const auto& name : args.values("do")) commands.push_back(&commandNamed(name));

    app::AppCore core(ui);
    if (!core.linkBlock().valid()) {
        ui.message(LinkBlock::failureText(core.linkBlock().failure()));
        return 1;
    }
    app::registerBuiltinCommands(core);
    core.linkBlock().writeOpenMode(static_cast<std::int32_t>(*mode));
    document::CTessarinDoc* doc = core.openDocument(args.positionals()[0]);
    if (!doc) {
        std::fprintf(stderr, "error: the document could not be opened\n");
        return 1;
    }
    int code = 0;
    for (const app::CommandInfo* info : commands) {
        if (!core.run(*info, doc)) {
            std::fprintf(stderr, "error: \"%s\" (%d) is disabled here\n", std::string(info->caption).c_str(), info->id);
            code = 1;
            break;
        }
    }
    for (const auto& request : args.values("slot-png")) {
        const auto parts = splitString(request, kValueSeparator);
        const auto slot = parts.size() == 2 ? parseInteger(parts[0]) : std::nullopt;
        if (!slot || *slot < 0 || *slot >= display::kDisplaySlots)
            throw UsageError("--slot-png expects a display slot 0..9 and a PNG path");
        const auto& s = doc->displaySlots().slot(static_cast<int>(*slot));
        if (!s.hasBitmap) {
            std::fprintf(stderr, "error: display slot %lld holds no bitmap\n", *slot);
            code = 1;
            continue;
        }
        const auto& bitmap = s.dib.bitmap;
        writeWholeFile(parts[1], encodePngRgba(bitmap.width, bitmap.height, display::opaqueRgba(bitmap)));
        std::printf("slot %lld: %s (%d x %d)\n", *slot, parts[1].c_str(), bitmap.width, bitmap.height);
    }
    printDocument(*doc);
    core.closeDocument(doc);
    return code;
}

int runCommand(const Args& args, ConsoleUi& ui) {
    args.requirePositionals(1, "CAPTION_OR_ID");
    const app::CommandInfo& info = commandNamed(args.positionals()[0]);
    app::AppCore core(ui);
    if (!core.linkBlock().valid()) {
        ui.message(LinkBlock::failureText(core.linkBlock().failure()));
        return 1;
    }
    app::registerBuiltinCommands(core);
    if (info.owner != app::CommandOwner::Application && info.owner != app::CommandOwner::Framework)
        throw UsageError("\"" + std::string(info.caption) + "\" needs a document: use tessarin-cli open ... --do");
    if (!core.run(info, nullptr)) {
        std::fprintf(stderr, "error: \"%s\" (%d) is disabled\n", std::string(info.caption).c_str(), info.id);
        return 1;
    }
    for (const auto& doc : core.documents()) printDocument(*doc);
    while (!core.documents().empty()) core.closeDocument(core.documents().back().get());
    return 0;
}

int runMenu(const Args&, ConsoleUi& ui) {
    app::AppCore core(ui);
    app::registerBuiltinCommands(core);
    for (int menu : {app::kMenuNoDocument, app::kMenuDocument, app::kMenuSceneCentre, app::kMenuEditContext,
                     app::kNoMenu}) {
        std::printf(menu == app::kNoMenu ? "commands without a menu entry\n" : "menu %d\n", menu);
        for (const app::CommandInfo* info : app::menuEntries(menu)) {
            const bool available = info->hasHandler && core.hasRegisteredHandler(info->id);
            const std::string where = info->popup.empty() ? std::string() : std::string(info->popup) + " / ";
            std::printf("  %5d  %s\"%s\"  %s\n", info->id, where.c_str(), std::string(info->caption).c_str(),
                        available ? "enabled" : "disabled");
        }
    }
    return 0;
}

SubcommandRegistration openCommand(
    {"open", "open a file as a document under an OpenMode and run document or view commands on it",
     "--mode N PATH [--do CAPTION_OR_ID]... [--slot-png SLOT OUT.png]...",
     {{"mode", true, "the OpenMode the open command writes (1: ALOS2 L1.1 image, 0: L1.5, 5: complex TileSet, ...)"},
      {"do", true, "run a document or view command by caption or id after the open (repeatable, in order)"},
      {"slot-png", true, "write display slot SLOT (0 overview, 1 main, 2 magnifier) as a PNG file at the end", 2}},
     runOpen});
SubcommandRegistration commandCommand({"command", "run an application command of the no-document menu",
                                       "CAPTION_OR_ID", {}, runCommand});
SubcommandRegistration menuCommand({"menu", "print the menus: id, popup and caption, enabled or disabled", "", {},
                                    runMenu});

}  // namespace

}  // namespace tessarin::cli
