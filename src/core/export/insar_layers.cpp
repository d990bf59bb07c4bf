#include "export/insar_layers.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <mutex>
#include <thread>

#include "geometry/ellipsoid.h"
#include "geometry/mapping.h"
#include "geometry/orbit.h"
#include "imagefiles/png_parallel.h"
#include "insar/baseline.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/text.h"
#include "products/alos2.h"

namespace tessarin::geoexport {

using geometry::Ecef;

dem::OrthoSource pairBand(const PairPlanes& planes, const dem::BandBox& box) {
    const std::size_t area = static_cast<std::size_t>(planes.width) * static_cast<std::size_t>(planes.height);
    if (planes.amplitude.size() != area || planes.fringe.size() != area || planes.coherence.size() != area ||
        planes.valid.size() != area)
        throw Error("the pair's working area is incomplete: its planes differ in size");
    dem::OrthoSource band;
    band.originX = box.originX;
    band.originY = box.originY;
    band.width = box.width;
    band.height = box.height;
    band.channels = 3;
    const std::size_t samples = static_cast<std::size_t>(box.width) * static_cast<std::size_t>(box.height);
    band.values.assign(3 * samples, 0);
    band.present.assign(samples, 0);
    for (int y = 0; y < box.height; ++y) {
        const long long ay = box.originY + y - planes.y0;
        if (ay < 0 || ay >= planes.height) continue;
        for (int x = 0; x < box.width; ++x) {
            const long long ax = box.originX + x - planes.x0;
            if (ax < 0 || ax >= planes.width) continue;
            const std::size_t a = static_cast<std::size_t>(ay) * static_cast<std::size_t>(planes.width) +
                                  static_cast<std::size_t>(ax);
            if (!planes.valid[a]) continue;
            const std::size_t k = static_cast<std::size_t>(y) * static_cast<std::size_t>(box.width) +
                                  static_cast<std::size_t>(x);
            band.values[3 * k] = planes.amplitude[a];
            band.values[3 * k + 1] = planes.fringe[a];
            band.values[3 * k + 2] = planes.coherence[a];
            band.present[k] = 1;
        }
    }
    return band;
}

namespace {

Ecef satellite(const products::SceneParameters& p, double t) {
    const auto s = products::orbitPositionAt(p, t);
    return {s.x_m, s.y_m, s.z_m};
}

Ecef cross(Ecef a, Ecef b) {
    return {a.y_m * b.z_m - a.z_m * b.y_m, a.z_m * b.x_m - a.x_m * b.z_m, a.x_m * b.y_m - a.y_m * b.x_m};
}

// The satellites of one grid row.
struct RowOrbit {
    Ecef master, slave, velocity;
};

}  // namespace

DifferentialGrid differentialOnGrid(const dem::OrthoGrid& grid, std::span<const std::uint8_t> fringe,
                                    std::span<const std::uint8_t> alpha, const TopographyInputs& in) {
    if (!in.master || !in.slave || !in.table || !in.height)
        throw Error("the differential interferogram needs both scenes, the tie-point table and the terrain heights");
    if (!(in.master->wavelength > 0.0))
        throw Error("The master scene carries no wavelength: the topographic phase cannot be predicted");
    if (!(in.master->prf > 0.0) || !(in.slave->prf > 0.0))
        throw Error("The pair's scenes carry no pulse repetition frequency: the topographic phase cannot be predicted");
    const std::size_t cells = static_cast<std::size_t>(grid.rows) * static_cast<std::size_t>(grid.columns);
    if (fringe.size() != cells || alpha.size() != cells)
        throw Error("the fringe handed to the differential interferogram is not the frame's grid");
    DifferentialGrid out;
    out.simulated.assign(cells, 0);
    out.difference.assign(cells, 0);
    const double lambda = in.master->wavelength;
    // Rows are independent: one block of rows per core.
    const auto rowsOf = [&](int firstRow, int lastRow) {
    for (int j = firstRow; j < lastRow; ++j) {
        const std::size_t row = static_cast<std::size_t>(j) * static_cast<std::size_t>(grid.columns);
        bool haveOrbit = false;
        RowOrbit orbit;
        for (int i = 0; i < grid.columns; ++i) {
            const std::size_t k = row + static_cast<std::size_t>(i);
            if (!alpha[k]) continue;
            GeoPoint at = grid.pixelCentre(j, i);
            if (at.lon_deg > 180.0) at.lon_deg -= 360.0;
            if (!haveOrbit) {
                // The master line of the row's first cell, and the slave's own
                // line of the same ground through the table.
                const ScenePoint m = products::pixelLineOfLatLon(*in.master, at);
                const double tm = geometry::lineTime_s(*in.master, m.line);
                const double ts = geometry::lineTime_s(*in.slave, insar::slavePosition(*in.table, m.pixel, m.line).line);
                orbit.master = satellite(*in.master, tm);
                orbit.slave = satellite(*in.slave, ts);
                orbit.velocity = satellite(*in.master, tm + 0.5) - satellite(*in.master, tm - 0.5);
                haveOrbit = true;
            }
            const double h = in.height(at.lat_deg, at.lon_deg);
            const Ecef G = geometry::groundPointToEcef(at);
            const Ecef look = G - orbit.master;
            const double R = geometry::norm(look);
            if (!(R > 0.0) || !std::isfinite(h)) continue;
            const Ecef u = (1.0 / R) * look;
            const Ecef B = orbit.slave - orbit.master;
            Ecef n = cross(orbit.velocity, u);
            const double nn = geometry::norm(n);
            double perpendicular = 0.0;
            if (nn > 0.0) {
                n = (1.0 / nn) * n;
                if (geometry::dot(n, orbit.master) < 0.0) n = -1.0 * n;
                perpendicular = geometry::dot(B, n);
            }
            const double incidence =
                geometry::incidenceAngle_deg(R, geometry::norm(G), geometry::norm(orbit.master)) * geometry::kRadPerDeg;
            const double M = in.fringeSense * insar::topographicCycles(h, lambda, R, incidence, perpendicular);
            if (!std::isfinite(M)) continue;
            int T = static_cast<int>((M - std::trunc(M)) * 256.0);
            if (T < 0) T += 256;
            T &= 255;
            if (in.reversePhase) T = 255 - T;
            out.simulated[k] = static_cast<std::uint8_t>(T);
            out.difference[k] = static_cast<std::uint8_t>((fringe[k] - T) & 255);
        }
    }
    };
    const int threads = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, std::max(1, grid.rows / 64));
    std::vector<std::thread> workers;
    std::exception_ptr failure;
    std::mutex failureLock;
    for (int t = 1; t < threads; ++t)
        workers.emplace_back([&, t] {
            try {
                rowsOf(static_cast<int>(static_cast<long long>(grid.rows) * t / threads),
                       static_cast<int>(static_cast<long long>(grid.rows) * (t + 1) / threads));
            } catch (...) {
                const std::lock_guard<std::mutex> lock(failureLock);
                if (!failure) failure = std::current_exception();
            }
        });
    try {
        rowsOf(0, static_cast<int>(static_cast<long long>(grid.rows) / threads));
    } catch (...) {
        const std::lock_guard<std::mutex> lock(failureLock);
        if (!failure) failure = std::current_exception();
    }
    for (auto& w : workers) w.join();
    if (failure) std::rethrow_exception(failure);
    return out;
}

