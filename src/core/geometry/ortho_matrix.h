#pragma once
// The ortho matrix: incidence angle and terrain sensitivities on a grid of
// image nodes every 100 pixels and 100 lines, taken from the nearest cell of
// the mapping table.
//
// The nearest cell is defined by a scan over every cell, columns outer and
// rows inner, where only a strictly smaller distance replaces the best. The
// matrix is built with a bucket search that finds exactly that cell while
// visiting a handful of cells per node; the plain scan is kept as the
// reference (buildOrthoMatrixReference) for the tests and the benchmark.

#include <cstddef>
#include <vector>

#include "geometry/mapping_table.h"

namespace tessarin {
class Ui;
}

namespace tessarin::geometry {

struct OrthoMatrix {
    static constexpr int kNodeSpacing = 100;     // pixels and lines between nodes
    static constexpr int kMargin = 500;          // nodes reach this far beyond the image
    static constexpr double kFallbackIncidence_deg = 10.0;  // nodes without a cell
    static constexpr std::size_t kMaxNodes = 4000000;       // 400,000 x 400,000 pixels at most

    int nx = 0;  // nodes across: the smallest with 100 nx >= pixels + 500
    int ny = 0;  // nodes down: the smallest with 100 ny >= lines + 500
    // Per node (i, j) at pixel 100 i, line 100 j, stored at i + j nx.
    std::vector<double> incidence;         // degrees
    std::vector<double> pixelSensitivity;  // pixels per -0.1 degree of off-nadir angle
    std::vector<double> lineSensitivity;   // lines per -0.1 degree

    std::size_t index(int i, int j) const {
        return static_cast<std::size_t>(i) + static_cast<std::size_t>(j) * static_cast<std::size_t>(nx);
    }
    // Sizes the grids for an image and fills them with the fallback values
    // (10, 0, 0). Throws Error for an image too large for a sane grid.
    void reset(int pixels, int lines);
};

// A cell of the mapping table: rows row - 1 and row, columns column and
// column + 1. row is -1 when there is none (a table of fewer than two rows
// or columns, or no cell within the scan's starting distance).
struct TableCell {
    int row = -1;
    int column = -1;
    bool valid() const { return row >= 1; }
    bool operator==(const TableCell&) const = default;
};

// The nearest cell to the image position (x, y) by the plain scan.
TableCell nearestCellReference(const MappingTable& table, double x, double y);

// The same cell through buckets of cell centres.
class CellIndex {
public:
    explicit CellIndex(const MappingTable& table);
    TableCell nearest(double x, double y) const;
    // Cells whose distance was computed by the last nearest() calls, summed.
    std::size_t cellsVisited() const { return visited_; }

private:
    struct Centre {
        double x, y;
        int scanIndex;  // column * (rows - 1) + (row - 1): the reference scan's order
    };
    int cellRows_ = 0;  // rows - 1
    int bucketsX_ = 0, bucketsY_ = 0;
    double originX_ = 0.0, originY_ = 0.0, bucketSize_ = 1.0;
    std::vector<Centre> centres_;            // grouped by bucket
    std::vector<std::size_t> bucketStart_;   // bucketsX * bucketsY + 1 offsets into centres_
    // Extents of the centres in bucket columns 0..i (maxXUpTo) and i.. (minXFrom),
    // likewise for bucket rows: exact bounds for what is left to search.
    std::vector<double> maxXUpTo_, minXFrom_, maxYUpTo_, minYFrom_;
    mutable std::size_t visited_ = 0;
};

// Node values from a cell: a corner within 10 of the node is copied (the
// last of such in the order (r-1, c), (r, c), (r-1, c+1), (r, c+1)),
// otherwise the inverse-distance weighted mean of the four corners, or the
// fallback values when the weights vanish.
struct NodeValues {
    double incidence_deg = OrthoMatrix::kFallbackIncidence_deg;
    double pixelSensitivity = 0.0;
    double lineSensitivity = 0.0;
    bool operator==(const NodeValues&) const = default;
};
NodeValues nodeValuesFromCell(const MappingTable& table, TableCell cell, double x, double y);

// Builds the matrix for an image of pixels x lines, with the status texts
// "sat-gnd mapping matrix linparm=%d of %d" per node row and "Ortho matrix
// complete." at the end.
void buildOrthoMatrix(const MappingTable& table, int pixels, int lines, OrthoMatrix& matrix, Ui& ui);

// The same matrix by the plain scan over every cell for every node.
void buildOrthoMatrixReference(const MappingTable& table, int pixels, int lines, OrthoMatrix& matrix);

}  // namespace tessarin::geometry
