#include "dem/ortho_frame.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>
#include <limits>
#include <mutex>
#include <optional>
#include <thread>

#include "dem/dem_import.h"
#include "dem/geoid.h"
#include "dem/ground_metric.h"
#include "geometry/ellipsoid.h"
#include "geometry/mapping.h"
#include "geometry/mapping_table.h"
#include "geometry/ortho_matrix.h"
#include "geometry/spline.h"
#include "platform/error.h"
#include "platform/format.h"
#include "platform/ui.h"
#include "products/alos2.h"

namespace tessarin::dem {

using geometry::kRadPerDeg;
using geometry::MappingTable;

std::string OrthoImage::errorMessage() const {
    if (errorCount == 0) return {};
    return firstError + format("\n%lld pixels of this frame could not be placed and are left transparent.",
                               errorCount);
}

HeightAt demHeightSampler(const DemTable& table, const CGeoid& geoid) {
    return [&table, &geoid](double lat_deg, double lon_deg) { return ellipsoidHeight(table, geoid, lat_deg, lon_deg); };
}

namespace {

// A longitude brought within half a turn of a reference.
double nearLongitude(double lon_deg, double ref_deg) {
    return lon_deg - 360.0 * std::round((lon_deg - ref_deg) / 360.0);
}

bool finite(double v) { return std::isfinite(v); }

// ---- the mapping-table cell of an image position

struct CellValues {
    double pixelSensitivity = 0, lineSensitivity = 0, incidence_deg = 0;
};

// Outcome of one cell search and interpolation.
enum class CellOutcome { Ok, Address, Divide, Degenerate };

class TableCells {
public:
    explicit TableCells(const MappingTable& t) : t_(t) {}

    int rows() const { return t_.rows; }
    int columns() const { return t_.columns; }

    // First column c >= from (>= 1) on row r whose line values bracket L.
    int bracketColumn(int r, int from, double L) const {
        for (int c = std::max(1, from); c < t_.columns; ++c) {
            const double a = t_.lineAt(r, c - 1), b = t_.lineAt(r, c);
            if ((L - a) * (L - b) <= 0.0) return c;
        }
        return -1;
    }
    // First row r >= from (>= 1) on column c whose pixel values bracket P.
    int bracketRow(int c, int from, double P) const {
        for (int r = std::max(1, from); r < t_.rows; ++r) {
            const double a = t_.pixelAt(r - 1, c), b = t_.pixelAt(r, c);
            if ((P - a) * (P - b) <= 0.0) return r;
        }
        return -1;
    }

    // The bracket search: columns on the starting row, rows on that column,
    // then both once more from 5 before what was found. A search that finds
    // nothing from its start is repeated from the first index before it
    // gives up (the table's middle column or row then stands in, as the
    // cell interpolation is checked afterwards).
    void search(double P, double L, int startRow, int startColumn, int rowFrom, int& r, int& c) const {
        const int midRow = t_.rows / 2, midColumn = t_.columns / 2;
        auto columnOn = [&](int row, int from) {
            int k = bracketColumn(row, from, L);
            if (k < 0 && from > 1) k = bracketColumn(row, 1, L);
            return k < 0 ? midColumn : k;
        };
        auto rowOn = [&](int column, int from) {
            int k = bracketRow(column, from, P);
            if (k < 0 && from > 1) k = bracketRow(column, 1, P);
            return k < 0 ? midRow : k;
        };
        c = columnOn(std::clamp(startRow, 0, t_.rows - 1), startColumn);
        r = rowOn(c, rowFrom);
        c = columnOn(r, c - 5);
        r = rowOn(c, r - 5);
    }

