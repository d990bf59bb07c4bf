#include "geometry/ortho_matrix.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "platform/error.h"
#include "platform/format.h"
#include "platform/ui.h"

// This file is compiled without floating-point contraction: the bucket search
// and the reference scan must compute every distance to the same bits.

namespace tessarin::geometry {

namespace {

constexpr double kScanStartDistance = 1000000.0;  // the scan keeps nothing farther
constexpr double kCopyDistance = 10.0;            // a corner this close is copied
constexpr double kMinWeightSum = 1.0e-4;
constexpr double kInfinity = std::numeric_limits<double>::infinity();
// Cells per bucket on average; a few keeps both the buckets and the rings small.
constexpr double kCellsPerBucket = 2.0;
// The remaining buckets are skipped only when they are farther than the best
// cell by more than any rounding of the two distances could hide.
constexpr double kBoundRelativeMargin = 1.0e-9;
constexpr double kBoundAbsoluteMargin = 1.0e-9;

double distance(double ax, double ay, double bx, double by) {
    const double dx = ax - bx;
    const double dy = ay - by;
    return std::sqrt(dx * dx + dy * dy);
}

struct Point {
    double x, y;
};

// Centre of the cell of rows r-1, r and columns c, c+1: the mean of its
// corners in the order (r-1, c), (r, c), (r-1, c+1), (r, c+1).
Point cellCentre(const MappingTable& t, int r, int c) {
    const double px = t.pixelAt(r - 1, c) + t.pixelAt(r, c) + t.pixelAt(r - 1, c + 1) + t.pixelAt(r, c + 1);
    const double py = t.lineAt(r - 1, c) + t.lineAt(r, c) + t.lineAt(r - 1, c + 1) + t.lineAt(r, c + 1);
    return {px / 4.0, py / 4.0};
}

bool hasCells(const MappingTable& t) { return t.rows >= 2 && t.columns >= 2; }

// Every cell centre in the scan's order: columns outer, rows inner.
std::vector<Point> cellCentres(const MappingTable& t) {
    std::vector<Point> centres;
    if (!hasCells(t)) return centres;
    centres.reserve(static_cast<std::size_t>(t.columns - 1) * static_cast<std::size_t>(t.rows - 1));
    for (int c = 0; c + 1 < t.columns; ++c)
        for (int r = 1; r < t.rows; ++r) centres.push_back(cellCentre(t, r, c));
    return centres;
}

// Bucket of a coordinate along one side; positions beyond the ends fall in
// the end buckets.
int bucketOf(double v, double origin, double size, int count) {
    return static_cast<int>(std::clamp(std::floor((v - origin) / size), 0.0, count - 1.0));
}

TableCell cellOfScanIndex(const MappingTable& t, int scanIndex) {
    return {scanIndex % (t.rows - 1) + 1, scanIndex / (t.rows - 1)};
}

template <typename NearestCell>
void fillMatrix(const MappingTable& table, OrthoMatrix& matrix, Ui* ui, NearestCell nearest) {
    for (int j = 0; j < matrix.ny; ++j) {
        if (ui) {
            ui->status(format("sat-gnd mapping matrix linparm=%d of %d", j, matrix.ny));
            ui->progress(j + 1, matrix.ny);
        }
        const double y = static_cast<double>(j) * OrthoMatrix::kNodeSpacing;
        for (int i = 0; i < matrix.nx; ++i) {
            const double x = static_cast<double>(i) * OrthoMatrix::kNodeSpacing;
            const TableCell cell = nearest(x, y);
            if (!cell.valid()) continue;  // the node keeps the fallback values
            const NodeValues v = nodeValuesFromCell(table, cell, x, y);
            const std::size_t n = matrix.index(i, j);
            matrix.incidence[n] = v.incidence_deg;
            matrix.pixelSensitivity[n] = v.pixelSensitivity;
            matrix.lineSensitivity[n] = v.lineSensitivity;
        }
    }
    if (ui) ui->status("Ortho matrix complete.");
}

}  // namespace

void OrthoMatrix::reset(int pixels, int lines) {
    auto nodes = [](int extent) {
        const long long reach = static_cast<long long>(extent) + kMargin;
        return reach <= 0 ? 0LL : (reach + kNodeSpacing - 1) / kNodeSpacing;
    };
    const long long across = nodes(pixels);
    const long long down = nodes(lines);
    if (across * down > static_cast<long long>(kMaxNodes))
        throw Error(format("an image of %d x %d pixels is too large for the ortho matrix (%lld x %lld nodes, at most "
                           "%zu)",
                           pixels, lines, across, down, kMaxNodes));
    nx = static_cast<int>(across);
    ny = static_cast<int>(down);
    const auto count = static_cast<std::size_t>(across * down);
    incidence.assign(count, kFallbackIncidence_deg);
    pixelSensitivity.assign(count, 0.0);
    lineSensitivity.assign(count, 0.0);
}

TableCell nearestCellReference(const MappingTable& table, double x, double y) {
    TableCell best;
    if (!hasCells(table)) return best;
    double bestDistance = kScanStartDistance;
    for (int c = 0; c + 1 < table.columns; ++c)
        for (int r = 1; r < table.rows; ++r) {
            const Point centre = cellCentre(table, r, c);
            const double d = distance(centre.x, centre.y, x, y);
            if (d < bestDistance) {
                bestDistance = d;
                best = {r, c};
            }
        }
    return best;
}

CellIndex::CellIndex(const MappingTable& table) {
    if (!hasCells(table)) return;
    cellRows_ = table.rows - 1;
    const std::vector<Point> all = cellCentres(table);

    // Cells whose centre is not a finite position can never be nearest.
    std::vector<Centre> finite;
    finite.reserve(all.size());
    double minX = kInfinity, maxX = -kInfinity, minY = kInfinity, maxY = -kInfinity;
    for (std::size_t k = 0; k < all.size(); ++k) {
        const Point p = all[k];
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) continue;
        finite.push_back({p.x, p.y, static_cast<int>(k)});
        minX = std::min(minX, p.x), maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y), maxY = std::max(maxY, p.y);
    }
    if (finite.empty()) return;

    const double n = static_cast<double>(finite.size());
    const double width = maxX - minX;
    const double height = maxY - minY;
    bucketsX_ = bucketsY_ = 1;
    bucketSize_ = 1.0;
    originX_ = minX, originY_ = minY;
    if (std::isfinite(width) && std::isfinite(height)) {
        // About kCellsPerBucket cells per bucket; never more buckets along
        // one side than cells, so thin layouts stay small too.
        const double size = std::max(std::sqrt(width * height * kCellsPerBucket / n), std::max(width, height) / n);
        if (size > 0.0 && std::isfinite(size)) {
            bucketSize_ = size;
            bucketsX_ = static_cast<int>(std::min(std::floor(width / size), n)) + 1;
            bucketsY_ = static_cast<int>(std::min(std::floor(height / size), n)) + 1;
        }
    }

    auto bucketX = [&](double x) { return bucketOf(x, originX_, bucketSize_, bucketsX_); };
    auto bucketY = [&](double y) { return bucketOf(y, originY_, bucketSize_, bucketsY_); };

    // Counting sort of the centres by bucket.
    const std::size_t bucketCount = static_cast<std::size_t>(bucketsX_) * static_cast<std::size_t>(bucketsY_);
    std::vector<std::size_t> bucketOfCentre(finite.size());
    bucketStart_.assign(bucketCount + 1, 0);
    std::vector<double> columnMinX(static_cast<std::size_t>(bucketsX_), kInfinity);
    std::vector<double> columnMaxX(static_cast<std::size_t>(bucketsX_), -kInfinity);
    std::vector<double> rowMinY(static_cast<std::size_t>(bucketsY_), kInfinity);
    std::vector<double> rowMaxY(static_cast<std::size_t>(bucketsY_), -kInfinity);
    for (std::size_t k = 0; k < finite.size(); ++k) {
        const auto bx = static_cast<std::size_t>(bucketX(finite[k].x));
        const auto by = static_cast<std::size_t>(bucketY(finite[k].y));
        bucketOfCentre[k] = bx + by * static_cast<std::size_t>(bucketsX_);
        ++bucketStart_[bucketOfCentre[k] + 1];
        columnMinX[bx] = std::min(columnMinX[bx], finite[k].x);
        columnMaxX[bx] = std::max(columnMaxX[bx], finite[k].x);
        rowMinY[by] = std::min(rowMinY[by], finite[k].y);
        rowMaxY[by] = std::max(rowMaxY[by], finite[k].y);
    }
    for (std::size_t b = 0; b < bucketCount; ++b) bucketStart_[b + 1] += bucketStart_[b];
    centres_.resize(finite.size());
    std::vector<std::size_t> fill(bucketStart_.begin(), bucketStart_.end() - 1);
    for (std::size_t k = 0; k < finite.size(); ++k) centres_[fill[bucketOfCentre[k]]++] = finite[k];

    auto prefixMax = [](const std::vector<double>& v) {
        std::vector<double> out(v.size());
        double m = -kInfinity;
        for (std::size_t i = 0; i < v.size(); ++i) out[i] = m = std::max(m, v[i]);
        return out;
    };
    auto suffixMin = [](const std::vector<double>& v) {
        std::vector<double> out(v.size());
        double m = kInfinity;
        for (std::size_t i = v.size(); i-- > 0;) out[i] = m = std::min(m, v[i]);
        return out;
    };
    maxXUpTo_ = prefixMax(columnMaxX);
    minXFrom_ = suffixMin(columnMinX);
    maxYUpTo_ = prefixMax(rowMaxY);
    minYFrom_ = suffixMin(rowMinY);
}

