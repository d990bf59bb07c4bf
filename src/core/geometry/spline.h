#pragma once
// CSpline: a natural cubic spline through equally spaced nodes with unit
// spacing, used to interpolate tabulated angles along a range line. Callers
// may read the coefficients directly: on segment k (0 <= k < n) the value at
// k + u is a[k] + b[k] u + c[k] u^2 + d[k] u^3.

#include <array>
#include <cstddef>
#include <span>

namespace tessarin::geometry {

class CSpline {
public:
    static constexpr std::size_t kMaxNodes = 101;

    CSpline() = default;
    // Throws Error for fewer than one or more than kMaxNodes values.
    explicit CSpline(std::span<const double> values) { setup(values); }

    // Fits the spline through values[0..n]; throws Error for fewer than one
    // or more than kMaxNodes values.
    void setup(std::span<const double> values);

    // Number of intervals (nodes - 1).
    int n = 0;
    std::array<double, kMaxNodes> a{};
    std::array<double, kMaxNodes> b{};
    std::array<double, kMaxNodes> c{};
    std::array<double, kMaxNodes> d{};

    // Value at x; outside 0 .. n the nearest end segment is extended. A NaN
    // x gives NaN.
    double value(double x) const;
};

}  // namespace tessarin::geometry