    // Interpolates the sensitivities and the incidence in cell (r - 1 .. r,
    // c - 1 .. c) at (P, L).
    CellOutcome interpolate(double P, double L, int r, int c, CellValues& out, double& s) const {
        if (r < 1 || c < 1 || r >= t_.rows || c >= t_.columns) return CellOutcome::Address;
        const std::size_t i00 = MappingTable::index(r - 1, c - 1), i10 = MappingTable::index(r, c - 1);
        const std::size_t i01 = MappingTable::index(r - 1, c), i11 = MappingTable::index(r, c);
        for (const std::size_t i : {i00, i10, i01, i11})
            if (!finite(t_.pixel[i]) || !finite(t_.line[i]) || !finite(t_.pixelSensitivity[i]) ||
                !finite(t_.lineSensitivity[i]) || !finite(t_.incidence[i]))
                return CellOutcome::Address;
        const double da = t_.pixel[i10] - t_.pixel[i00], db = t_.pixel[i11] - t_.pixel[i01];
        if (da == 0.0 || db == 0.0) return CellOutcome::Divide;
        const double a = (P - t_.pixel[i00]) / da, b = (P - t_.pixel[i01]) / db;
        const double q0 = t_.line[i00] + a * (t_.line[i10] - t_.line[i00]);
        const double q1 = t_.line[i01] + b * (t_.line[i11] - t_.line[i01]);
        if (q1 == q0) return CellOutcome::Degenerate;
        s = (L - q0) / (q1 - q0);
        auto blend = [&](const std::vector<double>& plane) {
            const double v0 = plane[i00] + a * (plane[i10] - plane[i00]);
            const double v1 = plane[i01] + b * (plane[i11] - plane[i01]);
            return v0 + s * (v1 - v0);
        };
        out.pixelSensitivity = blend(t_.pixelSensitivity);
        out.lineSensitivity = blend(t_.lineSensitivity);
        out.incidence_deg = blend(t_.incidence);
        // A position far outside the cell is no interpolation: the bracket
        // search found nothing there.
        constexpr double kReach = 0.5;
        if (!(a >= -kReach && a <= 1 + kReach && b >= -kReach && b <= 1 + kReach && s >= -kReach && s <= 1 + kReach))
            return CellOutcome::Address;
        return CellOutcome::Ok;
    }

private:
    const MappingTable& t_;
};

// Runs body(first, last) over [0, count) in contiguous blocks, one per
// thread; the first exception a block throws is rethrown after all joined.
void parallelRows(int count, int threads, const std::function<void(int, int)>& body) {
    if (count <= 0) return;
    if (threads <= 0) threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    threads = std::clamp(threads, 1, count);
    if (threads == 1) {
        body(0, count);
        return;
    }
    std::exception_ptr failure;
    std::mutex failureLock;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        const int first = static_cast<int>(static_cast<long long>(count) * t / threads);
        const int last = static_cast<int>(static_cast<long long>(count) * (t + 1) / threads);
        workers.emplace_back([&, first, last] {
            try {
                body(first, last);
            } catch (...) {
                const std::lock_guard<std::mutex> lock(failureLock);
                if (!failure) failure = std::current_exception();
            }
        });
    }
    for (auto& w : workers) w.join();
    if (failure) std::rethrow_exception(failure);
}

// An inverse mapping polynomial along one latitude: sum over i, j of
// c[5 i + j] A^(4 - i) O^(4 - j) as a quartic in O.
class RowPolynomial {
public:
    RowPolynomial(const std::array<double, products::kMappingPolyTerms>& c, double A) {
        for (std::size_t jj = 0; jj < 5; ++jj) {
            double b = 0.0;
            for (std::size_t i = 0; i < 5; ++i) b = b * A + c[5 * i + jj];
            b_[jj] = b;
        }
    }
    double operator()(double O) const { return (((b_[0] * O + b_[1]) * O + b_[2]) * O + b_[3]) * O + b_[4]; }

private:
    std::array<double, 5> b_{};
};

// Per-row failure bookkeeping, merged in row order so that the first text is
// the first failing pixel's whatever the threads.
struct RowFailures {
    long long count = 0;
    std::string first;
};

}  // namespace

BandBox orthoBand(const OrthoFrameRequest& frame, bool reachesLeft) {
    BandBox b;
    b.originX = reachesLeft ? frame.x0 - frame.width : frame.x0;
    b.originY = frame.y0 - kOrthoBandMargin;
    b.width = 2 * frame.width;
    b.height = frame.height + 2 * kOrthoBandMargin;
    return b;
}

