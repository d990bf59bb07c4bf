#include "export/frame_png.h"

#include <algorithm>
#include <cmath>
#include <thread>

#include "imagefiles/png_parallel.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"

namespace tessarin::geoexport {

namespace {

void checkFrame(const FramePixels& f) {
    const std::size_t n = static_cast<std::size_t>(std::max(f.width, 0)) * static_cast<std::size_t>(std::max(f.height, 0));
    if (f.width < 1 || f.height < 1 || f.rgb.size() < 3 * n || f.alpha.size() < n)
        throw Error(format("an ortho frame of %d x %d pixels holds %zu samples and %zu alpha values", f.width,
                           f.height, f.rgb.size(), f.alpha.size()));
}

}  // namespace

display::ChannelStatistics frameStatistics(const FramePixels& frame, int step) {
    checkFrame(frame);
    step = std::max(step, 1);
    std::array<double, 3> sum{}, sum2{};
    std::array<long long, 3> count{};
    for (int y = 0; y < frame.height; y += step) {
        for (int x = 0; x < frame.width; x += step) {
            const std::size_t k = static_cast<std::size_t>(y) * static_cast<std::size_t>(frame.width) + static_cast<std::size_t>(x);
            if (frame.alpha[k] == 0) continue;
            for (std::size_t c = 0; c < 3; ++c) {
                const double v = frame.rgb[3 * k + c];
                if (v <= 0) continue;
                sum[c] += v;
                sum2[c] += v * v;
                ++count[c];
            }
        }
    }
    display::ChannelStatistics s;
    for (std::size_t c = 0; c < 3; ++c) {
        if (count[c] == 0) continue;
        const double n = static_cast<double>(count[c]);
        s.mean[c] = sum[c] / n;
        s.deviation[c] = std::sqrt(std::max(0.0, sum2[c] / n - s.mean[c] * s.mean[c]));
    }
    s.mean[2] = s.mean[1];
    s.deviation[2] = s.deviation[1];
    return s;
}

const display::ChannelStatistics& BrightnessReference::take(const FramePixels& frame) {
    if (!valid) {
        stats = frameStatistics(frame);
        // A frame without data fixes nothing: a zero reference would map
        // every later frame black.
        valid = stats.mean[0] > 0.0 || stats.mean[1] > 0.0;
    }
    return stats;
}

std::vector<std::uint8_t> frameRgba(const FramePixels& frame, const display::ChannelStatistics& stats,
                                    const std::array<double, 3>& gains, int threads) {
    checkFrame(frame);
    // The display's own mapping, tabulated once per channel.
    display::CRAWDib dib;
    dib.stats = stats;
    dib.m_brt = gains;
    std::vector<std::uint8_t> table(3 * 65536);
    for (int c = 0; c < 3; ++c)
        for (std::uint32_t v = 0; v < 65536; ++v) table[static_cast<std::size_t>(c) * 65536 + v] = dib.map(v, c);

    const std::size_t w = static_cast<std::size_t>(frame.width);
    std::vector<std::uint8_t> rgba(w * static_cast<std::size_t>(frame.height) * 4);
    const auto band = [&](int first, int last) {
        for (int y = first; y < last; ++y) {
            const std::size_t row = static_cast<std::size_t>(y) * w;
            const std::uint16_t* src = frame.rgb.data() + 3 * row;
            const std::uint8_t* a = frame.alpha.data() + row;
            std::uint8_t* dst = rgba.data() + 4 * row;
            for (std::size_t x = 0; x < w; ++x) {
                if (a[x] == 0) {
                    dst[4 * x] = dst[4 * x + 1] = dst[4 * x + 2] = dst[4 * x + 3] = 0;
                    continue;
                }
                dst[4 * x] = table[src[3 * x]];
                dst[4 * x + 1] = table[65536 + src[3 * x + 1]];
                dst[4 * x + 2] = table[2 * 65536 + src[3 * x + 2]];
                dst[4 * x + 3] = 255;
            }
        }
    };
    threads = std::clamp(threads, 1, std::max(1, frame.height / 64));
    std::vector<std::thread> workers;
    for (int t = 1; t < threads; ++t) {
        const int first = static_cast<int>(static_cast<long long>(frame.height) * t / threads);
        const int last = static_cast<int>(static_cast<long long>(frame.height) * (t + 1) / threads);
        workers.emplace_back(band, first, last);
    }
    band(0, static_cast<int>(static_cast<long long>(frame.height) / threads));
    for (auto& worker : workers) worker.join();
    return rgba;
}

void writeFramePng(const std::string& pngPath, const FramePixels& frame, const display::ChannelStatistics& stats,
                   const std::array<double, 3>& gains) {
    const std::vector<std::uint8_t> rgba = frameRgba(frame, stats, gains);
    const std::vector<std::uint8_t> png = encodePngRgbaParallel(frame.width, frame.height, rgba);
    try {
        writeWholeFile(pngPath, png);
    } catch (const Error& e) {
        throw Error(format("cannot write \"%s\": %s", pngPath.c_str(), e.what()));
    }
}

}  // namespace tessarin::geoexport
