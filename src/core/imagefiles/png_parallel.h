#pragma once
// A fast PNG encoder for large exported pictures: the rows are filtered and
// deflated in contiguous bands, one band per thread, at a fast zlib level,
// and the bands are joined into one zlib stream (each band but the last ends
// on a byte boundary with a sync flush; the Adler-32 checksums are
// combined). Any PNG decoder reads the result; it decodes to exactly the
// pixels given.

#include <cstdint>
#include <span>
#include <vector>

namespace tessarin {

struct PngSpeed {
    int threads = 2;  // bands deflated at once (at most one per 64 rows)
    int level = 3;    // zlib level, 1 fastest .. 9 smallest
};

// Rows of red, green, blue, alpha (width x 4 bytes each, top row first) as
// an 8-bit RGBA PNG. Throws Error for an empty size or too few bytes.
std::vector<std::uint8_t> encodePngRgbaParallel(int width, int height, std::span<const std::uint8_t> rgba,
                                                PngSpeed speed = {});

}  // namespace tessarin
