#include "export/kml_writer.h"

#include <algorithm>
#include <cctype>
#include <span>

#include "export/kml_text.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/text.h"

namespace tessarin::geoexport {

namespace {

// Small palette icons of the globe viewer; the styles only decorate.
constexpr const char* kIconDownArrow = "http://maps.google.com/mapfiles/kml/pal4/icon28.png";
constexpr const char* kIconGlobe = "http://maps.google.com/mapfiles/kml/pal3/icon19.png";
constexpr const char* kIconPushpin = "http://maps.google.com/mapfiles/kml/pushpin/ylw-pushpin.png";

bool endsWithNoCase(const std::string& text, std::string_view suffix) {
    if (text.size() < suffix.size()) return false;
    return std::equal(suffix.begin(), suffix.end(), text.end() - static_cast<std::ptrdiff_t>(suffix.size()),
                      [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
                      });
}

// Rows 1 to 16 of an overlay document: header, styles, the folder opened.
std::string overlayHead() {
    std::string t;
    t += "<?xml version='1.0' encoding='UTF-8'?>\n";
    t += std::string("<kml xmlns='") + kKmlNamespace + "'>\n";
    t += "<Document>\n";
    t += "<name></name>\n";
    t += "<open>1</open>\n";
    t += "<Style id='downArrowIcon'>\n <IconStyle>\n";
    t += std::string("<Icon>\n<href>") + kIconDownArrow + "</href>\n</Icon>\n</IconStyle>\n";
    t += "</Style>\n";
    t += "<Style id='globeIcon'>\n<IconStyle>\n";
    t += std::string("<Icon>\n<href>") + kIconGlobe + "</href>\n</Icon>\n</IconStyle>\n";
    t += "<LineStyle><width>2</width></LineStyle>\n";
    t += "</Style>\n";
    t += "<Style id='transRedPoly'>\n";
    t += "<LineStyle>\n<width>1.5</width>\n</LineStyle>\n";
    t += "<PolyStyle>\n<color>7d0000ff</color>\n</PolyStyle>\n</Style>\n";
    t += "<Folder>\n";
    return t;
}

std::string groundOverlay(const std::string& imageName, const LatLonBox& box) {
    const std::string name = kmlText(imageName);
    std::string t;
    t += "<GroundOverlay>\n";
    t += "<name>" + name + "</name>\n";
    t += "<Icon>\n";
    t += "<href>" + name + "</href>\n";
    t += "<viewBoundScale>1.0</viewBoundScale>\n</Icon>\n<LatLonBox>\n";
    t += format("<north>%.13f</north>\n", box.north);
    t += format("<south>%.13f</south>\n", box.south);
    t += format("<east>%.13f</east>\n", box.east);
    t += format("<west>%.13f</west>\n", box.west);
    t += "</LatLonBox>\n</GroundOverlay>\n";
    return t;
}

std::string overlayTail() { return "</Folder>\n</Document>\n </kml>\n"; }

}  // namespace

OverlayNames overlayNames(const std::string& imagePath, bool png) {
    const SplitPath split = splitPath(imagePath);
    OverlayNames n;
    n.folder = split.folder;
    n.base = split.name;
    for (const char* ext : {".tif", ".png", ".kml", ".bmp"})
        if (endsWithNoCase(n.base, ext)) {
            n.base.resize(n.base.size() - 4);
            break;
        }
    n.kmlName = n.base + ".kml";
    n.imageName = n.base + (png ? ".png" : ".tif");
    n.kmlPath = joinPath(n.folder, n.kmlName);
    n.imagePath = joinPath(n.folder, n.imageName);
    return n;
}

std::string groundOverlayDocument(const OverlayNames& names, const LatLonBox& box) {
    return overlayHead() + "<name>" + kmlText(names.kmlName) + "</name>\n" + groundOverlay(names.imageName, box) +
           overlayTail();
}

std::string multiOverlayDocument(const std::string& kmlPath, const std::vector<OverlayImage>& images) {
    std::string t = overlayHead() + "<name>" + kmlText(splitPath(kmlPath).name) + "</name>\n";
    for (const OverlayImage& image : images) {
        std::string name = splitPath(image.imagePath).name;
        if (!endsWithNoCase(name, ".png")) name += ".png";
        t += groundOverlay(name, image.box);
    }
    return t + overlayTail();
}

std::string imageFrameDocument(const std::string& kmlPath, const std::array<GeoPoint, 4>& corners) {
    std::string t;
    const auto line = [&t](const std::string& s) { t += s + "\r\n"; };
    line("<?xml version='1.0' encoding='UTF-8'?>");
    line(std::string("<kml xmlns = '") + kKmlNamespace + "'");
    line(std::string("xmlns:gx='") + kGxNamespace + "'");
    line(std::string("xmlns:kml='") + kKmlNamespace + "'");
    line(std::string("xmlns:atom='") + kAtomNamespace + "'>");
    line("<Document>");
    line("<name>" + kmlText(splitPath(kmlPath).name) + "</name>");
    line("<Style id = 's_ylw-pushpin_hl'>");
    line("<IconStyle>");
    line("<scale>1.3</scale>");
    line("<Icon>");
    line(std::string("<href>") + kIconPushpin + "</href>");
    line("</Icon>");
    line("<hotSpot x='20' y='2' xunits='pixels' yunits='pixels'/>");
    line("</IconStyle>");
    line("</Style>");
    line("<Style id='s_ylw-pushpin'><IconStyle><scale>1.1</scale>");
    line("<Icon>");
    line(std::string("<href>") + kIconPushpin + "</href>");
    line("</Icon>");
    line("<hotSpot x='20' y='2' xunits='pixels' yunits='pixels'/>");
    line("</IconStyle>");
    line("</Style>");
    line("<StyleMap id='m_ylw-pushpin'>");
    line("<Pair>");
    line("<key>normal</key>");
    line("<styleUrl>#s_ylw-pushpin</styleUrl>");
    line("</Pair>");
    line("<Pair>");
    line("<key>highlight</key>");
    line("<styleUrl>#s_ylw-pushpin_hl</styleUrl>");
    line("</Pair>");
    line("</StyleMap>");
    line("<Placemark>");
    line("<name>Polygon</name>");
    line("<styleUrl>#m_ylw-pushpin</styleUrl>");
    line("<LineString>");
    line("<tessellate>1</tessellate >");
    line("<coordinates>");
    GeoPoint centre;
    for (const GeoPoint& c : corners) {
        centre.lat_deg += c.lat_deg / 4.0;
        centre.lon_deg += c.lon_deg / 4.0;
    }
    const GeoPoint mid{(corners[0].lat_deg + corners[1].lat_deg) / 2.0, (corners[0].lon_deg + corners[1].lon_deg) / 2.0};
    const GeoPoint path[] = {corners[0], corners[1], corners[2], corners[3], corners[0], centre, mid};
    t += "\n";
    for (const GeoPoint& p : path) t += format("%.8f,%.8f,0 ", p.lon_deg, p.lat_deg);
    t += "\r\n\t\t";
    for (const char* s : {"</coordinates>", "</LineString>", "</Placemark>", "</Document>", "</kml>"}) line(s);
    return t;
}

void writeTextFile(const std::string& path, const std::string& text) {
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    try {
        writeWholeFile(path, bytes);
    } catch (const Error& e) {
        throw Error(format("cannot write \"%s\": %s", path.c_str(), e.what()));
    }
}

std::string writeGroundOverlay(const std::string& imagePath, bool png, const LatLonBox& box) {
    const OverlayNames names = overlayNames(imagePath, png);
    writeTextFile(names.kmlPath, groundOverlayDocument(names, box));
    return names.kmlPath;
}

void writeMultiOverlay(const std::string& kmlPath, const std::vector<OverlayImage>& images) {
    writeTextFile(kmlPath, multiOverlayDocument(kmlPath, images));
}

void writeImageFrame(const std::string& kmlPath, const std::array<GeoPoint, 4>& corners) {
    writeTextFile(kmlPath, imageFrameDocument(kmlPath, corners));
}

}  // namespace tessarin::geoexport
