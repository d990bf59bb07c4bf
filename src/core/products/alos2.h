#pragma once
// Alos2: the reader of one channel of an ALOS-2 PALSAR-2 CEOS product. It
// finds the leader file that belongs to an image file, decodes the leader and
// the image file descriptor into SceneParameters, reads image lines, and
// evaluates the orbit and mapping polynomials of the decoded scene.
//
// Refused input (a record that does not fit, a lying count or size) throws
// tessarin::Error naming the file, the record and the field; a decode that
// throws leaves the SceneParameters exactly as they were.

#include <complex>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/bytes.h"
#include "platform/geo_types.h"
#include "products/ceos_fields.h"
#include "products/scene_parameters.h"

namespace tessarin {
class File;
}

namespace tessarin::products {

struct OrbitPosition {  // earth-fixed (m)
    double x_m = 0.0, y_m = 0.0, z_m = 0.0;
    double radius_m = 0.0;
};

// The leader is read whole; real ones are under 2 MB.
inline constexpr std::uint64_t kMaxLeaderBytes = 64ull << 20;

// Product level of an image path: three characters starting six before its
// end; "1.1" -> 11, "1.5" -> 15, anything else -> 31.
int productLevelOf(const std::string& imagePath);
// The leader path of an image path: the file name's six-character
// polarisation prefix replaced by "LED", same folder.
std::string leaderPathOf(const std::string& imagePath);
// The look flag of an image path: the fourth of its last ten characters.
// 0 for 'R', 1 for 'L', -1 for anything else.
int pointingLeftOf(const std::string& imagePath);

// Refuses (Error naming the file) a first-generation image whose name gives
// a level other than 1.1 and 1.5: level 1.0 holds raw 8-bit samples.
void refuseUnreadLevel(const std::string& imagePath);

// The first bytes of a file that is no CEOS image file: an HDF5 file's
// signature (89 48 44 46 0D 0A 1A 0A), or a first record that is not an image
// file descriptor (type codes 50 192 18 18, 720 bytes).
bool isHdf5Signature(std::span<const std::uint8_t> head);
bool isCeosImageDescriptor(std::span<const std::uint8_t> head);
// The refusal of a level 1.1 open given an HDF5 file or another non-CEOS
// file (COSMO-SkyMed SLCs are HDF5).
inline constexpr const char* kNotCeosLevel11 =
    "not a CEOS level 1.1 image file; COSMO-SkyMed HDF5 is not decoded. Export it with gdal_translate -ot "
    "CFloat32 -of ENVI and open it with Pure SLC Raster Image";

// Reads line records of a CEOS image file. One read per line; the byte order
// is converted over the whole buffer. Geometry comes from the descriptor.
class ImageLineReader {
public:
    // Opens path for reading; throws Error naming the path when it cannot be
    // opened or when the geometry cannot describe a readable image.
    ImageLineReader(const std::string& path, const SceneParameters& geometry);
    ~ImageLineReader();
    ImageLineReader(ImageLineReader&&) noexcept;
    ImageLineReader& operator=(ImageLineReader&&) noexcept;

    const std::string& path() const;
    int lines() const { return line_; }
    int pixels() const { return pixel_; }
    bool sameGeometry(const SceneParameters& geometry) const;

    // Line n as `pixel` complex samples (level 1.1: big-endian float I, Q)
    // in host order. out must hold at least `pixel` samples; it is zeroed
    // first. Returns false without reading when n is outside 0 .. line-1.
    // A line cut short by the end of a truncated file keeps zeros where the
    // file ends. ByteOrder::Little reads the floats as stored (raw rasters).
    bool readComplexLine(int n, std::span<std::complex<float>> out, ByteOrder order = ByteOrder::Big);
    // Line n as `pixel` amplitude values (level 1.5: big-endian uint16).
    bool readAmplitudeLine(int n, std::span<std::uint16_t> out, ByteOrder order = ByteOrder::Big);

    // Byte offset of the samples of line n in the file.
    std::uint64_t lineOffset(int n) const;

private:
    std::size_t readLine(int n, std::size_t sampleBytes, std::span<std::uint8_t> into);