TableCell CellIndex::nearest(double x, double y) const {
    // The scan finds nothing for a position that is not a number.
    if (centres_.empty() || !std::isfinite(x) || !std::isfinite(y)) return {};
    const int bx = bucketOf(x, originX_, bucketSize_, bucketsX_);
    const int by = bucketOf(y, originY_, bucketSize_, bucketsY_);

    double bestDistance = kScanStartDistance;
    int bestIndex = -1;
    auto visitBucket = [&](int ix, int iy) {
        const std::size_t b =
            static_cast<std::size_t>(ix) + static_cast<std::size_t>(iy) * static_cast<std::size_t>(bucketsX_);
        for (std::size_t k = bucketStart_[b]; k < bucketStart_[b + 1]; ++k) {
            const Centre& c = centres_[k];
            const double d = distance(c.x, c.y, x, y);
            ++visited_;
            // The scan keeps the first of equal distances: the lower scan index.
            if (d < bestDistance || (d == bestDistance && bestIndex >= 0 && c.scanIndex < bestIndex)) {
                bestDistance = d;
                bestIndex = c.scanIndex;
            }
        }
    };

    for (int ring = 0;; ++ring) {
        const int x0 = bx - ring, x1 = bx + ring, y0 = by - ring, y1 = by + ring;
        const int xa = std::max(x0, 0), xb = std::min(x1, bucketsX_ - 1);
        for (int iy = std::max(y0, 0); iy <= std::min(y1, bucketsY_ - 1); ++iy) {
            if (iy == y0 || iy == y1) {
                for (int ix = xa; ix <= xb; ++ix) visitBucket(ix, iy);
            } else {
                if (x0 >= 0) visitBucket(x0, iy);
                if (x1 < bucketsX_ && x1 != x0) visitBucket(x1, iy);
            }
        }
        // Everything not yet searched lies in a strip beside the searched
        // square; its nearest possible distance comes from the true extents.
        double bound = kInfinity;
        if (x0 > 0) bound = std::min(bound, std::max(0.0, x - maxXUpTo_[static_cast<std::size_t>(x0 - 1)]));
        if (x1 < bucketsX_ - 1)
            bound = std::min(bound, std::max(0.0, minXFrom_[static_cast<std::size_t>(x1 + 1)] - x));
        if (y0 > 0) bound = std::min(bound, std::max(0.0, y - maxYUpTo_[static_cast<std::size_t>(y0 - 1)]));
        if (y1 < bucketsY_ - 1)
            bound = std::min(bound, std::max(0.0, minYFrom_[static_cast<std::size_t>(y1 + 1)] - y));
        if (bound == kInfinity) break;  // nothing left
        if (bound > bestDistance * (1.0 + kBoundRelativeMargin) + kBoundAbsoluteMargin) break;
    }
    if (bestIndex < 0) return {};
    return {bestIndex % cellRows_ + 1, bestIndex / cellRows_};
}

