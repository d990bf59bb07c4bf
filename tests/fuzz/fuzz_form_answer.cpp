// Form answers (--answer key=value,...) from arbitrary text. An answer is
// taken whole or not at all: a refused one leaves every field as it was, and
// an accepted one reads back through describe() to the same values.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/error.h"
#include "platform/form.h"

namespace {

tessarin::Form sampleForm() {
    tessarin::Form f("Fuzz");
    f.addInt("count", "Tile number Xmax and Ymax", 2)
        .addReal("scale", "Scale (m)", 12.5)
        .addText("name", "File name", "a.tif")
        .addRadio("kind", "Kind", {"amplitude", "complex"}, 0)
        .addCheck("keep", "Keep", false)
        .addInt("shared1", "Shared", 1)
        .addInt("shared2", "Shared", 2);
    return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string answer(reinterpret_cast<const char*>(data), size);
    tessarin::Form form = sampleForm();
    const std::string before = form.describe();
    try {
        form.applyAnswer(answer);
    } catch (const tessarin::Error&) {
        if (form.describe() != before) __builtin_trap();  // half an answer taken
        return 0;
    }
    const std::string after = form.describe();
    tessarin::Form again = sampleForm();
    try {
        again.applyAnswer(after);
    } catch (const tessarin::Error&) {
        // A text value holding ',' or '=' cannot be written back as an answer.
        if (form.text("name").find_first_of(",=") == std::string::npos) __builtin_trap();
        return 0;
    }
    if (form.text("name").find_first_of(",=") == std::string::npos && again.describe() != after) __builtin_trap();
    return 0;
}
