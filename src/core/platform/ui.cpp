#include "platform/ui.h"

#include "platform/error.h"
#include "platform/format.h"
#include "platform/text.h"

namespace tessarin {

std::vector<FileFilter> parseFileFilter(const std::string& filter) {
    std::vector<FileFilter> out;
    if (filter.find('|') == std::string::npos) {
        if (!filter.empty()) out.push_back({filter, splitString(filter, ';')});
        return out;
    }
    const auto parts = splitString(filter, '|');
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].empty()) break;
        out.push_back({parts[i], splitString(parts[i + 1], ';')});
    }
    return out;
}

std::optional<std::string> ScriptedUi::take(const std::string& title) {
    dialogTitles.push_back(title);
    if (answers_.empty()) throw Error(format("no answer left for the dialog \"%s\"", title.c_str()));
    std::string answer = std::move(answers_.front());
    answers_.pop_front();
    if (answer == "cancel") return std::nullopt;
    return answer;
}

std::optional<std::string> ScriptedUi::openFile(const FileDialog& dialog) { return take(dialog.title); }
std::optional<std::string> ScriptedUi::saveFile(const FileDialog& dialog) { return take(dialog.title); }
std::optional<std::string> ScriptedUi::chooseFolder(const std::string& title) { return take(title); }

bool ScriptedUi::form(Form& f) {
    const auto answer = take(f.title());
    if (!answer) return false;
    f.applyAnswer(*answer);
    return true;
}

}  // namespace tessarin
