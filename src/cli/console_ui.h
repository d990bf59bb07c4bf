#pragma once
// The console's Ui: message boxes and status texts become printed lines,
// dialogs are answered in order from the --answer options. Every dialog
// answered is printed with the values it took, so that one run shows what
// the answers of a script are.

#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "platform/ui.h"

namespace tessarin::cli {

class ConsoleUi : public ScriptedUi {
public:
    explicit ConsoleUi(std::vector<std::string> answers, std::FILE* out = stdout)
        : ScriptedUi(std::move(answers)), out_(out) {}

    void message(const std::string& text) override;
    void status(const std::string& text) override;
    void progress(long long done, long long total) override;

    // "dialog: TITLE", then the path taken or "cancel".
    std::optional<std::string> openFile(const FileDialog& dialog) override;
    std::optional<std::string> saveFile(const FileDialog& dialog) override;
    std::optional<std::string> chooseFolder(const std::string& title) override;
    // "dialog: TITLE", then a line "Label (name) = value" for each field as
    // answered, or "cancel". A dialog that finds no answer left, or refuses
    // its answer, shows the values it holds before the error.
    bool form(Form& form) override;

    // Prints "label: TEXT", continuing a multi-line text on following lines
    // indented by two blanks.
    void printLabelled(const char* label, const std::string& text);

private:
    std::optional<std::string> printPathDialog(const std::string& title,
                                               const std::function<std::optional<std::string>()>& ask);

    std::FILE* out_;
};

}  // namespace tessarin::cli
