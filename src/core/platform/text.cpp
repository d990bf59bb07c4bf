#include "platform/text.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <locale.h>

#include "platform/c_locale.h"

namespace tessarin {

std::vector<std::string> splitString(std::string_view text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const auto at = text.find(separator, start);
        if (at == std::string_view::npos) {
            parts.emplace_back(text.substr(start));
            break;
        }
        parts.emplace_back(text.substr(start, at - start));
        start = at + 1;
    }
    return parts;
}

std::string trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

namespace {

// The number's text without a leading '+', when it is a single optional
// sign followed by a digit (or, for reals, a decimal point): from_chars
// would take a '-' after the '+' we skip, and reads "nan" and "inf" as
// numbers no field can hold.
std::optional<std::string_view> unsignedStart(std::string_view text, bool real) {
    std::size_t at = 0;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) at = 1;
    if (at == text.size()) return std::nullopt;
    const char c = text[at];
    if (!(c >= '0' && c <= '9') && !(real && c == '.')) return std::nullopt;
    return text[0] == '+' ? text.substr(1) : text;
}

}  // namespace

std::optional<long long> parseInteger(std::string_view text) {
    const auto number = unsignedStart(text, false);
    if (!number) return std::nullopt;
    long long v = 0;
    const char* last = number->data() + number->size();
    const auto [ptr, ec] = std::from_chars(number->data(), last, v);
    if (ec != std::errc() || ptr != last) return std::nullopt;
    return v;
}

std::optional<double> parseReal(std::string_view text) {
    const auto number = unsignedStart(text, true);
    if (!number) return std::nullopt;
    double v = 0;
    const char* last = number->data() + number->size();
    const auto [ptr, ec] = std::from_chars(number->data(), last, v);
    if (ec != std::errc() || ptr != last || !std::isfinite(v)) return std::nullopt;
    return v;
}

locale_t cLocale() {
    static const locale_t loc = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
}

// The field between one blank on each side, as the fixed-width readers copy it.
std::string blankPadded(std::string_view text) {
    std::string buffer;
    buffer.reserve(text.size() + 2);
    buffer.push_back(' ');
    buffer.append(text);
    buffer.push_back(' ');
    return buffer;
}

double cStrtod(std::string_view text) {
    const std::string buffer = blankPadded(text);
    return ::strtod_l(buffer.c_str(), nullptr, cLocale());
}

long cStrtol(std::string_view text) {
    const std::string buffer = blankPadded(text);
    return ::strtol_l(buffer.c_str(), nullptr, 10, cLocale());
}

SplitPath splitPath(const std::string& path) {
    const auto at = path.rfind(kPathSeparator);
    if (at == std::string::npos) return {std::string(), path};
    if (at == 0) return {std::string(1, kPathSeparator), path.substr(1)};
    return {path.substr(0, at), path.substr(at + 1)};
}

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == kPathSeparator) return folder + name;
    return folder + kPathSeparator + name;
}

}  // namespace tessarin
