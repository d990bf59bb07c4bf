#include "display/raw_dib.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#include "platform/bytes.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/text.h"
#include "platform/ui.h"

namespace tessarin::display {

namespace {

constexpr int kOverviewStep = 1;
constexpr int kCanvasStep = 32;
constexpr std::uint64_t kMaxRasterBytes = 1ull << 32;

// Mapped bytes of every 16-bit value of one channel: the mapping of a 2048 x
// 2048 canvas is then a table look-up per sample.
std::vector<std::uint8_t> mappingTable(const CRAWDib& dib, int channel) {
    std::vector<std::uint8_t> table(65536);
    for (std::uint32_t v = 0; v < 65536; ++v) table[v] = dib.map(v, channel);
    return table;
}

}  // namespace

std::vector<std::uint8_t> BottomUpBitmap::infoHeader() const {
    std::vector<std::uint8_t> h(40, 0);
    const auto le32 = [&](std::size_t at, std::int32_t v) { store<std::int32_t>(h, at, v, ByteOrder::Little); };
    le32(0, 40);
    le32(4, width);
    le32(8, height);  // positive: rows bottom-up
    store<std::uint16_t>(h, 12, 1, ByteOrder::Little);
    store<std::uint16_t>(h, 14, static_cast<std::uint16_t>(8 * bytesPerPixel), ByteOrder::Little);
    // compression 0, image size 0
    le32(24, kPixelsPerMetre);
    le32(28, kPixelsPerMetre);
    // colours used 0, colours important 0
    return h;
}

std::uint32_t CRAWDib::sample(const std::uint8_t* line, int pixel, int channel) const {
    const std::size_t at = (static_cast<std::size_t>(pixel) * static_cast<std::size_t>(channels) +
                            static_cast<std::size_t>(channel)) * static_cast<std::size_t>(bytesPerSample);
    if (bytesPerSample == 1) return line[at];
    return byteOrder == 0 ? static_cast<std::uint32_t>(line[at] | (line[at + 1] << 8))
                          : static_cast<std::uint32_t>((line[at] << 8) | line[at + 1]);
}

void CRAWDib::computeStatistics(const std::vector<std::uint8_t>& raster, int step, Ui& ui) {
    std::array<double, 3> sum{}, sum2{};
    std::array<long long, 3> count{};
    const std::size_t lineBytes = sourceLineBytes();
    const int used = std::min(channels, 3);
    for (int y = 0; y < lines; y += step) {
        ui.status(format("Statistics calc, line=%d", y));
        const std::uint8_t* line = raster.data() + static_cast<std::size_t>(y) * lineBytes;
        for (int x = 0; x < width; x += step) {
            for (int c = 0; c < used; ++c) {
                const double v = sample(line, x, c);
                sum[static_cast<std::size_t>(c)] += v;
                sum2[static_cast<std::size_t>(c)] += v * v;
                if (v > 0) ++count[static_cast<std::size_t>(c)];
            }
        }
    }
    for (std::size_t c = 0; c < 3; ++c) {
        if (count[c] == 0) {
            stats.mean[c] = 0.0;
            stats.deviation[c] = 0.0;
            continue;
        }
        const double n = static_cast<double>(count[c]);
        stats.mean[c] = sum[c] / n;
        stats.deviation[c] = std::sqrt(std::max(0.0, sum2[c] / n - stats.mean[c] * stats.mean[c]));
    }
    // The third channel is always shown with the second channel's brightness.
    stats.mean[2] = stats.mean[1];
    stats.deviation[2] = stats.deviation[1];
    statsValid = true;
    mapFlag = true;
}

std::uint8_t CRAWDib::map(std::uint32_t v, int channel) const {
    const double mean = stats.mean[static_cast<std::size_t>(channel)];
    if (!(mean > 0.0)) return 0;
    const double out = std::trunc(v / mean * kMappingScale * m_brt[static_cast<std::size_t>(channel)]);
    if (!(out > 0.0)) return 0;
    return out > 255.0 ? 255 : static_cast<std::uint8_t>(out);
}

void CRAWDib::prepareBitmap(int bytesPerPixel) {
    bitmap.width = width;
    bitmap.height = lines;
    bitmap.bytesPerPixel = bytesPerPixel;
    bitmap.stride = bitmapStride(width, bytesPerPixel);
    // Reused between renders of the slot: same size, no new allocation.
    bitmap.rows.resize(static_cast<std::size_t>(bitmap.stride) * static_cast<std::size_t>(lines));
    bitmap.palette.clear();
    if (bytesPerPixel == 1) {
        bitmap.palette.resize(256);
        for (int i = 0; i < 256; ++i) {
            const auto g = static_cast<std::uint8_t>(i);
            bitmap.palette[static_cast<std::size_t>(i)] = {g, g, g, 0};
        }
    }
}

void CRAWDib::buildBitmap(const std::vector<std::uint8_t>& raster) {
    const int P = outputBytesPerPixel();
    prepareBitmap(P);
    const int used = std::min(channels, 3);
    std::array<std::vector<std::uint8_t>, 3> tables;
    const bool mapBytes = bytesPerSample == 2 || mapFlag;
    if (bytesPerSample == 2)
        for (int c = 0; c < used; ++c) tables[static_cast<std::size_t>(c)] = mappingTable(*this, c);
    else if (mapFlag)
        for (int c = 0; c < used; ++c) {
            auto& t = tables[static_cast<std::size_t>(c)];
            t.resize(256);
            for (std::uint32_t v = 0; v < 256; ++v) t[v] = map(v, c);
        }

    const std::size_t lineBytes = sourceLineBytes();
    const std::size_t stride = static_cast<std::size_t>(bitmap.stride);
    const std::size_t w = static_cast<std::size_t>(width);
    const std::size_t pixelBytes = static_cast<std::size_t>(P);
    const std::size_t sampleStride = static_cast<std::size_t>(channels) * static_cast<std::size_t>(bytesPerSample);
    for (int k = 0; k < lines; ++k) {
        const int y = lines - 1 - k;  // bottom-up
        const std::uint8_t* line = raster.data() + static_cast<std::size_t>(y) * lineBytes;
        std::uint8_t* out = bitmap.rows.data() + static_cast<std::size_t>(k) * stride;
        if (P == 3 && channels == 2) std::memset(out, 0, w * 3);  // blue stays 0
        for (int c = 0; c < used; ++c) {
            const std::uint8_t* table = tables[static_cast<std::size_t>(c)].data();
            const std::size_t pos = pixelBytes - 1 - static_cast<std::size_t>(c);  // channel 0 last (red)
            const std::uint8_t* in = line + static_cast<std::size_t>(c) * static_cast<std::size_t>(bytesPerSample);
            if (bytesPerSample == 2 && byteOrder == 0) {
                for (std::size_t i = 0; i < w; ++i) {
                    const std::uint8_t* p = in + i * sampleStride;
                    out[i * pixelBytes + pos] = table[p[0] | (p[1] << 8)];
                }
            } else if (bytesPerSample == 2) {
                for (std::size_t i = 0; i < w; ++i) {
                    const std::uint8_t* p = in + i * sampleStride;
                    out[i * pixelBytes + pos] = table[(p[0] << 8) | p[1]];
                }
            } else {
                for (std::size_t i = 0; i < w; ++i) {
                    const std::uint8_t v = in[i * sampleStride];
                    out[i * pixelBytes + pos] = mapBytes ? table[v] : v;
                }
            }
        }
        if (P == 3 && copyGreenIntoBlue)
            for (std::size_t i = 0; i < w; ++i) out[i * 3] = out[i * 3 + 1];
    }
}

std::vector<std::uint8_t> CRAWDib::buildBitmapMulti(const std::vector<std::vector<std::uint8_t>>& sources, Ui& ui) {
    prepareBitmap(3);
    // All three channels use channel 0's mean and gain.
    const std::vector<std::uint8_t> table = mappingTable(*this, 0);
    const std::size_t lineBytes = static_cast<std::size_t>(width) * 2;
    std::vector<std::uint8_t> companion;
    companion.reserve(lineBytes * 3 * static_cast<std::size_t>(lines));
    for (int k = 0; k < lines; ++k) {
        if (k % 64 == 0) ui.status(format("Buffering line %d of %d", k, lines - 1));
        const int y = lines - 1 - k;
        std::uint8_t* out = bitmap.rows.data() + static_cast<std::size_t>(k) * static_cast<std::size_t>(bitmap.stride);
        for (int i = 0; i < width; ++i) {
            std::array<std::uint16_t, 3> v{};
            for (std::size_t c = 0; c < 3 && c < sources.size(); ++c) {
                const std::uint8_t* p = sources[c].data() + static_cast<std::size_t>(y) * lineBytes + 2 * static_cast<std::size_t>(i);
                v[c] = static_cast<std::uint16_t>(p[0] | (p[1] << 8));
            }
            out[static_cast<std::size_t>(i * 3)] = table[v[2]];      // blue: channel 2
            out[static_cast<std::size_t>(i * 3 + 1)] = table[v[1]];  // green: channel 1
            out[static_cast<std::size_t>(i * 3 + 2)] = table[v[0]];  // red: channel 0
            for (std::uint16_t s : v) {
                companion.push_back(static_cast<std::uint8_t>(s & 0xFFu));
                companion.push_back(static_cast<std::uint8_t>(s >> 8));
            }
        }
    }
    ui.status("End of bufferibg");
    return companion;
}

DisplaySlots::DisplaySlots() {
    for (auto& row : gains_) row.fill(1.0);
}

DisplaySlot& DisplaySlots::slot(int s) {
    if (s < 0 || s >= kDisplaySlots) throw Error(format("there is no display slot %d", s));
    return slots_[static_cast<std::size_t>(s)];
}

const DisplaySlot& DisplaySlots::slot(int s) const { return const_cast<DisplaySlots&>(*this).slot(s); }

double& DisplaySlots::gain(int channel, int column) {
    if (channel < 0 || channel >= static_cast<int>(gains_.size()) || column < 0 || column >= kGainColumns)
        throw Error(format("there is no brightness gain for channel %d of column %d", channel, column));
    return gains_[static_cast<std::size_t>(channel)][static_cast<std::size_t>(column)];
}

void DisplaySlots::addDisplayFile(const std::string& path) {
    if (std::find(displayFiles_.begin(), displayFiles_.end(), path) != displayFiles_.end()) return;
    // The list is bounded; housekeeping keeps it well below its capacity.
    if (displayFiles_.size() >= kMaxDisplayFiles) return;
    displayFiles_.push_back(path);
}

void DisplaySlots::housekeeping() {
    if (displayFiles_.size() <= kHousekeepingThreshold) return;
    for (std::size_t k = 0; k < kHousekeepingBatch; ++k) removeFile(displayFiles_[k]);
    displayFiles_.erase(displayFiles_.begin(), displayFiles_.begin() + static_cast<long>(kHousekeepingBatch));
}

namespace {

// Reads a raster of the expected size into data (reused between renders);
// a shorter file reads as zeros past its end. False when the file cannot be
// opened.
bool readRaster(const std::string& path, std::uint64_t bytes, std::vector<std::uint8_t>& data) {
    auto file = File::tryOpen(path, File::Mode::Read);
    if (!file) return false;
    data.resize(static_cast<std::size_t>(bytes));
    const std::size_t got = file->readSome(data);
    if (got < data.size()) std::memset(data.data() + got, 0, data.size() - got);
    return true;
}

}  // namespace

bool DisplaySlots::render(int s, const RasterFile& raster, const std::string& displayFolder, Ui& ui,
                          bool withStatistics) {
    DisplaySlot& slot = this->slot(s);
    const std::string& rasterPath = raster.path;
    const int width = raster.width, lines = raster.lines, channels = raster.channels;
    const int bytesPerSample = raster.bytesPerSample;
    if (width <= 0 || lines <= 0 || channels < 1 || channels > 3 || (bytesPerSample != 1 && bytesPerSample != 2))
        throw Error(format("cannot display a raster of %d x %d with %d channel(s) of %d byte(s)", width, lines, channels,
                           bytesPerSample));
    const std::uint64_t bytes = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(lines) *
                                static_cast<std::uint64_t>(channels) * static_cast<std::uint64_t>(bytesPerSample);
    if (bytes > kMaxRasterBytes) throw Error(format("\"%s\" is too large to display", rasterPath.c_str()));
    if (!readRaster(rasterPath, bytes, raster_)) {
        slot.hasBitmap = false;
        slot.dib.bitmap = BottomUpBitmap();
        ui.message("OnOpenDocument: Cannot open file");
        return false;
    }
    CRAWDib& dib = slot.dib;
    dib.width = width;
    dib.lines = lines;
    dib.channels = channels;
    dib.bytesPerSample = bytesPerSample;
    dib.byteOrder = raster.order == ByteOrder::Big ? 1 : 0;
    if (withStatistics) {
        dib.computeStatistics(raster_, s == display::slot::kOverview ? kOverviewStep : kCanvasStep, ui);
        if (!slot.brightnessReference) {
            // "Do br control": the first render fixes the reference. A render
            // without any data (a canvas beyond the scene) fixes nothing:
            // a zero reference would show every later canvas black.
            slot.reference = dib.stats;
            slot.brightnessReference = dib.stats.mean[0] > 0.0 || dib.stats.mean[1] > 0.0;
        } else {
            dib.stats = slot.reference;  // "Use br control"
        }
        for (int c = 0; c < channels; ++c)
            dib.m_brt[static_cast<std::size_t>(c)] = gain(0, std::min(s + c, kGainColumns - 1));
    } else {
        dib.mapFlag = false;
        // 2-byte samples are always mapped by their channel means. A slot
        // that never had statistics has means of 0, which would show the
        // whole raster black (and export it fully transparent): take this
        // raster's own statistics then, without touching the slot's
        // brightness reference.
        if (bytesPerSample == 2 && !dib.statsValid) {
            dib.computeStatistics(raster_, kCanvasStep, ui);
            dib.mapFlag = false;
            for (int c = 0; c < channels; ++c) dib.m_brt[static_cast<std::size_t>(c)] = 1.0;
        }
    }
    dib.buildBitmap(raster_);
    const std::string base = joinPath(displayFolder, splitPath(rasterPath).name + ".b");
    writeWholeFile(base, dib.bitmap.rows);
    addDisplayFile(base);
    if (bytesPerSample == 2) {
        // The unpacked 16-bit samples, lines in source order.
        writeWholeFile(base + ".2b", raster_);
        addDisplayFile(base + ".2b");
    }
    slot.hasBitmap = true;
    return true;
}

bool DisplaySlots::RenderDisplaySlot(int s, const RasterFile& raster, const std::string& displayFolder, Ui& ui) {
    return render(s, raster, displayFolder, ui, true);
}

bool DisplaySlots::RenderDisplaySlotRaw(int s, const RasterFile& raster, const std::string& displayFolder, Ui& ui) {
    return render(s, raster, displayFolder, ui, false);
}

bool DisplaySlots::RenderDisplaySlotMulti(int s, const std::vector<std::string>& rasterPaths, int width, int lines,
                                          const std::string& displayFolder, Ui& ui) {
    DisplaySlot& slot = this->slot(s);
    if (rasterPaths.size() < 2 || rasterPaths.size() > 3 || width <= 0 || lines <= 0)
        throw Error("multi-file display needs two or three rasters of a positive size");
    const std::uint64_t bytes = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(lines) * 2;
    std::vector<std::vector<std::uint8_t>> sources;
    for (const auto& p : rasterPaths) {
        std::vector<std::uint8_t> r;
        if (!readRaster(p, bytes, r)) {
            slot.hasBitmap = false;
            slot.dib.bitmap = BottomUpBitmap();
            ui.message("OnOpenDocument: Cannot open file");
            return false;
        }
        sources.push_back(std::move(r));
    }
    CRAWDib& dib = slot.dib;
    dib.width = width;
    dib.lines = lines;
    dib.channels = 3;
    dib.bytesPerSample = 2;
    // Statistics of the first file decide the mapping of all channels.
    CRAWDib probe = dib;
    probe.channels = 1;
    probe.computeStatistics(sources[0], kCanvasStep, ui);
    dib.stats = probe.stats;
    if (!slot.brightnessReference) {
        slot.reference = dib.stats;
        slot.brightnessReference = true;
    } else {
        dib.stats = slot.reference;
    }
    dib.m_brt[0] = gain(0, s);
    const std::vector<std::uint8_t> companion = dib.buildBitmapMulti(sources, ui);
    const std::string base = joinPath(displayFolder, splitPath(rasterPaths[0]).name + ".b");
    writeWholeFile(base, dib.bitmap.rows);
    writeWholeFile(base + ".2b", companion);
    addDisplayFile(base);
    addDisplayFile(base + ".2b");
    slot.hasBitmap = true;
    return true;
}

}  // namespace tessarin::display

