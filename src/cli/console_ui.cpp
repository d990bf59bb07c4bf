#include "console_ui.h"

namespace tessarin::cli {

void ConsoleUi::printLabelled(const char* label, const std::string& text) {
    std::fprintf(out_, "%s: ", label);
    for (char c : text) {
        std::fputc(c, out_);
        if (c == '\n') std::fputs("  ", out_);
    }
    std::fputc('\n', out_);
    std::fflush(out_);
}

void ConsoleUi::message(const std::string& text) {
    ScriptedUi::message(text);
    printLabelled("message", text);
}

void ConsoleUi::status(const std::string& text) {
    ScriptedUi::status(text);
    printLabelled("status", text);
}

void ConsoleUi::progress(long long done, long long total) {
    ScriptedUi::progress(done, total);  // recorded only: status texts already tell the story
}

}  // namespace tessarin::cli
