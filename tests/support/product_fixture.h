#pragma once
// The plausible ALOS-2 product that tests, the console test helpers, the fuzz
// harnesses and the benchmarks build their scenes from: a scene on 24 July
// 2014 at 03:12:34.567 UTC with 28 state vectors every 60 s from 03:00:00,
// calibration -83 dB, written through the CEOS product writer. Every value
// has few digits, so every field holds it exactly and a reader returns the
// input. ProductOptions say what a caller needs different.
//
// No test framework here: the fuzz harnesses and benchmarks link it too.

#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "products/alos2.h"
#include "products/ceos_fields.h"
#include "products/ceos_writer.h"
#include "products/scene_parameters.h"

namespace tessarin::testing {

// Earth-fixed vectors (m, m/s) for the fixtures' own geometry, kept apart
// from the types of the code under test.
struct V3 {
    double x = 0.0, y = 0.0, z = 0.0;
    friend V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
    friend V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
    friend V3 operator*(double s, V3 a) { return {s * a.x, s * a.y, s * a.z}; }
};
inline double dot3(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline double len3(V3 a) { return std::sqrt(dot3(a, a)); }
inline V3 unit3(V3 a) { return (1.0 / len3(a)) * a; }
inline V3 cross3(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }

// A circular orbit given straight in earth-fixed coordinates.
struct CircularOrbit {
    double radius_m = 7.0e6;
    double rate_rad_s = 1.08e-3;
    double inclination_rad = 1.7;
    double epoch_s = 10800.0;  // time of argument 0 (s of day)

    V3 position(double t) const;
    V3 velocity(double t) const;
};

// Where the state vectors lie.
enum class Track {
    Circular,  // on CircularOrbit{}
    // Vector i at X = -3000000.5 + 1000 i, Y = 4000000.25 - 2000 i,
    // Z = 4500000.125 + 500 i (m), moving by that step every 60 s: positions
    // a test can expect back as written.
    Straight,
};

// What the pixel/line <-> latitude/longitude polynomials hold. P, L are the
// pixel and line from the reference pixel and line.
enum class Mapping {
    // Every coefficient in use, six significant digits, about pixel 2500.5,
    // line 15000.25 and 35.5 N, 139.75 E.
    Varied,
    // Constant terms only: every position lies at the scene centre (35.6812 N,
    // 139.7671 E), every latitude/longitude at the image centre, which is the
    // reference pixel and line.
    Constant,
    // lat = 35.6 + 2e-5 P - 3e-5 L, lon = 139.7 - 4e-5 P + 1e-5 L about
    // pixel 0, line 0, and its exact inverse about 35.6 N, 139.7 E.
    Linear,
};

struct ProductOptions {
    int level = products::kLevel11;
    int pixels = 5;
    int lines = 6;
    std::vector<std::string> polarisations{"HH"};
    char look = 'R';
    std::string levelSuffix{};  // empty: "__A" for level 1.1, "__D" for level 1.5
    Track track = Track::Circular;
    Mapping mapping = Mapping::Varied;
    // First generation: names IMG-xx-ALPSRP011502960-H..., the first-generation
    // record map, and a level 1.5 suffix of "GUA" by default.
    products::ceos::Generation generation = products::ceos::Generation::Alos2;
};

products::SceneParameters plausibleScene(const ProductOptions& options = {});
products::ProductSpec plausibleProduct(const std::string& folder, const ProductOptions& options = {});

// State vectors every orbitInterval from orbitFirstTime on the orbit, rounded
// to the millimetre and the micrometre per second as products give them.
void sampleOrbit(products::SceneParameters& p, const CircularOrbit& orbit);

// Sample values as functions of the position; zeros where empty.
struct Samples {
    std::function<std::complex<float>(std::size_t x, int line)> complex{};  // level 1.1
    std::function<std::uint16_t(std::size_t x, int line)> amplitude{};      // level 1.5
};
products::SampleSource sampleSource(const Samples& samples);

products::WrittenProduct writePlausibleProduct(const std::string& folder, const ProductOptions& options = {},
                                               const Samples& samples = {});

// The written product as a reader decodes it (a CAlos for first-generation
// products): the leader, the descriptor of image `image` and the look of its
// name; throws when either file is refused.
products::Alos2 decodedProduct(const products::WrittenProduct& w, std::size_t image = 0);

// Samples that change along lines and columns and are nowhere zero:
// complex (500 + x mod 300, line mod 200 - 100), amplitude
// 100 + (x + line) mod 900.
inline std::complex<float> rampComplex(std::size_t x, int line) {
    return {static_cast<float>(500 + x % 300), static_cast<float>(line % 200) - 100.0f};
}
inline std::uint16_t rampAmplitude(std::size_t x, int line) {
    return static_cast<std::uint16_t>(100 + (x + static_cast<std::size_t>(line)) % 900);
}
inline Samples rampSamples() { return {.complex = rampComplex, .amplitude = rampAmplitude}; }

// The level 1.5 scene on which the view's readout is checked, in the console
// and in the core: 1100 x 1300 pixels (2 x 2 tiles) with the Linear mapping
// and amplitude viewAmplitude.
ProductOptions viewProductOptions();
inline std::uint16_t viewAmplitude(long long x, long long line) {
    return static_cast<std::uint16_t>(100 + (7 * x + 3 * line) % 900);
}
inline Samples viewSamples() {
    return {.amplitude = [](std::size_t x, int line) { return viewAmplitude(static_cast<long long>(x), line); }};
}

// Overwrites a fixed-width field with text (right-aligned, blank-filled);
// throws std::invalid_argument when the text is wider than the field.
void patchField(std::vector<std::uint8_t>& data, std::size_t recordStart, const products::ceos::FieldLayout& f,
                const std::string& text);

}  // namespace tessarin::testing
