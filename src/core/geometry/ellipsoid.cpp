#include "geometry/ellipsoid.h"

#include <cmath>

namespace tessarin::geometry {

double geocentricLatitude_deg(double geodeticLat_deg) {
    return std::atan(kOneMinusFlatteningSquared * std::tan(geodeticLat_deg * kRadPerDeg)) * kDegPerRad;
}

double geodeticLatitude_deg(double geocentricLat_deg) {
    return std::atan(std::tan(geocentricLat_deg * kRadPerDeg) / kOneMinusFlatteningSquared) * kDegPerRad;
}

double ellipsoidRadius_m(double geocentricLat_deg) {
    // At the poles tan() of the rounded right angle is about 1.6e16, not
    // infinite, and the ratio still tends to (1-f)^2.
    const double t = std::tan(geocentricLat_deg * kRadPerDeg);
    const double u = t / (1.0 - kFlattening);
    return kSemiMajorAxis_m * std::sqrt((1.0 + t * t) / (1.0 + u * u));
}

Ecef groundPointToEcef(GeoPoint ground) {
    const double latc_deg = geocentricLatitude_deg(ground.lat_deg);
    const double r = ellipsoidRadius_m(latc_deg);
    const double latc = latc_deg * kRadPerDeg;
    const double lon = ground.lon_deg * kRadPerDeg;
    return {r * std::cos(latc) * std::cos(lon), r * std::cos(latc) * std::sin(lon), r * std::sin(latc)};
}

GeoPoint ecefToLatLon(Ecef p) {
    const double latc_deg = std::asin(p.z_m / norm(p)) * kDegPerRad;
    return {geodeticLatitude_deg(latc_deg), std::atan2(p.y_m, p.x_m) * kDegPerRad};
}

}  // namespace tessarin::geometry
