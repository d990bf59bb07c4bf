#pragma once
// CGeoid: the EGM96 undulation the DEM import adds to the tile heights (which
// are above the geoid) so that the sampler gives heights above the ellipsoid.
// It is chosen with its own dialog, loaded once per document, and leaves the
// grid as a byte picture "GeoidDataImg" in the work folder.

#include <cmath>
#include <optional>
#include <string>

#include "dem/geoid_grid.h"

namespace tessarin {
class Ui;
}

namespace tessarin::dem {

inline constexpr const char* kGeoidDialogTitle = "Select Geoid file Name";
inline constexpr const char* kGeoidFilter = "geoid file（WW15MGH.DAC)|*WW15MGH.DAC|all(*.*)|*.*||";
inline constexpr const char* kGeoidSelectionError = "Geoid file selection error.";
inline constexpr const char* kGeoidImageName = "GeoidDataImg";

class CGeoid {
public:
    // The dialog, starting at initialPath (the WW15MGH.DAC of the DEM
    // folder). Keeps the path on OK; empty on cancel.
    std::optional<std::string> chooseFile(Ui& ui, const std::string& initialPath);

    // Reads the grid and writes imagePath ("GeoidDataImg"); an empty
    // imagePath writes no picture. A file that is not exactly a 721 x 1440
    // grid is refused with "Geoid file selection error." and nothing loaded.
    void load(const std::string& path, const std::string& imagePath);

    bool loaded() const { return grid_.has_value(); }
    const std::string& filePath() const { return path_; }
    const GeoidGrid* grid() const { return grid_ ? &*grid_ : nullptr; }

    // N (m) at a latitude and any longitude; 0 before a grid is loaded.
    double undulation(double lat_deg, double lon_deg) const {
        if (!grid_ || !std::isfinite(lat_deg) || !std::isfinite(lon_deg)) return 0.0;
        return grid_->undulation_m(lat_deg, lon_deg);
    }

private:
    std::string path_;
    std::optional<GeoidGrid> grid_;
};

// The byte picture of a grid: int(N + 128) per cell, row-major like the grid.
std::vector<std::uint8_t> geoidImage(const GeoidGrid& grid);

}  // namespace tessarin::dem
