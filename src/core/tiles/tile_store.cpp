#include "tiles/tile_store.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <numbers>

#if defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#endif

#include "platform/arithmetic.h"
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
// theta lies in [0, 64]; its error stays below 1e-5 units (the polynomial's
// 2e-7 relative error and a few single-precision roundings of quantities
// below 64; 8e-6 is the largest seen over 1e8 random samples), ten times
// inside kTrustMargin. Where small + big overflows, u is 0 and theta lands
// exactly on the boundary pi/4, so such samples are never trusted. A sample
// whose position lies within the margin of a code boundary - every zero,
// signed zero, infinity and NaN among them - takes the reference rule, so
// each trusted sample has the code the reference computes in double
// precision: both positions lie strictly between the same two integers. The
// code itself then follows from the octant by integer arithmetic, the
// boundaries between octants being whole codes.
constexpr float kTrustMargin = 1e-4f;
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
// rule (their word is meaningless); returns how many there are. A NaN
// sample's magnitude is stored as 0. lowerSign is -1 for phase sign +1 and
// +1 for phase sign -1: Q * lowerSign > 0 puts the sample in the lower half
// of the code circle.
template <bool Swap>
[[gnu::always_inline]] inline std::size_t packBlockBody(const std::uint8_t* raw, std::size_t n, double equalizingval,
                                                        float lowerSign, double* magnitude, std::uint32_t* word,
                                                        std::uint8_t* untrusted) {
    constexpr float kTanPi8 = 0.414213562373095f;
    constexpr float kQuarterPi = 0.785398163397448f;
    constexpr float kCodesPerRad = 81.4873308630504f;  // 256 / pi
    constexpr double kMaxCode = static_cast<double>(kMaxAmplitudeCode);
    // Two passes over the block, each with few live values: the magnitudes
    // and amplitude codes in double precision, then the phase codes.
    for (std::size_t k = 0; k < n; ++k) {
        // The magnitude exactly as the reference computes it (the squares
        // of floats are exact in double, so contraction cannot change it).
        const double di = loadFloat<Swap>(raw + 8 * k);
        const double dq = loadFloat<Swap>(raw + 8 * k + 4);
        const double m = std::sqrt(di * di + dq * dq);
        magnitude[k] = m == m ? m : 0.0;
        const double scaled = m * equalizingval;
        const double amplitude = scaled < kMaxCode ? scaled : kMaxCode;  // NaN takes the cap (and is flagged below)
        static_assert(kPhaseCodes == 1 << 9);
        word[k] = static_cast<std::uint32_t>(static_cast<std::int32_t>(amplitude)) << 9;
    }
    std::size_t flagged = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const float fi = loadFloat<Swap>(raw + 8 * k);
        const float fq = loadFloat<Swap>(raw + 8 * k + 4);
        const float ai = std::fabs(fi);
        const float aq = std::fabs(fq);
        const float big = ai > aq ? ai : aq;
        const float small = ai > aq ? aq : ai;
        // atan(small / big), or pi/4 + atan((small - big) / (small + big))
        // above tan(pi/8): one division either way.
        const bool reduce = small > big * kTanPi8;
        const float u = (reduce ? small - big : small) / (reduce ? small + big : big);
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
        word[k] += static_cast<std::uint32_t>(code);
        untrusted[k] = trusted ? 0 : 1;
        flagged += trusted ? 0 : 1;
    }
    return flagged;
}

using PackBlockFn = std::size_t (*)(const std::uint8_t*, std::size_t, double, float, double*, std::uint32_t*,
                                    std::uint8_t*);

// The block packer compiled for three instruction sets; the widest the
// processor has is chosen once.
#define TESSARIN_PACK_BLOCK(name, swap, attributes)                                                               \
    attributes std::size_t name(const std::uint8_t* raw, std::size_t n, double equalizingval, float lowerSign,    \
                                double* magnitude, std::uint32_t* word, std::uint8_t* untrusted) {               \
        return packBlockBody<swap>(raw, n, equalizingval, lowerSign, magnitude, word, untrusted);               \
    }
