#pragma once
// The application without its window: the link block, the open documents,
// and the handlers of the command table. The desktop and the console both
// run commands through it, so both behave alike.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/command_table.h"
#include "document/open_modes.h"
#include "document/tessarin_doc.h"
#include "platform/link_block.h"

namespace tessarin {
class Ui;
}

namespace tessarin::display {
class ViewController;
}

namespace tessarin::app {

class AppCore;

struct CommandContext {
    Ui& ui;
    AppCore& app;
    document::CTessarinDoc* doc = nullptr;  // the active document, if any
    // The active view, for view commands (set by the window or the console).
    display::ViewController* view() const;
};

using CommandHandler = std::function<void(CommandContext&)>;
using CommandPredicate = std::function<bool(const CommandContext&)>;

struct RegisteredCommand {
    CommandHandler handler;
    CommandPredicate enabled;  // empty: always enabled once registered
    CommandPredicate checked;  // empty: never checked
};

class AppCore {
public:
    // Creates (or attaches to) the link block. Check linkBlock().valid().
    AppCore(Ui& ui, std::string linkBlockName = kLinkBlockName);
    ~AppCore();

    Ui& ui() { return ui_; }
    LinkBlock& linkBlock() { return link_; }
    const std::string& linkBlockName() const { return linkBlockName_; }

    // ---- what the modules register
    // A command's handler, registered by the module of the command's area.
    // An id that is not in the command table, or whose entry belongs to
    // another area, is a programming error (std::logic_error).
    void registerHandler(CommandArea area, int id, RegisteredCommand command);
    bool hasRegisteredHandler(int id) const { return handlers_.count(id) > 0; }
    std::vector<int> registeredIds() const;
    // The area whose module registered the handler of id.
    std::optional<CommandArea> registeredArea(int id) const;
    // The open commands of an area: for each of its table entries that
    // writes an OpenMode whose row has an opener, the open-command pattern
    // (the entry's notice, the file dialog, the OpenMode into the link block,
    // the framework's open).
    void registerOpenCommands(CommandArea area);
    // A module says that every command of its area is registered; the
    // consistency test holds it to that.
    void declareAreaComplete(CommandArea area) { completeAreas_.insert(area); }
    const std::set<CommandArea>& completeAreas() const { return completeAreas_; }
    // The rows of the open modes.
    void addOpenMode(const document::OpenModeRow& row) { openModes_.add(row); }
    const document::OpenModeTable& openModes() const { return openModes_; }

    // Enabled: an entry with a registered handler whose owner finds what it
    // needs (a document for document and view commands) and whose predicate
    // agrees.
    bool isEnabled(const CommandInfo& info, document::CTessarinDoc* doc);
    bool isChecked(const CommandInfo& info, document::CTessarinDoc* doc);
    // Runs a command; false when it is disabled (nothing happens then). A
    // failure inside the command is shown as one message (the error
    // boundary) and the command ends.
    bool run(const CommandInfo& info, document::CTessarinDoc* doc);
    // Whether the last command that ran ended in a failure (its message has
    // been shown); the console's exit status follows it.
    bool lastRunFailed() const { return lastRunFailed_; }

    // ---- documents
    // The framework's open-document operation: creates a document (which
    // reads the OpenMode from the link block) and opens path in it. Null when
    // the open fails: the failure has been shown and the document is closed
    // (its scratch and display files removed) and discarded.
    document::CTessarinDoc* openDocument(const std::string& path);
    // Reopening through the recent-file list under the OpenMode stored with
    // the entry; an entry without one opens under the mode its name implies
    // (impliedOpenMode), else under the last OpenMode in the link block.
    document::CTessarinDoc* reopenRecent(const std::string& path, std::optional<int> storedMode);
    // The OpenMode a file's name and contents imply: the first row whose
    // claim accepts the path.
    std::optional<int> impliedOpenMode(const std::string& path) const;
    void closeDocument(document::CTessarinDoc* doc);
    const std::vector<std::unique_ptr<document::CTessarinDoc>>& documents() const { return documents_; }

    // Called after a document has opened (the desktop adds its window and
    // the file to the recent list).
    std::function<void(document::CTessarinDoc&)> onDocumentOpened;

    // The libraries the program was built with, shown under the About text
    // (set by the desktop; empty: the About text alone).
    std::string aboutDetails;

    // Set by the Exit command; the desktop closes its frame, the console ends.
    bool exitRequested = false;
    // The view of the active window; view commands act on it.
    display::ViewController* activeView = nullptr;

private:
    Ui& ui_;
    std::string linkBlockName_;
    LinkBlock link_;
    struct Registration {
        CommandArea area;
        RegisteredCommand command;
    };
    std::map<int, Registration> handlers_;
    bool lastRunFailed_ = false;
    std::set<CommandArea> completeAreas_;
    document::OpenModeTable openModes_;
    std::vector<std::unique_ptr<document::CTessarinDoc>> documents_;
};

inline display::ViewController* CommandContext::view() const { return app.activeView; }

// Every module registers its open modes and command handlers (modules.cpp).
void registerModules(AppCore& app);

// The "needs a document with data" predicate of most document commands.
bool hasData(const CommandContext& ctx);
// The same, with the document's view (view commands).
bool hasView(const CommandContext& ctx);

}  // namespace tessarin::app
