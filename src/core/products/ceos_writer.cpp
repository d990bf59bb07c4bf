#include "products/ceos_writer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <filesystem>

#include "platform/bytes.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/text.h"

namespace tessarin::products {

namespace {

using ceos::FieldLayout;
using ceos::LeaderRecord;

constexpr std::uint8_t kBlank = 0x20;  // CEOS text fields are blank-filled
constexpr std::uint32_t kVolumeRecordBytes = 360;
constexpr FieldLayout kAsciiFlag{"ASCII flag", 12, 2};
constexpr FieldLayout kDocumentId{"format document", 16, 12};
constexpr std::size_t kLinePrefixLineNumberOffset = 12;  // image line number (1-based, int32)
constexpr std::size_t kLinePrefixPixelCountOffset = 24;  // pixels in the record (int32)
constexpr double kMillisPerSecond = 1000.0;

struct LevelFormat {
    int bitsPerSample;
    int samplesPerGroup;
    int bytesPerGroup;
    int lineheader;
};

bool firstGeneration(const ProductSpec& product) { return product.generation == ceos::Generation::Palsar1; }

const ceos::LeaderLayout& layoutOf(const ProductSpec& product) {
    return firstGeneration(product) ? ceos::kPalsar1Layout : ceos::kAlos2Layout;
}

LevelFormat levelFormat(int level, bool palsar1 = false) {
    if (level == kLevel11) return {32, 2, 8, palsar1 ? kPalsarLinePrefixLevel11 : kLinePrefixLevel11};
    if (level == kLevel15) return {16, 1, 2, kLinePrefixLevel15};
    throw Error(format("a product of level %d cannot be written (levels 11 and 15 can)", level));
}

int wholeOf(double v) {
    const double f = std::floor(v);
    return std::isfinite(f) && std::fabs(f) <= 1e9 ? static_cast<int>(f) : 0;
}

bool isPolarisation(const std::string& p) { return p == "HH" || p == "HV" || p == "VH" || p == "VV"; }

void validate(const ProductSpec& product) {
    levelFormat(product.level);
    if (product.look != 'R' && product.look != 'L')
        throw Error(format("the look direction must be R or L, not '%c'", product.look));
    if (product.levelSuffix.size() != 3)
        throw Error(format("the level suffix \"%s\" must have three characters", product.levelSuffix.c_str()));
    if (product.date.size() != 6 || !std::all_of(product.date.begin(), product.date.end(), [](char c) { return c >= '0' && c <= '9'; }))
        throw Error(format("the product date \"%s\" must be six digits (YYMMDD)", product.date.c_str()));
    for (const std::string* part : {&product.sceneId, &product.mode, &product.levelSuffix})
        if (part->find(kPathSeparator) != std::string::npos)
            throw Error(format("a product name part may not hold '%c': \"%s\"", kPathSeparator, part->c_str()));
    if (firstGeneration(product)) {
        if (product.sceneId.size() != 9 ||
            !std::all_of(product.sceneId.begin(), product.sceneId.end(), [](char c) { return c >= '0' && c <= '9'; }))
            throw Error(format("a first-generation scene id \"%s\" must be nine digits (orbit and frame)",
                               product.sceneId.c_str()));
        if (product.mode.size() != 1)
            throw Error(format("a first-generation observation mode \"%s\" must be one letter", product.mode.c_str()));
        if (product.facilityBytes != 0 && product.facilityBytes < ceos::kRecordHeaderBytes)
            throw Error(format("a facility record of %u bytes cannot hold its header", product.facilityBytes));
    }
    if (product.polarisations.empty()) throw Error("a product needs at least one polarisation");
    for (const auto& p : product.polarisations)
        if (!isPolarisation(p)) throw Error(format("\"%s\" is not a polarisation (HH, HV, VH, VV)", p.c_str()));
    if (product.params.line < 0 || product.params.pixel < 0)
        throw Error(format("an image of %d lines and %d pixels cannot be written", product.params.line, product.params.pixel));
    if (product.params.orbitPointCount < 0 || product.params.orbitPointCount > static_cast<int>(kMaxStateVectors))
        throw Error(format("%d state vectors cannot be written (at most %zu)", product.params.orbitPointCount,
                           kMaxStateVectors));
}

// Writes fields into one record and returns each value as a reader reads it back.
class RecordWriter {
public:
    explicit RecordWriter(std::span<std::uint8_t> record) : record_(record) {}

