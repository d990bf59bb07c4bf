// GeoTIFF reading: the first directory of a TIFF in either byte order, the
// georeferencing tags and GeoKeys, and the four corners.

#include <algorithm>
#include <cmath>

#include "geometry/utm.h"
#include "imagefiles/byte_source.h"
#include "imagefiles/tif_gen.h"
#include "imagefiles/tiff_directory.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"

namespace tessarin {

namespace {

using namespace tiff;

constexpr std::size_t kTiePointValues = 6;
constexpr std::size_t kMatrixValues = 16;
constexpr std::size_t kGeoKeyHeaderValues = 4;

void readGeoKeys(const Directory& dir, const Entry& e, GeoTiffInfo& info) {
    const std::vector<std::uint32_t> v = dir.integers(e);
    if (v.size() < kGeoKeyHeaderValues) dir.fail(e, format("a GeoKey directory of %zu values has no header", v.size()));
    const std::size_t declared = v[3];
    const std::size_t present = (v.size() - kGeoKeyHeaderValues) / 4;
    if (declared > present)
        dir.fail(e, format("the GeoKey directory declares %zu keys but holds %zu", declared, present));
    info.geoKeys.clear();
    for (std::size_t k = 0; k < declared; ++k) {
        const std::size_t p = kGeoKeyHeaderValues + 4 * k;
        info.geoKeys.push_back({static_cast<std::uint16_t>(v[p]), static_cast<std::uint16_t>(v[p + 1]),
                                static_cast<std::uint16_t>(v[p + 2]), static_cast<std::uint16_t>(v[p + 3])});
    }
}

void interpretGeoKeys(GeoTiffInfo& info) {
    for (const GeoKeyEntry& k : info.geoKeys) {
        const bool direct = k.location == 0;
        switch (k.id) {
            case kGTModelTypeGeoKey:
                if (!direct) break;
                info.modelType = k.value;
                if (k.value == GeoTiffInfo::kModelProjected) info.projected = true;
                if (k.value == GeoTiffInfo::kModelGeographic) info.projected = false;
                break;
            case kGTRasterTypeGeoKey:
                if (direct) info.rasterType = k.value;
                break;
            case kProjectedCSTypeGeoKey: {
                if (!direct) break;
                const int code = k.value;
                info.projectedCsCode = code;
                info.projected = true;
                // Only WGS 84 / UTM codes are zones; any other code (NAD27
                // 26711, user-defined 32767, ...) is not turned into one.
                if (code >= kUtmNorthFirst && code <= kUtmNorthLast) {
                    info.utm = true;
                    info.utmNorth = true;
                    info.utmZone = code - (kUtmNorthFirst - 1);
                } else if (code >= kUtmSouthFirst && code <= kUtmSouthLast) {
                    info.utm = true;
                    info.utmNorth = false;
                    info.utmZone = code - (kUtmSouthFirst - 1);
                } else {
                    info.utm = false;
                    info.unsupportedProjection =
                        format("unsupported projection: ProjectedCSTypeGeoKey %d is not WGS 84 / UTM", code);
                }
                if (info.utm) info.centralMeridian_deg = CUTM::centralMeridian_deg(info.utmZone);
                break;
            }
            case kProjLinearUnitsGeoKey:
                if (!direct) break;
                info.linearUnits = k.value;
                if (k.value == kLinearUnitMetre) info.projected = true;
                if (k.value == kAngularUnitDegree) info.projected = false;
                break;
            case kGeogSemiMajorAxisGeoKey:
                if (k.location == kGeoDoubleParams && k.value < info.geoDoubleParams.size())
                    info.semiMajorAxis_m = info.geoDoubleParams[k.value];
                break;
            case kGeogInvFlatteningGeoKey:
                if (k.location == kGeoDoubleParams && k.value < info.geoDoubleParams.size())
                    info.inverseFlattening = info.geoDoubleParams[k.value];
                break;
            default: break;
        }
    }
    if (info.projected && !info.utm && info.unsupportedProjection.empty())
        info.unsupportedProjection = "unsupported projection: no WGS 84 / UTM ProjectedCSTypeGeoKey";
}

void computeCorners(GeoTiffInfo& info) {
    info.cornersKnown = false;
    if (info.width == 0 || info.lines == 0) return;
    const bool transform = info.modelTransformation.has_value();
    const bool tie = !info.tiePoints.empty() && info.pixelScale.size() >= 2;
    if (!transform && !tie) return;

    // The centres of the four corner pixels: with pixel-is-point a pixel's
    // centre is at its integer raster position, with pixel-is-area half a
    // pixel further in.
    const double w = info.width;
    const double h = info.lines;
    const double c = info.rasterType == GeoTiffInfo::kPixelIsPoint ? 0.0 : 0.5;
    const double raster[4][2] = {{c, c}, {w - 1.0 + c, c}, {c, h - 1.0 + c}, {w - 1.0 + c, h - 1.0 + c}};
    const bool geographic = !info.projected && (info.modelType == GeoTiffInfo::kModelGeographic ||
                                                info.linearUnits == static_cast<int>(kAngularUnitDegree));
    for (std::size_t k = 0; k < 4; ++k) {
        const double i = raster[k][0];
        const double j = raster[k][1];
        GeoCorner& corner = info.corners[k];
        if (transform) {
            const auto& m = *info.modelTransformation;
            corner.x = m[0] * i + m[1] * j + m[3];
            corner.y = m[4] * i + m[5] * j + m[7];
        } else {
            const TiePoint& t = info.tiePoints.front();
            corner.x = t.x + (i - t.i) * info.pixelScale[0];
            corner.y = t.y - (j - t.j) * info.pixelScale[1];
        }
        corner.latLonKnown = false;
        if (info.projected && info.utm) {
            const UtmInverseResult r = CUTM::toLatLon(info.utmNorth, info.utmZone, corner.x, corner.y);
            // Far outside the zone the inverse can converge on a latitude
            // past the pole: that corner has no position.
            if (r.converged && std::fabs(r.lat_deg) <= 90.0 && std::isfinite(r.lon_deg)) {
                corner.lat_deg = r.lat_deg;
                corner.lon_deg = r.lon_deg;
                corner.latLonKnown = true;
            }
        } else if (geographic && std::fabs(corner.y) <= 90.0 && std::isfinite(corner.x)) {
            corner.lat_deg = corner.y;
            corner.lon_deg = corner.x;
            corner.latLonKnown = true;
        }
    }
    info.cornersKnown = true;
}

// What no image is: no pixels, more strips or tiles than it can have, and
// georeferencing values that are not numbers.
void refuseDegenerate(const std::string& name, const GeoTiffInfo& info) {
    const auto refuse = [&](const std::string& why) { throw Error(format("\"%s\": %s", name.c_str(), why.c_str())); };
    if (info.width == 0 || info.lines == 0)
        refuse(format("the image is %u x %u pixels (ImageWidth, ImageLength): it has no pixels", info.width,
                      info.lines));
    const std::uint64_t planes = info.planarConfiguration == 2 ? static_cast<std::uint64_t>(std::max(info.samplesPerPixel, 1)) : 1;
    std::uint64_t most = 0;
    const char* what = "";
    if (info.tiled()) {
        const std::uint64_t across = (std::uint64_t{info.width} + info.tileWidth - 1) / info.tileWidth;
        const std::uint64_t down =
            info.tileLength == 0 ? 1 : (std::uint64_t{info.lines} + info.tileLength - 1) / info.tileLength;
        most = across * down * planes;
        what = "tiles";
    } else {
        most = std::uint64_t{info.lines} * planes;
        what = "strips";
    }
    if (info.stripOffsets.size() > most || info.stripByteCounts.size() > most)
        refuse(format("%zu offsets and %zu byte counts of %s, where an image of %u x %u pixels has at most %llu",
                      info.stripOffsets.size(), info.stripByteCounts.size(), what, info.width, info.lines,
                      static_cast<unsigned long long>(most)));
    const auto finite = [&](const char* tag, const auto& values) {
        for (double v : values)
            if (!std::isfinite(v)) refuse(format("%s holds a value that is not a finite number (%g)", tag, v));
    };
    finite("ModelPixelScale", info.pixelScale);
    for (const TiePoint& t : info.tiePoints) finite("ModelTiepoint", std::array<double, 6>{t.i, t.j, t.k, t.x, t.y, t.z});
    if (info.modelTransformation) finite("ModelTransformation", *info.modelTransformation);
}

}  // namespace

const GeoTiffInfo& CTIFGen::read(ByteSource& in) {
    info_ = GeoTiffInfo{};
    GeoTiffInfo& info = info_;
    const Directory dir(in);
    info.byteOrder = dir.order();
    info.ifdOffset = dir.offset();
    info.entryCount = static_cast<int>(dir.entries().size());

    bool haveStrips = false;
    bool hasRowsPerStrip = false;
    for (const Entry& e : dir.entries()) {
        switch (e.tag) {
            case kImageWidth: info.width = dir.firstInteger(e); break;
            case kImageLength: info.lines = dir.firstInteger(e); break;
            case kBitsPerSample:
                info.bitsPerSample = dir.integers(e);
                info.bytesPerSample = info.bitsPerSample.empty() ? 0 : static_cast<int>(info.bitsPerSample.front() / 8);
                break;
            case kCompression: info.compression = static_cast<int>(dir.firstInteger(e)); break;
            case kPhotometric: info.photometric = static_cast<int>(dir.firstInteger(e)); break;
            case kImageDescription: info.description = dir.text(e); break;
            case kStripOffsets:
            case kTileOffsets:
                // Strips win when a file carries both.
                if (e.tag == kTileOffsets && haveStrips) break;
                info.stripOffsets = dir.integers(e);
                haveStrips = haveStrips || e.tag == kStripOffsets;
                break;
            case kStripByteCounts:
            case kTileByteCounts:
                if (e.tag == kTileByteCounts && haveStrips) break;
                info.stripByteCounts = dir.integers(e);
                break;
            case kOrientation: info.orientation = static_cast<int>(dir.firstInteger(e)); break;
            case kSamplesPerPixel: info.samplesPerPixel = static_cast<int>(dir.firstInteger(e)); break;
            case kRowsPerStrip:
                info.rowsPerStrip = dir.firstInteger(e);
                hasRowsPerStrip = true;
                break;
            case kXResolution: info.xResolution = dir.rational(e); break;
            case kYResolution: info.yResolution = dir.rational(e); break;
            case kPlanarConfiguration: info.planarConfiguration = static_cast<int>(dir.firstInteger(e)); break;
            case kDateTime: info.dateTime = dir.text(e); break;
            case kTileWidth: info.tileWidth = dir.firstInteger(e); break;
            case kTileLength: info.tileLength = dir.firstInteger(e); break;
            case kSampleFormat: info.sampleFormat = static_cast<int>(dir.firstInteger(e)); break;
            case kModelPixelScale: info.pixelScale = dir.numbers(e); break;
            case kModelTiepoint: {
                const std::vector<double> v = dir.numbers(e);
                info.tiePoints.clear();
                for (std::size_t p = 0; p + kTiePointValues <= v.size(); p += kTiePointValues)
                    info.tiePoints.push_back({v[p], v[p + 1], v[p + 2], v[p + 3], v[p + 4], v[p + 5]});
                break;
            }
            case kModelTransformation: {
                const std::vector<double> v = dir.numbers(e);
                if (v.size() < kMatrixValues) dir.fail(e, format("a model transformation needs 16 values, not %zu", v.size()));
                std::array<double, kMatrixValues> m{};
                std::copy_n(v.begin(), kMatrixValues, m.begin());
                info.modelTransformation = m;
                break;
            }
            case kGeoKeyDirectory: readGeoKeys(dir, e, info); break;
            case kGeoDoubleParams: info.geoDoubleParams = dir.numbers(e); break;
            case kGeoAsciiParams: info.geoAsciiParams = dir.text(e); break;
            default: break;
        }
    }
    // Without the tag one strip holds every line.
    if (!info.tiled() && !hasRowsPerStrip) info.rowsPerStrip = info.lines;
    refuseDegenerate(in.name(), info);
    interpretGeoKeys(info);
    computeCorners(info);
    return info;
}

GeoTiffInfo readGeoTiffFile(const std::string& path) {
    File f(path, File::Mode::Read);
    FileSource source(f);
    CTIFGen gen;
    return gen.read(source);
}

}  // namespace tessarin