#if defined(__x86_64__) && defined(__GNUC__)
TESSARIN_PACK_BLOCK(packSwappedV4, true, __attribute__((target("arch=x86-64-v4,prefer-vector-width=512"))))
TESSARIN_PACK_BLOCK(packHostV4, false, __attribute__((target("arch=x86-64-v4,prefer-vector-width=512"))))
TESSARIN_PACK_BLOCK(packSwappedV3, true, __attribute__((target("arch=x86-64-v3"))))
TESSARIN_PACK_BLOCK(packHostV3, false, __attribute__((target("arch=x86-64-v3"))))
#endif
TESSARIN_PACK_BLOCK(packSwappedBase, true, )
TESSARIN_PACK_BLOCK(packHostBase, false, )
#undef TESSARIN_PACK_BLOCK

struct BlockPackers {
    PackBlockFn swapped;
    PackBlockFn host;
};

BlockPackers packersFor(PackingInstructions set) {
#if defined(__x86_64__) && defined(__GNUC__)
    if (set == PackingInstructions::Avx512) return {packSwappedV4, packHostV4};
    if (set == PackingInstructions::Avx2) return {packSwappedV3, packHostV3};
#endif
    (void)set;
    return {packSwappedBase, packHostBase};
}

const BlockPackers& blockPackers() {
    static const BlockPackers packers = packersFor(widestPacking(processorFeatures()));
    return packers;
}

// Stores words as big-endian 3-byte pixels. Four pixels at a time are
// shuffled into 12 bytes and stored as 16; the spare bytes are overwritten
// by the next group, and the last pixels, whose spare bytes would land past
// the end, are stored one by one.
#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target("ssse3"))) std::size_t storeWordsSsse3(const std::uint32_t* word, std::size_t n,
                                                              std::uint8_t* out) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    std::size_t k = 0;
    for (; k + 6 <= n; k += 4) {
        const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(word + k));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * k), _mm_shuffle_epi8(w, order));
    }
    return k;
}
#endif

float rawFloat(const std::uint8_t* p, bool bigEndian) {
    return bigEndian ? loadFloat<true>(p) : loadFloat<false>(p);
}

void storeWords(const std::uint32_t* word, std::size_t n, std::uint8_t* out) {
    std::size_t k = 0;
#if defined(__x86_64__) && defined(__GNUC__)
    static const bool ssse3 = (__builtin_cpu_init(), __builtin_cpu_supports("ssse3"));
    if (ssse3) k = storeWordsSsse3(word, n, out);
#endif
    for (; k < n; ++k) storePacked(out + 3 * k, word[k]);
}

void packWith(const BlockPackers& packers, const std::uint8_t* raw, bool bigEndian, std::size_t n, std::uint8_t* out,
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
    const PackBlockFn packBlock = swap ? packers.swapped : packers.host;
    const float lowerSign = phaseSign == 1 ? -1.0f : 1.0f;
    double scratch[kBlock];
    std::uint32_t word[kBlock];
    std::uint8_t untrusted[kBlock];
    for (std::size_t start = 0; start < n; start += kBlock) {
        const std::size_t count = std::min(kBlock, n - start);
        const std::uint8_t* block = raw + 8 * start;
        if (packBlock(block, count, equalizingval, lowerSign, magnitudes ? magnitudes + start : scratch, word, untrusted))
            for (std::size_t k = 0; k < count; ++k)
                if (untrusted[k])
                    word[k] = packComplexReference(rawFloat(block + 8 * k, bigEndian),
                                                   rawFloat(block + 8 * k + 4, bigEndian), equalizingval, phaseSign);
        storeWords(word, count, out + 3 * start);
    }
}

}  // namespace

CpuFeatureSet cpuFeatures(std::initializer_list<CpuFeature> features) {
    CpuFeatureSet set;
    for (const CpuFeature f : features) set.set(static_cast<std::size_t>(f));
    return set;
}

