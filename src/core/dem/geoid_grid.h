#pragma once
// The EGM96 15-minute geoid grid in the layout of the published
// "WW15MGH.DAC": 721 rows from 90°N down to 90°S, 1440 columns from 0°E
// eastward, big-endian 16-bit centimetres, no header.
//
// We do not ship that 2 MB file. Debian's proj-data package carries the same
// model as egm96_15.gtx (a 40-byte big-endian header: lower-left latitude and
// longitude, latitude and longitude steps as doubles, then rows and columns
// as 32-bit integers; big-endian float32 metres, southern row first), which
// readGtxGeoid() turns into the DAC layout. The two publications agree
// within about half a centimetre; rounded to whole centimetres the converted
// grid differs from the genuine one by at most one centimetre.

#include <cstdint>
#include <string>
#include <vector>

namespace tessarin::dem {

inline constexpr int kGeoidRows = 721;      // 90°N .. 90°S
inline constexpr int kGeoidColumns = 1440;  // 0°E .. 359.75°E
inline constexpr double kGeoidStep_deg = 0.25;
inline constexpr const char* kGeoidFileName = "WW15MGH.DAC";
inline constexpr const char* kProjDataEgm96Gtx = "/usr/share/proj/egm96_15.gtx";
inline constexpr const char* kProjDataPackage = "proj-data";

class GeoidGrid {
public:
    // Undulations in centimetres, row-major in the DAC order.
    explicit GeoidGrid(std::vector<std::int16_t> centimetres, std::string source);

    std::int16_t centimetres(int row, int column) const {
        return cm_[static_cast<std::size_t>(row) * kGeoidColumns + static_cast<std::size_t>(column)];
    }
    const std::vector<std::int16_t>& values() const { return cm_; }
    // The file the grid came from.
    const std::string& source() const { return source_; }

    // Bilinear undulation (m) at a latitude (-90 .. 90) and any longitude;
    // the southern pole row is clamped and the column after 359.75°E wraps
    // to 0°E.
    double undulation_m(double lat_deg, double lon_deg) const;

    // Writes the grid as a DAC file (atomically).
    void writeDac(const std::string& path) const;

private:
    std::vector<std::int16_t> cm_;
    std::string source_;
};

// Reads a DAC file; throws Error when it is not 721 x 1440 values.
GeoidGrid readDacGeoid(const std::string& path);

// Reads proj-data's EGM96 grid and reorders it into the DAC layout, rounding
// to whole centimetres. Throws Error naming the package when the file is
// missing, and naming the field when its header is not a global 15-minute
// grid.
GeoidGrid readGtxGeoid(const std::string& gtxPath);

// The conversion as one step: gtx in, "WW15MGH.DAC" layout out.
void convertGtxToDac(const std::string& gtxPath, const std::string& dacPath);

}  // namespace tessarin::dem
