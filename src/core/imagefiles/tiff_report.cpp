// The header decode report: one CSV row per directory entry of a TIFF, and
// the path splitting that goes with the report's names.

#include <filesystem>

#include "imagefiles/byte_source.h"
#include "imagefiles/tif_gen.h"
#include "imagefiles/tiff_directory.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/text.h"

namespace tessarin {

namespace {

using namespace tiff;

constexpr std::size_t kMatrixValues = 16;
constexpr std::size_t kTiePointValues = 6;
constexpr std::size_t kReportSuffixChars = 3;  // "tif" gives way to "csv"
constexpr std::size_t kExtensionWindow = 6;    // the extension's dot lies within the last 6 characters

// Missing trailing values of a short array read as 0.
double valueAt(const std::vector<double>& v, std::size_t i) { return i < v.size() ? v[i] : 0.0; }
long long first(const std::vector<std::uint32_t>& v) { return v.empty() ? 0 : static_cast<long long>(v.front()); }

// Integer values are printed as long long so that offsets beyond 2 GiB read
// right; below that the rows are the same as with "%d".
std::string row(std::size_t id, const Entry& e, const Directory& dir) {
    const auto i = static_cast<long long>(id);
    const long long tag = e.tag;
    switch (e.tag) {
        case kImageWidth: return format("%lld,%lld,pixel,%lld\n", i, tag, static_cast<long long>(dir.firstInteger(e)));
        case kImageLength: return format("%lld,%lld,line,%lld\n", i, tag, static_cast<long long>(dir.firstInteger(e)));
        case kBitsPerSample: return format("%lld,%lld,bytepd,%lld\n", i, tag, first(dir.integers(e)) / 8);
        case kCompression: return format("%lld,%lld,icomp,%lld\n", i, tag, static_cast<long long>(dir.firstInteger(e)));
        case kPhotometric:
            return format("%lld,%lld,PhotoInter,%lld\n", i, tag, static_cast<long long>(dir.firstInteger(e)));
        case kImageDescription: return format("%lld,%lld,ImageDcp,%s\n", i, tag, dir.text(e).c_str());
        case kStripOffsets:
            return format("%lld,%lld,StripOffset,count,%lld,%lld\n", i, tag, static_cast<long long>(e.count),
                          first(dir.integers(e)));
        case kOrientation:
            return format("%lld,%lld,Orientation,%lld\n", i, tag, static_cast<long long>(dir.firstInteger(e)));
        case kSamplesPerPixel:
            return format("%lld,%lld,bytepp,%lld\n", i, tag, static_cast<long long>(dir.firstInteger(e)));
        case kRowsPerStrip:
            return format("%lld,%lld,Rowsperstrip,%lld\n", i, tag, static_cast<long long>(dir.firstInteger(e)));
        case kStripByteCounts:
            return format("%lld,%lld,Stripbytecount[0],%lld\n", i, tag, first(dir.integers(e)));
        case kXResolution: {
            const TiffRational r = dir.rational(e);
            return format("%lld,%lld,Xres,%lld,%lld\n", i, tag, static_cast<long long>(r.numerator),
                          static_cast<long long>(r.denominator));
        }
        case kYResolution: {
            const TiffRational r = dir.rational(e);
            return format("%lld,%lld,Yres,%lld,%lld\n", i, tag, static_cast<long long>(r.numerator),
                          static_cast<long long>(r.denominator));
        }
        case kPlanarConfiguration:
            return format("%lld,%lld,PlanarConfig(1=chunky),%lld\n", i, tag, static_cast<long long>(dir.firstInteger(e)));
        case kModelPixelScale: {
            const std::vector<double> v = dir.numbers(e);
            return format("%lld,%lld,GeoKey,%f,%f,%f\n", i, tag, valueAt(v, 0), valueAt(v, 1), valueAt(v, 2));
        }
        case kModelTiepoint: {
            const std::vector<double> v = dir.numbers(e);  // checks that the points are there
            return format("%lld,%lld,Corners(only ndata,%lld\n", i, tag, static_cast<long long>(v.size() / kTiePointValues));
        }
        case kModelTransformation: {
            const std::vector<double> v = dir.numbers(e);
            if (v.size() < kMatrixValues) dir.fail(e, format("a model transformation needs 16 values, not %zu", v.size()));
            std::string text = format("%lld,%lld,ModelTransMtx,%f,%f,%f,%f\n", i, tag, v[0], v[1], v[2], v[3]);
            for (std::size_t k = 0; k < kMatrixValues; ++k)
                text += format(",,ModelTransMtx,%lld,%f\n", static_cast<long long>(k), v[k]);
            return text;
        }
        case kGeoKeyDirectory: {
            dir.integers(e);  // the keys must be in the file
            return format("%lld,%lld,34735,%lld\n", i, tag, static_cast<long long>(e.count));
        }
        case kGeoDoubleParams: {
            const std::vector<double> v = dir.numbers(e);
            return format("%lld,%lld,rmajor_flat,%f,%f\n", i, tag, valueAt(v, 0), valueAt(v, 1));
        }
        case kGeoAsciiParams: return format("%lld,%lld,ascii,%s\n", i, tag, dir.text(e).c_str());
        default: return {};
    }
}

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (std::filesystem::equivalent(a, b, ec)) return true;
    return std::filesystem::weakly_canonical(a, ec) == std::filesystem::weakly_canonical(b, ec);
}

}  // namespace

