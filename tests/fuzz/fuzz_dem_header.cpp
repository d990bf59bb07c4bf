// An SRTM-1 tile's ESRI ".hdr" over arbitrary bytes, beside a tile of the
// 1201-sample size: the tile is read or refused with an Error, never a
// crash, and a tile that is read has the size its file holds.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "dem/dem_import.h"
#include "platform/error.h"

namespace {

const std::string& folder() {
    static const std::string f = [] {
        const auto dir = std::filesystem::temp_directory_path() / ("tessarin-fuzz-dem-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        std::ofstream(dir / "n35_e139_1arc_v3.bil", std::ios::binary) << std::string(1201u * 1201u * 2u, '\x01');
        return dir.string();
    }();
    return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string dir = folder();
    std::ofstream(dir + "/n35_e139_1arc_v3.hdr", std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    try {
        const tessarin::dem::DemTile t =
            tessarin::dem::readTileFile(dir + "/n35_e139_1arc_v3.bil", tessarin::dem::DemSource::Srtm1, 35, 139);
        if (t.samples() != 1201 || t.heights_m.size() != 1201u * 1201u) __builtin_trap();
    } catch (const tessarin::Error&) {
    }
    return 0;
}
