#include "tiles/amplitude_window.h"

#include <algorithm>
#include <cstring>

namespace tessarin::tiles {

std::vector<std::uint16_t> readAmplitudeWindow(File& file, const TileGrid& grid, long long x0, long long y0, int width,
                                               int height) {
    std::vector<std::uint16_t> out;
    readAmplitudeWindowInto(file, grid, x0, y0, width, height, out);
    return out;
}

void readAmplitudeWindowInto(File& file, const TileGrid& grid, long long x0, long long y0, int width, int height,
                             std::vector<std::uint16_t>& out) {
    out.assign(static_cast<std::size_t>(std::max(width, 0)) * static_cast<std::size_t>(std::max(height, 0)), 0);
    if (width <= 0 || height <= 0 || grid.tpix <= 0 || grid.tlin <= 0) return;
    const std::uint64_t fileSize = file.size();
    // The scene, not the padded grid: the padding of the last tiles is no data.
    const long long xFirst = std::max(x0, 0LL), xEnd = std::min(x0 + width, static_cast<long long>(grid.pixel));
    const long long yFirst = std::max(y0, 0LL), yEnd = std::min(y0 + height, static_cast<long long>(grid.line));
    if (xFirst >= xEnd || yFirst >= yEnd) return;
    // Tile by tile: the lines of a tile the window covers are one piece of
    // the tile file, read at once, and the window's columns taken from them.
    const long long tpix = grid.tpix, tlin = grid.tlin;
    std::vector<std::uint8_t> bytes;
    for (long long ky = yFirst / tlin; ky * tlin < yEnd; ++ky) {
        const long long lineFirst = std::max(yFirst, ky * tlin), lineEnd = std::min(yEnd, (ky + 1) * tlin);
        for (long long kx = xFirst / tpix; kx * tpix < xEnd; ++kx) {
            const long long colFirst = std::max(xFirst, kx * tpix), colEnd = std::min(xEnd, (kx + 1) * tpix);
            const std::uint64_t at = grid.tileLineOffset(kx, ky, lineFirst - ky * tlin, TileKind::Amplitude);
            const std::uint64_t wanted = static_cast<std::uint64_t>(lineEnd - lineFirst) * static_cast<std::uint64_t>(tpix) * 2;
            // A file cut short reads as zeros past its end.
            const std::uint64_t available = at < fileSize ? std::min(wanted, fileSize - at) : 0;
            bytes.resize(static_cast<std::size_t>(wanted));
            std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(available), bytes.end(), 0);
            if (available > 0) file.readAt(at, std::span(bytes.data(), static_cast<std::size_t>(available)));
            for (long long y = lineFirst; y < lineEnd; ++y) {
                const std::uint8_t* in = bytes.data() + static_cast<std::size_t>((y - lineFirst) * tpix + (colFirst - kx * tpix)) * 2;
                std::uint16_t* o = out.data() + static_cast<std::size_t>(y - y0) * static_cast<std::size_t>(width) +
                                   static_cast<std::size_t>(colFirst - x0);
                const std::size_t n = static_cast<std::size_t>(colEnd - colFirst);
                for (std::size_t i = 0; i < n; ++i) o[i] = static_cast<std::uint16_t>(in[2 * i] | in[2 * i + 1] << 8);
            }
        }
    }
}

std::vector<std::uint16_t> readAmplitudeWindow(const std::string& tilePath, const TileGrid& grid, long long x0,
                                               long long y0, int width, int height) {
    File file(tilePath, File::Mode::Read);
    return readAmplitudeWindow(file, grid, x0, y0, width, height);
}

}  // namespace tessarin::tiles