bool displacesTowardSmallerPixels(const OrthoInputs& in, const OrthoFrameRequest& frame) {
    if (!in.scene) throw Error("the ortho conversion needs the scene's description");
    const double P = static_cast<double>(frame.x0), L = static_cast<double>(frame.y0);
    if (in.table && in.table->rows >= 2 && in.table->columns >= 2) {
        const TableCells cells(*in.table);
        int r = 0, c = 0;
        cells.search(P, L, in.table->rows / 2, 1, 1, r, c);
        CellValues v;
        double s = 0;
        if (cells.interpolate(P, L, r, c, v, s) == CellOutcome::Ok && v.pixelSensitivity != 0.0)
            return v.pixelSensitivity < 0.0;
    }
    // Without a usable table: terrain moves samples toward the radar, which
    // is toward smaller pixels when the incidence grows with the pixel.
    const std::vector<double> profile =
        geometry::incidenceProfile(*in.scene, static_cast<int>(frame.x0), static_cast<int>(frame.y0), frame.width,
                                   frame.height, frame.width);
    if (profile.size() >= 2 && finite(profile.front()) && finite(profile.back()))
        return profile.back() > profile.front();
    return true;
}

OrthoGrid orthoGrid(const products::SceneParameters& scene, const OrthoFrameRequest& frame, bool reachesLeft) {
    if (frame.width <= 0 || frame.height <= 0)
        throw Error(format("an ortho frame of %d x %d pixels cannot be converted", frame.width, frame.height));
    OrthoGrid g;
    g.p0 = reachesLeft ? frame.x0 - kOrthoReferenceShift : frame.x0;
    g.l0 = frame.y0;
    const int reach = frame.variant == OrthoVariant::TableDriven ? frame.width + kTableCornerReach : frame.width;
    const double xs[4] = {0.0, static_cast<double>(reach), 0.0, static_cast<double>(reach)};
    const double ys[4] = {0.0, 0.0, static_cast<double>(reach), static_cast<double>(reach)};
    for (int k = 0; k < 4; ++k) {
        g.corners[k] = products::latLonOfPixelLine(
            scene, {static_cast<double>(g.p0) + xs[k], static_cast<double>(g.l0) + ys[k]});
        if (!finite(g.corners[k].lat_deg) || !finite(g.corners[k].lon_deg))
            throw Error(format("the corners of the ortho frame at pixel %lld, line %lld cannot be placed", frame.x0,
                               frame.y0));
        // One piece across the antimeridian: every corner near the first.
        if (k > 0) g.corners[k].lon_deg = nearLongitude(g.corners[k].lon_deg, g.corners[0].lon_deg);
    }
    GeoBox& b = g.cornerBox;
    b.north_deg = b.south_deg = g.corners[0].lat_deg;
    b.west_deg = b.east_deg = g.corners[0].lon_deg;
    for (const GeoPoint& c : g.corners) {
        b.north_deg = std::max(b.north_deg, c.lat_deg);
        b.south_deg = std::min(b.south_deg, c.lat_deg);
        b.west_deg = std::min(b.west_deg, c.lon_deg);
        b.east_deg = std::max(b.east_deg, c.lon_deg);
    }
    if (b.west_deg < -180.0) {  // keep west in -180 .. 180
        b.west_deg += 360.0;
        b.east_deg += 360.0;
        for (GeoPoint& c : g.corners) c.lon_deg += 360.0;
    } else if (b.west_deg >= 180.0) {
        b.west_deg -= 360.0;
        b.east_deg -= 360.0;
        for (GeoPoint& c : g.corners) c.lon_deg -= 360.0;
    }
    const double dEast = std::cos(g.corners[0].lat_deg * kRadPerDeg) * (g.corners[0].lon_deg - g.corners[1].lon_deg);
    const double dNorth = g.corners[1].lat_deg - g.corners[0].lat_deg;
    g.dphi_deg = std::sqrt(dEast * dEast + dNorth * dNorth) / frame.width;
    if (!(g.dphi_deg > 0.0))
        throw Error(format("the ortho frame at pixel %lld, line %lld has no extent on the ground", frame.x0, frame.y0));
    const double rows = std::floor((b.north_deg - b.south_deg) / g.dphi_deg);
    const double columns = std::floor((b.east_deg - b.west_deg) / g.dphi_deg);
    if (rows * columns > static_cast<double>(kMaxOrthoCells) || rows > 1e9 || columns > 1e9)
        throw Error(format("The ortho grid of %.0f rows and %.0f columns exceeds the limit of %lld cells; the frame "
                           "is not converted.",
                           rows, columns, kMaxOrthoCells));
    g.rows = static_cast<int>(rows);
    g.columns = static_cast<int>(columns);
    return g;
}

