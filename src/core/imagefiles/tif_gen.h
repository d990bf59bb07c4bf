#pragma once
// CTIFGen: uncompressed baseline TIFF and GeoTIFF (geographic WGS84) writing,
// GeoTIFF reading, the header decode report, and the path splitting that
// goes with them.
//
// Writers work in two passes through a file the caller opened: pass 1
// writes header, value blocks and directory with a data offset of 0; the
// caller takes the current position as the data offset and writes the image
// lines there; pass 2 writes the same header again with the real offset
// (same sizes, so nothing moves) and leaves the position at the end of the
// directory. writeTiffFile() does all of this through an AtomicFile.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "geometry/ellipsoid.h"
#include "imagefiles/geo_keys.h"
#include "platform/bytes.h"
#include "platform/raster_file.h"

namespace tessarin {

class ByteSource;
class File;
class Ui;

struct TiffRational {
    std::uint32_t numerator = 0;
    std::uint32_t denominator = 0;
};

// Raster position (i = pixel, j = line, k) tied to a model position.
struct TiePoint {
    double i = 0, j = 0, k = 0;
    double x = 0, y = 0, z = 0;
};

struct GeoKeyEntry {
    std::uint16_t id = 0;
    std::uint16_t location = 0;  // 0: value holds the value; else the tag holding it
    std::uint16_t count = 0;
    std::uint16_t value = 0;     // the value, or the index into the tag's values
};

// A corner of the raster: the centre of a corner pixel, in model units, and
// as latitude/longitude when the model allows it.
struct GeoCorner {
    double x = 0.0;  // longitude (geographic) or easting (UTM)
    double y = 0.0;  // latitude or northing
    bool latLonKnown = false;
    double lat_deg = 0.0;
    double lon_deg = 0.0;
};

// What the reader takes from a TIFF or GeoTIFF header.
struct GeoTiffInfo {
    static constexpr int kPixelIsArea = tiff::kRasterPixelIsArea;
    static constexpr int kPixelIsPoint = tiff::kRasterPixelIsPoint;
    static constexpr int kModelProjected = tiff::kModelTypeProjected;
    static constexpr int kModelGeographic = tiff::kModelTypeGeographic;

    ByteOrder byteOrder = ByteOrder::Little;
    std::uint32_t ifdOffset = 0;
    int entryCount = 0;

    std::uint32_t width = 0;
    std::uint32_t lines = 0;
    std::vector<std::uint32_t> bitsPerSample;
    int bytesPerSample = 0;  // first bits per sample / 8
    int samplesPerPixel = 1;
    int compression = 1;
    int photometric = 0;
    int orientation = 1;
    int planarConfiguration = 1;  // 2 = separate planes
    std::uint32_t rowsPerStrip = 0;
    std::uint32_t tileWidth = 0;   // 0 when stored in strips
    std::uint32_t tileLength = 0;
    // Strip offsets and byte counts, or tile offsets and byte counts when
    // tiled (tags 324 and 325).
    std::vector<std::uint32_t> stripOffsets;
    std::vector<std::uint32_t> stripByteCounts;
    TiffRational xResolution;
    TiffRational yResolution;
    int sampleFormat = 1;
    std::string description;
    std::string dateTime;

    std::vector<double> pixelScale;
    std::vector<TiePoint> tiePoints;
    std::optional<std::array<double, 16>> modelTransformation;
    std::vector<GeoKeyEntry> geoKeys;
    std::vector<double> geoDoubleParams;
    std::string geoAsciiParams;

    int modelType = 0;   // GTModelTypeGeoKey: 1 projected, 2 geographic, 0 absent
    int rasterType = 0;  // GTRasterTypeGeoKey: 1 pixel is area, 2 pixel is point, 0 absent
    bool projected = false;
    int projectedCsCode = 0;  // ProjectedCSTypeGeoKey, 0 absent
    int linearUnits = 0;      // ProjLinearUnitsGeoKey
    // WGS 84 / UTM only: 32601..32660 north, 32701..32760 south.
    bool utm = false;
    bool utmNorth = true;
    int utmZone = 0;
    double centralMeridian_deg = 0.0;
    // Set when the raster is projected in a way this reader cannot turn into
    // latitude/longitude; names the projection.
    std::string unsupportedProjection;

    double semiMajorAxis_m = geometry::kWgs84SemiMajorAxis_m;
    double inverseFlattening = geometry::kWgs84InverseFlattening;

    bool cornersKnown = false;
    // Upper left, upper right, lower left, lower right.
    std::array<GeoCorner, 4> corners{};

    // Where the image data starts: the first strip (or tile) offset.
    std::uint64_t dataOffset() const { return stripOffsets.empty() ? 0 : stripOffsets.front(); }
    bool tiled() const { return tileWidth != 0; }
};

// The caller's placement of a written GeoTIFF: the longitude and latitude of
// the centre of the first pixel and the spacing of the grid (degrees; the
// y spacing is positive and latitude decreases down the raster).
struct GeoReference {
    double lon_deg = 0.0;
    double lat_deg = 0.0;
    double scaleX_deg = 1.0;
    double scaleY_deg = 1.0;
};

// A full path split as drive, folder (with its trailing separator), name and
// extension (with its dot); the four concatenated give back the path.
struct TiffPathParts {
    std::string drive;
    std::string folder;
    std::string name;
    std::string extension;
};

// The header decode report as text; failure holds the message that stopped
// the decoding (the text then holds what was decoded before).
struct HeaderReport {
    std::string text;
    std::optional<std::string> failure;
};

class CTIFGen {
public:
    static constexpr int kWriteOk = 0;
    static constexpr int kNoFile = -1;
    static constexpr int kBadSize = -3;

