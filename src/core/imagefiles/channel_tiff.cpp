#include "imagefiles/channel_tiff.h"

#include "imagefiles/tif_gen.h"
#include "platform/error.h"
#include "platform/format.h"

namespace tessarin {

namespace {

constexpr int kBits48 = 48;
constexpr std::size_t kOutChannels = 3;

}  // namespace

void writeChannelTiff48(const std::string& path, int width, int lines, int channels,
                        std::span<const std::uint16_t> samples) {
    if (channels != 1 && channels != 3)
        throw Error(format("\"%s\": %d channels cannot be saved as a three-channel TIFF", path.c_str(), channels));
    if (width < 1 || lines < 1)
        throw Error(format("\"%s\": a TIFF of %d x %d pixels cannot be written", path.c_str(), width, lines));
    const auto w = static_cast<std::size_t>(width);
    const auto c = static_cast<std::size_t>(channels);
    const std::size_t needed = w * static_cast<std::size_t>(lines) * c;
    if (samples.size() < needed)
        throw Error(format("\"%s\": %zu samples are fewer than the %zu of %d x %d pixels of %d channels", path.c_str(),
                           samples.size(), needed, width, lines, channels));
    CTIFGen gen;
    writeTiffFile(path, gen, TiffKind::Plain, width, lines, kBits48, [&](int line, std::span<std::uint8_t> row) {
        const std::uint16_t* src = samples.data() + static_cast<std::size_t>(line) * w * c;
        for (std::size_t x = 0; x < w; ++x) {
            for (std::size_t k = 0; k < kOutChannels; ++k) {
                const std::uint16_t v = src[x * c + (c == 1 ? 0 : k)];
                std::uint8_t* out = row.data() + (x * kOutChannels + k) * 2;
                out[0] = static_cast<std::uint8_t>(v & 0xFFu);
                out[1] = static_cast<std::uint8_t>(v >> 8);
            }
        }
    });
}

}  // namespace tessarin
