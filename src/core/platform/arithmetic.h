#pragma once
// Integer arithmetic the language leaves out.

#include <concepts>
#include <type_traits>

namespace tessarin {

// a / b rounded towards minus infinity, where the built-in division truncates
// towards zero: the tile or grid cell holding a coordinate left of or above
// the origin. b must not be 0.
template <std::signed_integral A, std::signed_integral B>
constexpr std::common_type_t<A, B> floorDiv(A a, B b) {
    using T = std::common_type_t<A, B>;
    const T n = a, d = b;
    T q = n / d;
    if (n % d != 0 && (n < 0) != (d < 0)) --q;
    return q;
}

}  // namespace tessarin
