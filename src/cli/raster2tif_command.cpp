// raster2tif: the raster-to-TIFF conversion. A raw little-endian raster
// becomes RASTER.tif: 1 or 3 channels of 2 bytes a GeoTIFF placed by --geo,
// 1 channel of 1 byte an 8-bit TIFF, 3 channels of 1 byte (three planes) a
// 24-bit TIFF.

#include <cmath>
#include <cstdio>

#include "imagefiles/tif_gen.h"
#include "platform/error.h"
#include "platform/text.h"
#include "subcommands.h"

namespace tessarin::cli {

namespace {

GeoReference parseGeo(const std::string& text) {
    const std::vector<std::string> parts = splitString(text, ',');
    if (parts.size() != 4) throw UsageError("--geo expects LON,LAT,SCALEX,SCALEY");
    double v[4];
    for (std::size_t i = 0; i < 4; ++i) {
        const auto x = parseReal(trim(parts[i]));
        if (!x) throw UsageError("--geo expects four numbers");
        v[i] = *x;
    }
    if (!(std::fabs(v[0]) <= 360.0 && std::fabs(v[1]) <= 90.0))
        throw UsageError("--geo expects a longitude within 360 and a latitude within 90 degrees");
    if (!(v[2] != 0.0 && v[3] != 0.0 && std::fabs(v[2]) <= 360.0 && std::fabs(v[3]) <= 360.0))
        throw UsageError("--geo expects pixel scales other than 0, within 360 degrees");
    return {v[0], v[1], v[2], v[3]};
}

int parsePositive(const Args& args, const char* name) {
    const auto text = args.value(name);
    if (!text) throw UsageError(std::string("--") + name + " is required");
    const auto v = parseInteger(*text);
    if (!v || *v < 1 || *v > 8) throw UsageError(std::string("--") + name + " expects 1 to 8");
    return static_cast<int>(*v);
}

int runRaster2tif(const Args& args, ConsoleUi& ui) {
    args.requirePositionals(1, "RASTER");
    const auto size = args.value("size");
    if (!size) throw UsageError("--size WIDTH,LINES is required");
    const auto [width, lines] = parseIntPair(*size, "size");
    if (width < 1 || lines < 1 || width > 65535 || lines > 65535) throw UsageError("--size expects 1 to 65535 each");
    const int bytesPerPixel = parsePositive(args, "bytes-per-pixel");
    const int bytesPerSample = parsePositive(args, "bytes-per-sample");
    const GeoReference geo = args.value("geo") ? parseGeo(*args.value("geo")) : GeoReference{};
    try {
        const std::string out = rasterToTiff(
            ui, rasterOfPixelBytes(args.positionals()[0], static_cast<int>(width), static_cast<int>(lines), bytesPerPixel,
                                   bytesPerSample),
            geo);
        std::printf("%s\n", out.c_str());
    } catch (const Error& e) {
        ui.message(e.what());
        return 1;
    }
    return 0;
}

SubcommandRegistration raster2tifCommand(
    {"raster2tif", "convert a raw raster to RASTER.tif (TIFF or GeoTIFF by its channels and sample size)",
     "RASTER --size WIDTH,LINES --bytes-per-pixel N --bytes-per-sample M [--geo LON,LAT,SCALEX,SCALEY]",
     {{"size", true, "pixels and lines"},
      {"bytes-per-pixel", true, "1, 2, 3 or 6"},
      {"bytes-per-sample", true, "1 or 2"},
      {"geo", true, "GeoTIFF placement: centre of the first pixel and the spacing, in degrees (default 0,0,1,1)"}},
     runRaster2tif});

}  // namespace

}  // namespace tessarin::cli
