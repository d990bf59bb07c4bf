#include "products/alos2.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/text.h"
#include "products/ceos_fields.h"

namespace tessarin::products {

namespace {

using ceos::FieldLayout;
using ceos::LeaderRecord;
using ceos::RecordView;

constexpr std::string_view kTileCpxSuffix = "tile.cpx";
constexpr std::size_t kLevelTextFromEnd = 6;  // "1.1__A": the level starts six characters before the end
constexpr std::size_t kLevelTextLength = 3;
constexpr std::size_t kPolarisationPrefixLength = 6;  // "IMG-HH"
constexpr std::size_t kLookFlagFromEnd = 10;          // "UBSR1.1__A": the look flag is the fourth of these
constexpr std::size_t kLookFlagIndex = 3;

// Nearest state vector search starts from this distance (s).
constexpr double kNearestSearchStart_s = 100000.0;
constexpr int kWindowHalf = 2;
constexpr double kMillisPerSecond = 1000.0;
constexpr double kSecondsPerHour = 3600.0;
constexpr double kSecondsPerMinute = 60.0;
constexpr int kBitsPerByte = 8;
constexpr std::size_t kComplexSampleBytes = 8;    // big-endian float I, then Q
constexpr std::size_t kAmplitudeSampleBytes = 2;  // big-endian uint16

int narrowInt(long v) {
    return static_cast<int>(std::clamp<long>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// Whole hours/minutes of a time that may be anything a field held.
int wholeOf(double v) {
    const double f = std::floor(v);
    if (!std::isfinite(f) || std::fabs(f) > 1e9) return 0;
    return static_cast<int>(f);
}

// Physical bounds of the fields the geometry uses: a value outside them
// (or "nan", "1e999") is no product's.
constexpr double kMaxLatitude_deg = 90.0;
constexpr double kMaxLongitude_deg = 360.0;
constexpr double kDaySeconds = 86400.0 + 1.0;  // a leap second
constexpr double kMinSpacing_m = 1e-6;         // above 0
constexpr double kMaxSpacing_m = 1000.0;
constexpr double kMinWavelength_m = 0.01, kMaxWavelength_m = 1.0;
constexpr double kMinPrf_Hz = 1.0, kMaxPrf_Hz = 100000.0;
constexpr double kMinOrbitRadius_m = 6.2e6, kMaxOrbitRadius_m = 5e7;
constexpr double kMaxFinite = std::numeric_limits<double>::max();

struct LocatedRecord {
    ceos::RecordLayout layout;
    std::uint64_t offset = 0;
    std::uint32_t length = 0;
};

std::string trimmed(std::string_view t) {
    const auto first = t.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return std::string(t.substr(first, t.find_last_not_of(' ') - first + 1));
}

std::string codeText(const ceos::TypeCode& c) {
    return format("%u %u %u %u", unsigned{c.subtype1}, unsigned{c.type}, unsigned{c.subtype2}, unsigned{c.subtype3});
}

// Finds the records of the leader: at the positions of the fixed record map
// when every record header there agrees with it, otherwise by walking the
// record headers in their fixed order. Refuses a leader whose records cannot
// be found either way.
std::vector<LocatedRecord> locateLeaderRecords(std::span<const std::uint8_t> data, int level, const std::string& name,
                                               const ceos::LeaderLayout& layout) {
    const std::vector<ceos::RecordLayout> layouts = ceos::leaderRecordsFor(level, layout);
    const std::uint64_t size = data.size();
    std::vector<LocatedRecord> found;

    bool fixedHolds = true;
    std::uint64_t pos = 0;
    for (const auto& l : layouts) {
        if (pos + l.length > size || ceos::readRecordHeader(data.subspan(pos, ceos::kRecordHeaderBytes)).length != l.length) {
            fixedHolds = false;
            break;
        }
        found.push_back({l, pos, l.length});
        pos += l.length;
    }
    if (fixedHolds) return found;

    auto headerAt = [&](std::uint64_t at, const ceos::RecordLayout& l) {
        if (at + ceos::kRecordHeaderBytes > size)
            throw Error(format("leader file \"%s\" ends at byte %llu, before the %s record expected at offset %llu",
                               name.c_str(), static_cast<unsigned long long>(size), l.name,
                               static_cast<unsigned long long>(at)));
        const ceos::RecordHeader h = ceos::readRecordHeader(data.subspan(at, ceos::kRecordHeaderBytes));
        if (h.length < ceos::kRecordHeaderBytes)
            throw Error(format("leader file \"%s\": the %s record at offset %llu gives the length %u, shorter than "
                               "its header",
                               name.c_str(), l.name, static_cast<unsigned long long>(at), h.length));
        return h;
    };
    found.clear();
    pos = 0;
    for (const auto& l : layouts) {
        ceos::RecordHeader h = headerAt(pos, l);
        if (l.lastInFile) {
            // Records in between (products that split the facility data)
            // are passed over; each step moves on by at least a header.
            while (pos + h.length < size) {
                pos += h.length;
                h = headerAt(pos, l);
            }
            const auto held = static_cast<std::uint32_t>(std::min<std::uint64_t>(h.length, size - pos));
            if (held < l.usedBytes)
                throw Error(format("leader file \"%s\": the %s record at offset %llu holds %u bytes, too few for the "
                                   "%u bytes read from it",
                                   name.c_str(), l.name, static_cast<unsigned long long>(pos), held, l.usedBytes));
            found.push_back({l, pos, held});
            break;
        }
        const bool codeDiffers = layout.fullTypeCodes
                                     ? (h.code.subtype1 != l.code.subtype1 || h.code.type != l.code.type ||
                                        h.code.subtype2 != l.code.subtype2)
                                     : h.code.type != l.code.type;
        if (l.checkType && codeDiffers)
            throw Error(format("leader file \"%s\": the record at offset %llu has type codes %s where the %s record "
                               "(%s) of an %s leader belongs",
                               name.c_str(), static_cast<unsigned long long>(pos), codeText(h.code).c_str(), l.name,
                               codeText(l.code).c_str(), layout.sensor));
        if (l.exactLength && h.length != l.length)
            throw Error(format("leader file \"%s\": the %s record at offset %llu is %u bytes long, not %u as in %s "
                               "leaders: this is no %s product",
                               name.c_str(), l.name, static_cast<unsigned long long>(pos), h.length, l.length,
                               layout.sensor, layout.sensor));
        if (pos + h.length > size)
            throw Error(format("leader file \"%s\": the %s record at offset %llu gives the length %u, but the file "
                               "ends at byte %llu",
                               name.c_str(), l.name, static_cast<unsigned long long>(pos), h.length,
                               static_cast<unsigned long long>(size)));
        found.push_back({l, pos, h.length});
        pos += h.length;
    }
    return found;
}

RecordView viewOf(std::span<const std::uint8_t> data, const std::vector<LocatedRecord>& records, LeaderRecord id,
                  const std::string& name) {
    for (const auto& r : records)
        if (r.layout.id == id) return {data.subspan(r.offset, r.length), name, r.layout.name, r.offset};
    throw Error(format("leader file \"%s\" has no %s record", name.c_str(), ceos::layoutOf(id).name));
}

template <std::size_t N>
void readTable(const RecordView& r, const FieldLayout& first, std::size_t step, std::array<double, N>& into) {
    std::string fieldName;
    for (std::size_t k = 0; k < N; ++k) {
        const FieldLayout f = ceos::nthField(first, k, step, fieldName);
        into[k] = ceos::boundedField(r, f, -kMaxFinite, kMaxFinite, "");
    }
}

void decodeDataSetSummary(const RecordView& r, SceneParameters& p) {
    p.Y = narrowInt(ceos::integerField(r, ceos::dss::Y));
    p.M = narrowInt(ceos::integerField(r, ceos::dss::M));
    p.D = narrowInt(ceos::integerField(r, ceos::dss::D));
    p.H = narrowInt(ceos::integerField(r, ceos::dss::H));
    p.Min = narrowInt(ceos::integerField(r, ceos::dss::Min));
    p.Sec = static_cast<double>(ceos::integerField(r, ceos::dss::SecMillis)) / kMillisPerSecond;
    p.ctrlat = ceos::boundedField(r, ceos::dss::ctrlat, -kMaxLatitude_deg, kMaxLatitude_deg, "degrees");
    p.ctrlon = ceos::boundedField(r, ceos::dss::ctrlon, -kMaxLongitude_deg, kMaxLongitude_deg, "degrees");
    p.wavelength = ceos::boundedField(r, ceos::dss::wavelength, kMinWavelength_m, kMaxWavelength_m, "m");
    p.prf = ceos::boundedField(r, ceos::dss::prfMilliHz, kMinPrf_Hz * kMillisPerSecond, kMaxPrf_Hz * kMillisPerSecond,
                               "mHz") /
            kMillisPerSecond;
    p.linsz = ceos::boundedField(r, ceos::dss::linsz, kMinSpacing_m, kMaxSpacing_m, "m");
    p.pixsz = ceos::boundedField(r, ceos::dss::pixsz, kMinSpacing_m, kMaxSpacing_m, "m");
    readTable(r, ceos::dss::inccoef, ceos::dss::kInccoefStep, p.inccoef);
    p.scsecofday = p.Min * kSecondsPerMinute + p.H * kSecondsPerHour + p.Sec;
    checkBounds(r, ceos::dss::H, p.scsecofday, 0.0, kDaySeconds, "s of the day (hour, minute and second)");
}

// What first-generation leaders carry besides the shared fields: the look
// direction (the sensor clock angle) and the marks of products this reader
// cannot read (another mission's, or the ERSDAC processing's layout).
void decodeFirstGenerationSummary(const RecordView& r, SceneParameters& p) {
    const std::string mission = trimmed(ceos::fieldText(r, ceos::dss::missionId));
    if (startsWith(mission, "ALOS2") || startsWith(mission, "ALOS-2"))
        throw Error(format("%s: the data set summary names the mission \"%s\": an ALOS-2 PALSAR-2 leader, open it "
                           "with the ALOS2 commands",
                           r.file.c_str(), mission.c_str()));
    const std::string system = trimmed(ceos::fieldText(r, ceos::dss::processingSystem));
    if (startsWith(system, "SKY"))
        throw Error(format("%s: processed by the system \"%s\" (ERSDAC): that layout of ALOS PALSAR products is not "
                           "read",
                           r.file.c_str(), system.c_str()));
    const double angle = ceos::realField(r, ceos::dss::clockAngle);
    // +90 looks right, -90 left; no angle (or any other) keeps right looking.
    p.pointingLeft = angle < 0.0 ? 1 : 0;
}

void decodeRadiometric(const RecordView& r, int level, SceneParameters& p) {
    const double field = ceos::realField(r, ceos::radiometric::calib);
    p.calib = level == kLevel11 ? field - ceos::radiometric::kLevel11Offset_dB : field;
}

// Degree-4 Lagrange polynomial through (-2D, y0) .. (2D, y4), expanded into
// monomials in d, highest power first.
std::array<double, kOrbitPolyTerms> lagrangeCoefficients(const std::array<double, kOrbitWindowPoints>& y,
                                                         double interval) {
    std::array<double, kOrbitWindowPoints> x{};
    for (std::size_t i = 0; i < kOrbitWindowPoints; ++i)
        x[i] = (static_cast<double>(i) - kWindowHalf) * interval;
    std::array<double, kOrbitPolyTerms> c{};
    for (std::size_t i = 0; i < kOrbitWindowPoints; ++i) {
        double denominator = 1.0;
        std::array<double, 4> o{};
        std::size_t n = 0;
        for (std::size_t j = 0; j < kOrbitWindowPoints; ++j) {
            if (j == i) continue;
            denominator *= x[i] - x[j];
            o[n++] = x[j];
        }
        const double b = y[i] / denominator;
        const auto [p, q, r, s] = o;
        c[0] += b;
        c[1] -= b * (p + q + r + s);
        c[2] += b * (p * q + p * r + p * s + q * r + q * s + r * s);
        c[3] -= b * (p * q * r + p * q * s + p * r * s + q * r * s);
        c[4] += b * p * q * r * s;
    }
    return c;
}

void decodePlatformPosition(const RecordView& r, SceneParameters& p) {
    namespace pf = ceos::platform;
    const long count = ceos::integerField(r, pf::pointCount);
    if (count < 0 || count > static_cast<long>(kMaxStateVectors))
        throw Error(format("%s: the %s record gives %ld state vectors; at most %zu are accepted", r.file.c_str(),
                           r.record.c_str(), count, kMaxStateVectors));
    p.orbitPointCount = static_cast<int>(count);
    p.orbitFirstYear = narrowInt(ceos::integerField(r, pf::firstYear));
    p.orbitFirstMonth = narrowInt(ceos::integerField(r, pf::firstMonth));
    p.orbitFirstDay = narrowInt(ceos::integerField(r, pf::firstDay));
    p.orbitFirstTime = ceos::boundedField(r, pf::firstTime, 0.0, kDaySeconds, "s of the day");
    p.orbitFirstHour = wholeOf(p.orbitFirstTime / kSecondsPerHour);
    p.orbitFirstMinute = wholeOf(p.orbitFirstTime / kSecondsPerMinute - p.orbitFirstHour * kSecondsPerMinute);
    p.orbitInterval = ceos::boundedField(r, pf::interval, -kDaySeconds, kDaySeconds, "s");

    static constexpr const char* kComponent[] = {"X", "Y", "Z", "VX", "VY", "VZ"};
    for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
        double v[6];
        for (std::size_t j = 0; j < 6; ++j) {
            const std::string name = format("state vector %zu %s", i, kComponent[j]);
            v[j] = ceos::boundedField(r, {name.c_str(), pf::kVectorsOffset + pf::kVectorBytes * i + pf::kComponentWidth * j,
                                          pf::kComponentWidth},
                                      -kMaxOrbitRadius_m, kMaxOrbitRadius_m, "m (m/s)");
        }

        StateVector& s = p.stateVectors[i];
        s.t = p.orbitFirstTime + static_cast<double>(i) * p.orbitInterval;
        s.X = v[0], s.Y = v[1], s.Z = v[2], s.VX = v[3], s.VY = v[4], s.VZ = v[5];
        s.radius = std::sqrt(s.X * s.X + s.Y * s.Y + s.Z * s.Z);
    }
    // Every field read first, so that a record too short for its count says so.
    for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
        const double radius = p.stateVectors[i].radius;
        if (!(radius >= kMinOrbitRadius_m && radius <= kMaxOrbitRadius_m))
            throw Error(format("%s: the %s record: state vector %zu lies %g m from the earth's centre, not %g to %g m",
                               r.file.c_str(), r.record.c_str(), i, radius, kMinOrbitRadius_m, kMaxOrbitRadius_m));
    }

    // The window of five points around the one nearest the scene centre; the
    // first of equal distances wins.
    int k = -1;
    double best = kNearestSearchStart_s;
    for (int i = 0; i < p.orbitPointCount; ++i) {
        const double distance = std::fabs(p.stateVectors[static_cast<std::size_t>(i)].t - p.scsecofday);
        if (distance < best) {
            best = distance;
            k = i;
        }
    }
    if (k < 0)
        throw Error(format("%s: no state vector of the %s record lies within %.0f s of the scene centre time %.3f s",
                           r.file.c_str(), r.record.c_str(), kNearestSearchStart_s, p.scsecofday));
    if (k < kWindowHalf || k + kWindowHalf >= p.orbitPointCount)
        throw Error(format("%s: the %s record needs two state vectors on either side of the one nearest the scene "
                           "centre (vector %d of %d)",
                           r.file.c_str(), r.record.c_str(), k, p.orbitPointCount));
    std::array<double, kOrbitWindowPoints> xs{}, ys{}, zs{};
    for (std::size_t m = 0; m < kOrbitWindowPoints; ++m) {
        const StateVector& s = p.stateVectors[static_cast<std::size_t>(k - kWindowHalf) + m];
        p.orbitWindow[m] = s;
        p.orbitWindow[m].radius = 0.0;
        xs[m] = s.X, ys[m] = s.Y, zs[m] = s.Z;
    }
    p.orbitRefTime = p.stateVectors[static_cast<std::size_t>(k)].t;
    p.orbitPolyX = lagrangeCoefficients(xs, p.orbitInterval);
    p.orbitPolyY = lagrangeCoefficients(ys, p.orbitInterval);
    p.orbitPolyZ = lagrangeCoefficients(zs, p.orbitInterval);
    for (const auto* poly : {&p.orbitPolyX, &p.orbitPolyY, &p.orbitPolyZ})
        for (double c : *poly)
            if (!std::isfinite(c))
                throw Error(format("%s: the state vectors %d to %d of the %s record (interval %g s) give no usable "
                                   "orbit polynomial",
                                   r.file.c_str(), k - kWindowHalf, k + kWindowHalf, r.record.c_str(),
                                   p.orbitInterval));
}

void decodeFacility5(const RecordView& r, SceneParameters& p) {
    namespace f5 = ceos::facility5;
    readTable(r, f5::pl2lat, f5::kCoefficientStep, p.pl2lat);
    readTable(r, f5::pl2lon, f5::kCoefficientStep, p.pl2lon);
    p.plRefPixel = ceos::boundedField(r, f5::plRefPixel, -kMaxFinite, kMaxFinite, "");
    p.plRefLine = ceos::boundedField(r, f5::plRefLine, -kMaxFinite, kMaxFinite, "");
    readTable(r, f5::ll2pix, f5::kCoefficientStep, p.ll2pix);
    readTable(r, f5::ll2lin, f5::kCoefficientStep, p.ll2lin);
    p.llRefLat = ceos::boundedField(r, f5::llRefLat, -kMaxLatitude_deg, kMaxLatitude_deg, "degrees");
    p.llRefLon = ceos::boundedField(r, f5::llRefLon, -kMaxLongitude_deg, kMaxLongitude_deg, "degrees");
}

// sum over i, j of c[5i + j] * a^(4-i) * b^(4-j)
double evaluateMapping(const std::array<double, kMappingPolyTerms>& c, double a, double b) {
    constexpr std::size_t kDegree = 4;
    std::array<double, kDegree + 1> pa{}, pb{};
    pa[0] = pb[0] = 1.0;
    for (std::size_t n = 1; n <= kDegree; ++n) {
        pa[n] = pa[n - 1] * a;
        pb[n] = pb[n - 1] * b;
    }
    double sum = 0.0;
    for (std::size_t i = 0; i <= kDegree; ++i)
        for (std::size_t j = 0; j <= kDegree; ++j) sum += c[5 * i + j] * pa[kDegree - i] * pb[kDegree - j];
    return sum;
}

double horner(const std::array<double, kOrbitPolyTerms>& c, double d) {
    return (((c[0] * d + c[1]) * d + c[2]) * d + c[3]) * d + c[4];
}

}  // namespace

// ---------------------------------------------------------------- names

int productLevelOf(const std::string& imagePath) {
    if (imagePath.size() < kLevelTextFromEnd) return kLevelOther;
    const std::string_view level = std::string_view(imagePath).substr(imagePath.size() - kLevelTextFromEnd, kLevelTextLength);
    if (level == "1.5") return kLevel15;
    if (level == "1.1") return kLevel11;
    return kLevelOther;
}

std::string leaderPathOf(const std::string& imagePath) {
    const SplitPath split = splitPath(imagePath);
    const std::string rest = split.name.size() > kPolarisationPrefixLength ? split.name.substr(kPolarisationPrefixLength)
                                                                           : std::string();
    return joinPath(split.folder, "LED" + rest);
}

int pointingLeftOf(const std::string& imagePath) {
    if (imagePath.size() < kLookFlagFromEnd) return -1;
    const char flag = imagePath[imagePath.size() - kLookFlagFromEnd + kLookFlagIndex];
    if (flag == 'R') return 0;
    if (flag == 'L') return 1;
    return -1;
}

void refuseUnreadLevel(const std::string& imagePath) {
    const int level = productLevelOf(imagePath);
    if (level == kLevel11 || level == kLevel15) return;
    const std::string name = splitPath(imagePath).name;
    const std::string text =
        imagePath.size() >= kLevelTextFromEnd ? imagePath.substr(imagePath.size() - kLevelTextFromEnd, kLevelTextLength)
                                              : std::string();
    if (text == "1.0")
        throw Error(format("\"%s\" is a level 1.0 product (raw 8-bit samples): ALOS PALSAR products are read at "
                           "levels 1.1 and 1.5 only",
                           name.c_str()));
    throw Error(format("\"%s\" names no level 1.1 or 1.5 (\"%s\" six characters before its end): ALOS PALSAR "
                       "products are read at levels 1.1 and 1.5 only",
                       name.c_str(), text.c_str()));
}

bool isHdf5Signature(std::span<const std::uint8_t> head) {
    static constexpr std::uint8_t kSignature[] = {0x89, 0x48, 0x44, 0x46, 0x0D, 0x0A, 0x1A, 0x0A};
    return head.size() >= sizeof kSignature && std::equal(std::begin(kSignature), std::end(kSignature), head.begin());
}

bool isCeosImageDescriptor(std::span<const std::uint8_t> head) {
    if (head.size() < ceos::kRecordHeaderBytes) return false;
    const ceos::RecordHeader h = ceos::readRecordHeader(head.first(ceos::kRecordHeaderBytes));
    const ceos::TypeCode& want = ceos::kImageDescriptorCode;
    return h.code.subtype1 == want.subtype1 && h.code.type == want.type && h.code.subtype2 == want.subtype2 &&
           h.code.subtype3 == want.subtype3 && h.length == static_cast<std::uint32_t>(kFileHeaderBytes);
}

// ---------------------------------------------------------------- evaluations

OrbitPosition orbitPositionAt(const SceneParameters& p, double t_s) {
    const double d = t_s - p.orbitRefTime;
    OrbitPosition o;
    o.x_m = horner(p.orbitPolyX, d);
    o.y_m = horner(p.orbitPolyY, d);
    o.z_m = horner(p.orbitPolyZ, d);
    o.radius_m = std::sqrt(o.x_m * o.x_m + o.y_m * o.y_m + o.z_m * o.z_m);
    return o;
}

GeoPoint latLonOfPixelLine(const SceneParameters& p, ScenePoint s) {
    const double P = s.pixel - p.plRefPixel;
    const double L = s.line - p.plRefLine;
    return {evaluateMapping(p.pl2lat, P, L), evaluateMapping(p.pl2lon, P, L)};
}

ScenePoint pixelLineOfLatLon(const SceneParameters& p, GeoPoint g) {
    const double A = g.lat_deg - p.llRefLat;
    const double O = g.lon_deg - p.llRefLon;
    return {evaluateMapping(p.ll2pix, A, O), evaluateMapping(p.ll2lin, A, O)};
}

// ---------------------------------------------------------------- image lines

ImageLineReader::ImageLineReader(const std::string& path, const SceneParameters& g)
    : line_(g.line), pixel_(g.pixel), fileheader_(g.fileheader), lineheader_(g.lineheader), linebytes_(g.linebytes) {
    if (line_ < 0 || pixel_ < 0 || fileheader_ < 0 || lineheader_ < 0 || linebytes_ < 0)
        throw Error(format("image file \"%s\": the descriptor gives a negative size (%d lines of %d pixels, record "
                           "%d bytes, prefix %d bytes, file header %d bytes)",
                           path.c_str(), line_, pixel_, linebytes_, lineheader_, fileheader_));
    file_ = std::make_unique<File>(path, File::Mode::Read);
    // Line buffers are sized by the descriptor: a record longer than the
    // whole file is no record of it.
    const std::uint64_t size = file_->size();
    if (static_cast<std::uint64_t>(linebytes_) > size)
        throw Error(format("image file \"%s\": the descriptor gives line records of %d bytes, but the file holds %llu",
                           path.c_str(), linebytes_, static_cast<unsigned long long>(size)));
}

ImageLineReader::~ImageLineReader() = default;
ImageLineReader::ImageLineReader(ImageLineReader&&) noexcept = default;
ImageLineReader& ImageLineReader::operator=(ImageLineReader&&) noexcept = default;

const std::string& ImageLineReader::path() const { return file_->path(); }

bool ImageLineReader::sameGeometry(const SceneParameters& g) const {
    return g.line == line_ && g.pixel == pixel_ && g.fileheader == fileheader_ && g.lineheader == lineheader_ &&
           g.linebytes == linebytes_;
}

std::uint64_t ImageLineReader::lineOffset(int n) const {
    return static_cast<std::uint64_t>(fileheader_) + static_cast<std::uint64_t>(lineheader_) +
           static_cast<std::uint64_t>(n) * static_cast<std::uint64_t>(linebytes_);
}

std::size_t ImageLineReader::readLine(int n, std::size_t sampleBytes, std::span<std::uint8_t> into) {
    const std::size_t want = static_cast<std::size_t>(pixel_) * sampleBytes;
    if (static_cast<std::uint64_t>(lineheader_) + want > static_cast<std::uint64_t>(linebytes_))
        throw Error(format("image file \"%s\": %d samples of %zu bytes after a %d-byte prefix do not fit a line "
                           "record of %d bytes",
                           path().c_str(), pixel_, sampleBytes, lineheader_, linebytes_));
    file_->seek(lineOffset(n));
    const std::size_t got = file_->readSome(into.first(want));
    // A truncated file: what is missing stays zero.
    std::fill(into.begin() + static_cast<std::ptrdiff_t>(got), into.begin() + static_cast<std::ptrdiff_t>(want),
              std::uint8_t{0});
    return want;
}

bool ImageLineReader::readComplexLine(int n, std::span<std::complex<float>> out, ByteOrder order) {
    const auto count = static_cast<std::size_t>(pixel_);
    if (out.size() < count)
        throw Error(format("image file \"%s\": a line buffer of %zu samples is given for %d pixels", path().c_str(),
                           out.size(), pixel_));
    std::fill(out.begin(), out.end(), std::complex<float>{});
    if (n < 0 || n >= line_) return false;
    raw_.resize(count * kComplexSampleBytes);
    readLine(n, kComplexSampleBytes, raw_);
    const std::uint8_t* b = raw_.data();
    if (order == ByteOrder::Big) {
        for (std::size_t i = 0; i < count; ++i, b += kComplexSampleBytes) {
            const std::uint32_t re = std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 | b[3];
            const std::uint32_t im = std::uint32_t{b[4]} << 24 | std::uint32_t{b[5]} << 16 | std::uint32_t{b[6]} << 8 | b[7];
            out[i] = {std::bit_cast<float>(re), std::bit_cast<float>(im)};
        }
    } else {
        for (std::size_t i = 0; i < count; ++i, b += kComplexSampleBytes) {
            const std::uint32_t re = std::uint32_t{b[3]} << 24 | std::uint32_t{b[2]} << 16 | std::uint32_t{b[1]} << 8 | b[0];
            const std::uint32_t im = std::uint32_t{b[7]} << 24 | std::uint32_t{b[6]} << 16 | std::uint32_t{b[5]} << 8 | b[4];
            out[i] = {std::bit_cast<float>(re), std::bit_cast<float>(im)};
        }
    }
    return true;
}

bool ImageLineReader::readAmplitudeLine(int n, std::span<std::uint16_t> out, ByteOrder order) {
    const auto count = static_cast<std::size_t>(pixel_);
    if (out.size() < count)
        throw Error(format("image file \"%s\": a line buffer of %zu samples is given for %d pixels", path().c_str(),
                           out.size(), pixel_));
    std::fill(out.begin(), out.end(), std::uint16_t{0});
    if (n < 0 || n >= line_) return false;
    raw_.resize(count * kAmplitudeSampleBytes);
    readLine(n, kAmplitudeSampleBytes, raw_);
    const std::uint8_t* b = raw_.data();
    const std::size_t hi = order == ByteOrder::Big ? 0 : 1;
    for (std::size_t i = 0; i < count; ++i, b += kAmplitudeSampleBytes)
        out[i] = static_cast<std::uint16_t>(b[hi] << 8 | b[1 - hi]);
    return true;
}

// ---------------------------------------------------------------- Alos2

Alos2::Alos2(const Alos2& other)
    : layout_(other.layout_),
      imagePath_(other.imagePath_),
      leaderPath_(other.leaderPath_),
      descriptorNotice_(other.descriptorNotice_),
      productLevel_(other.productLevel_),
      lineDivision_(other.lineDivision_),
      lineDivisor_(other.lineDivisor_),
      params_(other.params_) {}

Alos2& Alos2::operator=(const Alos2& other) {
    if (this != &other) {
        Alos2 copy(other);
        *this = std::move(copy);
    }
    return *this;
}

Alos2::Alos2(Alos2&&) noexcept = default;
Alos2& Alos2::operator=(Alos2&&) noexcept = default;
Alos2::~Alos2() = default;

void Alos2::setImagePath(const std::string& path) {
    imagePath_ = endsWith(path, kTileCpxSuffix) ? path.substr(0, path.size() - kTileCpxSuffix.size()) : path;
    productLevel_ = productLevelOf(imagePath_);
    leaderPath_ = leaderPathOf(imagePath_);
    reader_.reset();
}

bool Alos2::DecodeLeaderFile() {
    // A missing or unreadable leader (no file, a folder, a read failure)
    // decodes nothing and says nothing; the caller goes on with what it has.
    if (!fileExists(leaderPath_)) return false;
    auto file = File::tryOpen(leaderPath_, File::Mode::Read);
    if (!file) return false;
    std::uint64_t size = 0;
    try {
        size = file->size();
    } catch (const Error&) {
        return false;
    }
    if (size > kMaxLeaderBytes)
        throw Error(format("leader file \"%s\" holds %llu bytes; a leader file is far smaller", leaderPath_.c_str(),
                           static_cast<unsigned long long>(size)));
    std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
    try {
        file->readExact(data);
    } catch (const Error&) {
        return false;
    }
    DecodeLeaderBytes(data, leaderPath_);
    return true;
}

void Alos2::DecodeLeaderBytes(std::span<const std::uint8_t> bytes, const std::string& name) {
    if (firstGeneration()) refuseUnreadLevel(imagePath_);
    const std::vector<LocatedRecord> records = locateLeaderRecords(bytes, productLevel_, name, *layout_);
    SceneParameters next = params_;
    decodeDataSetSummary(viewOf(bytes, records, LeaderRecord::DataSetSummary, name), next);
    if (firstGeneration()) decodeFirstGenerationSummary(viewOf(bytes, records, LeaderRecord::DataSetSummary, name), next);
    decodeRadiometric(viewOf(bytes, records, LeaderRecord::Radiometric, name), productLevel_, next);
    decodePlatformPosition(viewOf(bytes, records, LeaderRecord::PlatformPosition, name), next);
    decodeFacility5(viewOf(bytes, records, LeaderRecord::Facility5, name), next);
    params_ = next;
}

bool Alos2::DecodeImageFileDescriptor(const std::string& path) {
    if (!fileExists(path)) return false;
    auto file = File::tryOpen(path, File::Mode::Read);
    if (!file) return false;
    std::vector<std::uint8_t> data(static_cast<std::size_t>(kFileHeaderBytes));
    data.resize(file->readSome(data));
    DecodeImageFileDescriptorBytes(data, path);
    return true;
}

void Alos2::DecodeImageFileDescriptorBytes(std::span<const std::uint8_t> bytes, const std::string& name) {
    namespace ds = ceos::descriptor;
    const RecordView r{bytes.first(std::min<std::size_t>(bytes.size(), kFileHeaderBytes)), name,
                       "image file descriptor", 0};
    if (r.bytes.size() < static_cast<std::size_t>(kFileHeaderBytes))
        throw Error(format("%s: the image file descriptor is cut short at %zu of %d bytes", name.c_str(),
                           r.bytes.size(), kFileHeaderBytes));
    SceneParameters next = params_;
    next.line = narrowInt(ceos::integerField(r, ds::line));
    next.linebytes = narrowInt(ceos::integerField(r, ds::linebytes));
    next.bytesPerSample = narrowInt(ceos::integerField(r, ds::bitsPerSample)) / kBitsPerByte;
    next.samplesPerGroup = narrowInt(ceos::integerField(r, ds::samplesPerGroup));
    next.bytesPerGroup = narrowInt(ceos::integerField(r, ds::bytesPerGroup));
    next.lineheader = narrowInt(ceos::integerField(r, ds::lineheader));
    next.sarDataBytes = narrowInt(ceos::integerField(r, ds::sarDataBytes));

    auto refuse = [&](const std::string& why) {
        throw Error(format("%s: image file descriptor: %s", name.c_str(), why.c_str()));
    };
    if (firstGeneration() && !isCeosImageDescriptor(bytes))
        refuse("the first record is not a CEOS image file descriptor (type codes 50 192 18 18, 720 bytes)");
    if (next.bytesPerGroup <= 0)
        refuse(format("the field %s (offset %zu) gives %d bytes per pixel", ds::bytesPerGroup.name,
                      ds::bytesPerGroup.offset, next.bytesPerGroup));
    if (next.line < 0) refuse(format("the field %s gives %d lines", ds::line.name, next.line));
    if (next.linebytes < 0) refuse(format("the field %s gives %d bytes", ds::linebytes.name, next.linebytes));
    if (next.lineheader < 0) refuse(format("the field %s gives %d bytes", ds::lineheader.name, next.lineheader));
    if (next.sarDataBytes < 0) refuse(format("the field %s gives %d bytes", ds::sarDataBytes.name, next.sarDataBytes));
    std::string notice;
    next.fileheader = kFileHeaderBytes;
    if (!firstGeneration()) {
        if (static_cast<long long>(next.lineheader) + next.sarDataBytes > next.linebytes)
            refuse(format("a line record of %d bytes (%s) cannot hold a %d-byte prefix (%s) and %d bytes of samples "
                          "(%s)",
                          next.linebytes, ds::linebytes.name, next.lineheader, ds::lineheader.name, next.sarDataBytes,
                          ds::sarDataBytes.name));
        next.pixel = next.sarDataBytes / next.bytesPerGroup;
    } else {
        if (next.lineheader > next.linebytes)
            refuse(format("a line record of %d bytes (%s) cannot hold a %d-byte prefix (%s)", next.linebytes,
                          ds::linebytes.name, next.lineheader, ds::lineheader.name));
        // The pixels of a line: the descriptor's own count where it fits the
        // record, else what the record holds after its prefix.
        const int byLength = (next.linebytes - next.lineheader) / next.bytesPerGroup;
        const long counted = ceos::integerField(r, ds::pixelsPerLine);
        const bool fits = counted > 0 && counted <= byLength;
        next.pixel = fits ? static_cast<int>(counted) : byLength;
        if (counted > 0 && counted != byLength)
            notice = format("%s: the image file descriptor gives %ld pixels per line (%s, offset %zu), its line records "
                            "of %d bytes after a %d-byte prefix hold %d pixels of %d bytes; %d pixels are read",
                            name.c_str(), counted, ds::pixelsPerLine.name, ds::pixelsPerLine.offset, next.linebytes,
                            next.lineheader, byLength, next.bytesPerGroup, next.pixel);
    }
    descriptorNotice_ = notice;
    params_ = next;
    reader_.reset();
}

void Alos2::setLookDirection(const std::string& imagePath) {
    // First-generation names carry the observation mode where ALOS-2 names
    // carry the look: the leader's clock angle gives it instead.
    if (firstGeneration()) return;
    const int left = pointingLeftOf(imagePath);
    if (left >= 0) params_.pointingLeft = left;
}

ImageLineReader& Alos2::lineReader() {
    // The geometry may have been changed through params() since the file was opened.
    if (!reader_ || !reader_->sameGeometry(params_)) reader_ = std::make_unique<ImageLineReader>(imagePath_, params_);
    return *reader_;
}

bool Alos2::readComplexLine(int n, std::span<std::complex<float>> out, ByteOrder order) {
    return lineReader().readComplexLine(n, out, order);
}

bool Alos2::readAmplitudeLine(int n, std::span<std::uint16_t> out, ByteOrder order) {
    return lineReader().readAmplitudeLine(n, out, order);
}

OrbitPosition Alos2::orbitPosition(double t_s) const { return orbitPositionAt(params_, t_s); }
GeoPoint Alos2::latLonOfPixelLine(ScenePoint p) const { return products::latLonOfPixelLine(params_, p); }
ScenePoint Alos2::pixelLineOfLatLon(GeoPoint g) const { return products::pixelLineOfLatLon(params_, g); }

}  // namespace tessarin::products
