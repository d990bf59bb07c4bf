#include "insar/tie_point_matcher.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "insar/interferogram.h"
#include "platform/format.h"
#include "tiles/amplitude_window.h"

namespace tessarin::insar {

namespace {

constexpr double kLowCorrelation = 0.8;

}  // namespace

Vertex parabolaVertex(double l, double c, double r) {
    const double b = (l + r - 2.0 * c) / 2.0;
    if (!(b < 0.0)) return {0.0, c};  // flat or not a maximum: no step
    const double offset = std::clamp((l - r) / (4.0 * b), -0.5, 0.5);
    return {offset, c - offset * offset * b};
}

MatchResult correlateGrid(std::span<const std::uint16_t> master, int M, std::span<const std::uint16_t> slave, int S,
                          bool checking) {
    MatchResult m;
    const int shifts = S - M + 1, half = (S - M) / 2;
    if (M <= 0 || shifts < 3 || master.size() < static_cast<std::size_t>(M) * static_cast<std::size_t>(M) ||
        slave.size() < static_cast<std::size_t>(S) * static_cast<std::size_t>(S)) {
        m.refusal = "the correlation windows do not fit each other";
        return m;
    }
    std::uint64_t aa = 0;
    for (std::size_t k = 0; k < static_cast<std::size_t>(M) * static_cast<std::size_t>(M); ++k) aa += static_cast<std::uint64_t>(master[k]) * master[k];
    std::vector<double> r(static_cast<std::size_t>(shifts) * static_cast<std::size_t>(shifts), 0.0);
    const auto at = [&](int i, int j) -> double& { return r[static_cast<std::size_t>(i) * static_cast<std::size_t>(shifts) + static_cast<std::size_t>(j)]; };
    if (aa > 0) {
        for (int i = 0; i < shifts; ++i)
            for (int j = 0; j < shifts; ++j) {
                // Sums exact in 64 bits: products of 16-bit values over the window.
                std::uint64_t ab = 0, bb = 0;
                for (int k = 0; k < M; ++k) {
                    const std::uint16_t* a = master.data() + k * M;
                    const std::uint16_t* b = slave.data() + (k + i) * S + j;
                    for (int l = 0; l < M; ++l) {
                        ab += static_cast<std::uint64_t>(a[l]) * b[l];
                        bb += static_cast<std::uint64_t>(b[l]) * b[l];
                    }
                }
                at(i, j) = bb == 0 ? 0.0
                                   : static_cast<double>(ab) / std::sqrt(static_cast<double>(bb) * static_cast<double>(aa));
            }
    }
    // The first largest value, row by row.
    for (int i = 0; i < shifts; ++i)
        for (int j = 0; j < shifts; ++j)
            if (at(i, j) > at(m.row, m.column)) {
                m.row = i;
                m.column = j;
            }
    m.correlation = at(m.row, m.column);
    if (!(m.correlation > 0.0)) {
        m.refusal = "no amplitude in the windows: nothing to correlate";
        return m;
    }
    const int i = m.row, j = m.column;
    const bool rowBorder = i == 0 || i == shifts - 1, columnBorder = j == 0 || j == shifts - 1;
    m.borderPeak = rowBorder || columnBorder;
    if (!columnBorder) m.fx = parabolaVertex(at(i, j - 1), at(i, j), at(i, j + 1)).offset;
    if (!rowBorder) {
        const auto rowPeak = [&](int row) {
            return columnBorder ? at(row, j) : parabolaVertex(at(row, j - 1), at(row, j), at(row, j + 1)).peak;
        };
        m.fy = parabolaVertex(rowPeak(i - 1), rowPeak(i), rowPeak(i + 1)).offset;
    }
    m.dx = j - half + m.fx;
    m.dy = i - half + m.fy;
    m.accepted = true;
    if (checking) {
        if (m.correlation < kLowCorrelation) {
            m.accepted = false;
            m.refusal = format("correlation is low ixax=%d,jmax=%d, cor=%.8f", j, i, m.correlation);
        } else if (m.borderPeak) {
            m.accepted = false;
            m.refusal = format("the correlation peak (%d, %d) lies on the border of the +-%d search: the shift may lie "
                               "beyond it",
                               j, i, half);
        }
    }
    return m;
}

MatchResult correlateWindows(std::span<const std::uint16_t> master, std::span<const std::uint16_t> slave, bool checking) {
    return correlateGrid(master, kMasterWindow, slave, kSlaveWindow, checking);
}

std::vector<std::uint16_t> amplitudeWindow(const std::string& tilePath, const tiles::TileGrid& grid, int pixel, int line,
                                           long long x0, long long y0, int width, int height) {
    const auto words = readComplexWindow(tilePath, grid, x0, y0, width, height);
    std::vector<std::uint16_t> out(words.size(), 0);
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c) {
            const long long x = x0 + c, y = y0 + r;
            if (x < 0 || y < 0 || x >= pixel || y >= line) continue;
            const std::size_t i = static_cast<std::size_t>(r) * static_cast<std::size_t>(width) + static_cast<std::size_t>(c);
            out[i] = static_cast<std::uint16_t>(tiles::amplitudeCode(words[i]));
        }
    return out;
}

std::vector<std::uint16_t> sceneAmplitudeWindow(const MatchScene& scene, long long x0, long long y0, int width,
                                                int height) {
    if (scene.kind == tiles::TileKind::Complex)
        return amplitudeWindow(scene.tile, scene.grid, scene.pixel, scene.line, x0, y0, width, height);
    tiles::TileGrid grid = scene.grid;
    grid.pixel = std::min(grid.pixel, scene.pixel);
    grid.line = std::min(grid.line, scene.line);
    return tiles::readAmplitudeWindow(scene.tile, grid, x0, y0, width, height);
}

MatchResult matchAt(const MatchScene& masterScene, const MatchScene& slaveScene, tiles::GlobalPoint master,
                    tiles::GlobalPoint slaveEstimate, bool checking) {
    const auto inside = [](long long from, int size, int limit) {
        return std::max(0LL, std::min<long long>(from + size, limit) - std::max(from, 0LL));
    };
    const long long mx0 = master.x - kScanHalf, my0 = master.y - kScanHalf;
    if (2 * inside(mx0, kMasterWindow, masterScene.pixel) * inside(my0, kMasterWindow, masterScene.line) <
        static_cast<long long>(kMasterWindow) * kMasterWindow) {
        MatchResult m;
        m.refusal = format("the master window around (%d, %d) lies mostly outside the scene", static_cast<int>(master.x),
                           static_cast<int>(master.y));
        return m;
    }
    const auto a = sceneAmplitudeWindow(masterScene, mx0, my0, kMasterWindow, kMasterWindow);
    const auto b = sceneAmplitudeWindow(slaveScene, slaveEstimate.x - 2 * kScanHalf, slaveEstimate.y - 2 * kScanHalf,
                                        kSlaveWindow, kSlaveWindow);
    return correlateWindows(a, b, checking);
}

MatchResult matchAt(const std::string& masterTile, const tiles::TileGrid& masterGrid, int masterPixel, int masterLine,
                    const std::string& slaveTile, const tiles::TileGrid& slaveGrid, int slavePixel, int slaveLine,
                    tiles::GlobalPoint master, tiles::GlobalPoint slaveEstimate, bool checking) {
    return matchAt({masterTile, tiles::TileKind::Complex, masterGrid, masterPixel, masterLine},
                   {slaveTile, tiles::TileKind::Complex, slaveGrid, slavePixel, slaveLine}, master, slaveEstimate,
                   checking);
}

}  // namespace tessarin::insar
