#include "dem/geoid_grid.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>

#include "platform/bytes.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"

namespace tessarin::dem {

namespace {

constexpr std::size_t kCells = static_cast<std::size_t>(kGeoidRows) * kGeoidColumns;
constexpr std::size_t kDacBytes = kCells * 2;
constexpr std::size_t kGtxHeaderBytes = 40;
// EGM96 undulations lie within about -107 m and +86 m; anything far outside
// is a damaged or foreign file, not a geoid.
constexpr double kPlausibleUndulation_m = 200.0;

bool near(double a, double b) { return std::fabs(a - b) < 1e-9; }

}  // namespace

GeoidGrid::GeoidGrid(std::vector<std::int16_t> centimetres, std::string source)
    : cm_(std::move(centimetres)), source_(std::move(source)) {
    if (cm_.size() != kCells)
        throw Error(format("a geoid grid needs %d x %d values, not %zu", kGeoidRows, kGeoidColumns, cm_.size()));
}

double GeoidGrid::undulation_m(double lat_deg, double lon_deg) const {
    const double r = std::clamp((90.0 - lat_deg) / kGeoidStep_deg, 0.0, double(kGeoidRows - 1));
    double lon = std::fmod(lon_deg, 360.0);
    if (lon < 0.0) lon += 360.0;
    const double c = lon / kGeoidStep_deg;
    const int i = static_cast<int>(r);
    const int j = static_cast<int>(c) % kGeoidColumns;
    const double u = r - i, v = c - std::floor(c);
    const int i1 = std::min(i + 1, kGeoidRows - 1);
    const int j1 = (j + 1) % kGeoidColumns;
    const double top = (1.0 - v) * centimetres(i, j) + v * centimetres(i, j1);
    const double bottom = (1.0 - v) * centimetres(i1, j) + v * centimetres(i1, j1);
    return ((1.0 - u) * top + u * bottom) / 100.0;
}

void GeoidGrid::writeDac(const std::string& path) const {
    std::vector<std::uint8_t> bytes(kDacBytes);
    for (std::size_t k = 0; k < kCells; ++k) store<std::int16_t>(bytes, 2 * k, cm_[k], ByteOrder::Big);
    writeWholeFile(path, bytes);
}

GeoidGrid readDacGeoid(const std::string& path) {
    const std::vector<std::uint8_t> bytes = readWholeFile(path, kDacBytes + 1);
    if (bytes.size() != kDacBytes)
        throw Error(format("\"%s\" holds %zu bytes; a geoid grid of %d x %d centimetre values has %zu", path.c_str(),
                           bytes.size(), kGeoidRows, kGeoidColumns, kDacBytes));
    std::vector<std::int16_t> cm(kCells);
    for (std::size_t k = 0; k < kCells; ++k) cm[k] = load<std::int16_t>(bytes, 2 * k, ByteOrder::Big);
    return GeoidGrid(std::move(cm), path);
}

GeoidGrid readGtxGeoid(const std::string& gtxPath) {
    if (!fileExists(gtxPath))
        throw Error(format("the EGM96 geoid grid \"%s\" is missing: install Debian's %s package (scripts/setup "
                           "does so)",
                           gtxPath.c_str(), kProjDataPackage));
    const std::uint64_t expected = kGtxHeaderBytes + kCells * 4;
    const std::vector<std::uint8_t> bytes = readWholeFile(gtxPath, expected + 1);
    auto refuse = [&](const std::string& why) {
        return Error(format("\"%s\" is not the EGM96 15-minute grid of %s: %s", gtxPath.c_str(), kProjDataPackage,
                            why.c_str()));
    };
    if (bytes.size() < kGtxHeaderBytes) throw refuse(format("it holds only %zu bytes", bytes.size()));
    ByteReader header(std::span<const std::uint8_t>(bytes).first(kGtxHeaderBytes), gtxPath);
    const double south = header.be<double>(), west = header.be<double>();
    const double latStep = header.be<double>(), lonStep = header.be<double>();
    const auto rows = header.be<std::int32_t>(), columns = header.be<std::int32_t>();
    if (rows != kGeoidRows || columns != kGeoidColumns)
        throw refuse(format("it has %d rows and %d columns, not %d and %d", rows, columns, kGeoidRows, kGeoidColumns));
    if (!near(south, -90.0) || !near(latStep, kGeoidStep_deg) || !near(lonStep, kGeoidStep_deg))
        throw refuse(format("its grid starts at latitude %g with steps of %g and %g degrees", south, latStep, lonStep));
    // The first column may sit at any whole number of steps (180°W in
    // proj-data's file); it is moved to 0°E.
    const double westSteps = west / kGeoidStep_deg;
    if (!std::isfinite(west) || std::fabs(west) > 360.0 || !near(westSteps, std::round(westSteps)))
        throw refuse(format("its first column lies at longitude %g", west));
    if (bytes.size() != expected)
        throw refuse(
            format("it holds %zu bytes instead of %llu", bytes.size(), static_cast<unsigned long long>(expected)));

    const int shift = static_cast<int>(std::lround(westSteps));  // DAC column of gtx column 0
    std::vector<std::int16_t> cm(kCells);
    for (int g = 0; g < kGeoidRows; ++g) {
        const int row = kGeoidRows - 1 - g;  // gtx rows run south to north
        for (int k = 0; k < kGeoidColumns; ++k) {
            const std::size_t cell = static_cast<std::size_t>(g) * kGeoidColumns + static_cast<std::size_t>(k);
            const std::size_t at = kGtxHeaderBytes + cell * 4;
            const auto metres = static_cast<double>(load<float>(bytes, at, ByteOrder::Big));
            if (!std::isfinite(metres) || std::fabs(metres) > kPlausibleUndulation_m)
                throw refuse(format("value %g m at row %d, column %d", metres, g, k));
            const int column = ((k + shift) % kGeoidColumns + kGeoidColumns) % kGeoidColumns;
            cm[static_cast<std::size_t>(row) * kGeoidColumns + static_cast<std::size_t>(column)] =
                static_cast<std::int16_t>(std::lround(metres * 100.0));
        }
    }
    return GeoidGrid(std::move(cm), gtxPath);
}

void convertGtxToDac(const std::string& gtxPath, const std::string& dacPath) {
    readGtxGeoid(gtxPath).writeDac(dacPath);
}

}  // namespace tessarin::dem
