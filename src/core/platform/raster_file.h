#pragma once
// A headerless raster on disk as the programs pass it around: where it is,
// its size, how many interleaved channels of how many bytes each, and the
// byte order of its samples.

#include <cstdint>
#include <string>

#include "platform/bytes.h"

namespace tessarin {

struct RasterFile {
    std::string path;
    int width = 0;
    int lines = 0;
    int channels = 1;
    int bytesPerSample = 1;
    ByteOrder order = ByteOrder::Little;

    std::int64_t pixelBytes() const { return static_cast<std::int64_t>(channels) * bytesPerSample; }
    std::int64_t lineBytes() const { return pixelBytes() * width; }
    std::int64_t totalBytes() const { return lineBytes() * lines; }
};

}  // namespace tessarin
