// An image file from arbitrary bytes, held in memory (a memfd, a regular
// file that never touches a disk), through what a conversion does with it:
// the descriptor decode, the lines-held check, the conversion of its level
// into a tile file and quick-look, the line reader, and the tiles read
// back. Whatever the descriptor claims, nothing reads or writes out of
// bounds and the outputs stay bounded.
#include <sys/mman.h>
#include <unistd.h>

#include <complex>
#include <filesystem>
#include <cstddef>
#include <cstdlib>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/error.h"
#include "support/fuzz_scratch.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/ui.h"
#include "products/alos2.h"
#include "tiles/scene_tiling.h"
#include "tiles/tile_store.h"
#include "tiles/tiling.h"

namespace {

std::string scratchFolder() { return tessarin::testing::fuzzScratchFolder(); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // The first byte chooses the level and the tile size; the rest is the file.
    const bool complex = (data[0] & 1) != 0;
    const int tile = 16 << ((data[0] >> 1) & 3);
    const int fd = ::memfd_create("image", MFD_CLOEXEC);
    if (fd < 0) return 0;
    if (::write(fd, data + 1, size - 1) != static_cast<ssize_t>(size - 1)) {
        ::close(fd);
        return 0;
    }
    const std::string image = tessarin::format("/proc/self/fd/%d", fd);
    tessarin::ScriptedUi ui;
    try {
        tessarin::products::Alos2 reader;
        reader.setImagePath(image);
        const std::vector<std::uint8_t> header = tessarin::tiles::imageHeaderBytes(image);
        reader.DecodeImageFileDescriptorBytes(header, "fuzz image");
        tessarin::tiles::ImageLayout layout = tessarin::tiles::imageLayoutOf(image, reader);
        tessarin::tiles::checkLinesHeld(layout, ui);
        // Keep each run short: scenes past a few million samples are only decoded.
        if (static_cast<long long>(layout.pixel) * layout.line > (1LL << 18)) {
            ::close(fd);
            return 0;
        }
        tessarin::tiles::ConversionOptions options;
        options.tpix = options.tlin = tile;
        options.threads = 1 + ((data[0] >> 3) & 1);
        const std::string folder = scratchFolder();
        tessarin::AtomicFile tileOut(folder + "/t");
        tessarin::AtomicFile quickOut(folder + "/q");
        const auto result = complex ? tessarin::tiles::convertComplex(layout, tileOut, quickOut, ui, options)
                                    : tessarin::tiles::convertAmplitude(layout, tileOut, quickOut, ui, options);
        const auto kind = complex ? tessarin::tiles::TileKind::Complex : tessarin::tiles::TileKind::Amplitude;
        // The tile file is the grid's size, however the records lie.
        if (tileOut.file().size() != result.grid.fileBytes(kind)) __builtin_trap();
        // Every line the reader gives has the scene's width.
        if (complex) {
            std::vector<std::complex<float>> line(static_cast<std::size_t>(layout.pixel));
            for (int y : {0, layout.line / 2, layout.line - 1}) reader.readComplexLine(y, line, tessarin::ByteOrder::Big);
        } else {
            std::vector<std::uint16_t> line(static_cast<std::size_t>(layout.pixel));
            for (int y : {0, layout.line / 2, layout.line - 1}) reader.readAmplitudeLine(y, line, tessarin::ByteOrder::Big);
        }
    } catch (const tessarin::Error&) {
    }
    ::close(fd);
    return 0;
}
