#include "export/export_plan.h"

#include <algorithm>

#include "platform/arithmetic.h"
#include "platform/format.h"
#include "platform/text.h"

namespace tessarin::geoexport {

std::string frameName(const std::string& label, FrameIndex f) { return label + format("x%d_y%d", f.kx, f.ky); }

std::string sceneName(const tiles::TileSetNames& names) {
    const std::string& image = names.imageName;
    if (!image.empty()) {
        if (image.size() > 7 && startsWith(image, "IMG-") && image[6] == '-') return image.substr(7);
        return image;
    }
    std::string tile = splitPath(names.tile).name;
    for (const char* suffix : {"tile.cpx", "tile"})
        if (endsWith(tile, suffix) && tile.size() > std::string_view(suffix).size()) {
            tile.resize(tile.size() - std::string_view(suffix).size());
            break;
        }
    return tile.empty() ? std::string("scene") : tile;
}

std::string kmlFolder(const tiles::TileSetNames& names) {
    return joinPath(joinPath(names.folder, kKmlFolderName), sceneName(names));
}

int lastBlockId(int ny) { return std::max(0, (ny + 1) / 2 - 1); }

std::vector<FrameIndex> stripeFrames(int nx, int ny, int block) {
    std::vector<FrameIndex> frames;
    const int ky = std::max(0, std::min(2 * block, ny - 2));
    for (int j = 0; j < std::max(nx, 1); j += 2) frames.push_back({std::max(0, std::min(j, nx - 2)), ky});
    return frames;
}

int maxFrameIndex(int n) { return n < 1 ? 0 : (n - 1) / 2 * 2; }

std::optional<TileRange> checkedRange(long long kxs, long long kxe, long long kys, long long kye,
                                      const tiles::TileGrid& grid, std::string* why) {
    const auto say = [why](std::string text) {
        if (why) *why = std::move(text);
        return std::nullopt;
    };
    if (kxs > kxe) return say(format("kxs=%lld lies past kxe=%lld: nothing to export", kxs, kxe));
    if (kys > kye) return say(format("kys=%lld lies past kye=%lld: nothing to export", kys, kye));
    const auto bound = [](long long v, int max) {
        const long long even = floorDiv(v, 2LL) * 2;
        return static_cast<int>(std::clamp<long long>(even, 0, max));
    };
    const int mx = maxFrameIndex(grid.ntx), my = maxFrameIndex(grid.nty);
    return TileRange{bound(kxs, mx), bound(kxe, mx), bound(kys, my), bound(kye, my)};
}

std::vector<FrameIndex> rangeFrames(const TileRange& r) {
    std::vector<FrameIndex> frames;
    for (int ky = r.kys; ky <= r.kye; ky += 2)
        for (int kx = r.kxs; kx <= r.kxe; kx += 2) frames.push_back({kx, ky});
    return frames;
}

}  // namespace tessarin::geoexport