    std::unique_ptr<File> file_;
    int line_ = 0, pixel_ = 0, fileheader_ = 0, lineheader_ = 0, linebytes_ = 0;
    std::vector<std::uint8_t> raw_;
};

// The reader of one channel of a CEOS product of either generation; the
// leader layout decides the record map, the checks of the record walk, how
// the descriptor gives the pixels of a line and where the look direction
// comes from (CAlos, in calos.h, reads first-generation products).
class Alos2 {
public:
    Alos2() = default;
    explicit Alos2(const ceos::LeaderLayout& layout) : layout_(&layout) {}
    // A copy holds the same paths and parameters; it opens the image file
    // for itself on its first line read.
    Alos2(const Alos2& other);
    Alos2& operator=(const Alos2& other);
    Alos2(Alos2&&) noexcept;
    Alos2& operator=(Alos2&&) noexcept;
    ~Alos2();

    // Stores the image path (a trailing "tile.cpx" removed first) and derives
    // productLevel and the leader path from it.
    void setImagePath(const std::string& path);
    const std::string& imagePath() const { return imagePath_; }
    int productLevel() const { return productLevel_; }
    const std::string& leaderPath() const { return leaderPath_; }
    // Replaces the leader path (a TileSet's leader copy).
    void setLeaderPath(const std::string& path) { leaderPath_ = path; }

    // Decodes the leader file. False, with nothing changed and no message,
    // when the file cannot be opened or read; throws Error when its content
    // is refused.
    bool DecodeLeaderFile();
    // Decodes leader bytes held in memory; name appears in error texts.
    void DecodeLeaderBytes(std::span<const std::uint8_t> bytes, const std::string& name);

    // Decodes the 720-byte file descriptor at the start of path (an image
    // file or its header copy). False, with nothing changed, when the file
    // cannot be opened; throws Error when the descriptor is refused.
    bool DecodeImageFileDescriptor(const std::string& path);
    void DecodeImageFileDescriptorBytes(std::span<const std::uint8_t> bytes, const std::string& name);

    // Sets pointingLeft from the image path's look flag ('R' 0, 'L' 1; any
    // other character leaves it as it is). First-generation readers take the
    // look from the leader's sensor clock angle instead and ignore the name.
    void setLookDirection(const std::string& imagePath);
    int pointingLeft() const { return params_.pointingLeft; }

    const SceneParameters& params() const { return params_; }
    SceneParameters& params() { return params_; }

    const ceos::LeaderLayout& layout() const { return *layout_; }
    bool firstGeneration() const { return layout_->generation == ceos::Generation::Palsar1; }
    // What the last descriptor decode has to tell the user (two fields that
    // disagree about the pixels of a line); empty when nothing.
    const std::string& descriptorNotice() const { return descriptorNotice_; }

    // ScanSAR line division (flag 0 and divisor 1 until set).
    int lineDivision() const { return lineDivision_; }
    int lineDivisor() const { return lineDivisor_; }
    void setLineDivision(int flag, int divisor) { lineDivision_ = flag; lineDivisor_ = divisor; }

    // Line reading from the image path with the decoded descriptor. The file
    // is opened on the first read and kept open; setImagePath and a new
    // descriptor close it. Semantics as ImageLineReader.
    bool readComplexLine(int n, std::span<std::complex<float>> out, ByteOrder order = ByteOrder::Big);
    bool readAmplitudeLine(int n, std::span<std::uint16_t> out, ByteOrder order = ByteOrder::Big);

    // Satellite position at t (s of day) from the orbit polynomials.
    OrbitPosition orbitPosition(double t_s) const;
    // Latitude/longitude of a global pixel/line (pl2lat, pl2lon) and back
    // (ll2pix, ll2lin).
    GeoPoint latLonOfPixelLine(ScenePoint p) const;
    ScenePoint pixelLineOfLatLon(GeoPoint g) const;

private:
    ImageLineReader& lineReader();

    const ceos::LeaderLayout* layout_ = &ceos::kAlos2Layout;
    std::string imagePath_;
    std::string leaderPath_;
    std::string descriptorNotice_;
    int productLevel_ = kLevelOther;
    int lineDivision_ = 0;
    int lineDivisor_ = 1;
    SceneParameters params_;
    std::unique_ptr<ImageLineReader> reader_;
};

// Free forms of the evaluations, for callers holding only SceneParameters.
OrbitPosition orbitPositionAt(const SceneParameters& p, double t_s);
GeoPoint latLonOfPixelLine(const SceneParameters& p, ScenePoint s);
ScenePoint pixelLineOfLatLon(const SceneParameters& p, GeoPoint g);

}  // namespace tessarin::products
