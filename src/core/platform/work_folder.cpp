#include "platform/work_folder.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/error.h"
#include "platform/format.h"

namespace tessarin {

namespace {

std::string& overrideFolder() {
    static std::string folder;
    return folder;
}

std::string ensureFolder(const std::string& folder, const char* source) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (!std::filesystem::is_directory(folder, ec))
        throw Error(format("the work folder \"%s\" (%s) cannot be created", folder.c_str(), source));
    if (::access(folder.c_str(), W_OK) != 0)
        throw Error(format("the work folder \"%s\" (%s) is not writable", folder.c_str(), source));
    return folder;
}

}  // namespace

void setWorkFolderOverride(const std::string& folder) { overrideFolder() = folder; }

std::string executableFolder() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    return exe.parent_path().string();
}

std::string workFolder() {
    if (!overrideFolder().empty()) return ensureFolder(overrideFolder(), "--workdir");
    if (const char* env = std::getenv("TESSARIN_WORKDIR"); env && *env) return ensureFolder(env, "TESSARIN_WORKDIR");
    const std::string exe = executableFolder();
    if (!exe.empty() && ::access(exe.c_str(), W_OK) == 0) return exe;
    std::string base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home) base = std::string(home) + "/.local/share";
    else throw Error("no work folder: set TESSARIN_WORKDIR");
    return ensureFolder(base + "/tessarin", "XDG_DATA_HOME");
}

}  // namespace tessarin