#if defined(__x86_64__) && defined(__GNUC__)
namespace {

// Where cpuid reports each feature, and which register state the operating
// system must save for it to be usable. Read straight from cpuid so that
// every compiler sees the same set (their run-time check builtins know
// different subsets of these names).
enum class Leaf { Basic /* 1 */, Extended /* 7.0 */, Amd /* 0x80000001 */ };
enum class Reg { B, C, D };
enum class State { Any, Ymm, Zmm };
struct FeatureBit {
    CpuFeature feature;
    Leaf leaf;
    Reg reg;
    unsigned bit;
    State state;
};
constexpr FeatureBit kFeatureBits[] = {
    {CpuFeature::Cx16, Leaf::Basic, Reg::C, 13, State::Any},
    {CpuFeature::Sahf, Leaf::Amd, Reg::C, 0, State::Any},
    {CpuFeature::Popcnt, Leaf::Basic, Reg::C, 23, State::Any},
    {CpuFeature::Sse3, Leaf::Basic, Reg::C, 0, State::Any},
    {CpuFeature::Sse41, Leaf::Basic, Reg::C, 19, State::Any},
    {CpuFeature::Sse42, Leaf::Basic, Reg::C, 20, State::Any},
    {CpuFeature::Ssse3, Leaf::Basic, Reg::C, 9, State::Any},
    {CpuFeature::Avx, Leaf::Basic, Reg::C, 28, State::Ymm},
    {CpuFeature::Avx2, Leaf::Extended, Reg::B, 5, State::Ymm},
    {CpuFeature::Bmi1, Leaf::Extended, Reg::B, 3, State::Any},
    {CpuFeature::Bmi2, Leaf::Extended, Reg::B, 8, State::Any},
    {CpuFeature::F16c, Leaf::Basic, Reg::C, 29, State::Ymm},
    {CpuFeature::Fma, Leaf::Basic, Reg::C, 12, State::Ymm},
    {CpuFeature::Lzcnt, Leaf::Amd, Reg::C, 5, State::Any},
    {CpuFeature::Movbe, Leaf::Basic, Reg::C, 22, State::Any},
    {CpuFeature::Xsave, Leaf::Basic, Reg::C, 26, State::Any},
    {CpuFeature::Osxsave, Leaf::Basic, Reg::C, 27, State::Any},
    {CpuFeature::Avx512f, Leaf::Extended, Reg::B, 16, State::Zmm},
    {CpuFeature::Avx512bw, Leaf::Extended, Reg::B, 30, State::Zmm},
    {CpuFeature::Avx512cd, Leaf::Extended, Reg::B, 28, State::Zmm},
    {CpuFeature::Avx512dq, Leaf::Extended, Reg::B, 17, State::Zmm},
    {CpuFeature::Avx512vl, Leaf::Extended, Reg::B, 31, State::Zmm},
};
constexpr unsigned kOsxsaveBit = 27;              // leaf 1, ecx
constexpr std::uint64_t kYmmState = 0x6;          // XCR0: SSE and AVX state
constexpr std::uint64_t kZmmState = 0xE6;         // and the opmask and upper ZMM state

CpuFeatureSet detectFeatures() {
    struct Regs {
        unsigned a = 0, b = 0, c = 0, d = 0;
        unsigned of(Reg r) const { return r == Reg::B ? b : r == Reg::C ? c : d; }
    };
    Regs leaves[3];
    __get_cpuid(1, &leaves[0].a, &leaves[0].b, &leaves[0].c, &leaves[0].d);
    __get_cpuid_count(7, 0, &leaves[1].a, &leaves[1].b, &leaves[1].c, &leaves[1].d);
    __get_cpuid(0x80000001u, &leaves[2].a, &leaves[2].b, &leaves[2].c, &leaves[2].d);
    std::uint64_t xcr0 = 0;
    if (leaves[0].c >> kOsxsaveBit & 1u) {
        unsigned lo = 0, hi = 0;
        __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0u));
        xcr0 = (static_cast<std::uint64_t>(hi) << 32) | lo;
    }
    CpuFeatureSet set;
    for (const FeatureBit& f : kFeatureBits) {
        const bool reported = leaves[static_cast<int>(f.leaf)].of(f.reg) >> f.bit & 1u;
        const bool saved = f.state == State::Any || (f.state == State::Ymm && (xcr0 & kYmmState) == kYmmState) ||
                           (f.state == State::Zmm && (xcr0 & kZmmState) == kZmmState);
        if (reported && saved) set.set(static_cast<std::size_t>(f.feature));
    }
    return set;
}

}  // namespace
#endif

CpuFeatureSet processorFeatures() {
#if defined(__x86_64__) && defined(__GNUC__)
    static const CpuFeatureSet detected = detectFeatures();
    return detected;
#else
    return {};
#endif
}

CpuFeatureSet featuresOf(PackingInstructions set) {
    using F = CpuFeature;
    switch (set) {
        case PackingInstructions::Baseline:
            return {};
        case PackingInstructions::Avx2:
            // Everything -march=x86-64-v3 enables (x86-64-v2 with it); the
            // compiler may emit movbe, lzcnt or f16c anywhere in that build.
            return cpuFeatures({F::Cx16, F::Sahf, F::Popcnt, F::Sse3, F::Sse41, F::Sse42, F::Ssse3, F::Avx, F::Avx2,
                                F::Bmi1, F::Bmi2, F::F16c, F::Fma, F::Lzcnt, F::Movbe, F::Xsave, F::Osxsave});
        case PackingInstructions::Avx512:
            return featuresOf(PackingInstructions::Avx2) |
                   cpuFeatures({F::Avx512f, F::Avx512bw, F::Avx512cd, F::Avx512dq, F::Avx512vl});
    }
    return {};
}

