#include "tiles/amplitude_window.h"

#include <algorithm>
#include <cstring>

namespace tessarin::tiles {

std::vector<std::uint16_t> readAmplitudeWindow(File& file, const TileGrid& grid, long long x0, long long y0, int width,
                                               int height) {
    std::vector<std::uint16_t> out(static_cast<std::size_t>(std::max(width, 0)) * static_cast<std::size_t>(std::max(height, 0)), 0);
    if (width <= 0 || height <= 0 || grid.tpix <= 0 || grid.tlin <= 0) return out;
    const std::uint64_t fileSize = file.size();
    // The scene, not the padded grid: the padding of the last tiles is no data.
    const long long xFirst = std::max(x0, 0LL), xEnd = std::min(x0 + width, static_cast<long long>(grid.pixel));
    const long long yFirst = std::max(y0, 0LL), yEnd = std::min(y0 + height, static_cast<long long>(grid.line));
    if (xFirst >= xEnd || yFirst >= yEnd) return out;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(grid.tpix) * 2);
    for (long long y = yFirst; y < yEnd; ++y) {
        const long long ky = y / grid.tlin, inTile = y % grid.tlin;
        std::uint16_t* row = out.data() + static_cast<std::size_t>(y - y0) * static_cast<std::size_t>(width);
        for (long long x = xFirst; x < xEnd;) {
            const long long kx = x / grid.tpix;
            const long long segmentEnd = std::min(xEnd, (kx + 1) * grid.tpix);
            const std::size_t n = static_cast<std::size_t>(segmentEnd - x);
            const std::uint64_t at = grid.tileLineOffset(kx, ky, inTile, TileKind::Amplitude) +
                                     static_cast<std::uint64_t>(x - kx * grid.tpix) * 2;
            // A file cut short reads as zeros past its end.
            const std::uint64_t available = at < fileSize ? std::min<std::uint64_t>(n * 2, fileSize - at) : 0;
            if (available > 0) {
                file.readAt(at, std::span(bytes.data(), static_cast<std::size_t>(available)));
                std::uint16_t* o = row + (x - x0);
                const std::size_t whole = static_cast<std::size_t>(available) / 2;
                for (std::size_t i = 0; i < whole; ++i)
                    o[i] = static_cast<std::uint16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
            }
            x = segmentEnd;
        }
    }
    return out;
}

std::vector<std::uint16_t> readAmplitudeWindow(const std::string& tilePath, const TileGrid& grid, long long x0,
                                               long long y0, int width, int height) {
    File file(tilePath, File::Mode::Read);
    return readAmplitudeWindow(file, grid, x0, y0, width, height);
}

}  // namespace tessarin::tiles
