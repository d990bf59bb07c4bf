#pragma once
// Small text helpers: locale-independent number parsing, splitting, paths.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessarin {

std::vector<std::string> splitString(std::string_view text, char separator);
std::string trim(std::string_view text);
bool startsWith(std::string_view text, std::string_view prefix);
bool endsWith(std::string_view text, std::string_view suffix);

// Whole-string decimal numbers in the C locale: one optional sign, then the
// digits (a real may have a decimal point and an exponent). Empty when the
// text is anything else: blanks, a second sign, NaN, infinity, or a value
// out of range.
std::optional<long long> parseInteger(std::string_view text);
std::optional<double> parseReal(std::string_view text);

// strtod / strtol semantics in the C locale over a text: leading blanks
// skipped, parsing stops at the first character that does not fit, and text
// holding no number gives 0.
double cStrtod(std::string_view text);
long cStrtol(std::string_view text);

// Paths are a folder, the separator and a name; splitting is at the last
// separator.
inline constexpr char kPathSeparator = '/';
struct SplitPath {
    std::string folder;  // without the trailing separator; empty when none
    std::string name;
};
SplitPath splitPath(const std::string& path);
std::string joinPath(const std::string& folder, const std::string& name);

}  // namespace tessarin
