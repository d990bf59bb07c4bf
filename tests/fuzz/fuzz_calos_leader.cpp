// First-generation PALSAR leader and image file descriptor decoding (CAlos)
// from arbitrary bytes.
//
// The first byte chooses what the rest is:
//   bits 0-1  0: a whole leader file   1: a whole image file descriptor
//             2: patches over a valid leader   3: patches over a valid descriptor
//   bit 2     the product level of the name (0: level 1.1, 1: level 1.5)
//   bit 3     the valid leader splits its facility data into three records
// Patches as in fuzz_ceos_leader: a 3-byte big-endian offset (modulo the
// size), a length byte and that many bytes; a first byte of 0xFF cuts the
// bytes at the offset that follows. The valid leaders carry a short facility
// record, so that the conversion record lies within reach of the patches.

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "platform/bytes.h"
#include "platform/error.h"
#include "products/calos.h"
#include "products/ceos_writer.h"
#include "support/product_fixture.h"

using namespace tessarin;
using namespace tessarin::products;

namespace {

constexpr std::uint32_t kShortFacility = 2000;

ProductSpec validProduct(int level) {
    ProductSpec p = testing::plausibleProduct(
        "", {.level = level, .pixels = 9000, .lines = 18000, .generation = ceos::Generation::Palsar1});
    p.facilityBytes = kShortFacility;
    return p;
}

// The facility record split into records of 600, 600 and 800 bytes, as
// products with several facility records have it.
std::vector<std::uint8_t> splitFacility(std::vector<std::uint8_t> leader, int level) {
    const std::uint64_t at = ceos::fixedRecordStart(ceos::LeaderRecord::Facility1, level, ceos::kPalsar1Layout);
    std::uint64_t pos = at;
    for (const std::uint32_t length : {600u, 600u, 800u}) {
        ceos::writeRecordHeader(std::span(leader).subspan(pos, ceos::kRecordHeaderBytes),
                                {9, {18, 200, 18, 70}, length});
        pos += length;
    }
    return leader;
}

std::vector<std::uint8_t>& templateLeader(int level, bool split) {
    static std::vector<std::uint8_t> l11 = encodeLeader(validProduct(kLevel11));
    static std::vector<std::uint8_t> l15 = encodeLeader(validProduct(kLevel15));
    static std::vector<std::uint8_t> s11 = splitFacility(l11, kLevel11);
    static std::vector<std::uint8_t> s15 = splitFacility(l15, kLevel15);
    if (split) return level == kLevel11 ? s11 : s15;
    return level == kLevel11 ? l11 : l15;
}

std::vector<std::uint8_t>& templateDescriptor() {
    static std::vector<std::uint8_t> d = encodeImageFileDescriptor(validProduct(kLevel11));
    return d;
}

class Patched {
public:
    Patched(std::vector<std::uint8_t>& bytes, std::span<const std::uint8_t> patches) : bytes_(bytes), size_(bytes.size()) {
        std::size_t i = 0;
        while (i + 4 <= patches.size() && size_ > 0) {
            const bool cut = patches[i] == 0xFF;
            if (cut) ++i;
            if (i + 4 > patches.size()) break;
            const std::size_t offset =
                (std::size_t{patches[i]} << 16 | std::size_t{patches[i + 1]} << 8 | patches[i + 2]) % size_;
            const std::size_t length = patches[i + 3];
            i += 4;
            if (cut) {
                size_ = offset;
                continue;
            }
            for (std::size_t k = 0; k < length && i < patches.size() && offset + k < size_; ++k, ++i) {
                undo_.emplace_back(offset + k, bytes_[offset + k]);
                bytes_[offset + k] = patches[i];
            }
        }
    }
    ~Patched() {
        for (auto it = undo_.rbegin(); it != undo_.rend(); ++it) bytes_[it->first] = it->second;
    }
    std::span<const std::uint8_t> bytes() const { return {bytes_.data(), size_}; }

private:
    std::vector<std::uint8_t>& bytes_;
    std::size_t size_;
    std::vector<std::pair<std::size_t, std::uint8_t>> undo_;
};

void check(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t mode = data[0];
    const std::span<const std::uint8_t> rest(data + 1, size - 1);
    const int level = (mode & 4) ? kLevel15 : kLevel11;
    const bool leader = (mode & 3) == 0 || (mode & 3) == 2;

    CAlos reader;
    reader.setImagePath(level == kLevel11 ? "IMG-HH-ALPSRP011502960-H1.1__A" : "IMG-HH-ALPSRP011502960-H1.5GUA");
    const SceneParameters before = reader.params();
    try {
        if (leader) {
            if ((mode & 3) == 0)
                reader.DecodeLeaderBytes(rest, "fuzz");
            else
                reader.DecodeLeaderBytes(Patched(templateLeader(level, (mode & 8) != 0), rest).bytes(), "fuzz");
            const SceneParameters& p = reader.params();
            check(p.orbitPointCount >= 5 && p.orbitPointCount <= static_cast<int>(kMaxStateVectors));
            check(p.orbitWindow[2].t == p.orbitRefTime);
            check(p.pointingLeft == 0 || p.pointingLeft == 1);
        } else {
            if ((mode & 3) == 1)
                reader.DecodeImageFileDescriptorBytes(rest, "fuzz");
            else
                reader.DecodeImageFileDescriptorBytes(Patched(templateDescriptor(), rest).bytes(), "fuzz");
            const SceneParameters& p = reader.params();
            check(p.bytesPerGroup > 0 && p.pixel >= 0 && p.line >= 0 && p.lineheader >= 0);
            // Every pixel read lies within the line record after its prefix.
            check(static_cast<long long>(p.pixel) * p.bytesPerGroup + p.lineheader <= p.linebytes);
        }
    } catch (const Error&) {
        // A refused input leaves the reader as it was.
        check(reader.params() == before);
    }
    return 0;
}
