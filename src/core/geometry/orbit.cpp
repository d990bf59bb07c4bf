#include "geometry/orbit.h"

#include <algorithm>
#include <cmath>

#include "products/alos2.h"

namespace tessarin::geometry {

namespace {

double squaredDistance(const SceneParameters& scene, double t_s, Ecef point) {
    const SatellitePosition s = satelliteAt(scene, t_s);
    const Ecef d = s.position - point;
    return dot(d, d);
}

// Half of the angle between sides b and c of a triangle, opposite side a:
// asin(sqrt((s - b)(s - c) / (b c))), in degrees, the sine held to [0, 1].
double halfAngle_deg(double a, double b, double c) {
    const double s = (a + b + c) / 2.0;
    const double q = (s - b) * (s - c) / (b * c);
    return std::asin(std::sqrt(std::clamp(q, 0.0, 1.0))) * kDegPerRad;
}

}  // namespace

SatellitePosition satelliteAt(const SceneParameters& scene, double t_s) {
    const products::OrbitPosition o = products::orbitPositionAt(scene, t_s);
    return {{o.x_m, o.y_m, o.z_m}, o.radius_m};
}

ClosestApproach closestApproach(const SceneParameters& scene, Ecef point) {
    double t = scene.orbitRefTime;
    double step = kClosestApproachStartStep_s;
    double direction = 1.0;
    double reference = squaredDistance(scene, t, point);
    // The search stops just after stepping past the minimum; the nearest
    // time it visited lies within half the last step of it, the last probe
    // up to one and a half steps away.
    double bestTime = t;
    double best = reference;
    bool converged = false;
    for (int n = 0; n < kClosestApproachMaxSteps; ++n) {
        t += direction * step;
        const double d = squaredDistance(scene, t, point);
        if (std::isnan(d)) break;
        if (d > reference) {
            step /= 2.0;
            direction = -direction;
        }
        reference = d;
        if (d < best) {
            best = d;
            bestTime = t;
        }
        if (!(step > kClosestApproachFinalStep_s)) {
            converged = true;
            break;
        }
    }
    ClosestApproach result;
    const SatellitePosition s = satelliteAt(scene, bestTime);
    result.time_s = bestTime;
    result.satellite = s.position;
    result.orbitRadius_m = s.radius_m;
    result.range_m = norm(s.position - point);
    result.converged = converged && std::isfinite(result.range_m);
    return result;
}

double offNadirAngle_deg(double satToGround_m, double centreToGround_m, double centreToSat_m) {
    // The angle between satToGround and centreToSat lies opposite centreToGround.
    return 2.0 * halfAngle_deg(centreToGround_m, satToGround_m, centreToSat_m);
}

double incidenceAngle_deg(double satToGround_m, double centreToGround_m, double centreToSat_m) {
    return 180.0 - 2.0 * halfAngle_deg(centreToSat_m, satToGround_m, centreToGround_m);
}

}  // namespace tessarin::geometry
