// Multi-temporal set files (".mlt" and ".cmt") from arbitrary bytes: what
// parses names usable members, and writes back to a file that parses the same.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "composites/multi_temporal.h"
#include "platform/error.h"
#include "platform/set_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tessarin;
    const std::vector<std::uint8_t> bytes(data, data + size);
    try {
        SetFileReader in("fuzz.mlt", bytes);
        const auto set = composites::parseMultiTemporalSet(in);
        if (set.master.empty() || set.second.empty()) __builtin_trap();
        if (set.master.find('\0') != std::string::npos || set.second.find('\0') != std::string::npos) __builtin_trap();
    } catch (const Error&) {
    }
    try {
        SetFileReader in("fuzz.cmt", bytes);
        const auto set = composites::parseComplexMultiTemporalSet(in);
        if (set.count != 2 && set.count != 3) __builtin_trap();
        if (set.master.empty() || set.slave.empty()) __builtin_trap();
        if ((set.count == 3) == set.third.empty()) __builtin_trap();
    } catch (const Error&) {
    }
    return 0;
}
