#pragma once
// The tile store: a scene channel as a headerless file of square tiles in
// tile-number order (kx + ky * ntx), rows of each tile row after another,
// row-major inside a tile, zeros outside the scene. Complex tiles hold 3-byte
// packed pixels (15-bit amplitude code, 9-bit phase code, most significant
// byte first); amplitude tiles hold 16-bit little-endian digital numbers.

#include <bitset>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

namespace tessarin {
class File;
class Ui;
}

namespace tessarin::tiles {

inline constexpr int kTileSize = 1024;              // tpix = tlin for every CEOS TileSet
inline constexpr std::size_t kComplexPixelBytes = 3;
inline constexpr std::size_t kAmplitudePixelBytes = 2;
inline constexpr int kQuickLookSize = 256;          // cells across and down
inline constexpr std::size_t kQuickLookBytes = 256 * 256;
inline constexpr double kEqualizingVal = 0.01;      // sqrt(1e-4): amplitude code = |z| / 100
inline constexpr std::uint32_t kMaxAmplitudeCode = 32767;
inline constexpr int kPhaseCodes = 512;             // phase codes per cycle
inline constexpr std::size_t kImageHeaderCopyBytes = 1200;

enum class TileKind { Complex, Amplitude };

inline std::size_t pixelBytes(TileKind kind) {
    return kind == TileKind::Complex ? kComplexPixelBytes : kAmplitudePixelBytes;
}

// Scene pixel X / line Y of the full image.
struct GlobalPoint {
    long long x = 0;
    long long y = 0;
    bool operator==(const GlobalPoint&) const = default;
};

// A point inside tile (kx, ky).
struct TileLocalPoint {
    int kx = 0;
    int ky = 0;
    int x = 0;
    int y = 0;
    bool operator==(const TileLocalPoint&) const = default;
};

struct TileGrid {
    int pixel = 0;  // scene width
    int line = 0;   // scene height
    int tpix = kTileSize;
    int tlin = kTileSize;
    int ntx = 0;
    int nty = 0;

    static TileGrid make(int pixel, int line, int tpix = kTileSize, int tlin = kTileSize);

    bool contains(int kx, int ky) const { return kx >= 0 && ky >= 0 && kx < ntx && ky < nty; }
    // Tile numbers and byte offsets are 64-bit throughout: small tiles over
    // the largest scene make more tiles than an int counts.
    std::int64_t tileNumber(std::int64_t kx, std::int64_t ky) const { return kx + ky * ntx; }
    std::size_t tilePixels() const { return static_cast<std::size_t>(tpix) * static_cast<std::size_t>(tlin); }
    std::size_t tileBytes(TileKind kind) const { return tilePixels() * pixelBytes(kind); }
    std::uint64_t tileOffset(std::int64_t number, TileKind kind) const {
        return static_cast<std::uint64_t>(number) * tileBytes(kind);
    }
    // Where line lineInTile of tile (kx, ky) starts in the tile file.
    std::uint64_t tileLineOffset(std::int64_t kx, std::int64_t ky, std::int64_t lineInTile, TileKind kind) const {
        return tileOffset(tileNumber(kx, ky), kind) +
               static_cast<std::uint64_t>(lineInTile) * static_cast<std::uint64_t>(tpix) * pixelBytes(kind);
    }
    std::uint64_t fileBytes(TileKind kind) const {
        return static_cast<std::uint64_t>(ntx) * static_cast<std::uint64_t>(nty) * tileBytes(kind);
    }

