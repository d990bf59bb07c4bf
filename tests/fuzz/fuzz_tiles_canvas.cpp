// A tile file from arbitrary bytes (held in a memfd) under a grid the input
// chooses: every tile read, both canvas mergers around a chosen ctrorigin,
// and the canvas shown in display slot 1 and the quick-look in slot 0.
// A tile file of any size, shorter or longer than its grid, reads without
// going out of bounds, and the canvas keeps its size.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "display/raw_dib.h"
#include "platform/error.h"
#include "support/fuzz_scratch.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/raster_file.h"
#include "platform/ui.h"
#include "tiles/canvas.h"
#include "tiles/tile_store.h"
#include "tiles/tiling.h"

namespace {

std::string scratchFolder() { return tessarin::testing::fuzzScratchFolder(); }

int memoryFile(const std::uint8_t* data, std::size_t size) {
    const int fd = ::memfd_create("tiles", MFD_CLOEXEC);
    if (fd < 0) return -1;
    if (size && ::write(fd, data, size) != static_cast<ssize_t>(size)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 8) return 0;
    using namespace tessarin;
    using namespace tessarin::tiles;
    // Header bytes: scene size (up to 255 x 255 in units of 8), tile size,
    // ctrorigin; the rest is the tile file.
    const int pixel = 1 + data[0] * 8, line = 1 + data[1] * 8;
    const int tpix = 16 << (data[2] & 3), tlin = 16 << ((data[2] >> 2) & 3);
    const GlobalPoint ctr{static_cast<long long>(static_cast<std::int16_t>(data[3] | data[4] << 8)) * 4,
                          static_cast<long long>(static_cast<std::int16_t>(data[5] | data[6] << 8)) * 4};
    const bool complex = (data[7] & 1) != 0;
    const int fd = memoryFile(data + 8, size - 8);
    if (fd < 0) return 0;
    const std::string tilePath = format("/proc/self/fd/%d", fd);
    const TileKind kind = complex ? TileKind::Complex : TileKind::Amplitude;
    ScriptedUi ui;
    try {
        const TileGrid grid = TileGrid::make(pixel, line, tpix, tlin);
        File file(tilePath, File::Mode::Read);
        std::vector<std::uint8_t> tile(grid.tileBytes(kind));
        for (int ky = -1; ky <= grid.nty; ++ky)
            for (int kx = -1; kx <= grid.ntx; ++kx) readTile(file, grid, kx, ky, kind, tile);

        Canvas canvas(tpix, tlin);
        const std::string canvasPath = scratchFolder() + "/c.cut";
        if (complex)
            mergeComplex(ctr, grid, tilePath, canvasPath, canvas);
        else
            mergeAmplitude(ctr, grid, tilePath, canvasPath, canvas);
        if (canvas.values().size() != static_cast<std::size_t>(canvas.width()) * static_cast<std::size_t>(canvas.height()))
            __builtin_trap();

        display::DisplaySlots slots;
        slots.RenderDisplaySlot(1, {canvasPath, canvas.width(), canvas.height(), 1, 2}, scratchFolder(), ui);
        // The tile file's bytes as a quick-look of whatever size they are.
        slots.RenderDisplaySlot(0, {tilePath, static_cast<int>(kQuickLookSize), static_cast<int>(kQuickLookSize), 1, 1},
                                scratchFolder(), ui);
    } catch (const Error&) {
    }
    ::close(fd);
    return 0;
}
