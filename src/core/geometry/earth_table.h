#pragma once
// "Create lat 2 rearth table": the geocentric latitude and the ellipsoid
// radius for every tenth of a degree of geodetic latitude, from 90 down to
// -90, as a small CSV file.

#include <string>

namespace tessarin::geometry {

// The file name, appended to the document's working path.
inline constexpr const char* kEarthRadiusTableName = "ReEarthTable.csv";

// The whole text: a header line and 1801 lines "lat_g,lat_c, radius".
std::string earthRadiusTableText();

// Writes the table to path, replacing the file only when it is complete;
// throws Error naming the path when it cannot be written.
void writeEarthRadiusTable(const std::string& path);

}  // namespace tessarin::geometry