HeaderReport CTIFGen::decodeHeader(ByteSource& in) {
    HeaderReport report;
    report.text = ",,DECODE GeoTif File Contents\n\n";
    report.text += "ID,CODE,Name,Value1,Value2,Following values (limit by 10 )\n";
    try {
        const Directory dir(in);
        for (std::size_t id = 0; id < dir.entries().size(); ++id) report.text += row(id, dir.entries()[id], dir);
    } catch (const Error& e) {
        report.failure = e.what();
    }
    return report;
}

std::string CTIFGen::reportPathFor(const std::string& tiffPath) {
    const std::size_t keep = tiffPath.size() > kReportSuffixChars ? tiffPath.size() - kReportSuffixChars : 0;
    return tiffPath.substr(0, keep) + "csv";
}

std::string CTIFGen::writeHeaderReport(const std::string& tiffPath, const std::string& reportPath) {
    const std::string out = reportPath.empty() ? reportPathFor(tiffPath) : reportPath;
    // "x.csv" would otherwise be replaced by its own report.
    if (sameFile(tiffPath, out))
        throw Error(format("the header report of \"%s\" would replace the file itself", tiffPath.c_str()));
    File in(tiffPath, File::Mode::Read);
    FileSource source(in);
    const HeaderReport report = decodeHeader(source);
    AtomicFile file(out);
    file.file().write(report.text);
    file.commit();
    if (report.failure) throw Error(*report.failure);
    return out;
}

TiffPathParts CTIFGen::splitFullPath(const std::string& path) {
    if (path.size() >= kMaxPathLength || path.find('\0') != std::string::npos) throw Error(kPathRejectText);
    TiffPathParts parts;
    const std::size_t slash = path.rfind(kPathSeparator);
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    // A drive is whatever precedes the last ':' of the folder part; a colon
    // in the name itself is part of the name.
    std::size_t folderStart = 0;
    if (slash != std::string::npos) {
        const std::size_t colon = path.rfind(':', slash);
        if (colon != std::string::npos) folderStart = colon + 1;
    }
    parts.drive = path.substr(0, folderStart);
    parts.folder = path.substr(folderStart, nameStart - folderStart);
    std::size_t extStart = path.size();
    const std::size_t dot = path.rfind('.');
    if (dot != std::string::npos && dot >= nameStart && path.size() - dot <= kExtensionWindow) extStart = dot;
    parts.name = path.substr(nameStart, extStart - nameStart);
    parts.extension = path.substr(extStart);
    return parts;
}

}  // namespace tessarin
