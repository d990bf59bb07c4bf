// The locale-independent number parsing of console options and form fields
// from arbitrary text: what parses is finite, and the C-library field rule
// never reads past the text it is given.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A heap copy of exactly the input: reading past it is caught.
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string_view view(text);
    if (const auto i = tessarin::parseInteger(view)) {
        // A whole number also reads as a real of the same value (to double precision).
        if (const auto r = tessarin::parseReal(view)) {
            if (std::fabs(*r - static_cast<double>(*i)) > std::fabs(*r) * 1e-15 + 0.5) __builtin_trap();
        }
    }
    if (const auto r = tessarin::parseReal(view))
        if (!std::isfinite(*r)) __builtin_trap();
    (void)tessarin::cStrtod(view);
    (void)tessarin::cStrtol(view);
    return 0;
}
