#pragma once
// The earth model: the GRS80 ellipsoid with the conversions every geometric
// operation rests on. Positions on the ellipsoid have height 0; heights are
// the ortho conversion's business.
//
// Angles at this interface are in degrees; radians stay inside.

#include <cmath>

#include "platform/geo_types.h"

namespace tessarin::geometry {

// GRS80.
inline constexpr double kSemiMajorAxis_m = 6378137.0;
inline constexpr double kInverseFlattening = 298.257222101;
inline constexpr double kFlattening = 1.0 / kInverseFlattening;
inline constexpr double kOneMinusFlatteningSquared = (1.0 - kFlattening) * (1.0 - kFlattening);
inline constexpr double kSemiMinorAxis_m = kSemiMajorAxis_m * (1.0 - kFlattening);
// e^2 = f (2 - f) and e'^2 = e^2 / (1 - e^2), written out as the transverse
// Mercator series has always used them.
inline constexpr double kEccentricitySquared = 0.006694380022900787;
inline constexpr double kSecondEccentricitySquared = 0.006739496775478957;

// WGS84, the datum GeoTIFF files declare: GRS80's semi-major axis with a
// flattening that differs in the ninth digit.
inline constexpr double kWgs84SemiMajorAxis_m = kSemiMajorAxis_m;
inline constexpr double kWgs84InverseFlattening = 298.257223563;

inline constexpr double kPi = 3.141592653589793;
inline constexpr double kRadPerDeg = 0.017453292519943295;
inline constexpr double kDegPerRad = 180.0 / kPi;

// An earth-centred, earth-fixed position or direction (metres).
struct Ecef {
    double x_m = 0.0;
    double y_m = 0.0;
    double z_m = 0.0;

    friend Ecef operator+(Ecef a, Ecef b) { return {a.x_m + b.x_m, a.y_m + b.y_m, a.z_m + b.z_m}; }
    friend Ecef operator-(Ecef a, Ecef b) { return {a.x_m - b.x_m, a.y_m - b.y_m, a.z_m - b.z_m}; }
    friend Ecef operator*(double s, Ecef a) { return {s * a.x_m, s * a.y_m, s * a.z_m}; }
};

inline double dot(Ecef a, Ecef b) { return a.x_m * b.x_m + a.y_m * b.y_m + a.z_m * b.z_m; }
inline double norm(Ecef a) { return std::sqrt(dot(a, a)); }

// Geocentric latitude of a geodetic latitude: atan((1-f)^2 tan(lat)).
double geocentricLatitude_deg(double geodeticLat_deg);
// The reverse: atan(tan(lat_c) / (1-f)^2).
double geodeticLatitude_deg(double geocentricLat_deg);

// Distance from the earth's centre to the ellipsoid at a geocentric latitude:
// a * sqrt((1 + t^2) / (1 + (t / (1-f))^2)) with t = tan(lat_c). The only
// earth radius the system uses.
double ellipsoidRadius_m(double geocentricLat_deg);

// The ellipsoid point below a geodetic latitude and longitude (height 0).
Ecef groundPointToEcef(GeoPoint ground);

// Geodetic latitude and longitude of an ECEF position through its geocentric
// latitude asin(z / |p|). Exact for points on the ellipsoid; the system also
// applies it to points near it.
GeoPoint ecefToLatLon(Ecef p);

}  // namespace tessarin::geometry