namespace tessarin::display {

std::vector<std::uint8_t> opaqueRgba(const BottomUpBitmap& b) {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(b.width) * static_cast<std::size_t>(b.height) * 4);
    for (int y = 0; y < b.height; ++y) {
        const std::uint8_t* row = b.topRow(y);
        std::uint8_t* dst = out.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(b.width) * 4;
        for (int x = 0; x < b.width; ++x) {
            std::uint8_t r, g, bl;
            if (b.bytesPerPixel == 1) {
                const auto& e = b.palette.at(row[x]);
                bl = e[0], g = e[1], r = e[2];
            } else {
                bl = row[3 * x], g = row[3 * x + 1], r = row[3 * x + 2];
            }
            dst[4 * x] = r;
            dst[4 * x + 1] = g;
            dst[4 * x + 2] = bl;
            dst[4 * x + 3] = 255;
        }
    }
    return out;
}

}  // namespace tessarin::display

namespace tessarin::display {

tessarin::TopDownBitmap toFileBitmap(const BottomUpBitmap& b) {
    tessarin::TopDownBitmap out = b.bytesPerPixel == 1 ? tessarin::TopDownBitmap::grey8(b.width, b.height)
                                                       : tessarin::TopDownBitmap::bgr24(b.width, b.height);
    const std::size_t rowBytes = static_cast<std::size_t>(b.width) * static_cast<std::size_t>(b.bytesPerPixel);
    for (int y = 0; y < b.height; ++y) std::memcpy(out.row(y).data(), b.topRow(y), rowBytes);
    return out;
}

}  // namespace tessarin::display
