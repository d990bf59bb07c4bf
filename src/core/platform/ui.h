#pragma once
// What the core needs from a user interface: modal message boxes, the first
// status-bar pane, progress, file dialogs, forms and the busy cursor. The
// desktop implements it with Qt, the console with printed lines and scripted
// answers, the tests with ScriptedUi.

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/form.h"

namespace tessarin {

struct FileDialog {
    std::string title;
    // Filter in the original "Desc (*.x)|*.x|All Files (*.*)|*.*||" form, or a
    // bare pattern such as "*1.1*".
    std::string filter;
    std::string initialPath;
};

// One filter entry: a description and its patterns ("*.a;*.b" split).
struct FileFilter {
    std::string description;
    std::vector<std::string> patterns;
};
// Parses both filter forms; a bare pattern becomes one entry described by itself.
std::vector<FileFilter> parseFileFilter(const std::string& filter);

class Ui {
public:
    virtual ~Ui() = default;
    virtual void message(const std::string& text) = 0;
    virtual void status(const std::string& text) = 0;
    virtual void progress(long long done, long long total) = 0;
    // Empty when the user cancels.
    virtual std::optional<std::string> openFile(const FileDialog& dialog) = 0;
    virtual std::optional<std::string> saveFile(const FileDialog& dialog) = 0;
    virtual std::optional<std::string> chooseFolder(const std::string& title) = 0;
    // False when the user cancels; on true the form holds the entered values.
    virtual bool form(Form& form) = 0;
    virtual void beginBusy() = 0;
    virtual void endBusy() = 0;
};

// Shows the busy cursor for the lifetime of the scope.
class BusyScope {
public:
    explicit BusyScope(Ui& ui) : ui_(ui) { ui_.beginBusy(); }
    ~BusyScope() { ui_.endBusy(); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    Ui& ui_;
};

// Answers dialogs from a queue and records what was shown. The console and
// the tests use it. An answer is a path, a form's values as
// "key=value,..." (Form::applyAnswer), or "cancel"; a dialog that finds no
// answer left throws.
class ScriptedUi : public Ui {
public:
    ScriptedUi() = default;
    explicit ScriptedUi(std::vector<std::string> answers) : answers_(answers.begin(), answers.end()) {}

    void addAnswer(std::string answer) { answers_.push_back(std::move(answer)); }
    std::size_t answersLeft() const { return answers_.size(); }

    void message(const std::string& text) override { messages.push_back(text); }
    void status(const std::string& text) override { statuses.push_back(text); }
    void progress(long long done, long long total) override { lastProgress = {done, total}; ++progressCalls; }
    std::optional<std::string> openFile(const FileDialog& dialog) override;
    std::optional<std::string> saveFile(const FileDialog& dialog) override;
    std::optional<std::string> chooseFolder(const std::string& title) override;
    bool form(Form& form) override;
    void beginBusy() override { ++busyDepth; ++busyScopes; }
    void endBusy() override { --busyDepth; }

    std::vector<std::string> messages;
    std::vector<std::string> statuses;
    std::vector<std::string> dialogTitles;  // every dialog asked, in order
    std::pair<long long, long long> lastProgress{0, 0};
    long long progressCalls = 0;
    int busyDepth = 0;
    int busyScopes = 0;

protected:
    // Takes the next answer for a dialog; empty on "cancel".
    std::optional<std::string> take(const std::string& title);

private:
    std::deque<std::string> answers_;
};

}  // namespace tessarin
