// Set and project files: consecutive archive strings from arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "platform/archive_string.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tessarin::ByteReader in(std::span<const std::uint8_t>(data, size), "fuzz");
    try {
        while (!in.atEnd()) {
            const std::string s = tessarin::readArchiveString(in);
            // What was read must survive a write and a second read unchanged.
            tessarin::ByteWriter w;
            tessarin::writeArchiveString(w, s);
            tessarin::ByteReader again(w.buffer(), "again");
            if (tessarin::readArchiveString(again) != s) __builtin_trap();
        }
    } catch (const tessarin::Error&) {
    }
    return 0;
}
