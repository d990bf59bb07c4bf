#pragma once
// A slant-range scene of known geometry, independent of the code under test:
// a circular orbit given in earth-fixed coordinates, image lines at equal
// times (line = (t - t_centre) prf + lines / 2), pixels at equal slant ranges
// (range = near + pixel * pixsz), and every image position on the ellipsoid
// where its zero-Doppler circle meets it (found by bisection on the look
// angle against the implicit ellipsoid equation).
//
// From it the fixture makes the scene description a product carries: state
// vectors every 60 s, and the degree-4 pixel/line <-> latitude/longitude
// polynomials fitted by least squares (Householder QR) over an area wide
// enough for the mapping table. The description goes through the CEOS writer
// and reader, so the tests see what a decoded product holds.
//
// A layer on the shared product fixture (support/product_fixture.h), whose
// date, radiometry and orbit sampling it keeps. Used by the geometry tests
// and the ortho matrix benchmark; no test framework here.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "simulator/scene_simulator.h"

#include "products/alos2.h"
#include "products/ceos_writer.h"
#include "products/scene_parameters.h"
#include "support/product_fixture.h"

namespace tessarin::geometry::fixture {

using testing::CircularOrbit;
using testing::cross3;
using testing::dot3;
using testing::len3;
using testing::unit3;
using testing::V3;

// GRS80, written out here rather than taken from the code under test.
inline constexpr double kA = 6378137.0;
inline constexpr double kF = 1.0 / 298.257222101;
inline constexpr double kB = kA * (1.0 - kF);
inline constexpr double kE2 = kF * (2.0 - kF);
inline constexpr double kDeg = 180.0 / 3.14159265358979323846;

// Ellipsoid equation: negative inside, positive outside.
inline double ellipsoidLevel(V3 p) { return (p.x * p.x + p.y * p.y) / (kA * kA) + p.z * p.z / (kB * kB) - 1.0; }

// Geodetic latitude and longitude (degrees) of a point on the ellipsoid:
// the normal there has the slope z / ((1 - e^2) sqrt(x^2 + y^2)).
inline GeoPoint surfaceLatLon(V3 p) {
    return {std::atan2(p.z, (1.0 - kE2) * std::hypot(p.x, p.y)) * kDeg, std::atan2(p.y, p.x) * kDeg};
}

// Where the ray s + g dir (dir a unit vector) first meets the ellipsoid:
// the smaller root of the quadratic; negative when it misses.
inline double rayEllipsoidRange(V3 s, V3 dir) {
    const V3 sq{s.x / kA, s.y / kA, s.z / kB};
    const V3 dq{dir.x / kA, dir.y / kA, dir.z / kB};
    const double a = dot3(dq, dq), b = 2.0 * dot3(sq, dq), c = dot3(sq, sq) - 1.0;
    const double disc = b * b - 4.0 * a * c;
    if (disc < 0.0) return -1.0;
    // The numerically stable form of the smaller root.
    const double q = -0.5 * (b + std::copysign(std::sqrt(disc), b));
    return std::min(q / a, c / q);
}

struct SarSceneSpec {
    int pixels = 4000;
    int lines = 8000;
    double pixsz_m = 5.0;
    double prf_hz = 2000.0;
    double nearRange_m = 750000.0;
    // 03:12:34.567: a time the leader holds exactly.
    int hour = 3, minute = 12;
    double second = 34.567;
    bool rightLooking = true;
    CircularOrbit orbit;  // the shared fixture's
    // Fit area of the inverse polynomials beyond the image: the mapping
    // table reaches a degree of off-nadir angle and the half span plus 5 s
    // beyond it.
    double fitMarginRange_m = 14000.0;
    double fitMarginTime_s = 9.0;

    double centreTime_s() const { return hour * 3600.0 + minute * 60.0 + second; }
};

class SarScene {
public:
    explicit SarScene(const SarSceneSpec& setup) : spec_(setup) { params_ = describe(); }

    const SarSceneSpec& setup() const { return spec_; }
    // The scene as a decoded product holds it.
    const products::SceneParameters& params() const { return params_; }

    double timeOfLine(double line) const { return spec_.centreTime_s() + (line - spec_.lines / 2) / spec_.prf_hz; }
    double rangeOfPixel(double pixel) const { return spec_.nearRange_m + pixel * spec_.pixsz_m; }

    // The ground point of an image position.
    V3 ground(double pixel, double line) const {
        const double t = timeOfLine(line);
        const V3 s = spec_.orbit.position(t);
        const V3 v = unit3(spec_.orbit.velocity(t));
        const V3 nadir = unit3(-1.0 * (s - dot3(s, v) * v));
        const V3 side = (spec_.rightLooking ? 1.0 : -1.0) * unit3(cross3(v, s));
        const double range = rangeOfPixel(pixel);
        double lo = 0.0, hi = 1.5707963267948966;
        for (int n = 0; n < 200 && hi - lo > 0.0; ++n) {
            const double mid = 0.5 * (lo + hi);
            if (mid == lo || mid == hi) break;
            const V3 g = s + range * (std::cos(mid) * nadir + std::sin(mid) * side);
            (ellipsoidLevel(g) < 0.0 ? lo : hi) = mid;
        }
        return s + range * (std::cos(lo) * nadir + std::sin(lo) * side);
    }
    GeoPoint latLon(double pixel, double line) const { return surfaceLatLon(ground(pixel, line)); }

