// TIFF and GeoTIFF writing: header, value blocks and directory in the order
// and with the entries the files have always had.

#include <algorithm>
#include <cstdint>
#include <limits>

#include "imagefiles/tif_gen.h"
#include "imagefiles/tiff_directory.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/ui.h"

namespace tessarin {

namespace {

using namespace tiff;

constexpr std::uint32_t kResolutionDpi = 72;
constexpr std::uint16_t kResolutionUnitInch = 2;
constexpr std::uint16_t kPhotometricMinIsBlack = 1;
constexpr std::uint16_t kPhotometricRgb = 2;
constexpr std::uint16_t kNoCompression = 1;
constexpr std::uint16_t kOrientationTopLeft = 1;
constexpr std::uint16_t kPlanarChunky = 1;
constexpr std::uint16_t kSampleFormatUnsigned = 1;
constexpr std::uint16_t kSampleFormatSigned = 2;
constexpr const char* kPlainDateTime = "TestDate 2009.12.31";

constexpr ByteOrder kLE = ByteOrder::Little;
// Classic TIFF addresses its file with 32-bit offsets.
constexpr std::uint64_t kMaxTiffBytes = std::numeric_limits<std::uint32_t>::max();
// Width and lines are written as SHORT.
constexpr int kMaxDimension = std::numeric_limits<std::uint16_t>::max();

// 64 bits per pixel: three 16-bit colour samples and a 16-bit alpha
// (GeoTIFF only).
bool rgb(int bits) { return bits == 24 || bits == 48 || bits == 64; }
bool withAlpha(int bits) { return bits == 64; }
std::uint16_t colourSamples(int bits) { return withAlpha(bits) ? 4 : 3; }
std::uint16_t bitsPerColourSample(int bits) { return static_cast<std::uint16_t>(withAlpha(bits) ? 16 : bits / 3); }
constexpr std::uint16_t kExtraSampleUnassociatedAlpha = 2;

// Builds one header: the 8 header bytes, the value blocks in the order they
// are added, then the directory.
class HeaderBuilder {
public:
    HeaderBuilder() { out_.fill(kHeaderBytes, 0); }

    std::uint32_t position() const { return static_cast<std::uint32_t>(out_.size()); }
    ByteWriter& out() { return out_; }

    void entry(std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint32_t value) {
        Pending p{tag, type, count, {}};
        if (type == kShort && count == 1) {
            store<std::uint16_t>(p.field, 0, static_cast<std::uint16_t>(value), kLE);
        } else {
            store<std::uint32_t>(p.field, 0, value, kLE);
        }
        entries_.push_back(p);
    }
    void shortEntry(std::uint16_t tag, std::uint32_t value) { entry(tag, kShort, 1, value); }

    // An entry whose values were written as a block at blockOffset. Values
    // that fit in the 4-byte field go there instead, as every TIFF reader
    // expects; an offset in their place would be read as the value.
    void blockEntry(std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint32_t blockOffset) {
        const std::uint64_t size = std::uint64_t{count} * Directory::typeSize(type);
        Pending p{tag, type, count, {}};
        if (size <= 4) {
            for (std::size_t i = 0; i < size; ++i) p.field[i] = out_.buffer()[blockOffset + i];
        } else {
            store<std::uint32_t>(p.field, 0, blockOffset, kLE);
        }
        entries_.push_back(p);
    }

