#pragma once
// 16-bit samples of one or three channels saved as a 48-bit three-channel
// plain TIFF (uncompressed, one strip per line, little-endian), the form in
// which a working tile leaves Tessarin for other tools.

#include <cstdint>
#include <span>
#include <string>

namespace tessarin {

// Writes width x lines pixels of `channels` interleaved samples (1 or 3,
// row after row, top row first) through CTIFGen's plain writer. A single
// channel goes into all three, so a grey image stays grey in any reader
// while every band keeps its full 16-bit values. Throws Error for a
// channel count other than 1 or 3, for fewer samples than the size needs,
// and for write failures (the file is then not replaced).
void writeChannelTiff48(const std::string& path, int width, int lines, int channels,
                        std::span<const std::uint16_t> samples);

}  // namespace tessarin
