// tessarin-cli open / command / menu: documents and the command table,
// exactly as the window runs them.

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "app/app_core.h"
#include "app/command_table.h"
#include "display/raw_dib.h"
#include "display/view_controller.h"
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

// A view event replayed by the console, in command-line order with --do.
struct ViewEvent {
    enum class Kind { Do, Click, Key, Drag } kind = Kind::Do;
    const app::CommandInfo* command = nullptr;
    display::Point from, to;
    display::Modifiers mods;
    int key = 0;
};

constexpr int kDefaultClientWidth = 1600;
constexpr int kDefaultClientHeight = 1100;

display::Point parsePoint(const std::string& text, const std::string& option) {
    const auto [x, y] = parseIntPair(text, option);
    if (x < -100000 || x > 100000 || y < -100000 || y > 100000)
        throw UsageError("--" + option + " expects a window point X,Y");
    return {static_cast<int>(x), static_cast<int>(y)};
}

ViewEvent parseClick(const std::string& text) {
    ViewEvent e;
    e.kind = ViewEvent::Kind::Click;
    const auto parts = splitString(text, ',');
    if (parts.size() < 2 || parts.size() > 3) throw UsageError("--click expects X,Y[,ctrl|shift|c|t]");
    e.from = parsePoint(parts[0] + "," + parts[1], "click");
    if (parts.size() == 3) {
        const std::string& m = parts[2];
        if (m == "ctrl") e.mods.ctrl = true;
        else if (m == "shift") e.mods.shift = true;
        else if (m == "c") e.mods.heldC = true;
        else if (m == "t") e.mods.heldT = true;
        else throw UsageError("--click modifier must be ctrl, shift, c or t");
    }
    return e;
}

ViewEvent parseKey(const std::string& text) {
    ViewEvent e;
    e.kind = ViewEvent::Kind::Key;
    const auto parts = splitString(text, ',');
    if (parts.empty() || parts.size() > 2) throw UsageError("--key expects K[,shift|ctrl]");
    const std::string& k = parts[0];
    if (k == "left") e.key = display::key::kLeft;
    else if (k == "right") e.key = display::key::kRight;
    else if (k == "up") e.key = display::key::kUp;
    else if (k == "down") e.key = display::key::kDown;
    else if (k.size() == 1 && std::isalnum(static_cast<unsigned char>(k[0])))
        e.key = std::toupper(static_cast<unsigned char>(k[0]));
    else throw UsageError("--key expects a letter, a digit, left, right, up or down");
    if (parts.size() == 2) {
        if (parts[1] == "shift") e.mods.shift = true;
        else if (parts[1] == "ctrl") e.mods.ctrl = true;
        else throw UsageError("--key modifier must be shift or ctrl");
    }
    return e;
}

ViewEvent parseDrag(const std::string& text) {
    ViewEvent e;
    e.kind = ViewEvent::Kind::Drag;
    const auto colon = text.find(':');
    if (colon == std::string::npos) throw UsageError("--drag expects X1,Y1:X2,Y2");
    e.from = parsePoint(text.substr(0, colon), "drag");
    e.to = parsePoint(text.substr(colon + 1), "drag");
    return e;
}

// Replays one event as the window would receive it, repainting (and so
// re-recording the pane geometry) after each.
void replay(const ViewEvent& e, display::ViewController& view, int width, int height) {
    switch (e.kind) {
        case ViewEvent::Kind::Click:
            view.leftButtonDown(e.from, e.mods);
            view.leftButtonUp(e.from);
            break;
        case ViewEvent::Kind::Key:
            view.keyDown(e.key, e.mods);
            break;
        case ViewEvent::Kind::Drag: {
            view.leftButtonDown(e.from, e.mods);
            // One move per pixel along the longer axis, as a steady hand gives.
            const int dx = e.to.x - e.from.x, dy = e.to.y - e.from.y;
            const int steps = std::max(std::abs(dx), std::abs(dy));
            for (int i = 1; i <= steps && view.dragging(); ++i) {
                const display::Point p{e.from.x + dx * i / steps, e.from.y + dy * i / steps};
                if (view.pointerMove(p, e.mods)) view.paint(width, height);
            }
            view.leftButtonUp(e.to);
            break;
        }
        case ViewEvent::Kind::Do:
            break;
    }
    view.paint(width, height);
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
                    doc.ctrorigin().y, s.origin.x, s.origin.y, static_cast<long long>(s.currentTile));
    }
}

