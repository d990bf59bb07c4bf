#include "dem/geoid.h"

#include "platform/error.h"
#include "platform/file.h"
#include "platform/ui.h"

namespace tessarin::dem {

std::optional<std::string> CGeoid::chooseFile(Ui& ui, const std::string& initialPath) {
    auto chosen = ui.openFile({kGeoidDialogTitle, kGeoidFilter, initialPath});
    if (chosen) path_ = *chosen;
    return chosen;
}

void CGeoid::load(const std::string& path, const std::string& imagePath) {
    std::optional<GeoidGrid> grid;
    try {
        grid.emplace(readDacGeoid(path));
    } catch (const Error&) {
        // A short or foreign file would leave parts of the grid undefined:
        // the import stops here rather than add a wrong undulation.
        throw Error(kGeoidSelectionError);
    }
    if (!imagePath.empty()) writeWholeFile(imagePath, geoidImage(*grid));
    path_ = path;
    grid_ = std::move(grid);
}

std::vector<std::uint8_t> geoidImage(const GeoidGrid& grid) {
    const auto& cm = grid.values();
    std::vector<std::uint8_t> bytes(cm.size());
    for (std::size_t k = 0; k < cm.size(); ++k) {
        // Truncation toward zero of N + 128, as the picture has always been.
        const int v = static_cast<int>(static_cast<float>(cm[k]) / 100.0f + 128.0f);
        bytes[k] = static_cast<std::uint8_t>(v);
    }
    return bytes;
}

}  // namespace tessarin::dem
