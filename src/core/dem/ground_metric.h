#pragma once
// Ground metres of an image step, from the product's own latitude/longitude
// polynomials: what the terrain displacement is divided by, whatever the
// product's geometry (ground range or slant range).

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "geometry/ellipsoid.h"
#include "products/alos2.h"

namespace tessarin::dem {

// A longitude difference brought into -180 .. 180.
inline double wrapLongitudeStep(double d_deg, double) { return d_deg - 360.0 * std::round(d_deg / 360.0); }

// The metric of the image on the ground: for a step (dp, dl) in pixels and
// lines the ground distance squared is gpp dp^2 + 2 gpl dp dl + gll dl^2.
// Held at nodes every 64 pixels and lines around the frame and interpolated
// bilinearly; the polynomials are smooth over far larger distances.
class GroundMetric {
public:
    static constexpr int kStep = 64;

    GroundMetric(const products::SceneParameters& scene, double p0, double l0, int extentPixels, int extentLines)
        : p0_(p0 - kStep), l0_(l0 - kStep) {
        nx_ = extentPixels / kStep + 4;
        ny_ = extentLines / kStep + 4;
        nodes_.resize(static_cast<std::size_t>(nx_) * static_cast<std::size_t>(ny_));
        for (int j = 0; j < ny_; ++j)
            for (int i = 0; i < nx_; ++i)
                nodes_[index(i, j)] = metricAt(scene, p0_ + i * kStep, l0_ + j * kStep);
    }

    // Ground metres of the unit image step u (up, ul).
    double metres(double P, double L, double up, double ul) const {
        const double x = std::clamp((P - p0_) / kStep, 0.0, nx_ - 1.000001);
        const double y = std::clamp((L - l0_) / kStep, 0.0, ny_ - 1.000001);
        const int i = static_cast<int>(x), j = static_cast<int>(y);
        const double u = x - i, v = y - j;
        const Node& a = nodes_[index(i, j)];
        const Node& b = nodes_[index(i + 1, j)];
        const Node& c = nodes_[index(i, j + 1)];
        const Node& d = nodes_[index(i + 1, j + 1)];
        auto mix = [&](double Node::*m) {
            return (1 - v) * ((1 - u) * a.*m + u * b.*m) + v * ((1 - u) * c.*m + u * d.*m);
        };
        const double g2 = mix(&Node::pp) * up * up + 2.0 * mix(&Node::pl) * up * ul + mix(&Node::ll) * ul * ul;
        return g2 > 0.0 ? std::sqrt(g2) : std::numeric_limits<double>::quiet_NaN();
    }

private:
    struct Node {
        double pp = 0, pl = 0, ll = 0;
    };
    std::size_t index(int i, int j) const {
        return static_cast<std::size_t>(i) + static_cast<std::size_t>(j) * static_cast<std::size_t>(nx_);
    }
    static Node metricAt(const products::SceneParameters& scene, double P, double L) {
        constexpr double h = 0.5;
        const GeoPoint pa = products::latLonOfPixelLine(scene, {P - h, L});
        const GeoPoint pb = products::latLonOfPixelLine(scene, {P + h, L});
        const GeoPoint la = products::latLonOfPixelLine(scene, {P, L - h});
        const GeoPoint lb = products::latLonOfPixelLine(scene, {P, L + h});
        const double lat = 0.25 * (pa.lat_deg + pb.lat_deg + la.lat_deg + lb.lat_deg) * geometry::kRadPerDeg;
        const double e2 = geometry::kEccentricitySquared;
        const double w = 1.0 - e2 * std::sin(lat) * std::sin(lat);
        const double north = geometry::kSemiMajorAxis_m * (1.0 - e2) / (w * std::sqrt(w)) * geometry::kRadPerDeg;
        const double east = geometry::kSemiMajorAxis_m / std::sqrt(w) * std::cos(lat) * geometry::kRadPerDeg;
        const double eP = wrapLongitudeStep(pb.lon_deg - pa.lon_deg, 0.0) / (2 * h) * east;
        const double nP = (pb.lat_deg - pa.lat_deg) / (2 * h) * north;
        const double eL = wrapLongitudeStep(lb.lon_deg - la.lon_deg, 0.0) / (2 * h) * east;
        const double nL = (lb.lat_deg - la.lat_deg) / (2 * h) * north;
        return {eP * eP + nP * nP, eP * eL + nP * nL, eL * eL + nL * nL};
    }

    double p0_, l0_;
    int nx_ = 0, ny_ = 0;
    std::vector<Node> nodes_;
};


}  // namespace tessarin::dem
