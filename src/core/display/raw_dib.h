#pragma once
// Display slots: a raster file turned into a screen bitmap with the 8-bit
// brightness mapping. `CRAWDib` is the converter of one slot; `DisplaySlots`
// holds the ten slots of a document, the brightness gain table `m_brt` and
// the list of display files the converters wrote.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "imagefiles/top_down_bitmap.h"
#include "platform/raster_file.h"

namespace tessarin {
class Ui;
}

namespace tessarin::display {

inline constexpr int kDisplaySlots = 10;

// The slots the rendering code names: the display set at base 0 (overview,
// main pane, magnifier), a raster shown alone, the alternative raster of the
// main pane, the second display set at base 6. The PNG export renders
// through the second set's magnifier slot.
namespace slot {
inline constexpr int kOverview = 0;
inline constexpr int kMain = 1;
inline constexpr int kMagnifier = 2;
inline constexpr int kAlone = 3;
inline constexpr int kAlternativeMain = 5;
inline constexpr int kSecondOverview = 6;
inline constexpr int kSecondMain = 7;
inline constexpr int kSecondMagnifier = 8;
inline constexpr int kExport = 8;
}  // namespace slot
inline constexpr int kGainColumns = 20;
inline constexpr int kMappingScale = 64;          // a sample at its channel mean shows as 64
inline constexpr std::size_t kMaxDisplayFiles = 200;
inline constexpr std::size_t kHousekeepingThreshold = 50;  // more names than this ...
inline constexpr std::size_t kHousekeepingBatch = 40;      // ... delete the oldest 40
inline constexpr int kPixelsPerMetre = 2834;

// A display slot's bitmap, laid out as a device-independent bitmap: rows
// bottom-up, each padded to a multiple of 4 bytes; 8-bit with a 256-entry
// grey palette or 24-bit (B, G, R). toFileBitmap() turns it top-down.
struct BottomUpBitmap {
    int width = 0;
    int height = 0;
    int bytesPerPixel = 0;  // 1 or 3
    int stride = 0;         // bytes per row
    std::vector<std::uint8_t> rows;                    // height * stride, bottom row first
    std::vector<std::array<std::uint8_t, 4>> palette;  // (B, G, R, 0) entries; empty for 24-bit

    bool empty() const { return width == 0 || height == 0; }
    // Row y counted from the top of the image.
    const std::uint8_t* topRow(int y) const {
        return rows.data() + static_cast<std::size_t>(height - 1 - y) * static_cast<std::size_t>(stride);
    }
    // The 40-byte header that precedes the palette in a bitmap file.
    std::vector<std::uint8_t> infoHeader() const;
};

// Row stride of a bitmap: width x bytes per pixel rounded up to 4 bytes.
inline int bitmapStride(int width, int bytesPerPixel) { return (width * bytesPerPixel + 3) / 4 * 4; }

struct ChannelStatistics {
    std::array<double, 3> mean{};  // `avr`
    std::array<double, 3> deviation{};
};

class CRAWDib {
public:
    // Source description.
    int width = 0;
    int lines = 0;
    int channels = 1;        // 1, 2 or 3
    int bytesPerSample = 1;  // 1 or 2
    int byteOrder = 0;       // 2-byte samples: 0 little-endian, 1 big-endian

    ChannelStatistics stats;
    std::array<double, 3> m_brt{1.0, 1.0, 1.0};
    bool mapFlag = true;         // map 1-byte samples (2-byte samples always are)
    bool statsValid = false;
    bool copyGreenIntoBlue = false;

    BottomUpBitmap bitmap;

    int outputBytesPerPixel() const { return channels == 1 ? 1 : 3; }
    std::size_t sourceLineBytes() const {
        return static_cast<std::size_t>(width) * static_cast<std::size_t>(channels) * static_cast<std::size_t>(bytesPerSample);
    }
    std::uint32_t sample(const std::uint8_t* line, int pixel, int channel) const;

    // Per-channel mean and deviation over every step-th line and pixel;
    // zero samples are summed but not counted. Channel 2 then takes channel
    // 1's values. Each sampled line shows "Statistics calc, line=%d".
    void computeStatistics(const std::vector<std::uint8_t>& raster, int step, Ui& ui);

    // The mapped byte of sample v in channel c.
    std::uint8_t map(std::uint32_t v, int channel) const;

    // Builds the bitmap from a raster held in memory (the rows of the source
    // file). The bitmap's rows are reused when the size stays the same.
    void buildBitmap(const std::vector<std::uint8_t>& raster);
    // Multi-file mode: one 16-bit source per channel (2 or 3), all mapped
    // with channel 0's mean and gain; 3 bytes per pixel.
    std::vector<std::uint8_t> buildBitmapMulti(const std::vector<std::vector<std::uint8_t>>& sources, Ui& ui);

private:
    void prepareBitmap(int bytesPerPixel);
};

struct DisplaySlot {
    CRAWDib dib;
    bool hasBitmap = false;
    bool brightnessReference = false;  // set by the slot's first render
    ChannelStatistics reference;
};

class DisplaySlots {
public:
    DisplaySlots();

    // A slot outside 0..9 throws Error.
    DisplaySlot& slot(int s);
    const DisplaySlot& slot(int s) const;

    // The brightness gain table: row = colour channel, column = display
    // slot; an entry outside the table throws Error.
    double& gain(int channel, int column);
    double gain(int channel, int column) const { return const_cast<DisplaySlots&>(*this).gain(channel, column); }

    // Renders a raster file into a slot with statistics (step 1 for slot 0,
    // 32 otherwise) and the slot's brightness reference. The display file
    // (".b", and ".2b" for 16-bit sources) goes to displayFolder. Returns
    // false, with the message shown and the slot left without a bitmap,
    // when the raster cannot be read.
    bool RenderDisplaySlot(int slot, const RasterFile& raster, const std::string& displayFolder, Ui& ui);
    // The same without statistics and brightness control; 1-byte samples
    // are shown as stored.
    bool RenderDisplaySlotRaw(int slot, const RasterFile& raster, const std::string& displayFolder, Ui& ui);
    // Multi-file mode: one 16-bit raster per channel.
    bool RenderDisplaySlotMulti(int slot, const std::vector<std::string>& rasterPaths, int width, int lines,
                                const std::string& displayFolder, Ui& ui);

    // Clears a slot's brightness reference (the PNG export's request).
    void resetBrightnessReference(int s) { slot(s).brightnessReference = false; }

    const std::vector<std::string>& displayFiles() const { return displayFiles_; }
    // After a key action: with more than 50 names, delete the first 40 files
    // and drop their names.
    void housekeeping();

private:
    bool render(int slot, const RasterFile& raster, const std::string& displayFolder, Ui& ui, bool withStatistics);
    void addDisplayFile(const std::string& path);

    std::array<DisplaySlot, kDisplaySlots> slots_;
    std::array<std::array<double, kGainColumns>, 3> gains_;
    std::vector<std::string> displayFiles_;
    std::vector<std::uint8_t> raster_;  // the raster being rendered, reused
};

}  // namespace tessarin::display

namespace tessarin::display {

// The bitmap as red, green, blue, alpha rows, top row first, fully opaque.
std::vector<std::uint8_t> opaqueRgba(const BottomUpBitmap& bitmap);

// The slot bitmap as the image files' bitmap (rows top first).
tessarin::TopDownBitmap toFileBitmap(const BottomUpBitmap& bitmap);

}  // namespace tessarin::display
