#include "tiles/tile_store.h"

#include <algorithm>
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

// Distance, in code units, inside which the fast phase is not trusted. The
// approximation below is good to about 1e-11 rad (about 1e-9 code units);
// this margin leaves a thousandfold safety factor. Samples that close to a
// code boundary take the reference rule.
constexpr double kTrustMargin = 1e-6;
constexpr std::size_t kBlock = 512;

// Magnitude and phase position (in code units, 0..512) of a block of
// samples, written without branches so that the compiler vectorises it.
// atan(t), 0 <= t <= 1, is reduced to |u| <= tan(pi/8) and summed as its odd
// series to u^27. Zeros, infinities and NaN come out as NaN or exact
// boundaries and are left to the reference rule.
__attribute__((target_clones("avx2", "default")))
void packBlock(const float* iq, std::size_t n, double equalizingval, double* magnitude, std::uint32_t* word,
               std::uint8_t* untrusted) {
    constexpr double kTanPi8 = 0.41421356237309504880;
    constexpr double kPi = std::numbers::pi;
    constexpr double kCodesPerRad = kPhaseCodes / (2.0 * std::numbers::pi);
    constexpr double kMaxCode = static_cast<double>(kMaxAmplitudeCode);
    for (std::size_t k = 0; k < n; ++k) {
        const double di = iq[2 * k];
        const double dq = iq[2 * k + 1];
        const double m = std::sqrt(di * di + dq * dq);
        magnitude[k] = m;
        const double ai = std::fabs(di);
        const double aq = std::fabs(dq);
        const double big = std::max(ai, aq);
        const double small = std::min(ai, aq);
        const double t = small / big;
        const double reduced = (t - 1.0) / (t + 1.0);  // computed always: selects vectorise, branches do not
        const bool reduce = t > kTanPi8;
        const double u = reduce ? reduced : t;
        const double base = reduce ? kPi / 4 : 0.0;
        const double u2 = u * u;
        double s = 1.0 / 27;
        s = s * -u2 + 1.0 / 25;
        s = s * -u2 + 1.0 / 23;
        s = s * -u2 + 1.0 / 21;
        s = s * -u2 + 1.0 / 19;
        s = s * -u2 + 1.0 / 17;
        s = s * -u2 + 1.0 / 15;
        s = s * -u2 + 1.0 / 13;
        s = s * -u2 + 1.0 / 11;
        s = s * -u2 + 1.0 / 9;
        s = s * -u2 + 1.0 / 7;
        s = s * -u2 + 1.0 / 5;
        s = s * -u2 + 1.0 / 3;
        s = s * -u2 + 1.0;
        double phi = base + u * s;              // angle to the nearer axis, 0..pi/4
        phi = aq > ai ? kPi / 2 - phi : phi;    // first quadrant
        phi = di < 0.0 ? kPi - phi : phi;       // second quadrant
        phi = dq < 0.0 ? -phi : phi;            // lower half plane (-0 is left to the reference)
        const double x = (phi + kPi) * kCodesPerRad;
        const double fl = std::floor(x);
        // Not finite, near a code boundary, or a signed zero imaginary part
        // (whose sign decides between -pi and pi): the reference rule decides.
        const bool trusted = x - fl >= kTrustMargin && fl + 1.0 - x >= kTrustMargin && dq != 0.0;
        const double code = trusted ? fl : 0.0;
        const double scaled = m * equalizingval;
        const double amplitude = scaled < kMaxCode ? scaled : kMaxCode;  // NaN takes the cap; flagged anyway
        word[k] = static_cast<std::uint32_t>(static_cast<std::int32_t>(trusted ? amplitude : 0.0)) * kPhaseCodes +
                  (static_cast<std::uint32_t>(static_cast<std::int32_t>(code)) & (kPhaseCodes - 1));
        untrusted[k] = trusted ? 0 : 1;
    }
}

}  // namespace

void packComplexLine(const float* iq, std::size_t n, std::uint8_t* out, double* magnitudes, double equalizingval,
                     int phaseSign) {
    if (phaseSign != 1) {
        for (std::size_t k = 0; k < n; ++k) {
            storePacked(out + 3 * k, packComplexReference(iq[2 * k], iq[2 * k + 1], equalizingval, phaseSign));
            if (magnitudes) {
                const double m = std::sqrt(double(iq[2 * k]) * iq[2 * k] + double(iq[2 * k + 1]) * iq[2 * k + 1]);
                magnitudes[k] += std::isnan(m) ? 0.0 : m;
            }
        }
        return;
    }
    double magnitude[kBlock];
    std::uint32_t word[kBlock];
    std::uint8_t untrusted[kBlock];
    for (std::size_t start = 0; start < n; start += kBlock) {
        const std::size_t count = std::min(kBlock, n - start);
        const float* block = iq + 2 * start;
        packBlock(block, count, equalizingval, magnitude, word, untrusted);
        std::uint8_t* dst = out + 3 * start;
        for (std::size_t k = 0; k < count; ++k) {
            const std::uint32_t w =
                untrusted[k] ? packComplexReference(block[2 * k], block[2 * k + 1], equalizingval, phaseSign) : word[k];
            dst[3 * k] = static_cast<std::uint8_t>(w >> 16);
            dst[3 * k + 1] = static_cast<std::uint8_t>(w >> 8);
            dst[3 * k + 2] = static_cast<std::uint8_t>(w);
        }
        if (magnitudes)
            for (std::size_t k = 0; k < count; ++k) magnitudes[start + k] += std::isnan(magnitude[k]) ? 0.0 : magnitude[k];
    }
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