    // The image position of a ground point: the zero-Doppler time by
    // bisection, then the range.
    ScenePoint pixelLine(V3 g) const {
        double lo = spec_.centreTime_s() - 100.0, hi = spec_.centreTime_s() + 100.0;
        auto doppler = [&](double t) { return dot3(g - spec_.orbit.position(t), spec_.orbit.velocity(t)); };
        for (int n = 0; n < 200; ++n) {
            const double mid = 0.5 * (lo + hi);
            if (mid == lo || mid == hi) break;
            (doppler(mid) > 0.0 ? lo : hi) = mid;
        }
        const double t = 0.5 * (lo + hi);
        return {(len3(g - spec_.orbit.position(t)) - spec_.nearRange_m) / spec_.pixsz_m,
                (t - spec_.centreTime_s()) * spec_.prf_hz + spec_.lines / 2};
    }

    // Largest differences of the fitted polynomials from the geometry over
    // their fit areas (degrees; pixels and lines).
    double fitErrorLatLon_deg = 0.0;
    double fitErrorPixelLine = 0.0;

private:
    products::SceneParameters describe() {
        using products::SceneParameters;
        products::ProductSpec product = testing::plausibleProduct("", {.pixels = spec_.pixels, .lines = spec_.lines});
        SceneParameters& p = product.params;
        p.H = spec_.hour, p.Min = spec_.minute, p.Sec = spec_.second;
        p.prf = spec_.prf_hz;
        p.pixsz = spec_.pixsz_m;
        p.linsz = spec_.orbit.radius_m * spec_.orbit.rate_rad_s * (kA / spec_.orbit.radius_m) / spec_.prf_hz;
        p.inccoef = {};
        p.orbitFirstTime = spec_.orbit.epoch_s;
        testing::sampleOrbit(p, spec_.orbit);

        // The forward polynomials are fitted over the image and the
        // off-nadir extent the scene geometry looks at (pixels -0.2 to 1.2
        // widths), as a product fits them over its image; the inverse ones
        // also over the margins the mapping table reaches.
        constexpr int kSamples = 17;
        auto grid = [&](double p0, double p1, double l0, double l1) {
            std::vector<std::array<double, 4>> out;
            for (int i = 0; i < kSamples; ++i)
                for (int j = 0; j < kSamples; ++j) {
                    const double px = p0 + (p1 - p0) * i / (kSamples - 1);
                    const double ln = l0 + (l1 - l0) * j / (kSamples - 1);
                    const GeoPoint g = latLon(px, ln);
                    out.push_back({px, ln, g.lat_deg, g.lon_deg});
                }
            return out;
        };
        forward_ = {-0.3 * spec_.pixels, 1.3 * spec_.pixels, -0.1 * spec_.lines, 1.1 * spec_.lines};
        const double marginPixels = spec_.fitMarginRange_m / spec_.pixsz_m;
        const double marginLines = spec_.fitMarginTime_s * spec_.prf_hz;
        inverse_ = {-marginPixels, spec_.pixels + marginPixels, -marginLines, spec_.lines + marginLines};
        const auto forwardSamples = grid(forward_[0], forward_[1], forward_[2], forward_[3]);
        const auto inverseSamples = grid(inverse_[0], inverse_[1], inverse_[2], inverse_[3]);

        p.plRefPixel = spec_.pixels / 2, p.plRefLine = spec_.lines / 2;
        const GeoPoint centre = latLon(p.plRefPixel, p.plRefLine);
        p.ctrlat = centre.lat_deg, p.ctrlon = centre.lon_deg;
        p.llRefLat = std::round(centre.lat_deg * 1000.0) / 1000.0;
        p.llRefLon = std::round(centre.lon_deg * 1000.0) / 1000.0;
        simulator::fitMappingPolynomials(p, forwardSamples, inverseSamples, (forward_[1] - forward_[0]) / 2,
                                         (forward_[3] - forward_[2]) / 2);

        // Through the writer and the reader.
        const std::vector<std::uint8_t> leader = products::encodeLeader(product);
        const std::vector<std::uint8_t> descriptor = products::encodeImageFileDescriptor(product);
        products::Alos2 reader;
        reader.setImagePath("IMG-HH-" + products::productNameBody(product));
        reader.DecodeLeaderBytes(leader, "fixture leader");
        reader.DecodeImageFileDescriptorBytes(descriptor, "fixture descriptor");
        const SceneParameters decoded = reader.params();

        // How well the decoded polynomials follow the geometry, on points
        // between the samples.
        for (int i = 0; i < kSamples - 1; ++i)
            for (int j = 0; j < kSamples - 1; ++j) {
                const double u = (i + 0.5) / (kSamples - 1), v = (j + 0.5) / (kSamples - 1);
                const double px = forward_[0] + (forward_[1] - forward_[0]) * u;
                const double ln = forward_[2] + (forward_[3] - forward_[2]) * v;
                const GeoPoint truth = latLon(px, ln);
                const GeoPoint fit = products::latLonOfPixelLine(decoded, {px, ln});
                fitErrorLatLon_deg = std::max({fitErrorLatLon_deg, std::fabs(fit.lat_deg - truth.lat_deg),
                                               std::fabs(fit.lon_deg - truth.lon_deg)});
                const double qx = inverse_[0] + (inverse_[1] - inverse_[0]) * u;
                const double qn = inverse_[2] + (inverse_[3] - inverse_[2]) * v;
                const ScenePoint back = products::pixelLineOfLatLon(decoded, latLon(qx, qn));
                fitErrorPixelLine =
                    std::max({fitErrorPixelLine, std::fabs(back.pixel - qx), std::fabs(back.line - qn)});
            }
        return decoded;
    }

    SarSceneSpec spec_;
    std::array<double, 4> forward_{}, inverse_{};  // fit areas: first and last pixel, first and last line
    products::SceneParameters params_;
};

}  // namespace tessarin::geometry::fixture
