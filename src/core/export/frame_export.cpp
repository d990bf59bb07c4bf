#include "export/frame_export.h"

#include <filesystem>
#include <new>

#include "platform/error.h"
#include "platform/error_boundary.h"
#include "platform/format.h"
#include "platform/text.h"
#include "platform/ui.h"

namespace tessarin::geoexport {

int ExportRun::written() const {
    int n = 0;
    for (const FrameOutcome& f : frames) n += f.written() ? 1 : 0;
    return n;
}

int ExportRun::failed() const { return static_cast<int>(frames.size()) - written(); }

std::vector<OverlayImage> ExportRun::writtenImages() const {
    std::vector<OverlayImage> images;
    for (const FrameOutcome& f : frames)
        if (f.written()) images.push_back({f.pngPath, f.box});
    return images;
}

std::string ExportRun::summary(const std::string& completeText, const std::string& folder) const {
    const int total = static_cast<int>(frames.size());
    if (failed() == 0)
        return completeText + format("\n%d frame%s written to %s", total, total == 1 ? "" : "s", folder.c_str());
    std::string text = format("%d of %d frames written to %s; failed:", written(), total, folder.c_str());
    for (const FrameOutcome& f : frames)
        if (!f.written()) text += format("\nkx=%d, ky=%d: %s", f.index.kx, f.index.ky, f.failure.c_str());
    return text;
}

void createFolder(const std::string& folder) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) throw Error(format("cannot create the folder \"%s\": %s", folder.c_str(), ec.message().c_str()));
    if (!fs::is_directory(folder, ec))
        throw Error(format("cannot create the folder \"%s\": a file of that name is in the way", folder.c_str()));
}

ExportRun exportFrames(const std::vector<FrameIndex>& frames, const ExportTarget& target,
                       const FrameConverter& convert, ExportBrightness brightness, Ui& ui) {
    createFolder(target.folder);
    ExportRun run;
    long long done = 0;
    for (const FrameIndex& index : frames) {
        ui.status(format("kx=%d, ky=%d start ortho", index.kx, index.ky));
        FrameOutcome outcome;
        outcome.index = index;
        const std::string name = frameName(target.label, index);
        outcome.pngPath = joinPath(target.folder, name + ".png");
        outcome.kmlPath = joinPath(target.folder, name + ".kml");
        std::string failure;
        try {
            const GroundFrame frame = convert(index);
            const FramePixels pixels = frame.pixels();
            BrightnessReference local;
            BrightnessReference& reference = brightness.reference ? *brightness.reference : local;
            const display::ChannelStatistics stats = reference.take(pixels);
            writeFramePng(outcome.pngPath, pixels, stats, brightness.gains);
            outcome.box = frame.gridBox;
            writeGroundOverlay(outcome.pngPath, true, frame.gridBox);
            if (frame.writeLayers) frame.writeLayers(target.folder, name, stats, brightness.gains);
        } catch (...) {
            failure = failureText(std::current_exception(), format("exporting kx=%d, ky=%d", index.kx, index.ky));
        }
        if (failure.empty()) {
            ui.status("Ortho Image Path:" + outcome.pngPath);
            ui.status(format("kx=%d, ky=%d complete ortho", index.kx, index.ky));
        } else {
            outcome.failure = failure;
            ui.status(format("kx=%d, ky=%d failed: %s", index.kx, index.ky, failure.c_str()));
        }
        run.frames.push_back(std::move(outcome));
        ui.progress(++done, static_cast<long long>(frames.size()));
    }
    return run;
}

}  // namespace tessarin::geoexport
