#pragma once
// Three-vector helpers: the orthogonalisation used to build a local frame
// from two directions.

#include <array>

namespace tessarin {

class CVector {
public:
    using Vec3 = std::array<double, 3>;

    struct Orthogonal {
        Vec3 w{};              // unit vector in the plane of u and v, normal to u
        double length = 0.0;   // |w| before normalisation: sin of the angle between u and v
    };

    static double dot(const Vec3& a, const Vec3& b);
    static double norm(const Vec3& a);

    // Gram-Schmidt step: u and v are normalised, w = v - (u.v) u, then w is
    // normalised. Parallel inputs give length 0 and a zero w (not NaN);
    // callers must not pass them.
    static Orthogonal orthogonalise(const Vec3& u, const Vec3& v);
};

}  // namespace tessarin
