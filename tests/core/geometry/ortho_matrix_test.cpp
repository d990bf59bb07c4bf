// The ortho matrix: the bucket search against the plain scan (same cells,
// same grids to the bit, ties included), and the node rules (copy within 10,
// inverse-distance weights, fallback values).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <random>

#include "geometry/ortho_matrix.h"
#include "platform/error.h"
#include "platform/ui.h"
#include "sar_scene_fixture.h"

using namespace tessarin;
using namespace tessarin::geometry;

namespace {

bool sameBits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

bool sameBits(const OrthoMatrix& a, const OrthoMatrix& b) {
    return a.nx == b.nx && a.ny == b.ny && sameBits(a.incidence, b.incidence) &&
           sameBits(a.pixelSensitivity, b.pixelSensitivity) && sameBits(a.lineSensitivity, b.lineSensitivity);
}

// A table filled by a function of (row, column) giving pixel and line; the
// other planes get values that tell the nodes apart.
template <typename Position>
MappingTable makeTable(int rows, int columns, Position position) {
    MappingTable t;
    t.rows = rows, t.columns = columns;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
            const std::size_t i = MappingTable::index(r, c);
            const auto [pixel, line] = position(r, c);
            t.pixel[i] = pixel;
            t.line[i] = line;
            t.incidence[i] = 20.0 + 0.1 * r + 0.001 * c;
            t.pixelSensitivity[i] = -5.0 - 0.01 * r;
            t.lineSensitivity[i] = 0.5 + 0.001 * c;
        }
    return t;
}

void expectSameCellsAsTheScan(const MappingTable& t, const std::vector<std::pair<double, double>>& queries) {
    const CellIndex index(t);
    for (const auto& [x, y] : queries) {
        const TableCell expected = nearestCellReference(t, x, y);
        const TableCell got = index.nearest(x, y);
        ASSERT_EQ(got, expected) << "at " << x << ", " << y << ": got (" << got.row << ", " << got.column
                                 << "), scan (" << expected.row << ", " << expected.column << ")";
    }
}

std::vector<std::pair<double, double>> randomQueries(double x0, double x1, double y0, double y1, int count,
                                                     unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> ux(x0, x1), uy(y0, y1);
    std::vector<std::pair<double, double>> q;
    for (int i = 0; i < count; ++i) q.emplace_back(ux(random), uy(random));
    return q;
}

std::vector<std::pair<double, double>> nodeQueries(int pixels, int lines) {
    std::vector<std::pair<double, double>> q;
    for (int y = 0; y < lines + 500; y += 100)
        for (int x = 0; x < pixels + 500; x += 100) q.emplace_back(x, y);
    return q;
}

const MappingTable& sceneTable() {
    static const auto table = [] {
        const fixture::SarScene scene(fixture::SarSceneSpec{});
        auto t = std::make_unique<MappingTable>();
        ScriptedUi ui;
        buildMappingTable(scene.params(), sceneGeometry(scene.params()), *t, ui);
        return t;
    }();
    return *table;
}

}  // namespace

// ---------------------------------------------------------------- search

TEST(OrthoMatrixTest, SameGridsAsTheScanOnASceneTable) {
    const MappingTable& t = sceneTable();
    const int pixels = 4000, lines = 8000;
    OrthoMatrix fast, reference;
    ScriptedUi ui;
    buildOrthoMatrix(t, pixels, lines, fast, ui);
    buildOrthoMatrixReference(t, pixels, lines, reference);
    EXPECT_TRUE(sameBits(fast, reference));
    // Every node lies inside the table's reach here: none keeps the fallback.
    for (double v : fast.incidence) ASSERT_NE(v, OrthoMatrix::kFallbackIncidence_deg);

    const CellIndex index(t);
    const auto nodes = nodeQueries(pixels, lines);
    for (const auto& [x, y] : nodes) index.nearest(x, y);
    const double perNode = static_cast<double>(index.cellsVisited()) / static_cast<double>(nodes.size());
    const double cells = static_cast<double>(t.rows - 1) * (t.columns - 1);
    std::printf("[ figures  ] %.1f of %.0f cells visited per node\n", perNode, cells);
    EXPECT_LT(perNode, 40.0);
}

TEST(OrthoMatrixTest, SameCellAsTheScanAnywhere) {
    const MappingTable& t = sceneTable();
    expectSameCellsAsTheScan(t, nodeQueries(4000, 8000));
    expectSameCellsAsTheScan(t, randomQueries(-20000, 30000, -40000, 50000, 20000, 1));
    // On the table's own nodes and cell centres.
    std::vector<std::pair<double, double>> exact;
    for (int r = 0; r < t.rows; ++r)
        for (int c = 0; c < t.columns; ++c) exact.emplace_back(t.pixelAt(r, c), t.lineAt(r, c));
    expectSameCellsAsTheScan(t, exact);
}