    // Global <-> tile-local coordinates (negative globals floor to tile -1).
    TileLocalPoint toLocal(GlobalPoint p) const;
    GlobalPoint toGlobal(TileLocalPoint p) const;
};

// ---- complex pixel packing --------------------------------------------------

// The 24-bit word A * 512 + P of one complex sample (I, Q): A = trunc(|z| *
// equalizingval) limited to 32767, P = floor((phi * sign + pi) / 2pi * 512)
// mod 512 with phi = atan2(Q, I). A sample with a NaN component packs as
// (0, 0): no meaningful phase or magnitude exists for it.
std::uint32_t packComplexReference(float i, float q, double equalizingval = kEqualizingVal, int phaseSign = 1);

inline std::uint32_t amplitudeCode(std::uint32_t word) { return word >> 9; }
inline std::uint32_t phaseCode(std::uint32_t word) { return word & 0x1FFu; }

struct UnpackedSample {
    double magnitude;
    double phase_rad;
};
UnpackedSample unpackComplex(std::uint32_t word, double equalizingval = kEqualizingVal);

inline void storePacked(std::uint8_t* p, std::uint32_t word) {
    p[0] = static_cast<std::uint8_t>(word >> 16);
    p[1] = static_cast<std::uint8_t>(word >> 8);
    p[2] = static_cast<std::uint8_t>(word);
}
inline std::uint32_t loadPacked(const std::uint8_t* p) {
    return (static_cast<std::uint32_t>(p[0]) << 16) | (static_cast<std::uint32_t>(p[1]) << 8) | p[2];
}

// Packs n interleaved (I, Q) floats in host order into 3-byte pixels and
// stores each magnitude (0 for a NaN sample) in `magnitudes` (may be null). Gives exactly the bytes of
// packComplexReference for every sample, at a fraction of the cost.
void packComplexLine(const float* iq, std::size_t n, std::uint8_t* out, double* magnitudes,
                     double equalizingval = kEqualizingVal, int phaseSign = 1);
// The same for n samples as a level 1.1 record stores them: 8 bytes each,
// I then Q, big-endian (or host order when bigEndian is false).
void packComplexSamples(const std::uint8_t* raw, bool bigEndian, std::size_t n, std::uint8_t* out,
                        double* magnitudes, double equalizingval = kEqualizingVal, int phaseSign = 1);

// The packer is built for three instruction sets and uses the widest the
// processor has; these run a given one (the tests run every one available).
// Avx2 is the x86-64-v3 build and Avx512 the x86-64-v4 build: the compiler may
// use any instruction of its level there, not only the ones in its name.
enum class PackingInstructions { Baseline, Avx2, Avx512 };
bool packingInstructionsAvailable(PackingInstructions set);

// Processor features beyond the x86-64 baseline that those builds may use
// (with the operating system's support for the wider registers, as the
// compiler's run-time checks report it).
enum class CpuFeature : std::size_t {
    // x86-64-v2
    Cx16, Sahf, Popcnt, Sse3, Sse41, Sse42, Ssse3,
    // x86-64-v3
    Avx, Avx2, Bmi1, Bmi2, F16c, Fma, Lzcnt, Movbe, Xsave, Osxsave,
    // x86-64-v4
    Avx512f, Avx512bw, Avx512cd, Avx512dq, Avx512vl,
    Count
};
using CpuFeatureSet = std::bitset<static_cast<std::size_t>(CpuFeature::Count)>;
CpuFeatureSet cpuFeatures(std::initializer_list<CpuFeature> features);
// What this processor offers (empty off x86-64).
CpuFeatureSet processorFeatures();
// Every feature a build may use.
CpuFeatureSet featuresOf(PackingInstructions set);
// The widest build whose features all lie in `available`.
PackingInstructions widestPacking(const CpuFeatureSet& available);
void packComplexSamplesUsing(PackingInstructions set, const std::uint8_t* raw, bool bigEndian, std::size_t n,
                             std::uint8_t* out, double* magnitudes, double equalizingval = kEqualizingVal,
                             int phaseSign = 1);

// ---- files -----------------------------------------------------------------

// Reads tile (kx, ky) into out (tileBytes). Outside the grid the tile is all
// zeros and the file is not touched; a tile cut short by the end of the file
// is zero past what could be read.
void readTile(File& file, const TileGrid& grid, int kx, int ky, TileKind kind, std::span<std::uint8_t> out);

// Names of a TileSet's files.
struct TileSetNames {
    std::string imageName;   // IMG: the image file name without folder
    std::string rest;        // IMG without its six-character polarisation prefix
    std::string folder;
    std::string tile;        // IMG + "tile.cpx" or IMG + "tile"
    std::string quickLook;   // IMG + ".idx"
    std::string canvas;      // quick-look with "idx" replaced by "cut"
    std::string headerCopy;  // "FHDR" + REST
    std::string leaderCopy;  // "LED" + REST
    std::string volume;      // "VOL" + REST (named, never opened)
};

// For a TileSet about to be made from an original product: every file in the
// work folder, whatever folder the product lies in.
TileSetNames namesForNewTileSet(const std::string& imagePath, const std::string& workFolder, TileKind kind);
// The image path a TileSet stands for (its folder + IMG).
std::string joinImagePath(const TileSetNames& names);
// For an existing TileSet, from the chosen tile file: companions beside it.
TileSetNames namesForExistingTileSet(const std::string& tilePath);
// The kind a tile file name announces ("tile.cpx" complex, "tile" amplitude).
bool tileKindFromName(const std::string& tilePath, TileKind& kind);

// Writes the first 1200 bytes of the image file (descriptor and the start of
// line 0) to the header copy and copies the leader byte for byte; both
// replace what was there only when complete. Throws Error naming the file.
void copyImageHeader(const std::string& imagePath, const std::string& headerCopyPath);
void copyLeader(const std::string& leaderPath, const std::string& leaderCopyPath);
// The bytes the header copy holds: the first 1200 bytes of the image file
// (fewer when the file is shorter).
std::vector<std::uint8_t> imageHeaderBytes(const std::string& imagePath);

// "Save Tile Image": moves the TileSet's tile file, header copy, quick-look
// and leader copy into a folder chosen by the user, each written under a
// temporary name and renamed into place. Returns false when the user cancels
// (nothing moved, nothing reported); throws Error, moving nothing, when the
// chosen path names no folder.
bool saveTileSet(Ui& ui, const TileSetNames& names, TileKind kind);

}  // namespace tessarin::tiles
