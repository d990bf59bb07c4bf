#include "geometry/geo_format.h"

#include <cmath>

#include "platform/format.h"

namespace tessarin {

namespace {

constexpr double kMinutesPerDegree = 60.0;
constexpr double kSecondsPerMinute = 60.0;
constexpr double kSecondsPerDegree = 3600.0;
// Whole degrees must fit an int; anything beyond is not a position, and its
// text shows the raw value in the seconds field instead.
constexpr double kLargestAngle_deg = 1.0e9;

bool convertible(double a) { return a < kLargestAngle_deg; }  // false for NaN too

}  // namespace

DmsParts toDms(double angle_deg) {
    const double a = std::fabs(angle_deg);
    DmsParts p;
    if (!convertible(a)) {
        p.seconds = a;
        return p;
    }
    p.degrees = static_cast<int>(a);
    const double minutes = (a - p.degrees) * kMinutesPerDegree;
    p.minutes = static_cast<int>(minutes);
    p.seconds = (minutes - p.minutes) * kSecondsPerMinute;
    return p;
}

std::string geoPositionDmsText(double lat_deg, double lon_deg) {
    const DmsParts lat = toDms(lat_deg);
    const DmsParts lon = toDms(lon_deg);
    std::string text = format(lat_deg < 0.0 ? "Geo Position= S %d:" : "GeoPosition= N %d:", lat.degrees);
    text += format("%d'", lat.minutes);
    text += format("%.2f''", lat.seconds);
    text += format(lon_deg < 0.0 ? ", W %d:" : ", E %d:", lon.degrees);
    text += format("%d'", lon.minutes);
    text += format("%.2f''", lon.seconds);
    return text;
}

std::string latLonDecimalText(double lat_deg, double lon_deg) { return format("lat,lon=%.6f, %.6f", lat_deg, lon_deg); }

std::string latLonReadoutDmsText(double lat_deg, double lon_deg) {
    // Here the seconds come from the fraction of a degree, not of a minute.
    auto part = [](double angle_deg) {
        const double a = std::fabs(angle_deg);
        if (!convertible(a)) return format("0,0'',%.2f;", a);
        const int d = static_cast<int>(a);
        const double fraction = a - d;
        const int m = static_cast<int>(fraction * kMinutesPerDegree);
        const double s = (fraction - m / kMinutesPerDegree) * kSecondsPerDegree;
        return format("%d,%d'',%.2f;", d, m, s);
    };
    return std::string(lat_deg < 0.0 ? "lat_S:" : "lat_N:") + part(lat_deg) + (lon_deg < 0.0 ? "lon_W:" : "lon_E") +
           part(lon_deg);
}

}  // namespace tessarin
