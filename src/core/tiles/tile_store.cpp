#include "tiles/tile_store.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <numbers>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/text.h"
#include "platform/ui.h"

namespace tessarin::tiles {

namespace {

constexpr std::size_t kPolarisationPrefix = 6;  // "IMG-HH"
constexpr const char* kComplexSuffix = "tile.cpx";
constexpr const char* kAmplitudeSuffix = "tile";

long long floorDiv(long long a, long long b) {
    long long q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

std::string withoutPrefix(const std::string& name) {
    return name.size() > kPolarisationPrefix ? name.substr(kPolarisationPrefix) : std::string();
}

}  // namespace

TileGrid TileGrid::make(int pixel, int line, int tpix, int tlin) {
    if (pixel < 0 || line < 0 || tpix <= 0 || tlin <= 0)
        throw Error(format("invalid tile grid: %d x %d pixels in tiles of %d x %d", pixel, line, tpix, tlin));
    TileGrid g;
    g.pixel = pixel;
    g.line = line;
    g.tpix = tpix;
    g.tlin = tlin;
    g.ntx = (pixel + tpix - 1) / tpix;
    g.nty = (line + tlin - 1) / tlin;
    return g;
}

TileLocalPoint TileGrid::toLocal(GlobalPoint p) const {
    const long long kx = floorDiv(p.x, tpix);
    const long long ky = floorDiv(p.y, tlin);
    return {static_cast<int>(kx), static_cast<int>(ky), static_cast<int>(p.x - kx * tpix),
            static_cast<int>(p.y - ky * tlin)};
}

GlobalPoint TileGrid::toGlobal(TileLocalPoint p) const {
    return {static_cast<long long>(p.kx) * tpix + p.x, static_cast<long long>(p.ky) * tlin + p.y};
}

// ---- packing -----------------------------------------------------------------

std::uint32_t packComplexReference(float i, float q, double equalizingval, int phaseSign) {
    if (std::isnan(i) || std::isnan(q)) i = q = 0.0f;
    const double di = i;
    const double dq = q;
    const double magnitude = std::sqrt(di * di + dq * dq);
    const double scaled = magnitude * equalizingval;
    const std::uint32_t a = scaled >= static_cast<double>(kMaxAmplitudeCode) ? kMaxAmplitudeCode
                                                                             : static_cast<std::uint32_t>(scaled);
    const double phi = std::atan2(dq, di);
    const double x = (phi * phaseSign + std::numbers::pi) / (2.0 * std::numbers::pi) * kPhaseCodes;
    const auto p = static_cast<std::uint32_t>(static_cast<long long>(std::floor(x)) & (kPhaseCodes - 1));
    return a * kPhaseCodes + p;
}

UnpackedSample unpackComplex(std::uint32_t word, double equalizingval) {
    return {amplitudeCode(word) / equalizingval,
            phaseCode(word) * 2.0 * std::numbers::pi / kPhaseCodes - std::numbers::pi};
}

namespace {

// The fast phase code. The angle to the nearer axis, theta in [0, pi/4], is
// found in single precision: the ratio of the smaller to the larger
// component, reduced to |u| <= tan(pi/8) around pi/4 when above it, and a
// minimax odd polynomial for atan(u). In code units (256/pi per radian)
// theta lies in [0, 64]; its error stays below 5e-5 units (a few single
// precision roundings of quantities below 64; the tests measure it), far
// inside kTrustMargin. A sample whose position lies within the margin of a
// code boundary - every zero, signed zero, infinity and NaN among them -
// takes the reference rule, so each trusted sample has the code the
// reference computes in double precision: both positions lie strictly
// between the same two integers. The code itself then follows from the
// octant by integer arithmetic, the boundaries between octants being whole
// codes.
constexpr float kTrustMargin = 1e-3f;
constexpr std::size_t kBlock = 256;

template <bool Swap>
[[gnu::always_inline]] inline float loadFloat(const std::uint8_t* p) {
    std::uint32_t u;
    std::memcpy(&u, p, sizeof u);
    if constexpr (Swap) u = __builtin_bswap32(u);
    return std::bit_cast<float>(u);
}

// Words and magnitudes of a block of samples, without branches so that the
// compiler vectorises it; untrusted[k] = 1 marks samples for the reference
// rule (their word is meaningless). lowerSign is -1 for phase sign +1 and +1
// for phase sign -1: Q * lowerSign > 0 puts the sample in the lower half of
// the code circle.
template <bool Swap>
[[gnu::always_inline]] inline void packBlockBody(const std::uint8_t* raw, std::size_t n, double equalizingval,
                                                 float lowerSign, double* magnitude, std::uint32_t* word,
                                                 std::uint8_t* untrusted) {
    constexpr float kTanPi8 = 0.414213562373095f;
    constexpr float kQuarterPi = 0.785398163397448f;
    constexpr float kCodesPerRad = 81.4873308630504f;  // 256 / pi
    constexpr double kMaxCode = static_cast<double>(kMaxAmplitudeCode);
    for (std::size_t k = 0; k < n; ++k) {
        const float fi = loadFloat<Swap>(raw + 8 * k);
        const float fq = loadFloat<Swap>(raw + 8 * k + 4);
        // The magnitude exactly as the reference computes it (the squares
        // of floats are exact in double, so contraction cannot change it).
        const double di = fi;
        const double dq = fq;
        const double m = std::sqrt(di * di + dq * dq);
        magnitude[k] = m;
        const double scaled = m * equalizingval;
        const double amplitude = scaled < kMaxCode ? scaled : kMaxCode;

        const float ai = std::fabs(fi);
        const float aq = std::fabs(fq);
        const float big = ai > aq ? ai : aq;
        const float small = ai > aq ? aq : ai;
        const float t = small / big;
        const bool reduce = t > kTanPi8;
        const float reduced = (t - 1.0f) / (t + 1.0f);  // computed always: selects vectorise, branches do not
        const float u = reduce ? reduced : t;
        const float z = u * u;
        const float y = (((8.05374449538e-2f * z - 1.38776856032e-1f) * z + 1.99777106478e-1f) * z -
                         3.33329491539e-1f) * z * u + u;
        const float x = ((reduce ? kQuarterPi : 0.0f) + y) * kCodesPerRad;  // theta in code units
        const float fl = std::floor(x);
        const float frac = x - fl;
        const bool trusted = frac >= kTrustMargin && frac <= 1.0f - kTrustMargin;
        const int octantCode = static_cast<int>(trusted ? fl : 0.0f);
        // First quadrant: theta from the I axis, or from the Q axis.
        const int first = aq > ai ? 127 - octantCode : octantCode;
        const bool lower = fq * lowerSign > 0.0f;
        const bool left = fi < 0.0f;
        const int code = lower ? (left ? first : 255 - first) : (left ? 511 - first : 256 + first);
        const auto a = static_cast<std::uint32_t>(static_cast<std::int32_t>(trusted ? amplitude : 0.0));
        word[k] = a * kPhaseCodes + static_cast<std::uint32_t>(code);
        untrusted[k] = trusted ? 0 : 1;
    }
}

__attribute__((target_clones("avx512f", "avx2", "default")))
void packBlockSwapped(const std::uint8_t* raw, std::size_t n, double equalizingval, float lowerSign,
                      double* magnitude, std::uint32_t* word, std::uint8_t* untrusted) {
    packBlockBody<true>(raw, n, equalizingval, lowerSign, magnitude, word, untrusted);
}

__attribute__((target_clones("avx512f", "avx2", "default")))
void packBlockHost(const std::uint8_t* raw, std::size_t n, double equalizingval, float lowerSign, double* magnitude,
                   std::uint32_t* word, std::uint8_t* untrusted) {
    packBlockBody<false>(raw, n, equalizingval, lowerSign, magnitude, word, untrusted);
}

float rawFloat(const std::uint8_t* p, bool bigEndian) {
    return bigEndian ? loadFloat<true>(p) : loadFloat<false>(p);
}

}  // namespace

void packComplexSamples(const std::uint8_t* raw, bool bigEndian, std::size_t n, std::uint8_t* out,
                        double* magnitudes, double equalizingval, int phaseSign) {
    if (phaseSign != 1 && phaseSign != -1) {
        for (std::size_t k = 0; k < n; ++k) {
            const float i = rawFloat(raw + 8 * k, bigEndian);
            const float q = rawFloat(raw + 8 * k + 4, bigEndian);
            storePacked(out + 3 * k, packComplexReference(i, q, equalizingval, phaseSign));
            if (magnitudes) {
                const double m = std::sqrt(double(i) * i + double(q) * q);
                magnitudes[k] = std::isnan(m) ? 0.0 : m;
            }
        }
        return;
    }
    const bool swap = bigEndian == (std::endian::native == std::endian::little);
    const float lowerSign = phaseSign == 1 ? -1.0f : 1.0f;
    double magnitude[kBlock];
    std::uint32_t word[kBlock];
    std::uint8_t untrusted[kBlock];
    for (std::size_t start = 0; start < n; start += kBlock) {
        const std::size_t count = std::min(kBlock, n - start);
        const std::uint8_t* block = raw + 8 * start;
        if (swap)
            packBlockSwapped(block, count, equalizingval, lowerSign, magnitude, word, untrusted);
        else
            packBlockHost(block, count, equalizingval, lowerSign, magnitude, word, untrusted);
        for (std::size_t k = 0; k < count; ++k)
            if (untrusted[k])
                word[k] = packComplexReference(rawFloat(block + 8 * k, bigEndian), rawFloat(block + 8 * k + 4, bigEndian),
                                               equalizingval, phaseSign);
        // Big-endian 3-byte pixels: one 4-byte store per pixel, its spare
        // byte overwritten by the next pixel; the last pixel is stored alone.
        std::uint8_t* dst = out + 3 * start;
        for (std::size_t k = 0; k + 1 < count; ++k) {
            const std::uint32_t be = __builtin_bswap32(word[k] << 8);
            std::memcpy(dst + 3 * k, &be, sizeof be);
        }
        storePacked(dst + 3 * (count - 1), word[count - 1]);
        if (magnitudes)
            for (std::size_t k = 0; k < count; ++k) magnitudes[start + k] = std::isnan(magnitude[k]) ? 0.0 : magnitude[k];
    }
}

void packComplexLine(const float* iq, std::size_t n, std::uint8_t* out, double* magnitudes, double equalizingval,
                     int phaseSign) {
    packComplexSamples(reinterpret_cast<const std::uint8_t*>(iq), std::endian::native == std::endian::big, n, out,
                       magnitudes, equalizingval, phaseSign);
}

// ---- files -------------------------------------------------------------------

void readTile(File& file, const TileGrid& grid, int kx, int ky, TileKind kind, std::span<std::uint8_t> out) {
    const std::size_t bytes = grid.tileBytes(kind);
    if (out.size() < bytes) throw Error("tile buffer too small");
    if (!grid.contains(kx, ky)) {
        std::memset(out.data(), 0, bytes);
        return;
    }
    file.seek(grid.tileOffset(grid.tileNumber(kx, ky), kind));
    const std::size_t got = file.readSome(out.first(bytes));
    if (got < bytes) std::memset(out.data() + got, 0, bytes - got);
}

bool tileKindFromName(const std::string& tilePath, TileKind& kind) {
    if (endsWith(tilePath, kComplexSuffix)) {
        kind = TileKind::Complex;
        return true;
    }
    if (endsWith(tilePath, kAmplitudeSuffix)) {
        kind = TileKind::Amplitude;
        return true;
    }
    return false;
}

TileSetNames namesForNewTileSet(const std::string& imagePath, const std::string& workFolder, TileKind kind) {
    TileSetNames n;
    n.imageName = splitPath(imagePath).name;
    n.rest = withoutPrefix(n.imageName);
    n.folder = workFolder;
    n.tile = joinPath(workFolder, n.imageName + (kind == TileKind::Complex ? kComplexSuffix : kAmplitudeSuffix));
    n.quickLook = joinPath(workFolder, n.imageName + ".idx");
    n.canvas = joinPath(workFolder, n.imageName + ".cut");
    n.headerCopy = joinPath(workFolder, "FHDR" + n.rest);
    n.leaderCopy = joinPath(workFolder, "LED" + n.rest);
    n.volume = joinPath(workFolder, "VOL" + n.rest);
    return n;
}

std::string joinImagePath(const TileSetNames& names) { return joinPath(names.folder, names.imageName); }

TileSetNames namesForExistingTileSet(const std::string& tilePath) {
    TileKind kind{};
    if (!tileKindFromName(tilePath, kind))
        throw Error(format("\"%s\" is not a tile file (its name ends neither in tile.cpx nor in tile)", tilePath.c_str()));
    const std::string suffix = kind == TileKind::Complex ? kComplexSuffix : kAmplitudeSuffix;
    const std::string imagePath = tilePath.substr(0, tilePath.size() - suffix.size());
    TileSetNames n;
    const SplitPath sp = splitPath(imagePath);
    n.imageName = sp.name;
    n.rest = withoutPrefix(n.imageName);
    n.folder = sp.folder;
    n.tile = tilePath;
    n.quickLook = imagePath + ".idx";
    n.canvas = n.quickLook.substr(0, n.quickLook.size() - 3) + "cut";
    n.headerCopy = joinPath(sp.folder, "FHDR" + n.rest);
    n.leaderCopy = joinPath(sp.folder, "LED" + n.rest);
    n.volume = joinPath(sp.folder, "VOL" + n.rest);
    return n;
}

void copyImageHeader(const std::string& imagePath, const std::string& headerCopyPath) {
    File in(imagePath, File::Mode::Read);
    std::vector<std::uint8_t> head(kImageHeaderCopyBytes);
    const std::size_t got = in.readSome(head);
    head.resize(got);  // a product shorter than 1200 bytes copies what it has
    writeWholeFile(headerCopyPath, head);
}

void copyLeader(const std::string& leaderPath, const std::string& leaderCopyPath) {
    AtomicFile out(leaderCopyPath);
    File in(leaderPath, File::Mode::Read);
    std::vector<std::uint8_t> buffer(1 << 20);
    while (true) {
        const std::size_t got = in.readSome(buffer);
        if (got == 0) break;
        out.file().write(std::span<const std::uint8_t>(buffer.data(), got));
    }
    out.commit();
}

namespace {

void copyFileReplacing(const std::string& from, const std::string& to) {
    std::error_code ec;
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) throw Error(format("cannot copy \"%s\" to \"%s\": %s", from.c_str(), to.c_str(), ec.message().c_str()));
}

}  // namespace

bool saveTileSet(Ui& ui, const TileSetNames& names, TileKind kind) {
    FileDialog dialog;
    dialog.title = "Select directory to svae tilefile";
    dialog.filter = kind == TileKind::Complex ? "*tile.cpx)|*tile.cpx|all(*.*)|*.*||" : "*tile)|*tile|all(*.*)|*.*||";
    dialog.initialPath = splitPath(names.tile).name;
    const auto chosen = ui.saveFile(dialog);
    if (!chosen) return false;
    const std::string folder = splitPath(*chosen).folder;
    const std::string destinationTile = joinPath(folder, splitPath(names.tile).name);
    BusyScope busy(ui);
    std::error_code ec;
    if (!std::filesystem::equivalent(destinationTile, names.tile, ec) && destinationTile != names.tile) {
        const std::string files[] = {names.tile, names.headerCopy, names.quickLook, names.leaderCopy};
        // Copy all four first; remove the originals only when every copy stands.
        for (const auto& f : files)
            if (fileExists(f)) copyFileReplacing(f, joinPath(folder, splitPath(f).name));
        for (const auto& f : files) removeFile(f);
    }
    ui.message("Save image complete");
    return true;
}

}  // namespace tessarin::tiles
