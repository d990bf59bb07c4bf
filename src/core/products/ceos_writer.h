#pragma once
// Writes a complete ALOS-2 CEOS product folder from SceneParameters and a
// sample source: the volume directory file, the leader file with every record
// of the record map, and one image file per polarisation. Tests, benchmarks
// and the scene simulator build their fixtures with it.
//
// Every field the readers decode is written as fixed-width ASCII chosen so
// that it decodes back exactly where the width allows; WrittenProduct::stored
// holds the values a reader obtains (the input quantised to the field widths,
// plus the derived fields).

#include <array>
#include <complex>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "products/ceos_fields.h"
#include "products/scene_parameters.h"

namespace tessarin::products {

// Fills line n (0 .. line-1) of polarisation polIndex (an index into
// ProductSpec::polarisations); the span holds `pixel` samples, zeroed.
using ComplexLineSource = std::function<void(std::size_t polIndex, int n, std::span<std::complex<float>> samples)>;
using AmplitudeLineSource = std::function<void(std::size_t polIndex, int n, std::span<std::uint16_t> samples)>;

struct SampleSource {
    ComplexLineSource complexLine;      // level 1.1; zeros when empty
    AmplitudeLineSource amplitudeLine;  // level 1.5; zeros when empty
};

struct ProductSpec {
    // ALOS-2 PALSAR-2, or first-generation PALSAR: names
    // "IMG-HH-ALPSRP<sceneId>-<mode><level><suffix>" (sceneId the five-digit
    // orbit and four-digit frame, mode one letter such as 'H'), the
    // first-generation record map with its long facility record (written
    // sparsely) and conversion record, a 412-byte line prefix at level 1.1, the
    // look as the sensor clock angle, the pixels of a line in the descriptor.
    ceos::Generation generation = ceos::Generation::Alos2;
    std::string folder;                            // created when missing
    std::string sceneId = "011502960";             // after "ALOS2" ("ALPSRP") in the names
    std::string date = "140724";                   // YYMMDD (not in first-generation names)
    std::string mode = "UBS";                      // observation mode
    char look = 'R';                               // 'R' or 'L'
    int level = kLevel11;                          // kLevel11 or kLevel15
    std::string levelSuffix = "__A";               // the three characters after the level
    std::vector<std::string> polarisations{"HH"};  // "HH", "HV", "VH", "VV"
    // Scene description; line and pixel give the image size. The descriptor
    // fields (linebytes, lineheader, ...) are derived from the level, and the
    // state vector times from orbitFirstTime and orbitInterval.
    SceneParameters params;
    // Extra bytes appended to leader records (indexed by ceos::LeaderRecord),
    // as later processing versions lengthen them; the record headers say so.
    std::array<std::uint32_t, ceos::kLeaderRecordCount> recordPadding{};
    // First generation: the length of the facility record before the
    // conversion record (0: the standard ceos::kPalsarFacilityBytes), and the
    // descriptor's pixels-per-line field (-1: the pixels written).
    std::uint32_t facilityBytes = 0;
    long long pixelsPerLineField = -1;
};

struct WrittenProduct {
    std::string volumePath;
    std::string leaderPath;
    std::vector<std::string> imagePaths;  // one per polarisation, in order
    SceneParameters stored;               // what a reader decodes from these files
    ceos::Generation generation = ceos::Generation::Alos2;
};

// "<mode><look><level>" + levelSuffix and the rest of a product name, e.g.
// "ALOS2011502960-140724-UBSR1.1__A".
std::string productNameBody(const ProductSpec& product);

// Line record prefix bytes of each level.
inline constexpr int kLinePrefixLevel11 = 544;
inline constexpr int kLinePrefixLevel15 = 192;
inline constexpr int kPalsarLinePrefixLevel11 = 412;  // first generation

// Writes the product; each file goes to a temporary name first. Throws Error
// for values that cannot be written (a field too narrow, a bad name part).
WrittenProduct writeCeosProduct(const ProductSpec& product, const SampleSource& source = {});

// The encoded leader and descriptor alone, for tests and fuzz seeds.
std::vector<std::uint8_t> encodeLeader(const ProductSpec& product);
std::vector<std::uint8_t> encodeImageFileDescriptor(const ProductSpec& product);

}  // namespace tessarin::products
