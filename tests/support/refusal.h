#pragma once
// What a refused input says: the text of the Error a call throws, for tables
// of {how the input is damaged, the message expected}.

#include <string>

#include "platform/error.h"

namespace tessarin::testing {

inline constexpr const char* kAccepted = "(accepted)";

// The message of the Error the call throws, or kAccepted when it returns.
template <class Call>
std::string refusalOf(Call&& call) {
    try {
        call();
    } catch (const Error& e) {
        return e.what();
    }
    return kAccepted;
}

}  // namespace tessarin::testing