LayerFiles layerFiles(const std::string& kmlFolder, const std::string& frameName) {
    LayerFiles f;
    f.amp = joinPath(joinPath(kmlFolder, kAmpLayerFolder), "Amp" + frameName + ".png");
    f.fringe = joinPath(joinPath(kmlFolder, kFringeLayerFolder), "Frg" + frameName + ".png");
    f.difFringe = joinPath(joinPath(kmlFolder, kDifFringeLayerFolder), "DifFrg" + frameName + ".png");
    f.coherence = joinPath(joinPath(kmlFolder, kCoherenceLayerFolder), "Coherence" + frameName + ".png");
    f.simulated = joinPath(joinPath(kmlFolder, kDifFringeLayerFolder), "DifFrg" + frameName + "Sim.frg");
    return f;
}

void writeLayerPng(const std::string& path, int width, int height, std::span<const std::uint8_t> rgb,
                   std::span<const std::uint8_t> alpha) {
    const std::size_t cells = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (rgb.size() != 3 * cells || alpha.size() != cells)
        throw Error(format("cannot write \"%s\": the layer's pixels are not the frame's grid", path.c_str()));
    std::vector<std::uint8_t> rgba(4 * cells, 0);
    for (std::size_t k = 0; k < cells; ++k) {
        if (!alpha[k]) continue;
        rgba[4 * k] = rgb[3 * k];
        rgba[4 * k + 1] = rgb[3 * k + 1];
        rgba[4 * k + 2] = rgb[3 * k + 2];
        rgba[4 * k + 3] = 255;
    }
    const std::vector<std::uint8_t> png = encodePngRgbaParallel(width, height, rgba);
    try {
        writeWholeFile(path, png);
    } catch (const Error& e) {
        throw Error(format("cannot write \"%s\": %s", path.c_str(), e.what()));
    }
}

}  // namespace tessarin::geoexport
