#pragma once
// Runs the independent readers (libtiff's tiffdump/tiffinfo, GDAL, pngcheck)
// on files the tests wrote, and small helpers shared by the image tests.

#include <sys/wait.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace tessarin::testing {

struct ToolRun {
    int exitCode = -1;
    std::string output;
};

inline std::string shellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs a shell command; stderr joins stdout unless told otherwise.
inline ToolRun runTool(const std::string& command, bool withStderr = true) {
    ToolRun run;
    const std::string full = command + (withStderr ? " 2>&1" : " 2>/dev/null");
    std::FILE* p = ::popen(full.c_str(), "r");
    if (!p) return run;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) run.output.append(buffer, n);
    const int status = ::pclose(p);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

inline nlohmann::json gdalInfo(const std::string& path) {
    const ToolRun r = runTool("gdalinfo -json " + shellQuote(path), false);
    if (r.exitCode != 0) return nlohmann::json();
    return nlohmann::json::parse(r.output, nullptr, false);
}

// Band values of one pixel as GDAL reads them.
inline std::vector<long> gdalPixel(const std::string& path, int x, int y) {
    const ToolRun r =
        runTool("gdallocationinfo -valonly " + shellQuote(path) + " " + std::to_string(x) + " " + std::to_string(y), false);
    std::vector<long> values;
    std::size_t pos = 0;
    while (pos < r.output.size()) {
        const std::size_t end = r.output.find('\n', pos);
        const std::string line = r.output.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        if (!line.empty()) values.push_back(std::stol(line));
        if (end == std::string::npos) break;
        pos = end + 1;
    }
    return values;
}

// The tag lines of tiffdump's first directory ("Name (tag) TYPE (n) count<values>").
inline std::vector<std::string> tiffdumpEntries(const std::string& dump) {
    static const std::regex entry(R"(^\S.* [A-Z0-9]+ \(\d+\) \d+<)");
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < dump.size()) {
        const std::size_t end = dump.find('\n', pos);
        const std::string line = dump.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        if (std::regex_search(line, entry)) lines.push_back(line);
        if (end == std::string::npos) break;
        pos = end + 1;
    }
    return lines;
}

// The tiffdump line of a tag number, or "".
inline std::string tiffdumpTag(const std::vector<std::string>& entries, int tag) {
    // Known tags read "Name (273) ...", others "33550 (0x830e) ...".
    const std::string known = "(" + std::to_string(tag) + ")";
    const std::string unknown = std::to_string(tag) + " (0x";
    for (const auto& l : entries)
        if (l.find(known) != std::string::npos || l.rfind(unknown, 0) == 0) return l;
    return {};
}

}  // namespace tessarin::testing
