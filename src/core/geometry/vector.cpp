#include "geometry/vector.h"

#include <cmath>

namespace tessarin {

double CVector::dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

double CVector::norm(const Vec3& a) { return std::sqrt(dot(a, a)); }

CVector::Orthogonal CVector::orthogonalise(const Vec3& u, const Vec3& v) {
    const double nu = norm(u);
    const double nv = norm(v);
    Vec3 uu{}, vv{};
    for (std::size_t i = 0; i < 3; ++i) {
        uu[i] = nu > 0.0 ? u[i] / nu : 0.0;
        vv[i] = nv > 0.0 ? v[i] / nv : 0.0;
    }
    const double d = dot(uu, vv);
    Orthogonal r;
    for (std::size_t i = 0; i < 3; ++i) r.w[i] = vv[i] - d * uu[i];
    r.length = norm(r.w);
    // Parallel vectors leave rounding noise of about 1e-16 in w; that is
    // still a zero-length result, and dividing by it would only invent a
    // direction.
    constexpr double kParallelLength = 1e-12;
    if (r.length < kParallelLength) {
        r.w = {0.0, 0.0, 0.0};
        r.length = 0.0;
        return r;
    }
    for (double& x : r.w) x /= r.length;
    return r;
}

}  // namespace tessarin
