#pragma once
// The three KML 2.2 documents of the geo export: a ground overlay draping
// one image over its latitude/longitude box, a multi-overlay holding several
// such images in one folder, and the image frame, a line string around the
// whole scene. Every text is UTF-8 with its names escaped, numbers are
// written in the C locale, and every file is replaced atomically; a failure
// throws Error naming the file.

#include <array>
#include <string>
#include <vector>

#include "platform/geo_types.h"

namespace tessarin::geoexport {

inline constexpr const char* kKmlNamespace = "http://www.opengis.net/kml/2.2";
inline constexpr const char* kGxNamespace = "http://www.google.com/kml/ext/2.2";
inline constexpr const char* kAtomNamespace = "http://www.w3.org/2005/Atom";

// North, south, east and west in degrees. Across the antimeridian east is
// kept unwrapped past 180 (east > west always), which the globe draws right.
struct LatLonBox {
    double north = 0.0;
    double south = 0.0;
    double east = 0.0;
    double west = 0.0;
};

// The names a ground overlay derives from its image path: the base is the
// file name without a ".tif", ".png", ".kml" or ".bmp" ending (in any case).
struct OverlayNames {
    std::string folder;
    std::string base;
    std::string kmlName;    // base + ".kml"
    std::string imageName;  // base + ".png" (PNG) or base + ".tif"
    std::string kmlPath;    // folder + kmlName
    std::string imagePath;  // folder + imageName
};
OverlayNames overlayNames(const std::string& imagePath, bool png);

struct OverlayImage {
    std::string imagePath;  // its file name is the href; it lies beside the KML
    LatLonBox box;
};

// The documents as text (LF lines for the overlays, CRLF for the frame).
std::string groundOverlayDocument(const OverlayNames& names, const LatLonBox& box);
std::string multiOverlayDocument(const std::string& kmlPath, const std::vector<OverlayImage>& images);
// Corners P0..P3 (pixel 0 line 0, last pixel line 0, last pixel last line,
// pixel 0 last line): the ring closed, then the centre and the midpoint of
// the first edge.
std::string imageFrameDocument(const std::string& kmlPath, const std::array<GeoPoint, 4>& corners);

// Writes the ground overlay beside the image; returns the KML path.
std::string writeGroundOverlay(const std::string& imagePath, bool png, const LatLonBox& box);
void writeMultiOverlay(const std::string& kmlPath, const std::vector<OverlayImage>& images);
void writeImageFrame(const std::string& kmlPath, const std::array<GeoPoint, 4>& corners);

// Replaces the file with the text atomically; a failure throws Error
// "cannot write \"PATH\": reason".
void writeTextFile(const std::string& path, const std::string& text);

}  // namespace tessarin::geoexport
