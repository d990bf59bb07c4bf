#include "geometry/mapping.h"

#include <algorithm>
#include <cmath>

#include "platform/error.h"
#include "platform/format.h"

namespace tessarin::geometry {

namespace {
// A profile longer than this is not a frame row.
constexpr long long kMaxProfileSamples = 1000000;
}  // namespace

LookPlane lookPlaneAt(const SceneParameters& scene, double t_s, GeoPoint ground) {
    const SatellitePosition s = satelliteAt(scene, t_s);
    const Ecef g = groundPointToEcef(ground);
    const Ecef v = g - s.position;
    const double range = norm(v);
    const double cosAngle = std::clamp(dot(v, s.position) / (range * s.radius_m), -1.0, 1.0);
    LookPlane plane;
    plane.satellite = s.position;
    plane.slantRange_m = range;
    plane.offNadir_deg = 180.0 - std::acos(cosAngle) * kDegPerRad;
    plane.planePoint = s.position + (s.radius_m / std::cos(plane.offNadir_deg * kRadPerDeg) / range) * v;
    return plane;
}

RayGround rayToGround(Ecef satellite, Ecef planePoint, double offNadir_deg) {
    const double theta = offNadir_deg * kRadPerDeg;
    const double satRadius = norm(satellite);
    const Ecef aim = (satRadius * std::tan(theta) / norm(planePoint)) * planePoint;
    const Ecef toAim = aim - satellite;
    const double rayLength = satRadius / std::cos(theta);  // satellite to aim point
    // Any surface point lies within this range of the satellite; a search
    // that walks past it has missed the earth.
    const double farthest = satRadius + kSemiMajorAxis_m;

    RayGround result;
    if (!(satRadius > 0.0 && rayLength > 0.0 && std::isfinite(rayLength) && std::isfinite(norm(toAim))))
        return result;  // no satellite, no plane point, or an angle at or past 90 degrees
    double g = kRayStartRange_m;
    double step = kRayStartStep_m;
    double lastDirection = 1.0;
    Ecef p;
    for (int n = 0; n < kRayMaxSteps; ++n) {
        p = satellite + (g / rayLength) * toAim;
        const double radius = norm(p);
        result.geocentricLat_deg = std::asin(p.z_m / radius) * kDegPerRad;
        const double direction = radius > ellipsoidRadius_m(result.geocentricLat_deg) ? 1.0 : -1.0;
        if (direction != lastDirection) step /= 2.0;
        lastDirection = direction;
        g += step * direction;
        if (!(step > kRayFinalStep_m)) {
            result.converged = true;
            break;
        }
        // Walking past the far side of the earth or back behind the
        // satellite: the ray misses.
        if (!(g < farthest && g > 0.0)) break;
    }
    result.lon_deg = std::atan2(p.y_m, p.x_m) * kDegPerRad;
    result.slantRange_m = g;
    result.converged = result.converged && std::isfinite(g) && std::isfinite(result.geocentricLat_deg);
    return result;
}

ClosestApproach pixelTimeAndRange(const SceneParameters& scene, ScenePoint p) {
    return closestApproach(scene, groundPointToEcef(products::latLonOfPixelLine(scene, p)));
}

double lineTime_s(const SceneParameters& scene, double line) {
    const int middle = (scene.line + 1) / 2;
    return scene.scsecofday + (line - middle) / scene.prf;
}

std::vector<double> incidenceProfile(const SceneParameters& scene, int x, int line, int width, int height, int step) {
    if (step <= 0) throw Error(format("the incidence profile needs a positive step, not %d", step));
    const long long count = (static_cast<long long>(step) + width) / step;
    if (count < 0 || count > kMaxProfileSamples)
        throw Error(format("an incidence profile of %lld samples (width %d, step %d) cannot be made", count, width,
                           step));
    const double middleLine = static_cast<double>(static_cast<long long>(line) + height / 2);
    const SatellitePosition s = satelliteAt(scene, lineTime_s(scene, middleLine));
    const Ecef first = groundPointToEcef(products::latLonOfPixelLine(scene, {static_cast<double>(x), middleLine}));
    const double firstRange = norm(first - s.position);

    std::vector<double> profile(static_cast<std::size_t>(count));
    for (long long m = 0; m < count; ++m) {
        const double offset = static_cast<double>(m) * step;
        const double range = firstRange + offset * scene.pixsz;
        const GeoPoint g = products::latLonOfPixelLine(scene, {x + offset, middleLine});
        const double radius = ellipsoidRadius_m(geocentricLatitude_deg(g.lat_deg));
        profile[static_cast<std::size_t>(m)] = incidenceAngle_deg(range, radius, s.radius_m);
    }
    return profile;
}

}  // namespace tessarin::geometry
