#include "platform/error_boundary.h"

#include <new>

#include "platform/error.h"
#include "platform/ui.h"

namespace tessarin {

std::string failureText(std::exception_ptr failure, std::string_view what) {
    const std::string doing(what);
    try {
        std::rethrow_exception(failure);
    } catch (const Error& e) {
        return e.what();
    } catch (const std::bad_alloc&) {
        return "not enough memory for " + doing;
    } catch (const std::exception& e) {
        return doing + ": " + e.what();
    } catch (...) {
        return "unexpected failure of " + doing;
    }
}

bool runGuarded(Ui& ui, std::string_view what, const std::function<void()>& work) {
    std::string text;
    try {
        work();
        return true;
    } catch (...) {
        // Built outside the handler: composing the text may itself allocate.
        text = failureText(std::current_exception(), what);
    }
    ui.message(text);
    return false;
}

}  // namespace tessarin