PackingInstructions widestPacking(const CpuFeatureSet& available) {
    for (const auto set : {PackingInstructions::Avx512, PackingInstructions::Avx2}) {
        const CpuFeatureSet needed = featuresOf(set);
        if ((needed & available) == needed) return set;
    }
    return PackingInstructions::Baseline;
}

bool packingInstructionsAvailable(PackingInstructions set) {
    const CpuFeatureSet needed = featuresOf(set);
    return (needed & processorFeatures()) == needed;
}

void packComplexSamplesUsing(PackingInstructions set, const std::uint8_t* raw, bool bigEndian, std::size_t n,
                             std::uint8_t* out, double* magnitudes, double equalizingval, int phaseSign) {
    if (!packingInstructionsAvailable(set)) throw Error("the processor lacks the instructions of this packer");
    packWith(packersFor(set), raw, bigEndian, n, out, magnitudes, equalizingval, phaseSign);
}

void packComplexSamples(const std::uint8_t* raw, bool bigEndian, std::size_t n, std::uint8_t* out,
                        double* magnitudes, double equalizingval, int phaseSign) {
    packWith(blockPackers(), raw, bigEndian, n, out, magnitudes, equalizingval, phaseSign);
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

std::vector<std::uint8_t> imageHeaderBytes(const std::string& imagePath) {
    File in(imagePath, File::Mode::Read);
    std::vector<std::uint8_t> head(kImageHeaderCopyBytes);
    const std::size_t got = in.readSome(head);
    head.resize(got);  // a product shorter than 1200 bytes copies what it has
    return head;
}

void copyImageHeader(const std::string& imagePath, const std::string& headerCopyPath) {
    writeWholeFile(headerCopyPath, imageHeaderBytes(imagePath));
}

namespace {

void copyContents(const std::string& from, File& to) {
    File in(from, File::Mode::Read);
    std::vector<std::uint8_t> buffer(1 << 20);
    while (true) {
        const std::size_t got = in.readSome(buffer);
        if (got == 0) break;
        to.write(std::span<const std::uint8_t>(buffer.data(), got));
    }
}

}  // namespace

void copyLeader(const std::string& leaderPath, const std::string& leaderCopyPath) {
    AtomicFile out(leaderCopyPath);
    copyContents(leaderPath, out.file());
    out.commit();
}

bool saveTileSet(Ui& ui, const TileSetNames& names, TileKind kind) {
    FileDialog dialog;
    dialog.title = "Select directory to svae tilefile";
    dialog.filter = kind == TileKind::Complex ? "*tile.cpx)|*tile.cpx|all(*.*)|*.*||" : "*tile)|*tile|all(*.*)|*.*||";
    dialog.initialPath = splitPath(names.tile).name;
    const auto chosen = ui.saveFile(dialog);
    if (!chosen) return false;
    const std::string folder = splitPath(*chosen).folder;
    // A bare name would put the TileSet wherever the program happens to run.
    if (folder.empty())
        throw Error(format("cannot save the tile image: \"%s\" names no folder; choose the folder to save it in",
                           chosen->c_str()));
    const std::string destinationTile = joinPath(folder, splitPath(names.tile).name);
    BusyScope busy(ui);
    std::error_code ec;
    if (!std::filesystem::equivalent(destinationTile, names.tile, ec) && destinationTile != names.tile) {
        const std::string files[] = {names.tile, names.headerCopy, names.quickLook, names.leaderCopy};
        // Copy all four under temporary names first, then rename them into
        // place; the originals go only when every copy stands. A failure
        // leaves the files in the folder as they were.
        std::vector<std::unique_ptr<AtomicFile>> copies;
        for (const auto& f : files) {
            if (!fileExists(f)) continue;
            copies.push_back(std::make_unique<AtomicFile>(joinPath(folder, splitPath(f).name)));
            copyContents(f, copies.back()->file());
        }
        for (auto& c : copies) c->commit();
        for (const auto& f : files) removeFile(f);
    }
    ui.message("Save image complete");
    return true;
}

}  // namespace tessarin::tiles
