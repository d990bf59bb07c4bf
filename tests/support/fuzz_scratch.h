#pragma once
// A folder of its own for a fuzz harness whose code under test reads and
// writes files: in memory (/dev/shm) when there is one, removed at exit.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/format.h"

namespace tessarin::testing {

inline std::string fuzzScratchFolder() {
    static const std::string folder = [] {
        const std::string f = format("/dev/shm/tessarin-fuzz-%ld", static_cast<long>(::getpid()));
        std::error_code ec;
        std::filesystem::create_directories(f, ec);
        if (ec) return std::string("/tmp");
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(format("/dev/shm/tessarin-fuzz-%ld", static_cast<long>(::getpid())), ignored);
        });
        return f;
    }();
    return folder;
}

}  // namespace tessarin::testing
