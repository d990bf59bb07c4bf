#pragma once
// Fixtures for the product tests: a plausible scene description, a temporary
// folder, and byte-level helpers for patching written files.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/file.h"
#include "products/ceos_fields.h"
#include "products/ceos_writer.h"
#include "products/scene_parameters.h"

namespace tessarin::products::testing {

inline std::string fmt6(double v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.6g", v);
    return buffer;
}

// A scene on 24 July 2014 at 03:12:34.567 UTC with 28 state vectors every
// 60 s from 03:00:00 on a circular polar orbit of 7000 km radius. Values have
// few digits, so every field holds them exactly.
inline SceneParameters plausibleScene(int line = 6, int pixel = 5) {
    SceneParameters p;
    p.Y = 2014, p.M = 7, p.D = 24, p.H = 3, p.Min = 12, p.Sec = 34.567;
    p.ctrlat = 35.6812, p.ctrlon = 139.7671;
    p.wavelength = 0.2290399;
    p.prf = 2000.0;
    p.linsz = 2.13, p.pixsz = 1.43;
    p.inccoef = {0.2, 1.5e-3, -2.25e-6, 3e-9, -4e-12, 5.5e-15};
    p.calib = -83.0;
    p.orbitPointCount = 28;
    p.orbitFirstYear = 2014, p.orbitFirstMonth = 7, p.orbitFirstDay = 24;
    p.orbitFirstTime = 10800.0;
    p.orbitInterval = 60.0;
    const double r = 7.0e6, omega = 1.08e-3, inclination = 1.7;  // m, rad/s, rad
    for (int i = 0; i < p.orbitPointCount; ++i) {
        const double u = omega * 60.0 * i;
        StateVector& s = p.stateVectors[static_cast<std::size_t>(i)];
        // Rounded to the millimetre and the micrometre per second, as products give them.
        auto mm = [](double v) { return std::round(v * 1000.0) / 1000.0; };
        auto um = [](double v) { return std::round(v * 1.0e6) / 1.0e6; };
        s.X = mm(r * std::cos(u));
        s.Y = mm(r * std::sin(u) * std::cos(inclination));
        s.Z = mm(r * std::sin(u) * std::sin(inclination));
        s.VX = um(-r * omega * std::sin(u));
        s.VY = um(r * omega * std::cos(u) * std::cos(inclination));
        s.VZ = um(r * omega * std::cos(u) * std::sin(inclination));
    }
    // Six significant digits: the shortest text of each value fits its field.
    auto tidy = [](double v) { return std::strtod(fmt6(v).c_str(), nullptr); };
    for (std::size_t n = 0; n < kMappingPolyTerms; ++n) {
        p.pl2lat[n] = tidy((static_cast<double>(n) + 1.0) * 1.25e-9);
        p.pl2lon[n] = tidy(-(static_cast<double>(n) + 2.0) * 2.5e-10);
        p.ll2pix[n] = (static_cast<double>(n) - 12.0) * 3.75;
        p.ll2lin[n] = (static_cast<double>(n) + 0.5) * -1.5;
    }
    p.pl2lat[24] = 35.6812, p.pl2lon[24] = 139.7671;
    p.plRefPixel = 2500.5, p.plRefLine = 15000.25;
    p.llRefLat = 35.5, p.llRefLon = 139.75;
    p.line = line, p.pixel = pixel;
    return p;
}

inline ProductSpec plausibleProduct(const std::string& folder, int level, int line = 6, int pixel = 5) {
    ProductSpec product;
    product.folder = folder;
    product.level = level;
    product.levelSuffix = level == kLevel11 ? "__A" : "__D";
    product.params = plausibleScene(line, pixel);
    return product;
}

class ProductTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("tessarin-products-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string folder() const { return dir.string(); }
    std::filesystem::path dir;
};

inline std::vector<std::uint8_t> readBytes(const std::string& path) { return readWholeFile(path); }
inline void writeBytes(const std::string& path, const std::vector<std::uint8_t>& data) { writeWholeFile(path, data); }

// Overwrites a fixed-width field with text (right-aligned, blank-filled).
inline void patchField(std::vector<std::uint8_t>& data, std::size_t recordStart, const ceos::FieldLayout& f,
                       const std::string& text) {
    ASSERT_LE(text.size(), f.width);
    const std::string padded = std::string(f.width - text.size(), ' ') + text;
    for (std::size_t i = 0; i < f.width; ++i) data.at(recordStart + f.offset + i) = static_cast<std::uint8_t>(padded[i]);
}

inline std::uint32_t beU32(const std::vector<std::uint8_t>& d, std::size_t at) {
    return std::uint32_t{d.at(at)} << 24 | std::uint32_t{d.at(at + 1)} << 16 | std::uint32_t{d.at(at + 2)} << 8 |
           d.at(at + 3);
}

inline void putBeU32(std::vector<std::uint8_t>& d, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) d.at(at + static_cast<std::size_t>(i)) = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

}  // namespace tessarin::products::testing