NodeValues nodeValuesFromCell(const MappingTable& table, TableCell cell, double x, double y) {
    const int r = cell.row, c = cell.column;
    const std::array<std::size_t, 4> corners = {MappingTable::index(r - 1, c), MappingTable::index(r, c),
                                                MappingTable::index(r - 1, c + 1), MappingTable::index(r, c + 1)};
    std::array<double, 4> d{};
    NodeValues copied;
    bool anyCopied = false;
    double weightSum = 0.0;
    for (std::size_t k = 0; k < corners.size(); ++k) {
        const std::size_t q = corners[k];
        d[k] = distance(table.pixel[q], table.line[q], x, y);
        if (d[k] < kCopyDistance) {
            copied = {table.incidence[q], table.pixelSensitivity[q], table.lineSensitivity[q]};
            anyCopied = true;
        } else {
            weightSum += 1.0 / d[k];
        }
    }
    if (anyCopied) return copied;
    if (!(std::fabs(weightSum) > kMinWeightSum)) return {};
    double incidence = 0.0, pixelSensitivity = 0.0, lineSensitivity = 0.0;
    for (std::size_t k = 0; k < corners.size(); ++k) {
        const std::size_t q = corners[k];
        incidence += table.incidence[q] / d[k];
        pixelSensitivity += table.pixelSensitivity[q] / d[k];
        lineSensitivity += table.lineSensitivity[q] / d[k];
    }
    return {incidence / weightSum, pixelSensitivity / weightSum, lineSensitivity / weightSum};
}

void buildOrthoMatrix(const MappingTable& table, int pixels, int lines, OrthoMatrix& matrix, Ui& ui) {
    matrix.reset(pixels, lines);
    const CellIndex index(table);
    fillMatrix(table, matrix, &ui, [&](double x, double y) { return index.nearest(x, y); });
}

void buildOrthoMatrixReference(const MappingTable& table, int pixels, int lines, OrthoMatrix& matrix) {
    matrix.reset(pixels, lines);
    // The centres are worked out once, as any sensible scan would; the scan
    // itself visits every cell for every node.
    const std::vector<Point> centres = cellCentres(table);
    fillMatrix(table, matrix, nullptr, [&](double x, double y) {
        TableCell best;
        double bestDistance = kScanStartDistance;
        for (std::size_t k = 0; k < centres.size(); ++k) {
            const double d = distance(centres[k].x, centres[k].y, x, y);
            if (d < bestDistance) {
                bestDistance = d;
                best = cellOfScanIndex(table, static_cast<int>(k));
            }
        }
        return best;
    });
}

}  // namespace tessarin::geometry