TEST(OrthoMatrixTest, TiesGoToTheFirstCellOfTheScan) {
    // Every cell has the centre (5, 5).
    const MappingTable same = makeTable(6, 7, [](int r, int c) { return std::pair{(r % 2) * 10.0, (c % 2) * 10.0}; });
    EXPECT_EQ(nearestCellReference(same, 0.0, 0.0), (TableCell{1, 0}));
    expectSameCellsAsTheScan(same, {{0.0, 0.0}, {5.0, 5.0}, {100.0, -3.0}, {1e5, 1e5}});

    // A square lattice: nodes on multiples of 100 lie equally far from four
    // cell centres (in exact arithmetic and in doubles).
    const MappingTable lattice =
        makeTable(40, 30, [](int r, int c) { return std::pair{100.0 * r - 700.0, 100.0 * c - 400.0}; });
    expectSameCellsAsTheScan(lattice, nodeQueries(3000, 2000));
    expectSameCellsAsTheScan(lattice, randomQueries(-2000, 5000, -2000, 4000, 5000, 2));

    // Centres in a row, every query halfway between two of them: the tied
    // neighbour often lies in the next bucket, exactly as far as the bound.
    const MappingTable row = makeTable(50, 2, [](int r, int) { return std::pair{10.0 * r, 0.0}; });
    std::vector<std::pair<double, double>> halfway;
    for (int r = 0; r <= 50; ++r) halfway.emplace_back(10.0 * r, 0.0);
    expectSameCellsAsTheScan(row, halfway);

    // Columns repeated: cells of different columns share their centres.
    const MappingTable repeated = makeTable(20, 20, [](int r, int c) { return std::pair{50.0 * r, 80.0 * (c / 3)}; });
    expectSameCellsAsTheScan(repeated, nodeQueries(1000, 1000));
}

TEST(OrthoMatrixTest, SameCellAsTheScanOnRandomAndBrokenTables) {
    std::mt19937 random(3);
    std::normal_distribution<double> noise(0.0, 40.0);
    const MappingTable jitter = makeTable(50, 60, [&](int r, int c) {
        return std::pair{100.0 * r + noise(random), 150.0 * c + 0.3 * r * r + noise(random)};
    });
    expectSameCellsAsTheScan(jitter, randomQueries(-1000, 6000, -1000, 10000, 5000, 4));

    // Scattered positions, thin layouts, holes, and values that are no positions.
    std::uniform_real_distribution<double> anywhere(-5e3, 5e3);
    MappingTable scattered = makeTable(30, 30, [&](int, int) { return std::pair{anywhere(random), anywhere(random)}; });
    scattered.pixel[MappingTable::index(3, 4)] = std::numeric_limits<double>::quiet_NaN();
    scattered.line[MappingTable::index(7, 7)] = std::numeric_limits<double>::infinity();
    scattered.pixel[MappingTable::index(9, 9)] = 1e300;
    scattered.pixel[MappingTable::index(9, 10)] = -1e300;
    expectSameCellsAsTheScan(scattered, randomQueries(-6e3, 6e3, -6e3, 6e3, 5000, 5));
    const MappingTable thin = makeTable(100, 3, [](int r, int c) { return std::pair{7.0 * r, 1e-9 * c}; });
    expectSameCellsAsTheScan(thin, randomQueries(-100, 800, -50, 50, 3000, 6));
    const MappingTable far = makeTable(5, 5, [](int r, int c) { return std::pair{2e6 + r, 2e6 + c}; });
    expectSameCellsAsTheScan(far, {{0.0, 0.0}, {1.5e6, 1.5e6}, {2e6, 2e6}});
    EXPECT_FALSE(nearestCellReference(far, 0.0, 0.0).valid());  // beyond the scan's starting distance
    MappingTable holes = jitter;
    for (std::size_t i = 0; i < holes.pixel.size(); i += 7) holes.pixel[i] = std::nan("");
    expectSameCellsAsTheScan(holes, randomQueries(-1000, 6000, -1000, 10000, 3000, 7));

    OrthoMatrix fast, reference;
    ScriptedUi ui;
    buildOrthoMatrix(holes, 5000, 9000, fast, ui);
    buildOrthoMatrixReference(holes, 5000, 9000, reference);
    EXPECT_TRUE(sameBits(fast, reference));
}

// ---------------------------------------------------------------- node values

TEST(OrthoNodeTest, ACornerWithin10IsCopiedTheLastOneWinning) {
    // One cell; corners (r-1, c), (r, c), (r-1, c+1), (r, c+1).
    MappingTable t = makeTable(2, 2, [](int r, int c) { return std::pair{100.0 + 300.0 * c, 200.0 + 300.0 * r}; });
    const TableCell cell{1, 0};
    const std::size_t first = MappingTable::index(0, 0), second = MappingTable::index(1, 0);
    NodeValues v = nodeValuesFromCell(t, cell, 100.0, 200.0);
    EXPECT_EQ(v, (NodeValues{t.incidence[first], t.pixelSensitivity[first], t.lineSensitivity[first]}));
    v = nodeValuesFromCell(t, cell, 106.0, 207.9);  // 9.99 away
    EXPECT_EQ(v.incidence_deg, t.incidence[first]);
    // Two corners close: the later in the order wins.
    t.pixel[second] = 103.0, t.line[second] = 205.0;
    v = nodeValuesFromCell(t, cell, 100.0, 200.0);
    EXPECT_EQ(v, (NodeValues{t.incidence[second], t.pixelSensitivity[second], t.lineSensitivity[second]}));
}

