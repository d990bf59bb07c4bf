#pragma once
// GeoTIFF keys and the key values this system reads and writes, in one
// place for the reader, the writer and the header report.

#include <cstdint>

namespace tessarin::tiff {

// The key directory's header: version, key revision, minor revision.
inline constexpr std::uint16_t kGeoKeyDirectoryVersion = 1;
inline constexpr std::uint16_t kGeoKeyRevision = 1;
inline constexpr std::uint16_t kGeoKeyMinorRevision = 0;

// Keys.
inline constexpr std::uint16_t kGTModelTypeGeoKey = 1024;
inline constexpr std::uint16_t kGTRasterTypeGeoKey = 1025;
inline constexpr std::uint16_t kGTCitationGeoKey = 1026;
inline constexpr std::uint16_t kGeogAngularUnitsGeoKey = 2054;
inline constexpr std::uint16_t kGeogSemiMajorAxisGeoKey = 2057;
inline constexpr std::uint16_t kGeogInvFlatteningGeoKey = 2059;
inline constexpr std::uint16_t kProjectedCSTypeGeoKey = 3072;
inline constexpr std::uint16_t kProjLinearUnitsGeoKey = 3076;

// GTModelTypeGeoKey values.
inline constexpr std::uint16_t kModelTypeProjected = 1;
inline constexpr std::uint16_t kModelTypeGeographic = 2;
// GTRasterTypeGeoKey values.
inline constexpr std::uint16_t kRasterPixelIsArea = 1;
inline constexpr std::uint16_t kRasterPixelIsPoint = 2;
// Unit codes (ProjLinearUnitsGeoKey, GeogAngularUnitsGeoKey).
inline constexpr std::uint16_t kLinearUnitMetre = 9001;
inline constexpr std::uint16_t kAngularUnitDegree = 9102;
// ProjectedCSTypeGeoKey values of WGS 84 / UTM: zone z north is
// kUtmNorthFirst + z - 1, south kUtmSouthFirst + z - 1.
inline constexpr int kUtmNorthFirst = 32601;
inline constexpr int kUtmNorthLast = 32660;
inline constexpr int kUtmSouthFirst = 32701;
inline constexpr int kUtmSouthLast = 32760;

}  // namespace tessarin::tiff
