#pragma once
// printf-style formatting, so that texts such as "kpy=%d of %d" or "%.13f"
// read exactly as the user has always seen them. Always in the "C" locale:
// the decimal point is '.' and there is no digit grouping, whatever locale
// the process runs in.

#include <cstdarg>
#include <string>

namespace tessarin {

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string vformat(const char* fmt, std::va_list args);

}  // namespace tessarin
