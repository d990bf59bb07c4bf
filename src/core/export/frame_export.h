#pragma once
// The frame export: each frame is converted to the ground grid, saved as a
// PNG with its alpha plane as transparency, and draped with a ground-overlay
// KML whose LatLonBox is the grid box of that PNG. A frame that fails is
// named with its reason and the run goes on; the run reports how many
// frames it wrote and which failed, and never calls failed work complete.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "export/export_plan.h"
#include "export/frame_png.h"
#include "export/kml_writer.h"

namespace tessarin {
class Ui;
}

namespace tessarin::geoexport {

// One frame on the north-up latitude/longitude grid: rows x columns of dphi
// degrees from (west, north), three 16-bit channels and an alpha plane.
struct GroundFrame {
    int width = 0;   // columns
    int height = 0;  // rows
    double dphi = 0.0;
    LatLonBox gridBox;  // north, north - rows dphi, west + columns dphi, west
    std::vector<std::uint16_t> rgb;
    std::vector<std::uint8_t> alpha;

    // Further files of the frame (an interferometric pair's layers), written
    // after its PNG and KML with the folder, the frame name and the
    // brightness mapping the PNG was written with; throwing fails the frame.
    std::function<void(const std::string& folder, const std::string& name, const display::ChannelStatistics& stats,
                       const std::array<double, 3>& gains)>
        writeLayers;

    FramePixels pixels() const { return {width, height, rgb, alpha}; }
};

// Converts one frame; throws Error with the reason when it cannot.
using FrameConverter = std::function<GroundFrame(FrameIndex)>;

struct FrameOutcome {
    FrameIndex index;
    std::string pngPath;
    std::string kmlPath;
    LatLonBox box;
    std::string failure;  // empty: written
    bool written() const { return failure.empty(); }
};

struct ExportRun {
    std::vector<FrameOutcome> frames;
    int written() const;
    int failed() const;
    // The frames as the block KML lists them: the written ones only.
    std::vector<OverlayImage> writtenImages() const;
    // "N frames written to FOLDER" after completeText when every frame was
    // written; else "N of M frames written to FOLDER" and the failed frames
    // with their reasons, without completeText.
    std::string summary(const std::string& completeText, const std::string& folder) const;
};

struct ExportTarget {
    std::string folder;  // the KML folder (created when missing)
    std::string label;   // the frame names' prefix
};

// The brightness mapping of a run: the reference (fixed by the first frame
// with data and kept between runs) and the gains of the export slot.
struct ExportBrightness {
    BrightnessReference* reference = nullptr;
    std::array<double, 3> gains{1.0, 1.0, 1.0};
};

// Creates the folder (with its parents); throws Error naming it when it
// cannot be created or is not a folder.
void createFolder(const std::string& folder);

// Exports the frames in order. Status texts "kx=%d, ky=%d start ortho" and
// "kx=%d, ky=%d complete ortho" (or "... failed") frame by frame.
ExportRun exportFrames(const std::vector<FrameIndex>& frames, const ExportTarget& target,
                       const FrameConverter& convert, ExportBrightness brightness, Ui& ui);

}  // namespace tessarin::geoexport
