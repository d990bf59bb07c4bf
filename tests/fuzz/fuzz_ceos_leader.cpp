// CEOS leader and image file descriptor decoding from arbitrary bytes.
//
// The first byte chooses what the rest is:
//   bits 0-1  0: a whole leader file   1: a whole image file descriptor
//             2: patches over a valid leader   3: patches over a valid descriptor
//   bit 2     the product level of the name (0: level 1.1, 1: level 1.5)
// A patch is a 3-byte big-endian offset (taken modulo the size), a length
// byte and that many bytes; a first patch byte of 0xFF instead cuts the
// bytes at the offset that follows. Patching a valid product reaches the
// field decoders far more often than random whole files do.

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "platform/error.h"
#include "products/alos2.h"
#include "products/ceos_writer.h"
#include "support/product_fixture.h"

using namespace tessarin;
using namespace tessarin::products;

namespace {

// A valid product of the shared fixture at a real product's size.
ProductSpec validProduct(int level) {
    return testing::plausibleProduct("", {.level = level, .pixels = 10000, .lines = 30000});
}

// The valid files are built once and patched in place; every patch is undone
// after the run, so no run pays for copying a 1.6 MB leader.
std::vector<std::uint8_t>& templateLeader(int level) {
    static std::vector<std::uint8_t> l11 = encodeLeader(validProduct(kLevel11));
    static std::vector<std::uint8_t> l15 = encodeLeader(validProduct(kLevel15));
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

    Alos2 reader;
    reader.setImagePath(level == kLevel11 ? "IMG-HH-ALOS2011502960-140724-UBSR1.1__A"
                                          : "IMG-HH-ALOS2011502960-140724-UBSR1.5__D");
    const SceneParameters before = reader.params();
    try {
        if (leader) {
            if ((mode & 3) == 0)
                reader.DecodeLeaderBytes(rest, "fuzz");
            else
                reader.DecodeLeaderBytes(Patched(templateLeader(level), rest).bytes(), "fuzz");
            const SceneParameters& p = reader.params();
            check(p.orbitPointCount >= 5 && p.orbitPointCount <= static_cast<int>(kMaxStateVectors));
            check(p.orbitWindow[2].t == p.orbitRefTime);
        } else {
            if ((mode & 3) == 1)
                reader.DecodeImageFileDescriptorBytes(rest, "fuzz");
            else
                reader.DecodeImageFileDescriptorBytes(Patched(templateDescriptor(), rest).bytes(), "fuzz");
            const SceneParameters& p = reader.params();
            check(p.bytesPerGroup > 0 && p.pixel >= 0 && p.line >= 0);
            check(static_cast<long long>(p.lineheader) + p.sarDataBytes <= p.linebytes);
            check(static_cast<long long>(p.pixel) * p.bytesPerGroup <= p.sarDataBytes);
        }
    } catch (const Error&) {
        // A refused input leaves the reader as it was.
        check(reader.params() == before);
    }
    return 0;
}
