#pragma once
// Genuine reference files from ../shared/data beside the project root. A
// clone on its own has no such folder: a test that needs one of the files
// then skips and says why. CI has the folder, so with CI=true a missing file
// fails the test instead of letting the comparison go quietly unchecked.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace tessarin::testing {

// The path of a file under ../shared/data, e.g. "srtm/N43E006.hgt".
inline std::string sharedDataPath(const std::string& relative) {
    return std::string(TESSARIN_SOURCE_DIR) + "/../shared/data/" + relative;
}

inline bool sharedDataRequired() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::string_view(ci) == "true";
}

// Why a shared file cannot be used, or empty when it is there.
inline std::string sharedDataMissing(const std::string& path) {
    if (std::filesystem::is_regular_file(path)) return {};
    return path + " is absent (the reference data is looked for in ../shared/data beside the project root)";
}

}  // namespace tessarin::testing

// Skips the running test when the shared file at path is absent, or fails it
// when CI=true. Use it in the test body: it returns from the function it is in.
#define TESSARIN_REQUIRE_SHARED_DATA(path)                                                   \
    do {                                                                                     \
        const std::string tessarinMissing_ = ::tessarin::testing::sharedDataMissing(path);   \
        if (!tessarinMissing_.empty()) {                                                     \
            if (::tessarin::testing::sharedDataRequired())                                   \
                FAIL() << tessarinMissing_ << " (CI=true requires it)";                      \
            GTEST_SKIP() << tessarinMissing_;                                                \
        }                                                                                    \
    } while (false)
