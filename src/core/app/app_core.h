#pragma once
// The application without its window: the link block, the open documents,
// and the handlers of the command table. The desktop and the console both
// run commands through it, so both behave alike.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/command_table.h"
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

    // ---- handlers
    void registerHandler(int id, RegisteredCommand command);
    bool hasRegisteredHandler(int id) const { return handlers_.count(id) > 0; }
    // Enabled: an entry with a handler whose processing is registered, whose
    // owner finds what it needs (a document for document and view commands),
    // and whose predicate agrees.
    bool isEnabled(const CommandInfo& info, document::CTessarinDoc* doc);
    bool isChecked(const CommandInfo& info, document::CTessarinDoc* doc);
    // Runs a command; false when it is disabled (nothing happens then).
    bool run(const CommandInfo& info, document::CTessarinDoc* doc);

    // ---- documents
    // The framework's open-document operation: creates a document (which
    // reads the OpenMode from the link block) and opens path in it. Null when
    // the open fails; the document is then discarded.
    document::CTessarinDoc* openDocument(const std::string& path);
    // Reopening through the recent-file list: the last stored OpenMode decides.
    document::CTessarinDoc* reopenRecent(const std::string& path) { return openDocument(path); }
    void closeDocument(document::CTessarinDoc* doc);
    const std::vector<std::unique_ptr<document::CTessarinDoc>>& documents() const { return documents_; }

    // Called after a document has opened (the desktop adds its window and
    // the file to the recent list).
    std::function<void(document::CTessarinDoc&)> onDocumentOpened;

    // Set by the Exit command; the desktop closes its frame, the console ends.
    bool exitRequested = false;
    // The view of the active window; view commands act on it.
    display::ViewController* activeView = nullptr;

private:
    Ui& ui_;
    std::string linkBlockName_;
    LinkBlock link_;
    std::map<int, RegisteredCommand> handlers_;
    std::vector<std::unique_ptr<document::CTessarinDoc>> documents_;
};

inline display::ViewController* CommandContext::view() const { return app.activeView; }

// Registers the handlers of every command whose processing is built.
void registerBuiltinCommands(AppCore& app);

}  // namespace tessarin::app
