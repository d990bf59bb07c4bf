#include "app/app_core.h"

#include <algorithm>

#include "platform/error.h"
#include "platform/ui.h"

namespace tessarin::app {

AppCore::AppCore(Ui& ui, std::string linkBlockName)
    : ui_(ui), linkBlockName_(std::move(linkBlockName)), link_(linkBlockName_) {}

AppCore::~AppCore() = default;

void AppCore::registerHandler(int id, RegisteredCommand command) { handlers_[id] = std::move(command); }

bool AppCore::isEnabled(const CommandInfo& info, document::CTessarinDoc* doc) {
    if (!info.hasHandler) return false;
    const auto it = handlers_.find(info.id);
    if (it == handlers_.end()) return false;
    if ((info.owner == CommandOwner::Document || info.owner == CommandOwner::View) && !doc) return false;
    if (!it->second.enabled) return true;
    CommandContext ctx{ui_, *this, doc};
    return it->second.enabled(ctx);
}

bool AppCore::isChecked(const CommandInfo& info, document::CTessarinDoc* doc) {
    const auto it = handlers_.find(info.id);
    if (it == handlers_.end() || !it->second.checked) return false;
    CommandContext ctx{ui_, *this, doc};
    return it->second.checked(ctx);
}

bool AppCore::run(const CommandInfo& info, document::CTessarinDoc* doc) {
    if (!isEnabled(info, doc)) return false;
    CommandContext ctx{ui_, *this, doc};
    try {
        handlers_.at(info.id).handler(ctx);
    } catch (const Error& e) {
        // The command boundary: a failure inside a command is shown, and the
        // command ends.
        ui_.message(e.what());
    }
    return true;
}

document::CTessarinDoc* AppCore::openDocument(const std::string& path) {
    auto doc = std::make_unique<document::CTessarinDoc>(ui_, linkBlockName_);
    if (!doc->OnOpenDocument(path)) return nullptr;
    documents_.push_back(std::move(doc));
    document::CTessarinDoc* opened = documents_.back().get();
    if (onDocumentOpened) onDocumentOpened(*opened);
    return opened;
}

void AppCore::closeDocument(document::CTessarinDoc* doc) {
    const auto it = std::find_if(documents_.begin(), documents_.end(), [doc](const auto& d) { return d.get() == doc; });
    if (it == documents_.end()) return;
    (*it)->OnCloseDocument();
    documents_.erase(it);
}

}  // namespace tessarin::app
