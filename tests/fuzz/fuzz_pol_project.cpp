// Composite pair projects: either layout from arbitrary bytes. What parses
// must write back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "composites/pol_composite.h"
#include "platform/error.h"
#include "platform/set_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        tessarin::SetFileReader in("fuzz.prj", std::vector<std::uint8_t>(data, data + size));
        const auto project = tessarin::composites::parsePolProject(in);
        if (project.member1.empty() || project.member2.empty()) __builtin_trap();
        if (project.rgb && (*project.rgb < 0 || *project.rgb > 3)) __builtin_trap();
    } catch (const tessarin::Error&) {
    }
    return 0;
}