TEST(OrthoNodeTest, OtherwiseInverseDistanceWeighted) {
    const MappingTable t = makeTable(2, 2, [](int r, int c) { return std::pair{300.0 * c, 400.0 * r}; });
    const double x = 120.0, y = 90.0;
    double sumW = 0, sumI = 0, sumP = 0, sumL = 0;
    for (const auto& [r, c] : {std::pair{0, 0}, {1, 0}, {0, 1}, {1, 1}}) {
        const double d = std::hypot(300.0 * c - x, 400.0 * r - y);
        const std::size_t i = MappingTable::index(r, c);
        sumW += 1 / d, sumI += t.incidence[i] / d, sumP += t.pixelSensitivity[i] / d, sumL += t.lineSensitivity[i] / d;
    }
    const NodeValues v = nodeValuesFromCell(t, {1, 0}, x, y);
    EXPECT_NEAR(v.incidence_deg, sumI / sumW, 1e-12);
    EXPECT_NEAR(v.pixelSensitivity, sumP / sumW, 1e-12);
    EXPECT_NEAR(v.lineSensitivity, sumL / sumW, 1e-12);

    // A node far outside the imaged area still gets weighted values...
    const NodeValues outside = nodeValuesFromCell(t, {1, 0}, 3000.0, 3000.0);
    EXPECT_GT(outside.incidence_deg, 20.0);
    EXPECT_LT(outside.pixelSensitivity, 0.0);
    // ...until the weights vanish (all four corners beyond 40000).
    EXPECT_EQ(nodeValuesFromCell(t, {1, 0}, 60000.0, 60000.0), NodeValues{});
    const MappingTable holes = makeTable(2, 2, [](int, int) { return std::pair{std::nan(""), 0.0}; });
    EXPECT_EQ(nodeValuesFromCell(holes, {1, 0}, 0.0, 0.0), NodeValues{});
}

TEST(OrthoNodeTest, GridShapeAndFallbackValues) {
    OrthoMatrix m;
    m.reset(10000, 30000);
    EXPECT_EQ(m.nx, 105);
    EXPECT_EQ(m.ny, 305);
    m.reset(10001, 29999);
    EXPECT_EQ(m.nx, 106);
    EXPECT_EQ(m.ny, 305);
    m.reset(0, 0);
    EXPECT_EQ(m.nx, 5);
    EXPECT_EQ(m.index(4, 4), 24u);
    m.reset(-2000, 100);
    EXPECT_EQ(m.nx, 0);
    EXPECT_TRUE(m.incidence.empty());
    EXPECT_THROW(m.reset(1000000000, 1000000000), Error);

    // Tables with no cell leave every node at (10, 0, 0).
    for (const auto& [rows, columns] : {std::pair{1, 50}, {50, 1}, {0, 0}}) {
        const MappingTable t = makeTable(rows, columns, [](int r, int c) { return std::pair{100.0 * r, 100.0 * c}; });
        ScriptedUi ui;
        buildOrthoMatrix(t, 1000, 1000, m, ui);
        ASSERT_EQ(m.incidence.size(), 15u * 15u);
        for (std::size_t i = 0; i < m.incidence.size(); ++i) {
            EXPECT_EQ(m.incidence[i], 10.0);
            EXPECT_EQ(m.pixelSensitivity[i], 0.0);
            EXPECT_EQ(m.lineSensitivity[i], 0.0);
        }
    }
}

TEST(OrthoNodeTest, NodesNearTableNodesCopyThemAndProgressIsShown) {
    // Table nodes on the ortho grid itself: every grid node within the
    // table copies its table node exactly.
    const MappingTable t = makeTable(12, 12, [](int r, int c) { return std::pair{100.0 * r, 100.0 * c}; });
    OrthoMatrix m;
    ScriptedUi ui;
    buildOrthoMatrix(t, 600, 600, m, ui);
    for (int j = 0; j < 11; ++j)
        for (int i = 0; i < 11; ++i) {
            const std::size_t q = MappingTable::index(i, j);
            ASSERT_EQ(m.incidence[m.index(i, j)], t.incidence[q]) << i << " " << j;
            ASSERT_EQ(m.pixelSensitivity[m.index(i, j)], t.pixelSensitivity[q]);
            ASSERT_EQ(m.lineSensitivity[m.index(i, j)], t.lineSensitivity[q]);
        }
    ASSERT_EQ(ui.statuses.size(), 12u);
    EXPECT_EQ(ui.statuses.front(), "sat-gnd mapping matrix linparm=0 of 11");
    EXPECT_EQ(ui.statuses[10], "sat-gnd mapping matrix linparm=10 of 11");
    EXPECT_EQ(ui.statuses.back(), "Ortho matrix complete.");
}