    // Appends the directory and patches the header; returns the bytes.
    std::vector<std::uint8_t> finish(std::uint32_t& ifdOffset, int& entryCount) {
        ifdOffset = position();
        entryCount = static_cast<int>(entries_.size());
        out_.le<std::uint16_t>(static_cast<std::uint16_t>(entries_.size()));
        for (const Pending& p : entries_) {
            out_.le<std::uint16_t>(p.tag);
            out_.le<std::uint16_t>(p.type);
            out_.le<std::uint32_t>(p.count);
            out_.bytes(p.field);
        }
        out_.le<std::uint32_t>(0);  // no next directory
        auto& b = out_.buffer();
        b[0] = 'I';
        b[1] = 'I';
        store<std::uint16_t>(b, 2, kClassicMagic, kLE);
        store<std::uint32_t>(b, 4, ifdOffset, kLE);
        return out_.take();
    }

private:
    struct Pending {
        std::uint16_t tag;
        std::uint16_t type;
        std::uint32_t count;
        std::array<std::uint8_t, 4> field;
    };
    ByteWriter out_;
    std::vector<Pending> entries_;
};

void checkSize(int width, int lines, int bitsPerPixel, bool geo = false) {
    if (bitsPerPixel != 8 && bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 48 &&
        !(geo && bitsPerPixel == 64))
        throw Error(format("a TIFF of %d bits per pixel cannot be written (8, 16, 24 or 48%s)", bitsPerPixel,
                           geo ? ", or 64 with alpha" : ""));
    if (width > kMaxDimension || lines > kMaxDimension)
        throw Error(format("a TIFF of %d x %d pixels cannot be written (at most %d in each direction)", width, lines,
                           kMaxDimension));
}

std::uint64_t lineBytes(int width, int bitsPerPixel) {
    return static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(bitsPerPixel) / 8;
}

// The header, the image data behind it and every offset must stay within
// what 32-bit offsets address.
void checkFits(std::uint64_t headerBytes, std::uint32_t dataOffset, int width, int lines, int bitsPerPixel) {
    const std::uint64_t data = lineBytes(width, bitsPerPixel) * static_cast<std::uint64_t>(lines);
    const std::uint64_t start = std::max<std::uint64_t>(headerBytes, dataOffset);
    if (start + data > kMaxTiffBytes)
        throw Error(format("a TIFF of %d x %d pixels at %d bits per pixel would exceed the 4 GiB a TIFF file can address",
                           width, lines, bitsPerPixel));
}

void addResolutions(HeaderBuilder& h, std::uint32_t& xres, std::uint32_t& yres) {
    xres = h.position();
    h.out().le<std::uint32_t>(kResolutionDpi);
    h.out().le<std::uint32_t>(1);
    yres = h.position();
    h.out().le<std::uint32_t>(kResolutionDpi);
    h.out().le<std::uint32_t>(1);
}

}  // namespace

CTIFGen::CTIFGen() = default;

std::vector<std::uint8_t> CTIFGen::plainHeader(int width, int lines, int bitsPerPixel, std::uint32_t dataOffset) {
    const bool colour = rgb(bitsPerPixel);
    const auto bytesPerLine = static_cast<std::uint32_t>(lineBytes(width, bitsPerPixel));
    const auto nLines = static_cast<std::uint32_t>(lines);
    HeaderBuilder h;

    const std::uint32_t stripOffsets = h.position();
    for (std::uint32_t i = 0; i < nLines; ++i) h.out().le<std::uint32_t>(dataOffset + i * bytesPerLine);
    const std::uint32_t stripByteCounts = h.position();
    for (std::uint32_t i = 0; i < nLines; ++i) h.out().le<std::uint32_t>(bytesPerLine);
    const std::uint32_t dateTime = h.position();
    const std::string date = kPlainDateTime;
    h.out().text(date);

    std::uint32_t sampleFormat = 0, bitsPerSample = 0;
    if (colour) {
        // The 48-bit file gets the same three unsigned-integer sample
        // formats as the 24-bit one: its SampleFormat entry points here.
        sampleFormat = h.position();
        for (int c = 0; c < 3; ++c) h.out().le<std::uint16_t>(kSampleFormatUnsigned);
        bitsPerSample = h.position();
        for (int c = 0; c < 3; ++c) h.out().le<std::uint16_t>(static_cast<std::uint16_t>(bitsPerPixel / 3));
    }
    std::uint32_t xres = 0, yres = 0;
    addResolutions(h, xres, yres);

    h.shortEntry(kNewSubfileType, 0);
    h.shortEntry(kImageWidth, static_cast<std::uint32_t>(width));
    h.shortEntry(kImageLength, nLines);
    if (colour) h.blockEntry(kBitsPerSample, kShort, 3, bitsPerSample);
    else h.shortEntry(kBitsPerSample, static_cast<std::uint32_t>(bitsPerPixel));
    h.shortEntry(kCompression, kNoCompression);
    h.shortEntry(kPhotometric, colour ? kPhotometricRgb : kPhotometricMinIsBlack);
    h.blockEntry(kStripOffsets, kLong, nLines, stripOffsets);
    h.shortEntry(kOrientation, kOrientationTopLeft);
    h.shortEntry(kSamplesPerPixel, colour ? 3 : 1);
    h.shortEntry(kRowsPerStrip, 1);
    h.blockEntry(kStripByteCounts, kLong, nLines, stripByteCounts);
    h.blockEntry(kXResolution, kRational, 1, xres);
    h.blockEntry(kYResolution, kRational, 1, yres);
    if (colour) h.shortEntry(kPlanarConfiguration, kPlanarChunky);
    else h.shortEntry(kResolutionUnit, kResolutionUnitInch);
    h.blockEntry(kDateTime, kAscii, static_cast<std::uint32_t>(date.size()), dateTime);
    if (colour) h.blockEntry(kSampleFormat, kShort, 3, sampleFormat);
    else h.shortEntry(kSampleFormat, signedSamples_ ? kSampleFormatSigned : kSampleFormatUnsigned);
    return h.finish(ifdOffset_, entryCount_);
}

std::vector<std::uint8_t> CTIFGen::geoHeader(int width, int lines, int bitsPerPixel, std::uint32_t dataOffset) {
    const bool colour = rgb(bitsPerPixel);
    HeaderBuilder h;

    std::uint32_t bitsPerSample = 0;
    const std::uint16_t samples = colour ? colourSamples(bitsPerPixel) : 1;
    if (colour) {
        bitsPerSample = h.position();
        for (int c = 0; c < samples; ++c) h.out().le<std::uint16_t>(bitsPerColourSample(bitsPerPixel));
    }
    std::uint32_t xres = 0, yres = 0;
    addResolutions(h, xres, yres);

    const std::uint32_t dateTime = h.position();
    h.out().text(dateTime_);
    h.out().u8(0);

    const std::uint32_t pixelScale = h.position();
    h.out().le<double>(geo_.scaleX_deg);
    h.out().le<double>(geo_.scaleY_deg);
    h.out().le<double>(0.0);

    // Raster pixel (0, 0) sits at the model point; with pixel-is-point that
    // is the centre of the first pixel.
    const std::uint32_t tiePoint = h.position();
    for (double v : {0.0, 0.0, 0.0, geo_.lon_deg, geo_.lat_deg, 0.0}) h.out().le<double>(v);

    // Indexes into the double parameters below.
    constexpr std::uint16_t kInvFlatteningIndex = 0;
    constexpr std::uint16_t kSemiMajorIndex = 1;
    const std::uint32_t geoKeys = h.position();
    const std::uint16_t keyRows[7][4] = {
        {kGeoKeyDirectoryVersion, kGeoKeyRevision, kGeoKeyMinorRevision, 6},
        {kGTModelTypeGeoKey, 0, 1, kModelTypeGeographic},
        {kGTRasterTypeGeoKey, 0, 1, kRasterPixelIsPoint},
        {kGTCitationGeoKey, kGeoAsciiParams, static_cast<std::uint16_t>(citation_.size() + 1), 0},
        {kGeogAngularUnitsGeoKey, 0, 1, kAngularUnitDegree},
        {kGeogSemiMajorAxisGeoKey, kGeoDoubleParams, 1, kSemiMajorIndex},
        {kGeogInvFlatteningGeoKey, kGeoDoubleParams, 1, kInvFlatteningIndex},
    };
    for (const auto& row : keyRows)
        for (std::uint16_t v : row) h.out().le<std::uint16_t>(v);
    constexpr std::uint32_t kGeoKeyValues = 7 * 4;

    const std::uint32_t doubles = h.position();
    h.out().le<double>(inverseFlattening_);
    h.out().le<double>(semiMajorAxis_m_);

    const std::string ascii = "Corrected Satellite Data|WGS84|" + citation_ + "|" + secondText_ + "|";
    const std::uint32_t asciiAt = h.position();
    h.out().text(ascii);
    h.out().u8(0);

    h.shortEntry(kImageWidth, static_cast<std::uint32_t>(width));
    h.shortEntry(kImageLength, static_cast<std::uint32_t>(lines));
    if (colour) h.blockEntry(kBitsPerSample, kShort, samples, bitsPerSample);
    else h.shortEntry(kBitsPerSample, static_cast<std::uint32_t>(bitsPerPixel));
    h.shortEntry(kCompression, kNoCompression);
    h.shortEntry(kPhotometric, colour ? kPhotometricRgb : kPhotometricMinIsBlack);
    h.entry(kStripOffsets, kLong, 1, dataOffset);
    h.shortEntry(kOrientation, kOrientationTopLeft);
    h.shortEntry(kSamplesPerPixel, samples);
    h.shortEntry(kRowsPerStrip, static_cast<std::uint32_t>(lines));
    h.entry(kStripByteCounts, kLong, 1,
            static_cast<std::uint32_t>(lineBytes(width, bitsPerPixel) * static_cast<std::uint64_t>(lines)));
    h.blockEntry(kXResolution, kRational, 1, xres);
    h.blockEntry(kYResolution, kRational, 1, yres);
    h.shortEntry(kPlanarConfiguration, kPlanarChunky);
    h.shortEntry(kResolutionUnit, kResolutionUnitInch);
    h.blockEntry(kDateTime, kAscii, static_cast<std::uint32_t>(dateTime_.size() + 1), dateTime);
    if (withAlpha(bitsPerPixel)) h.shortEntry(kExtraSamples, kExtraSampleUnassociatedAlpha);
    if (!colour) h.shortEntry(kSampleFormat, signedSamples_ ? kSampleFormatSigned : kSampleFormatUnsigned);
    h.blockEntry(kModelPixelScale, kDouble, 3, pixelScale);
    h.blockEntry(kModelTiepoint, kDouble, 6, tiePoint);
    h.blockEntry(kGeoKeyDirectory, kShort, kGeoKeyValues, geoKeys);
    h.blockEntry(kGeoDoubleParams, kDouble, 2, doubles);
    h.blockEntry(kGeoAsciiParams, kAscii, static_cast<std::uint32_t>(ascii.size() + 1), asciiAt);
    return h.finish(ifdOffset_, entryCount_);
}

int CTIFGen::writePass(File* file, int width, int lines, int bitsPerPixel, std::uint32_t dataOffset, bool geo) {
    if (width < 1 || lines < 1) return kBadSize;
    if (!file) return kNoFile;
    checkSize(width, lines, bitsPerPixel, geo);
    if (geo && citation_.size() + 1 > std::numeric_limits<std::uint16_t>::max())
        throw Error("the GeoTIFF citation text is too long");
    const std::vector<std::uint8_t> header =
        geo ? geoHeader(width, lines, bitsPerPixel, dataOffset) : plainHeader(width, lines, bitsPerPixel, dataOffset);
    checkFits(header.size(), dataOffset, width, lines, bitsPerPixel);
    file->seek(0);
    file->write(header);
    return kWriteOk;
}

int CTIFGen::writeTiff(File* file, int width, int lines, int bitsPerPixel, std::uint32_t dataOffset) {
    return writePass(file, width, lines, bitsPerPixel, dataOffset, false);
}

int CTIFGen::writeGeoTiff(File* file, int width, int lines, int bitsPerPixel, std::uint32_t dataOffset) {
    return writePass(file, width, lines, bitsPerPixel, dataOffset, true);
}

void writeTiffFile(const std::string& path, CTIFGen& gen, TiffKind kind, int width, int lines, int bitsPerPixel,
                   const TiffRowSource& rows) {
    auto pass = [&](File& f, std::uint32_t dataOffset) {
        const int rc = kind == TiffKind::Geo ? gen.writeGeoTiff(&f, width, lines, bitsPerPixel, dataOffset)
                                             : gen.writeTiff(&f, width, lines, bitsPerPixel, dataOffset);
        if (rc == CTIFGen::kBadSize)
            throw Error(format("\"%s\": a TIFF of %d x %d pixels cannot be written", path.c_str(), width, lines));
    };
    AtomicFile out(path);
    File& f = out.file();
    pass(f, 0);
    const std::uint64_t dataOffset = f.tell();
    std::vector<std::uint8_t> row(static_cast<std::size_t>(lineBytes(width, bitsPerPixel)));
    for (int line = 0; line < lines; ++line) {
        rows(line, row);
        f.write(row);
    }
    pass(f, static_cast<std::uint32_t>(dataOffset));
    out.commit();
}

RasterFile rasterOfPixelBytes(const std::string& rasterPath, int width, int lines, int bytesPerPixel,
                              int bytesPerSample) {
    if (bytesPerSample < 1 || bytesPerPixel < bytesPerSample || bytesPerPixel % bytesPerSample != 0)
        throw Error(format("\"%s\": %d bytes per pixel and %d bytes per sample do not make a raster",
                           rasterPath.c_str(), bytesPerPixel, bytesPerSample));
    return {rasterPath, width, lines, bytesPerPixel / bytesPerSample, bytesPerSample};
}

std::string rasterToTiff(Ui& ui, const RasterFile& raster, const GeoReference& geo) {
    const std::string& rasterPath = raster.path;
    const int width = raster.width, lines = raster.lines;
    const int channels = raster.channels, bytesPerSample = raster.bytesPerSample;
    if (width < 1 || lines < 1)
        throw Error(format("\"%s\": a raster of %d x %d pixels cannot become a TIFF", rasterPath.c_str(), width, lines));
    if (channels < 1 || bytesPerSample < 1)
        throw Error(format("\"%s\": %d channels of %d bytes do not make a raster", rasterPath.c_str(), channels,
                           bytesPerSample));
    const int bytesPerPixel = channels * bytesPerSample;
    const bool planes24 = channels == 3 && bytesPerSample == 1;
    const bool grey8 = channels == 1 && bytesPerSample == 1;
    const bool grey16 = channels == 1 && bytesPerSample == 2;
    const bool rgb48 = channels == 3 && bytesPerSample == 2;
    if (!planes24 && !grey8 && !grey16 && !rgb48)
        throw Error(format("\"%s\": no TIFF form for %d channels of %d bytes", rasterPath.c_str(), channels,
                           bytesPerSample));
    checkSize(width, lines, bytesPerPixel * 8);

    File in(rasterPath, File::Mode::Read);
    const auto w = static_cast<std::uint64_t>(width);
    const auto l = static_cast<std::uint64_t>(lines);
    const std::uint64_t rowBytes = w * static_cast<std::uint64_t>(bytesPerPixel);
    const std::uint64_t needed = rowBytes * l;
    if (in.size() < needed)
        throw Error(format("\"%s\" holds %llu bytes, fewer than the %llu of a %d x %d raster of %d bytes per pixel",
                           rasterPath.c_str(), static_cast<unsigned long long>(in.size()),
                           static_cast<unsigned long long>(needed), width, lines, bytesPerPixel));

    CTIFGen gen;
    gen.setGeoReference(geo);
    const std::string outPath = rasterPath + ".tif";
    if (planes24) {
        // Three planes of width x lines bytes, interleaved into R, G, B.
        std::vector<std::uint8_t> plane(static_cast<std::size_t>(w));
        writeTiffFile(outPath, gen, TiffKind::Plain, width, lines, 24, [&](int line, std::span<std::uint8_t> row) {
            for (std::uint64_t c = 0; c < 3; ++c) {
                in.readAt(c * w * l + static_cast<std::uint64_t>(line) * w, plane);
                for (std::size_t x = 0; x < plane.size(); ++x) row[x * 3 + c] = plane[x];
            }
        });
        return outPath;
    }
    if (grey16) {
        ui.message("In sub tgifgen Short2tiffilemode\n" + format("pix,lin=%d, %d", width, lines) +
                   format("hdr,linebytes=%d, %d", 0, width * bytesPerPixel));
    }
    const TiffKind kind = grey8 ? TiffKind::Plain : TiffKind::Geo;
    writeTiffFile(outPath, gen, kind, width, lines, bytesPerPixel * 8,
                  [&](int line, std::span<std::uint8_t> row) { in.readAt(static_cast<std::uint64_t>(line) * rowBytes, row); });
    return outPath;
}

}  // namespace tessarin
