#include "app/app_core.h"

#include <algorithm>
#include <stdexcept>

#include "platform/error_boundary.h"
#include "platform/format.h"
#include "platform/ui.h"

namespace tessarin::app {

bool hasData(const CommandContext& ctx) { return ctx.doc && ctx.doc->hasData(); }
bool hasView(const CommandContext& ctx) { return hasData(ctx) && ctx.view() != nullptr; }

AppCore::AppCore(Ui& ui, std::string linkBlockName)
    : ui_(ui), linkBlockName_(std::move(linkBlockName)), link_(linkBlockName_) {}

AppCore::~AppCore() = default;

void AppCore::registerHandler(CommandArea area, int id, RegisteredCommand command) {
    const CommandInfo* info = findCommand(id);
    if (!info) throw std::logic_error(format("command %d is not in the command table", id));
    if (info->area != area) throw std::logic_error(format("command %d belongs to another area", id));
    handlers_[id] = {area, std::move(command)};
}

std::vector<int> AppCore::registeredIds() const {
    std::vector<int> ids;
    for (const auto& [id, registration] : handlers_) ids.push_back(id);
    return ids;
}

std::optional<CommandArea> AppCore::registeredArea(int id) const {
    const auto it = handlers_.find(id);
    if (it == handlers_.end()) return std::nullopt;
    return it->second.area;
}

void AppCore::registerOpenCommands(CommandArea area) {
    for (const CommandInfo& info : commandTable()) {
        if (info.area != area || info.openMode < 0 || !info.hasHandler || hasRegisteredHandler(info.id)) continue;
        const document::OpenModeRow* row = openModes_.find(info.openMode);
        if (!row || !row->open) continue;
        const CommandInfo* entry = &info;
        registerHandler(area, info.id, {[entry](CommandContext& ctx) {
                                            if (!entry->notice.empty()) ctx.ui.message(std::string(entry->notice));
                                            FileDialog dialog;
                                            dialog.title = std::string(entry->dialogTitle);
                                            dialog.filter = std::string(entry->filter);
                                            const auto path = ctx.ui.openFile(dialog);
                                            if (!path) return;
                                            ctx.app.linkBlock().writeOpenMode(entry->openMode);
                                            ctx.app.openDocument(*path);
                                        },
                                        {},
                                        {}});
    }
}

bool AppCore::isEnabled(const CommandInfo& info, document::CTessarinDoc* doc) {
    if (!info.hasHandler) return false;
    const auto it = handlers_.find(info.id);
    if (it == handlers_.end()) return false;
    if ((info.owner == CommandOwner::Document || info.owner == CommandOwner::View) && !doc) return false;
    if (!it->second.command.enabled) return true;
    CommandContext ctx{ui_, *this, doc};
    return it->second.command.enabled(ctx);
}

bool AppCore::isChecked(const CommandInfo& info, document::CTessarinDoc* doc) {
    const auto it = handlers_.find(info.id);
    if (it == handlers_.end() || !it->second.command.checked) return false;
    CommandContext ctx{ui_, *this, doc};
    return it->second.command.checked(ctx);
}

bool AppCore::run(const CommandInfo& info, document::CTessarinDoc* doc) {
    if (!isEnabled(info, doc)) return false;
    CommandContext ctx{ui_, *this, doc};
    const std::string what = info.caption.empty() ? format("command %d", info.id) : std::string(info.caption);
    lastRunFailed_ = !runGuarded(ui_, what, [&] { handlers_.at(info.id).command.handler(ctx); });
    return true;
}

document::CTessarinDoc* AppCore::openDocument(const std::string& path) {
    std::unique_ptr<document::CTessarinDoc> doc;
    bool opened = false;
    runGuarded(ui_, "opening \"" + path + "\"", [&] {
        doc = std::make_unique<document::CTessarinDoc>(ui_, openModes_, linkBlockName_);
        opened = doc->OnOpenDocument(path);
    });
    if (!opened) {
        // The scratch and display files of the failed open go with it.
        if (doc) runGuarded(ui_, "closing \"" + path + "\"", [&] { doc->OnCloseDocument(); });
        return nullptr;
    }
    documents_.push_back(std::move(doc));
    document::CTessarinDoc* result = documents_.back().get();
    if (onDocumentOpened) onDocumentOpened(*result);
    return result;
}

std::optional<int> AppCore::impliedOpenMode(const std::string& path) const {
    for (const document::OpenModeRow* row : openModes_.rows())
        if (row->open && row->claims && row->claims(path)) return row->mode;
    return std::nullopt;
}

document::CTessarinDoc* AppCore::reopenRecent(const std::string& path, std::optional<int> storedMode) {
    const std::optional<int> mode = storedMode ? storedMode : impliedOpenMode(path);
    if (mode) link_.writeOpenMode(*mode);
    return openDocument(path);
}

void AppCore::closeDocument(document::CTessarinDoc* doc) {
    const auto it = std::find_if(documents_.begin(), documents_.end(), [doc](const auto& d) { return d.get() == doc; });
    if (it == documents_.end()) return;
    runGuarded(ui_, "closing \"" + (*it)->path() + "\"", [&] { (*it)->OnCloseDocument(); });
    documents_.erase(it);
}

}  // namespace tessarin::app
