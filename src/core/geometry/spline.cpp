#include "geometry/spline.h"

#include <cmath>
#include <limits>

#include "platform/error.h"
#include "platform/format.h"

namespace tessarin::geometry {

void CSpline::setup(std::span<const double> values) {
    if (values.empty() || values.size() > kMaxNodes)
        throw Error(format("a spline takes 1 to %zu values, not %zu", kMaxNodes, values.size()));
    a.fill(0.0), b.fill(0.0), c.fill(0.0), d.fill(0.0);
    const std::size_t count = values.size() - 1;
    n = static_cast<int>(count);
    for (std::size_t i = 0; i <= count; ++i) a[i] = values[i];

    // Tridiagonal system c[i-1] + 4 c[i] + c[i+1] = 3 (a[i-1] - 2 a[i] + a[i+1])
    // with c[0] = c[n] = 0 (natural ends), by forward and backward sweeps.
    std::array<double, kMaxNodes> w{};
    for (std::size_t i = 1; i < count; ++i) {
        const double r = 3.0 * (a[i - 1] - 2.0 * a[i] + a[i + 1]);
        const double m = 4.0 - w[i - 1];
        c[i] = (r - c[i - 1]) / m;
        w[i] = 1.0 / m;
    }
    for (std::size_t i = count; i-- > 1;) c[i] -= w[i] * c[i + 1];
    for (std::size_t i = 0; i < count; ++i) {
        d[i] = (c[i + 1] - c[i]) / 3.0;
        b[i] = a[i + 1] - a[i] - c[i] - d[i];
    }
}

double CSpline::value(double x) const {
    if (std::isnan(x)) return std::numeric_limits<double>::quiet_NaN();
    if (n == 0) return a[0];
    const double last = static_cast<double>(n - 1);
    const double k = std::fmin(std::fmax(std::floor(x), 0.0), last);
    const auto i = static_cast<std::size_t>(k);
    const double u = x - k;
    return a[i] + u * (b[i] + u * (c[i] + u * d[i]));
}

}  // namespace tessarin::geometry