OrthoImage orthoFrame(const OrthoInputs& in, const OrthoSource& band, const OrthoFrameRequest& frame, Ui* ui) {
    if (!in.scene) throw Error("the ortho conversion needs the scene's description");
    if (!in.height) throw Error("the ortho conversion needs the terrain heights");
    const bool tableDriven = frame.variant == OrthoVariant::TableDriven;
    if (tableDriven && (!in.table || in.table->rows < 2 || in.table->columns < 2))
        throw Error("the table-driven ortho conversion needs the satellite-to-ground mapping table");
    const products::SceneParameters& scene = *in.scene;
    if (!(scene.pixsz > 0.0)) throw Error("the ortho conversion needs the scene's pixel spacing");

    const bool reachesLeft = displacesTowardSmallerPixels(in, frame);
    const BandBox box = orthoBand(frame, reachesLeft);
    if (band.originX != box.originX || band.originY != box.originY || band.width != box.width ||
        band.height != box.height || band.channels < 1 || band.channels > 3 ||
        band.values.size() != static_cast<std::size_t>(band.width) * static_cast<std::size_t>(band.height) *
                                  static_cast<std::size_t>(band.channels) ||
        band.present.size() != static_cast<std::size_t>(band.width) * static_cast<std::size_t>(band.height))
        throw Error("the samples handed to the ortho conversion are not the frame's band");

    OrthoImage out;
    out.grid = orthoGrid(scene, frame, reachesLeft);
    out.channels = band.channels;
    const OrthoGrid& grid = out.grid;
    const std::size_t cells = static_cast<std::size_t>(grid.rows) * static_cast<std::size_t>(grid.columns);
    out.rgb.assign(cells * 3, 0);
    out.alpha.assign(cells, 0);

    const int reach = tableDriven ? frame.width + kTableCornerReach : frame.width;
    const GroundMetric metric(scene, static_cast<double>(grid.p0), static_cast<double>(grid.l0), reach, reach);

    // The profile-driven variant's incidence along the middle line and the
    // side toward which terrain moves samples.
    constexpr int kProfileStep = 128;
    geometry::CSpline incidenceSpline;
    if (!tableDriven) {
        const std::vector<double> profile = geometry::incidenceProfile(
            scene, static_cast<int>(grid.p0), static_cast<int>(grid.l0), frame.width, frame.height, kProfileStep);
        incidenceSpline.setup(profile);
    }
    const double side = reachesLeft ? -1.0 : 1.0;

    std::optional<geometry::CellIndex> ownIndex;
    const geometry::CellIndex* sharedIndex = in.cellIndex;
    if (tableDriven && frame.search == CellSearch::Seeded && !sharedIndex) {
        ownIndex.emplace(*in.table);
        sharedIndex = &*ownIndex;
    }

    std::vector<RowFailures> failures(static_cast<std::size_t>(grid.rows));
    const double refLon = scene.llRefLon;
    const double p0 = static_cast<double>(grid.p0), l0 = static_cast<double>(grid.l0);

    auto convertRows = [&](int firstRow, int lastRow) {
        // The nearest-cell index counts its visits: one copy per block.
        std::optional<geometry::CellIndex> index;
        if (sharedIndex) index.emplace(*sharedIndex);
        std::optional<TableCells> cellsOfTable;
        if (tableDriven) cellsOfTable.emplace(*in.table);
        for (int j = firstRow; j < lastRow; ++j) {
            RowFailures& fail = failures[static_cast<std::size_t>(j)];
            // The text is made for the row's first failure only.
            auto failAt = [&](auto text) {
                if (fail.count++ == 0) fail.first = text();
            };
            int seedRow = -1, seedColumn = -1;  // the last cell found on this row
            // The latitude is the row's: the inverse polynomials reduce to
            // quartics in the longitude.
            const RowPolynomial toPixel(scene.ll2pix, grid.pixelCentre(j, 0).lat_deg - scene.llRefLat);
            const RowPolynomial toLine(scene.ll2lin, grid.pixelCentre(j, 0).lat_deg - scene.llRefLat);
            for (int i = 0; i < grid.columns; ++i) {
                const GeoPoint at = grid.pixelCentre(j, i);
                const double O = nearLongitude(at.lon_deg, refLon) - scene.llRefLon;
                const double P = toPixel(O), L = toLine(O);
                if (!finite(P) || !finite(L)) continue;
                const double fp = P - p0, fl = L - l0;
                if (!(fp >= 0.0 && fp <= reach && fl >= 0.0 && fl <= reach)) continue;

                double up = 0, ul = 0, incidence_deg = 0;
                if (tableDriven) {
                    int r = 0, c = 0;
                    if (frame.search == CellSearch::Plain) {
                        cellsOfTable->search(P, L, in.table->rows / 2, 1, 1, r, c);
                    } else {
                        if (seedRow < 0) {
                            const geometry::TableCell near = index->nearest(P, L);
                            seedRow = near.valid() ? near.row : in.table->rows / 2;
                            seedColumn = near.valid() ? near.column + 1 : 1;
                        }
                        cellsOfTable->search(P, L, seedRow, seedColumn - 5, seedRow - 5, r, c);
                    }
                    CellValues v;
                    double s = 0;
                    const CellOutcome o = cellsOfTable->interpolate(P, L, r, c, v, s);
                    if (o != CellOutcome::Ok) {
                        seedRow = -1;
                        if (o == CellOutcome::Address)
                            failAt([&] {
                                return format("Address error at pix=%.1f, lin=%.1f, tlx,tly,brx,bry=%d, %d, %d, %d", P,
                                              L, c - 1, r - 1, c, r);
                            });
                        else if (o == CellOutcome::Divide)
                            failAt([&] { return format("divide error at apix=%.2f, alin=%.2f", P, L); });
                        else
                            failAt([&] { return format("error at apix=%.2f, alin=%.2f", P, L); });
                        continue;
                    }
                    seedRow = r;
                    seedColumn = c;
                    const double n = std::hypot(v.pixelSensitivity, v.lineSensitivity);
                    if (!(n > 0.0) || !finite(n)) {
                        failAt([&] { return format("no terrain direction at apix=%.2f, alin=%.2f", P, L); });
                        continue;
                    }
                    up = v.pixelSensitivity / n;
                    ul = v.lineSensitivity / n;
                    incidence_deg = v.incidence_deg;
                } else {
                    up = side;
                    ul = 0.0;
                    incidence_deg = incidenceSpline.value(fp / kProfileStep);
                }

                const double h = in.height(at.lat_deg, at.lon_deg);
                const double g = metric.metres(P, L, up, ul);
                const double t = std::tan(incidence_deg * kRadPerDeg);
                const double Z = h / (t * g);
                const double sp = P + Z * up, sl = L + Z * ul;
                if (!finite(h) || !finite(Z) || !finite(sp) || !finite(sl) || !(t > 0.0)) {
                    failAt([&] { return format("error at apix=%.2f, alin=%.2f", P, L); });
                    continue;
                }
                const double column = std::floor(sp + 0.5) - static_cast<double>(band.originX);
                const double line = std::floor(sl + 0.5) - static_cast<double>(band.originY);
                if (!(column >= 0.0 && column < band.width && line >= 0.0 && line < band.height)) continue;
                const std::size_t k = static_cast<std::size_t>(line) * static_cast<std::size_t>(band.width) +
                                      static_cast<std::size_t>(column);
                if (!band.present[k]) continue;
                const std::uint16_t* src = band.values.data() + k * static_cast<std::size_t>(band.channels);
                const std::size_t o = static_cast<std::size_t>(j) * static_cast<std::size_t>(grid.columns) +
                                      static_cast<std::size_t>(i);
                std::uint16_t* dst = out.rgb.data() + 3 * o;
                if (band.channels == 1) {
                    dst[0] = dst[1] = dst[2] = src[0];
                } else {
                    dst[0] = src[0];
                    dst[1] = src[1];
                    dst[2] = band.channels == 3 ? src[2] : src[1];
                }
                out.alpha[o] = (dst[0] | dst[1] | dst[2]) ? 255 : 0;
            }
        }
    };

    if (ui) ui->status(format("j=%d of %d", 0, grid.rows));
    parallelRows(grid.rows, frame.threads, convertRows);
    if (ui) ui->status(format("j=%d of %d", std::max(0, grid.rows - 1), grid.rows));

    for (const RowFailures& f : failures) {
        if (f.count == 0) continue;
        if (out.errorCount == 0) out.firstError = f.first;
        out.errorCount += f.count;
    }
    return out;
}

}  // namespace tessarin::dem
