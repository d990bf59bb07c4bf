#pragma once
// Raw complex rasters: files of complex single-precision samples (I, Q) whose
// geometry the user states by hand, described by a raster project (".prj"),
// tiled like a level 1.1 scene with an amplitude scale estimated from the
// data; the ".hdr" text header that lets a raster TileSet be reopened; and
// the header-stripping cut ("PurRaster").

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tiles/tiling.h"

namespace tessarin {
class Ui;
}

namespace tessarin::tiles {

inline constexpr std::size_t kRasterSampleBytes = 8;  // float I, float Q
// The estimate packs the mean magnitude to this amplitude code: speckle
// exceeds many times its mean, so the code keeps 16 x headroom (about 0.003 %
// of a fully developed speckle field reaches the top code) and still 11 bits
// at the mean.
inline constexpr double kRasterAmplitudeTarget = 2048.0;
// Beyond any raster a user states by hand (and the tile packer's limits).
inline constexpr int kMaxRasterPixels = 1 << 17;
inline constexpr int kMaxRasterLines = 1 << 21;

// The raster project's fields, in the order the file holds them.
struct RasterParameters {
    std::string rasterPath;
    int pixel = 0;
    int line = 0;
    int linebytes = 0;
    int fileheader = 0;
    int lineheader = 0;
    int byteSwap = 0;  // 1: every float is stored big-endian
    double pixSpace = 0.0;
    double lineSpace = 0.0;
    double minSlantRange = 0.0;
    double equalizingval = 1.0;  // 1.0 until the raster has been opened once
    bool operator==(const RasterParameters&) const = default;
};

// The project file: the raster path as an archive string, six int32, four
// doubles, little-endian.
std::vector<std::uint8_t> encodeRasterProject(const RasterParameters& p);
// Refuses a short or lying file with an Error naming the file and the field.
RasterParameters decodeRasterProject(std::span<const std::uint8_t> bytes, const std::string& name);
RasterParameters readRasterProject(const std::string& path);
void writeRasterProject(const std::string& path, const RasterParameters& p);  // replaced whole

// The sizes as a user may state them: positive pixel and line counts within
// the limits, no negative header, records that hold their samples
// (linebytes >= lineheader + 8 * pixel) and a total that a file can have.
// Throws Error with a message that names the offending value.
void checkRasterParameters(const RasterParameters& p);
// Bytes up to the end of the last sample of the last line:
// fileheader + lineheader + (line - 1) * linebytes + 8 * pixel.
std::uint64_t rasterBytesNeeded(const RasterParameters& p);

ImageLayout rasterLayout(const RasterParameters& p);

// ---- amplitude estimate
struct AmplitudeEstimate {
    int stride = 0;             // lines and samples apart on the grid
    long long samples = 0;      // finite samples that entered the mean (zeros count)
    long long skipped = 0;      // non-finite samples on the grid, not counted
    double meanMagnitude = 0.0;
    double equalizingval = 0.0;  // kRasterAmplitudeTarget / meanMagnitude
};
// max(1, min(128, floor(sqrt(pixel * line / 4096)))): about 4096 samples.
int estimationStride(int pixel, int line);
// Reads lines 0, s, 2s, ... and samples 0, s, 2s, ... of each (s the
// stride); lines past the end of the file are not samples. Refuses, with
// "the raster has no non-zero samples on the estimation grid", a raster
// whose grid holds no finite non-zero sample.
AmplitudeEstimate estimateAmplitude(const RasterParameters& p);

// ---- the text header of a raster TileSet
struct RasterHeader {
    int pixel = 0;
    int line = 0;
    int byteOrder = 0;
    bool operator==(const RasterHeader&) const = default;
};
// Every line is examined (up to 80 characters of each). A line beginning
// "samples" takes the integer after an '=' at position 8 or later, "lines"
// at 6 or later, "byte order" at 11 or later; other lines are ignored and a
// key without such an '=' leaves its value as it was.
RasterHeader parseRasterHeader(std::string_view text);
// Reads and parses a header file; refuses one that cannot be read or leaves
// pixel or line at 0 or below, naming the file.
RasterHeader readRasterHeader(const std::string& path);
// "ENVI", the sizes and byte order, data type 6 (complex float), no header
// offset: a header that this reader and other tools read.
std::string rasterHeaderText(const RasterHeader& h);

// A TileSet path's header name: the tile path without "tile.cpx" + ".hdr".
std::string rasterHeaderPathOf(const std::string& tilePath);

// ---- the header-stripping cut
// Copies `pixel` x 8 bytes of every line from fileheader + lineheader +
// n * linebytes to n * pixel * 8 of `outPath`, in the raster's byte order.
// Lines past the end of the raster are written as zeros (and the user is
// told); the output takes its name only when complete.
void cutRasterHeaders(const RasterParameters& p, const std::string& outPath, Ui& ui);

}  // namespace tessarin::tiles