    static constexpr const char* kRejectText = "This is a compressed tiff file, not supported by this program.";
    static constexpr const char* kDecodeCompleteText = "Decode Complete";
    static constexpr const char* kPathRejectText = "source string in compatible";
    static constexpr std::size_t kMaxPathLength = 260;

    CTIFGen();

    // What the GeoTIFF writer writes besides the image.
    void setGeoReference(const GeoReference& geo) { geo_ = geo; }
    const GeoReference& geoReference() const { return geo_; }
    void setCitation(std::string text) { citation_ = std::move(text); }
    void setSecondText(std::string text) { secondText_ = std::move(text); }
    void setDateTime(std::string text) { dateTime_ = std::move(text); }
    // Single-channel samples marked as signed integers (SampleFormat 2)
    // instead of unsigned ones, for rasters that go below zero such as DEM
    // heights; off by default.
    void setSignedSamples(bool on) { signedSamples_ = on; }

    // One pass of the plain TIFF writer (8, 16, 24 or 48 bits per pixel, one
    // strip per line). Returns kWriteOk, kBadSize for width or lines below 1,
    // kNoFile without a file; throws Error for sizes a TIFF cannot hold and
    // for write failures.
    int writeTiff(File* file, int width, int lines, int bitsPerPixel, std::uint32_t dataOffset);
    // One pass of the GeoTIFF writer (the whole image in one strip; also 64
    // bits per pixel: three 16-bit colour samples and a 16-bit alpha).
    int writeGeoTiff(File* file, int width, int lines, int bitsPerPixel, std::uint32_t dataOffset);

    // Where the directory of the last pass starts and how many entries it has.
    std::uint32_t ifdOffset() const { return ifdOffset_; }
    int entryCount() const { return entryCount_; }

    // Reads a TIFF/GeoTIFF header and directory (either byte order). Throws
    // Error: kRejectText when the header is not a classic TIFF, otherwise a
    // message naming the file, the offset and the field that does not fit.
    const GeoTiffInfo& read(ByteSource& in);
    const GeoTiffInfo& info() const { return info_; }

    // The header decode report of any TIFF, as text.
    static HeaderReport decodeHeader(ByteSource& in);
    // The report's path: the TIFF path without its last 3 characters + "csv".
    static std::string reportPathFor(const std::string& tiffPath);
    // Writes the report (to reportPathFor() unless a path is given) and
    // returns its path. A file that stops the decoding still leaves the
    // rows decoded so far; the failure is then thrown as Error.
    static std::string writeHeaderReport(const std::string& tiffPath, const std::string& reportPath = {});

    // Splits a path of fewer than kMaxPathLength characters; throws
    // Error(kPathRejectText) for a longer one.
    static TiffPathParts splitFullPath(const std::string& path);

private:
    std::vector<std::uint8_t> plainHeader(int width, int lines, int bitsPerPixel, std::uint32_t dataOffset);
    std::vector<std::uint8_t> geoHeader(int width, int lines, int bitsPerPixel, std::uint32_t dataOffset);
    int writePass(File* file, int width, int lines, int bitsPerPixel, std::uint32_t dataOffset, bool geo);

    GeoReference geo_;
    std::string citation_ = " ";
    std::string secondText_ = " ";
    std::string dateTime_ = " ";
    bool signedSamples_ = false;
    double semiMajorAxis_m_ = geometry::kWgs84SemiMajorAxis_m;
    double inverseFlattening_ = geometry::kWgs84InverseFlattening;

    std::uint32_t ifdOffset_ = 0;
    int entryCount_ = 0;

    GeoTiffInfo info_;
};

enum class TiffKind { Plain, Geo };

// Fills one image line (width x bytes per pixel bytes, channels interleaved,
// samples little-endian).
using TiffRowSource = std::function<void(int line, std::span<std::uint8_t> row)>;

// Writes a whole TIFF or GeoTIFF through an AtomicFile: pass 1, the lines
// from first to last, pass 2. The GeoTIFF placement comes from gen.
void writeTiffFile(const std::string& path, CTIFGen& gen, TiffKind kind, int width, int lines, int bitsPerPixel,
                   const TiffRowSource& rows);

// The raster of a size given in bytes per pixel and per sample (the
// conversion dialog's terms); throws Error when they make no raster.
RasterFile rasterOfPixelBytes(const std::string& rasterPath, int width, int lines, int bytesPerPixel,
                              int bytesPerSample);

// Raster-to-TIFF conversion: the raw raster (lines of width x channels x
// bytes per sample, little-endian) becomes its path + ".tif":
//   3 channels of 1 byte (three planes of width x lines, one after the
//   other) -> plain 24-bit TIFF; 1 channel of 1 byte -> plain 8-bit TIFF;
//   1 channel of 2 bytes -> 16-bit GeoTIFF; 3 channels of 2 bytes
//   (interleaved) -> 48-bit GeoTIFF, both placed by geo.
// The 16-bit path first shows its message box. Returns the output path.
std::string rasterToTiff(Ui& ui, const RasterFile& raster, const GeoReference& geo);

// Reads the header of a TIFF file on disk.
GeoTiffInfo readGeoTiffFile(const std::string& path);

}  // namespace tessarin
