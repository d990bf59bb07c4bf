#include "platform/format.h"

#include <cstdio>
#include <vector>

#include "platform/c_locale.h"

namespace tessarin {

std::string vformat(const char* fmt, std::va_list args) {
    // Numbers read the same for every reader, whatever the user's locale.
    const CLocaleScope cNumbers;
    std::va_list copy;
    va_copy(copy, args);
    char small[256];
    const int needed = std::vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (needed < 0) return {};
    if (static_cast<std::size_t>(needed) < sizeof small) return std::string(small, static_cast<std::size_t>(needed));
    std::vector<char> big(static_cast<std::size_t>(needed) + 1);
    std::vsnprintf(big.data(), big.size(), fmt, args);
    return std::string(big.data(), static_cast<std::size_t>(needed));
}

std::string format(const char* fmt, ...) {
    std::va_list args;
    va_start(args, fmt);
    std::string text = vformat(fmt, args);
    va_end(args);
    return text;
}

}  // namespace tessarin