    double real(const FieldLayout& f, double value) {
        const std::string text = ceos::formatReal(value, f);
        ceos::putField(record_, f, text);
        return cStrtod(text);
    }
    long integer(const FieldLayout& f, long long value, bool zeroPadded = false) {
        const std::string text = ceos::formatInteger(value, f, zeroPadded);
        ceos::putField(record_, f, text);
        return cStrtol(text);
    }
    void text(const FieldLayout& f, std::string_view value) {
        std::string padded(value.substr(0, f.width));
        padded.resize(f.width, ' ');
        ceos::putField(record_, f, padded);
    }
    template <std::size_t N>
    void table(const FieldLayout& first, std::size_t step, const std::array<double, N>& values, std::array<double, N>& stored) {
        std::string name;
        for (std::size_t k = 0; k < N; ++k) stored[k] = real(ceos::nthField(first, k, step, name), values[k]);
    }

private:
    std::span<std::uint8_t> record_;
};

void writeDataSetSummary(RecordWriter& w, const SceneParameters& in, SceneParameters& out) {
    namespace d = ceos::dss;
    out.Y = static_cast<int>(w.integer(d::Y, in.Y, true));
    out.M = static_cast<int>(w.integer(d::M, in.M, true));
    out.D = static_cast<int>(w.integer(d::D, in.D, true));
    out.H = static_cast<int>(w.integer(d::H, in.H, true));
    out.Min = static_cast<int>(w.integer(d::Min, in.Min, true));
    if (!std::isfinite(in.Sec)) throw Error("the scene centre seconds are not a number");
    out.Sec = static_cast<double>(w.integer(d::SecMillis, std::llround(in.Sec * kMillisPerSecond), true)) / kMillisPerSecond;
    out.scsecofday = out.Min * 60.0 + out.H * 3600.0 + out.Sec;
    out.ctrlat = w.real(d::ctrlat, in.ctrlat);
    out.ctrlon = w.real(d::ctrlon, in.ctrlon);
    out.wavelength = w.real(d::wavelength, in.wavelength);
    out.prf = w.real(d::prfMilliHz, in.prf * kMillisPerSecond) / kMillisPerSecond;
    out.linsz = w.real(d::linsz, in.linsz);
    out.pixsz = w.real(d::pixsz, in.pixsz);
    w.table(d::inccoef, d::kInccoefStep, in.inccoef, out.inccoef);
}

void writeRadiometric(RecordWriter& w, int level, const SceneParameters& in, SceneParameters& out) {
    const double offset = level == kLevel11 ? ceos::radiometric::kLevel11Offset_dB : 0.0;
    out.calib = w.real(ceos::radiometric::calib, in.calib + offset) - offset;
}

void writePlatformPosition(RecordWriter& w, const SceneParameters& in, SceneParameters& out) {
    namespace pf = ceos::platform;
    out.orbitPointCount = static_cast<int>(w.integer(pf::pointCount, in.orbitPointCount));
    out.orbitFirstYear = static_cast<int>(w.integer(pf::firstYear, in.orbitFirstYear));
    out.orbitFirstMonth = static_cast<int>(w.integer(pf::firstMonth, in.orbitFirstMonth));
    out.orbitFirstDay = static_cast<int>(w.integer(pf::firstDay, in.orbitFirstDay));
    out.orbitFirstTime = w.real(pf::firstTime, in.orbitFirstTime);
    out.orbitFirstHour = wholeOf(out.orbitFirstTime / 3600.0);
    out.orbitFirstMinute = wholeOf(out.orbitFirstTime / 60.0 - out.orbitFirstHour * 60.0);
    out.orbitInterval = w.real(pf::interval, in.orbitInterval);
    static constexpr const char* kComponent[] = {"X", "Y", "Z", "VX", "VY", "VZ"};
    for (std::size_t i = 0; i < static_cast<std::size_t>(in.orbitPointCount); ++i) {
        const StateVector& s = in.stateVectors[i];
        StateVector& o = out.stateVectors[i];
        const double values[6] = {s.X, s.Y, s.Z, s.VX, s.VY, s.VZ};
        double stored[6];
        for (std::size_t j = 0; j < 6; ++j) {
            const std::string name = format("state vector %zu %s", i, kComponent[j]);
            stored[j] = w.real({name.c_str(), pf::kVectorsOffset + pf::kVectorBytes * i + pf::kComponentWidth * j,
                                pf::kComponentWidth},
                               values[j]);
        }
        o.t = out.orbitFirstTime + static_cast<double>(i) * out.orbitInterval;
        o.X = stored[0], o.Y = stored[1], o.Z = stored[2], o.VX = stored[3], o.VY = stored[4], o.VZ = stored[5];
        o.radius = std::sqrt(o.X * o.X + o.Y * o.Y + o.Z * o.Z);
    }
}

void writeFacility5(RecordWriter& w, const SceneParameters& in, SceneParameters& out) {
    namespace f5 = ceos::facility5;
    w.table(f5::pl2lat, f5::kCoefficientStep, in.pl2lat, out.pl2lat);
    w.table(f5::pl2lon, f5::kCoefficientStep, in.pl2lon, out.pl2lon);
    out.plRefPixel = w.real(f5::plRefPixel, in.plRefPixel);
    out.plRefLine = w.real(f5::plRefLine, in.plRefLine);
    w.table(f5::ll2pix, f5::kCoefficientStep, in.ll2pix, out.ll2pix);
    w.table(f5::ll2lin, f5::kCoefficientStep, in.ll2lin, out.ll2lin);
    out.llRefLat = w.real(f5::llRefLat, in.llRefLat);
    out.llRefLon = w.real(f5::llRefLon, in.llRefLon);
}

// First-generation summaries: the mission, the processing system and the
// look as the sensor clock angle.
void writeFirstGenerationSummary(RecordWriter& w, char look) {
    w.text(ceos::dss::missionId, "ALOS");
    w.text(ceos::dss::processingSystem, "ALOS");
    w.real(ceos::dss::clockAngle, look == 'L' ? -90.0 : 90.0);
}

// The facility record whose body is left as a hole in the file.
struct LeaderHole {
    std::size_t from = 0, to = 0;
};

std::vector<std::uint8_t> buildLeader(const ProductSpec& product, SceneParameters& stored, LeaderHole* hole = nullptr) {
    const bool palsar1 = firstGeneration(product);
    const std::vector<ceos::RecordLayout> layouts = ceos::leaderRecordsFor(product.level, layoutOf(product));
    struct Placed {
        ceos::RecordLayout layout;
        std::size_t offset;
        std::uint32_t length;
    };
    std::vector<Placed> placed;
    std::size_t total = 0;
    for (const auto& l : layouts) {
        std::uint32_t length = l.length + product.recordPadding[static_cast<std::size_t>(l.id)];
        if (l.id == LeaderRecord::PlatformPosition) {
            // More state vectors than the standard record holds lengthen it.
            const auto needed = static_cast<std::uint32_t>(
                ceos::platform::kVectorsOffset +
                ceos::platform::kVectorBytes * static_cast<std::size_t>(product.params.orbitPointCount));
            length = std::max(length, needed);
        }
        if (palsar1 && l.id == LeaderRecord::Facility1 && product.facilityBytes != 0)
            length = product.facilityBytes + product.recordPadding[static_cast<std::size_t>(l.id)];
        placed.push_back({l, total, length});
        total += length;
    }
    std::vector<std::uint8_t> data(total, kBlank);
    std::uint32_t sequence = 1;
    for (const auto& p : placed) {
        const std::span<std::uint8_t> record(data.data() + p.offset, p.length);
        ceos::writeRecordHeader(record, {sequence++, p.layout.code, p.length});
        RecordWriter w(record);
        switch (p.layout.id) {
            case LeaderRecord::FileDescriptor:
                w.text(kAsciiFlag, "A");
                w.text(kDocumentId, "CEOS-SAR");
                break;
            case LeaderRecord::DataSetSummary:
                writeDataSetSummary(w, product.params, stored);
                if (palsar1) writeFirstGenerationSummary(w, product.look);
                break;
            case LeaderRecord::Radiometric: writeRadiometric(w, product.level, product.params, stored); break;
            case LeaderRecord::PlatformPosition: writePlatformPosition(w, product.params, stored); break;
            case LeaderRecord::Facility5: writeFacility5(w, product.params, stored); break;
            case LeaderRecord::MapProjection:
            case LeaderRecord::Attitude:
            case LeaderRecord::DataQuality:
            case LeaderRecord::Facility1:
                if (palsar1) {
                    // Zeros, so that the file can leave them out.
                    std::fill(record.begin() + ceos::kRecordHeaderBytes, record.end(), std::uint8_t{0});
                    if (hole) *hole = {p.offset + ceos::kRecordHeaderBytes, p.offset + p.length};
                }
                break;
            case LeaderRecord::Facility2:
            case LeaderRecord::Facility3:
            case LeaderRecord::Facility4: break;
        }
    }
    return data;
}

std::vector<std::uint8_t> buildDescriptor(const ProductSpec& product, SceneParameters& stored) {
    namespace ds = ceos::descriptor;
    const LevelFormat lf = levelFormat(product.level, firstGeneration(product));
    const long long sarDataBytes = static_cast<long long>(product.params.pixel) * lf.bytesPerGroup;
    const long long linebytes = lf.lineheader + sarDataBytes;
    std::vector<std::uint8_t> data(static_cast<std::size_t>(kFileHeaderBytes), kBlank);
    ceos::writeRecordHeader(data, {1, ceos::kImageDescriptorCode, static_cast<std::uint32_t>(kFileHeaderBytes)});
    RecordWriter w(data);
    w.text(kAsciiFlag, "A");
    w.text(kDocumentId, "CEOS-SAR");
    stored.line = static_cast<int>(w.integer(ds::line, product.params.line));
    stored.linebytes = static_cast<int>(w.integer(ds::linebytes, linebytes));
    stored.bytesPerSample = static_cast<int>(w.integer(ds::bitsPerSample, lf.bitsPerSample)) / 8;
    stored.samplesPerGroup = static_cast<int>(w.integer(ds::samplesPerGroup, lf.samplesPerGroup));
    stored.bytesPerGroup = static_cast<int>(w.integer(ds::bytesPerGroup, lf.bytesPerGroup));
    stored.lineheader = static_cast<int>(w.integer(ds::lineheader, lf.lineheader));
    stored.sarDataBytes = static_cast<int>(w.integer(ds::sarDataBytes, sarDataBytes));
    stored.pixel = stored.sarDataBytes / stored.bytesPerGroup;
    if (firstGeneration(product)) {
        const long long counted = product.pixelsPerLineField >= 0 ? product.pixelsPerLineField : product.params.pixel;
        w.integer(ceos::descriptor::pixelsPerLine, counted);
        const long long byLength = (stored.linebytes - stored.lineheader) / stored.bytesPerGroup;
        stored.pixel = static_cast<int>(counted > 0 && counted <= byLength ? counted : byLength);
    }
    stored.fileheader = kFileHeaderBytes;
    return data;
}

void writeImageFile(const std::string& path, const ProductSpec& product, std::size_t polIndex,
                    const std::vector<std::uint8_t>& descriptor, const SceneParameters& g, const SampleSource& source) {
    AtomicFile out(path);
    out.file().write(descriptor);
    const auto pixel = static_cast<std::size_t>(g.pixel);
    const auto lineheader = static_cast<std::size_t>(g.lineheader);
    std::vector<std::uint8_t> record(static_cast<std::size_t>(g.linebytes));
    std::vector<std::complex<float>> complexLine(product.level == kLevel11 ? pixel : 0);
    std::vector<std::uint16_t> amplitudeLine(product.level == kLevel15 ? pixel : 0);
    for (int n = 0; n < g.line; ++n) {
        std::fill(record.begin(), record.end(), std::uint8_t{0});
        ceos::writeRecordHeader(record, {static_cast<std::uint32_t>(n) + 2, ceos::kProcessedDataCode,
                                         static_cast<std::uint32_t>(g.linebytes)});
        store<std::int32_t>(record, kLinePrefixLineNumberOffset, n + 1, ByteOrder::Big);
        store<std::int32_t>(record, kLinePrefixPixelCountOffset, g.pixel, ByteOrder::Big);
        std::uint8_t* b = record.data() + lineheader;
        if (product.level == kLevel11) {
            std::fill(complexLine.begin(), complexLine.end(), std::complex<float>{});
            if (source.complexLine) source.complexLine(polIndex, n, complexLine);
            for (const auto& z : complexLine) {
                detail::encode<float>(b, z.real(), ByteOrder::Big);
                detail::encode<float>(b + 4, z.imag(), ByteOrder::Big);
                b += 8;
            }
        } else {
            std::fill(amplitudeLine.begin(), amplitudeLine.end(), std::uint16_t{0});
            if (source.amplitudeLine) source.amplitudeLine(polIndex, n, amplitudeLine);
            for (const std::uint16_t v : amplitudeLine) {
                detail::encode<std::uint16_t>(b, v, ByteOrder::Big);
                b += 2;
            }
        }
        out.file().write(record);
    }
    out.commit();
}

std::vector<std::uint8_t> buildVolumeDirectory() {
    std::vector<std::uint8_t> data(kVolumeRecordBytes, kBlank);
    ceos::writeRecordHeader(data, {1, ceos::kVolumeDescriptorCode, kVolumeRecordBytes});
    RecordWriter w(data);
    w.text(kAsciiFlag, "A");
    w.text(kDocumentId, "CEOS-SAR");
    return data;
}

}  // namespace

std::string productNameBody(const ProductSpec& product) {
    if (firstGeneration(product))
        return "ALPSRP" + product.sceneId + "-" + product.mode + (product.level == kLevel11 ? "1.1" : "1.5") +
               product.levelSuffix;
    return "ALOS2" + product.sceneId + "-" + product.date + "-" + product.mode + product.look +
           (product.level == kLevel11 ? "1.1" : "1.5") + product.levelSuffix;
}

std::vector<std::uint8_t> encodeLeader(const ProductSpec& product) {
    validate(product);
    SceneParameters stored = product.params;
    return buildLeader(product, stored);
}

std::vector<std::uint8_t> encodeImageFileDescriptor(const ProductSpec& product) {
    validate(product);
    SceneParameters stored = product.params;
    return buildDescriptor(product, stored);
}

WrittenProduct writeCeosProduct(const ProductSpec& product, const SampleSource& source) {
    validate(product);
    WrittenProduct written;
    written.stored = product.params;
    LeaderHole hole;
    const std::vector<std::uint8_t> leader = buildLeader(product, written.stored, &hole);
    const std::vector<std::uint8_t> descriptor = buildDescriptor(product, written.stored);
    written.stored.pointingLeft = product.look == 'L' ? 1 : 0;
    written.generation = product.generation;

    std::error_code ec;
    if (!product.folder.empty()) std::filesystem::create_directories(product.folder, ec);
    if (ec) throw Error(format("cannot create the folder \"%s\": %s", product.folder.c_str(), ec.message().c_str()));

    const std::string body = productNameBody(product);
    written.volumePath = joinPath(product.folder, "VOL-" + body);
    written.leaderPath = joinPath(product.folder, "LED-" + body);
    writeWholeFile(written.volumePath, buildVolumeDirectory());
    if (hole.to > hole.from) {
        // The long facility record's body is a hole: 12 MB of zeros not written.
        AtomicFile out(written.leaderPath);
        out.file().write(std::span(leader).first(hole.from));
        out.file().seek(hole.to);
        out.file().write(std::span(leader).subspan(hole.to));
        out.commit();
    } else {
        writeWholeFile(written.leaderPath, leader);
    }
    for (std::size_t i = 0; i < product.polarisations.size(); ++i) {
        const std::string path = joinPath(product.folder, "IMG-" + product.polarisations[i] + "-" + body);
        writeImageFile(path, product, i, descriptor, written.stored, source);
        written.imagePaths.push_back(path);
    }
    return written;
}

}  // namespace tessarin::products