int runOpen(const Args& args, ConsoleUi& ui) {
    args.requirePositionals(1, "PATH");
    const auto modeText = args.value("mode");
    if (!modeText) throw UsageError("--mode N is required (the OpenMode of the open command)");
    const auto mode = parseInteger(*modeText);
    if (!mode || *mode < 0 || *mode > 32767) throw UsageError("--mode expects an OpenMode from 0 to 32767");
    // Check every command name before anything is opened.
    std::vector<ViewEvent> events;
    for (const auto& [name, value] : args.ordered()) {
        if (name == "do") {
            ViewEvent e;
            e.command = &commandNamed(value);
            events.push_back(e);
        } else if (name == "click") {
            events.push_back(parseClick(value));
        } else if (name == "key") {
            events.push_back(parseKey(value));
        } else if (name == "drag") {
            events.push_back(parseDrag(value));
        }
    }
    int clientWidth = kDefaultClientWidth, clientHeight = kDefaultClientHeight;
    if (const auto window = args.value("window")) {
        const auto [w, h] = parseIntPair(*window, "window");
        if (w < 1 || w > 100000 || h < 1 || h > 100000) throw UsageError("--window expects a client size W,H");
        clientWidth = static_cast<int>(w);
        clientHeight = static_cast<int>(h);
    }

    app::AppCore core(ui);
    if (!core.linkBlock().valid()) {
        ui.message(LinkBlock::failureText(core.linkBlock().failure()));
        return 1;
    }
    app::registerModules(core);
    core.linkBlock().writeOpenMode(static_cast<std::int32_t>(*mode));
    document::CTessarinDoc* doc = core.openDocument(args.positionals()[0]);
    if (!doc) {
        std::fprintf(stderr, "error: the document could not be opened\n");
        return 1;
    }
    int code = 0;
    display::ViewController view(*doc, ui);
    core.activeView = &view;
    view.paint(clientWidth, clientHeight);
    for (const ViewEvent& e : events) {
        if (e.kind != ViewEvent::Kind::Do) {
            replay(e, view, clientWidth, clientHeight);
            continue;
        }
        const app::CommandInfo* info = e.command;
        if (!core.run(*info, doc)) {
            std::fprintf(stderr, "error: \"%s\" (%d) is disabled here\n", std::string(info->caption).c_str(), info->id);
            code = 1;
            break;
        }
        if (core.lastRunFailed()) code = 1;
        view.paint(clientWidth, clientHeight);
    }
    core.activeView = nullptr;
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
    app::registerModules(core);
    if (info.owner != app::CommandOwner::Application && info.owner != app::CommandOwner::Framework)
        throw UsageError("\"" + std::string(info.caption) + "\" needs a document: use tessarin-cli open ... --do");
    if (!core.run(info, nullptr)) {
        std::fprintf(stderr, "error: \"%s\" (%d) is disabled\n", std::string(info.caption).c_str(), info.id);
        return 1;
    }
    const bool failed = core.lastRunFailed();
    for (const auto& doc : core.documents()) printDocument(*doc);
    while (!core.documents().empty()) core.closeDocument(core.documents().back().get());
    return failed ? 1 : 0;
}

int runMenu(const Args&, ConsoleUi& ui) {
    app::AppCore core(ui);
    app::registerModules(core);
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
     "--mode N PATH [--window W,H] [--do CAPTION_OR_ID | --click X,Y[,MOD] | --key K[,MOD] | --drag X1,Y1:X2,Y2]... "
     "[--slot-png SLOT OUT.png]...",
     {{"mode", true, "the OpenMode the open command writes (1: ALOS2 L1.1 image, 0: L1.5, 5: complex TileSet, ...)"},
      {"do", true, "run a document or view command by caption or id after the open (repeatable, in order)"},
      {"window", true, "the view's client size W,H used for the pane geometry (default 1600,1100)"},
      {"click", true, "left click at window point X,Y, optionally with ctrl, shift, or the c or t key held"},
      {"key", true, "press key K (a letter, a digit, left, right, up, down), optionally with shift or ctrl"},
      {"drag", true, "drag with the left button from X1,Y1 to X2,Y2"},
      {"slot-png", true, "write display slot SLOT (0 overview, 1 main, 2 magnifier) as a PNG file at the end", 2}},
     runOpen});
SubcommandRegistration commandCommand({"command", "run an application command of the no-document menu",
                                       "CAPTION_OR_ID", {}, runCommand});
SubcommandRegistration menuCommand({"menu", "print the menus: id, popup and caption, enabled or disabled", "", {},
                                    runMenu});

}  // namespace

}  // namespace tessarin::cli
