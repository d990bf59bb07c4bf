#pragma once
// Texts of a geographic position: degrees, minutes and seconds, or decimal
// degrees. Whole degrees and minutes are truncated toward zero, never rounded,
// so a position reads the same wherever it is shown.

#include <string>

namespace tessarin {

// How the view shows positions: the display flag of the view's geographic
// format commands.
enum class GeoTextFormat : int { DegreesMinutesSeconds = 0, Decimal = 1 };

// Degrees, minutes and seconds of the absolute value of an angle.
struct DmsParts {
    int degrees = 0;
    int minutes = 0;
    double seconds = 0.0;
};
DmsParts toDms(double angle_deg);

// "GeoPosition= N 35:30'0.00'', E 139:15'0.00''" (south and west as
// "Geo Position= S ..." and ", W ...").
std::string geoPositionDmsText(double lat_deg, double lon_deg);

// The position part of the pixel readout in decimal degrees:
// "lat,lon=35.500000, 139.250000".
std::string latLonDecimalText(double lat_deg, double lon_deg);

// The position part of the pixel readout in degrees, minutes and seconds:
// "lat_N:35,30'',0.00;lon_E139,15'',0.00;" (the longitude label has no
// colon, as the users have always read it).
std::string latLonReadoutDmsText(double lat_deg, double lon_deg);

}  // namespace tessarin
