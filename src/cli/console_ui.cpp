#include "console_ui.h"

#include "platform/error.h"
#include "platform/text.h"

namespace tessarin::cli {

namespace {

// One line per field: the label as the dialog shows it, the name an answer
// may always use, and the value.
std::string fieldLines(const Form& form) {
    std::string out = form.title();
    for (const FormField& f : form.fields()) {
        const std::string value = f.valueText();
        out.append("\n").append(trim(f.label)).append(" (").append(f.name).append(") =");
        if (!value.empty()) out.append(" ").append(value);
    }
    return out;
}

}  // namespace

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

std::optional<std::string> ConsoleUi::printPathDialog(const std::string& title,
                                                      const std::function<std::optional<std::string>()>& ask) {
    std::optional<std::string> path;
    try {
        path = ask();
    } catch (const Error&) {
        printLabelled("dialog", title);
        throw;
    }
    printLabelled("dialog", title + "\n" + path.value_or("cancel"));
    return path;
}

std::optional<std::string> ConsoleUi::openFile(const FileDialog& dialog) {
    return printPathDialog(dialog.title, [&] { return ScriptedUi::openFile(dialog); });
}

std::optional<std::string> ConsoleUi::saveFile(const FileDialog& dialog) {
    return printPathDialog(dialog.title, [&] { return ScriptedUi::saveFile(dialog); });
}

std::optional<std::string> ConsoleUi::chooseFolder(const std::string& title) {
    return printPathDialog(title, [&] { return ScriptedUi::chooseFolder(title); });
}

bool ConsoleUi::form(Form& form) {
    bool answered = false;
    try {
        answered = ScriptedUi::form(form);
    } catch (const Error&) {
        printLabelled("dialog", fieldLines(form));
        throw;
    }
    printLabelled("dialog", answered ? fieldLines(form) : form.title() + "\ncancel");
    return answered;
}

}  // namespace tessarin::cli
