#pragma once
// The console's Ui: message boxes and status texts become printed lines,
// dialogs are answered in order from the --answer options.

#include <cstdio>

#include "platform/ui.h"

namespace tessarin::cli {

class ConsoleUi : public ScriptedUi {
public:
    explicit ConsoleUi(std::vector<std::string> answers, std::FILE* out = stdout)
        : ScriptedUi(std::move(answers)), out_(out) {}

    void message(const std::string& text) override;
    void status(const std::string& text) override;
    void progress(long long done, long long total) override;

    // Prints "label: TEXT", continuing a multi-line text on following lines
    // indented by two blanks.
    void printLabelled(const char* label, const std::string& text);

private:
    std::FILE* out_;
};

}  // namespace tessarin::cli
