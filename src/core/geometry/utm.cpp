#include "geometry/utm.h"

#include <cmath>
#include <numbers>

#include "geometry/ellipsoid.h"

namespace tessarin {

namespace {

using geometry::kFlattening;
using geometry::kSecondEccentricitySquared;
using geometry::kSemiMajorAxis_m;

constexpr double kDegToRad = std::numbers::pi / 180.0;
constexpr double kZoneWidth_deg = 6.0;

constexpr double kSearchStartLat_deg = 35.0;
constexpr double kSearchLatStep_deg = 1.0;
constexpr double kSearchLonStep_deg = 0.5;
// Beyond these the series means nothing; a search that gets there has failed.
constexpr double kMaxLat_deg = 90.0;
constexpr double kMaxDlon_deg = 90.0;

}  // namespace

double CUTM::centralMeridian_deg(int zone) { return (zone - 31) * kZoneWidth_deg + 3.0; }

double CUTM::meridianArc_m(double lat_deg) {
    const double phi = lat_deg * kDegToRad;
    return kArcA * phi - (kArcB / 2.0) * std::sin(2.0 * phi) + (kArcC / 4.0) * std::sin(4.0 * phi) -
           (kArcD / 6.0) * std::sin(6.0 * phi) + (kArcE / 8.0) * std::sin(8.0 * phi);
}

TransverseMercatorXY CUTM::transverseMercator(double lat_deg, double dlon_deg) {
    const double phi = lat_deg * kDegToRad;
    const double l = dlon_deg * kDegToRad;
    const double s = std::sin(phi);
    const double c = std::cos(phi);
    const double t2 = (s * s) / (c * c);
    const double eta2 = kSecondEccentricitySquared * c * c;
    // Radius of curvature in the prime vertical, from the polar radius a/(1-f).
    const double n = (kSemiMajorAxis_m / (1.0 - kFlattening)) / std::sqrt(1.0 + eta2);
    const double l2 = l * l;
    const double c3 = c * c * c;
    const double c5 = c3 * c * c;

    TransverseMercatorXY xy;
    xy.x_m = meridianArc_m(lat_deg) + (n / 2.0) * s * c * l2 +
             (5.0 - t2 + 9.0 * eta2 + 4.0 * eta2 * eta2) * (n / 24.0) * s * c3 * l2 * l2 +
             (61.0 - 58.0 * t2 + t2 * t2) * (n / 720.0) * s * c5 * l2 * l2 * l2;
    xy.y_m = n * c * l + (1.0 - t2 + eta2) * (n / 6.0) * c3 * l2 * l +
             (5.0 - 18.0 * t2 + t2 * t2) * (n / 120.0) * c5 * l2 * l2 * l;
    return xy;
}

UtmCoordinate CUTM::toUtm(double lat_deg, double lon_deg, int zone, bool north) {
    const TransverseMercatorXY xy = transverseMercator(lat_deg, lon_deg - centralMeridian_deg(zone));
    UtmCoordinate utm;
    utm.northing_m = kScaleFactor * xy.x_m + (north ? 0.0 : kFalseNorthingSouth_m);
    utm.easting_m = kScaleFactor * xy.y_m + kFalseEasting_m;
    return utm;
}

UtmInverseResult CUTM::toLatLon(bool north, int zone, double easting_m, double northing_m) {
    const double cm = centralMeridian_deg(zone);
    UtmInverseResult r;
    r.lat_deg = north ? kSearchStartLat_deg : -kSearchStartLat_deg;
    r.lon_deg = cm;
    double latStep = kSearchLatStep_deg;
    double lonStep = kSearchLonStep_deg;

    UtmCoordinate at = toUtm(r.lat_deg, r.lon_deg, zone, north);
    int latDir = at.northing_m > northing_m ? -1 : 1;
    int lonDir = easting_m < at.easting_m ? -1 : 1;

    // Written so that NaN anywhere keeps the search going into its limit.
    auto close = [&] {
        return std::fabs(at.northing_m - northing_m) < kSearchTolerance_m &&
               std::fabs(at.easting_m - easting_m) < kSearchTolerance_m;
    };
    while (!close()) {
        if (r.steps >= kMaxSearchSteps || std::fabs(r.lat_deg) > kMaxLat_deg || std::fabs(r.lon_deg - cm) > kMaxDlon_deg)
            return r;
        ++r.steps;
        r.lat_deg += latDir * latStep;
        r.lon_deg += lonDir * lonStep;
        at = toUtm(r.lat_deg, r.lon_deg, zone, north);
        const int newLatDir = at.northing_m > northing_m ? -1 : 1;
        const int newLonDir = easting_m < at.easting_m ? -1 : 1;
        if (newLatDir != latDir) latStep /= 2.0;
        if (newLonDir != lonDir) lonStep /= 2.0;
        latDir = newLatDir;
        lonDir = newLonDir;
    }
    r.converged = true;
    return r;
}

}  // namespace tessarin
