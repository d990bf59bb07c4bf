#include "display/poly_mgr.h"

#include <algorithm>
#include <cmath>

#include "platform/bytes.h"
#include "platform/error.h"
#include "platform/format.h"

namespace tessarin::display {

namespace {

constexpr std::size_t kTableSlots = static_cast<std::size_t>(kMaxPolygons) * kMaxVertices;
constexpr double kCoordinateFloor = -100.0;  // a stored coordinate below this is taken as -1

std::size_t slot(int p, int v) { return static_cast<std::size_t>(p) * kMaxVertices + static_cast<std::size_t>(v); }

// Checks the index part of a file (last vertex, flag, last polygon) and
// fills them into the tables.
void readIndexPart(ByteReader& in, const std::string& path, std::array<std::int32_t, kMaxPolygons>& lastVertex,
                   std::array<std::int32_t, kMaxPolygons>& flag, std::int32_t& lastPolygon) {
    for (auto& v : lastVertex) v = in.le<std::int32_t>();
    for (auto& f : flag) f = in.le<std::int32_t>();
    lastPolygon = in.le<std::int32_t>();
    if (lastPolygon < -1 || lastPolygon >= kMaxPolygons)
        throw Error(format("\"%s\": the last polygon index %d is not -1 to %d", path.c_str(), lastPolygon, kMaxPolygons - 1));
    for (int p = 0; p <= lastPolygon; ++p) {
        const auto last = lastVertex[static_cast<std::size_t>(p)];
        if (last < 3 || last >= kMaxVertices)
            throw Error(format("\"%s\": polygon %d has the last vertex index %d, not 3 to %d", path.c_str(), p, last,
                               kMaxVertices - 1));
        if (flag[static_cast<std::size_t>(p)] != 1)
            throw Error(format("\"%s\": polygon %d has the flag %d, not 1", path.c_str(), p, flag[static_cast<std::size_t>(p)]));
    }
}

}  // namespace

CPolyMgr::CPolyMgr() : vertices_(kTableSlots) {
    lastVertex_.fill(-1);
    flag_.fill(-1);
}

std::vector<PolygonVertex> CPolyMgr::polygon(int p) const {
    if (p < 0 || p > lastPolygon_) return {};
    const auto last = lastVertex_[static_cast<std::size_t>(p)];
    return {vertices_.begin() + static_cast<long>(slot(p, 0)), vertices_.begin() + static_cast<long>(slot(p, last)) + 1};
}

bool CPolyMgr::closePolygon(const std::vector<PolygonVertex>& picks,
                            const std::function<void(const std::string&)>& message) {
    if (picks.size() < 3) {
        message("vertex number is less than 3, invalid !");
        return false;
    }
    if (picks.size() > static_cast<std::size_t>(kMaxPicks)) {
        message(format("A polygon holds at most %d vertices: this one was not stored", kMaxPicks));
        return false;
    }
    if (lastPolygon_ + 1 >= kMaxPolygons) {
        message(format("%d polygons are stored already: save them and delete some before closing another", kMaxPolygons));
        return false;
    }
    const int p = ++lastPolygon_;
    for (std::size_t v = 0; v < picks.size(); ++v) vertices_[slot(p, static_cast<int>(v))] = picks[v];
    vertices_[slot(p, static_cast<int>(picks.size()))] = picks.front();
    lastVertex_[static_cast<std::size_t>(p)] = static_cast<std::int32_t>(picks.size());
    flag_[static_cast<std::size_t>(p)] = 1;
    return true;
}

void CPolyMgr::deletePolygon(int d) {
    if (d < 0 || d > lastPolygon_) return;
    for (int p = d; p < lastPolygon_; ++p) {
        std::copy_n(vertices_.begin() + static_cast<long>(slot(p + 1, 0)), kMaxVertices,
                    vertices_.begin() + static_cast<long>(slot(p, 0)));
        lastVertex_[static_cast<std::size_t>(p)] = lastVertex_[static_cast<std::size_t>(p + 1)];
        flag_[static_cast<std::size_t>(p)] = flag_[static_cast<std::size_t>(p + 1)];
    }
    lastVertex_[static_cast<std::size_t>(lastPolygon_)] = -1;
    flag_[static_cast<std::size_t>(lastPolygon_)] = -1;
    --lastPolygon_;
}

std::vector<std::uint8_t> CPolyMgr::plyBytes() const {
    ByteWriter out;
    for (const auto& v : vertices_) {
        out.le<std::int32_t>(v.x);
        out.le<std::int32_t>(v.y);
    }
    for (auto v : lastVertex_) out.le<std::int32_t>(v);
    for (auto f : flag_) out.le<std::int32_t>(f);
    out.le<std::int32_t>(lastPolygon_);
    return out.take();
}

void CPolyMgr::readPly(const std::vector<std::uint8_t>& bytes, const std::string& path) {
    if (bytes.size() != kPlyBytes)
        throw Error(format("\"%s\" holds %zu bytes; a polygon file holds %zu", path.c_str(), bytes.size(), kPlyBytes));
    CPolyMgr next;
    ByteReader in(bytes, path);
    for (auto& v : next.vertices_) {
        v.x = in.le<std::int32_t>();
        v.y = in.le<std::int32_t>();
    }
    readIndexPart(in, path, next.lastVertex_, next.flag_, next.lastPolygon_);
    *this = std::move(next);
}

std::vector<std::uint8_t> CPolyMgr::gpyBytes(const std::function<GeoPoint(double, double)>& toGeo) const {
    ByteWriter out;
    for (int p = 0; p < kMaxPolygons; ++p)
        for (int v = 0; v < kMaxVertices; ++v) {
            GeoPoint g{};  // unused slots hold zeros
            if (p <= lastPolygon_ && v <= lastVertex_[static_cast<std::size_t>(p)]) {
                const auto& pt = vertices_[slot(p, v)];
                g = toGeo(pt.x < kCoordinateFloor ? -1.0 : pt.x, pt.y < kCoordinateFloor ? -1.0 : pt.y);
            }
            out.le<double>(g.lat_deg);
            out.le<double>(g.lon_deg);
        }
    for (auto v : lastVertex_) out.le<std::int32_t>(v);
    for (auto f : flag_) out.le<std::int32_t>(f);
    out.le<std::int32_t>(lastPolygon_);
    return out.take();
}

void CPolyMgr::readGpy(const std::vector<std::uint8_t>& bytes, const std::string& path,
                       const std::function<ScenePoint(double, double)>& toPixelLine) {
    if (bytes.size() != kGpyBytes)
        throw Error(format("\"%s\" holds %zu bytes; a geographic polygon file holds %zu", path.c_str(), bytes.size(),
                           kGpyBytes));
    CPolyMgr next;
    ByteReader coordinates(bytes, path);
    coordinates.skip(kTableSlots * 16);
    readIndexPart(coordinates, path, next.lastVertex_, next.flag_, next.lastPolygon_);
    ByteReader in(bytes, path);
    for (int p = 0; p < kMaxPolygons; ++p)
        for (int v = 0; v < kMaxVertices; ++v) {
            const double lat = in.le<double>(), lon = in.le<double>();
            if (p > next.lastPolygon_ || v > next.lastVertex_[static_cast<std::size_t>(p)]) continue;
            if (!std::isfinite(lat) || !std::isfinite(lon) || std::abs(lat) > 90.0 || std::abs(lon) > 360.0)
                throw Error(format("\"%s\": vertex %d of polygon %d is not a latitude and longitude", path.c_str(), v, p));
            const ScenePoint s = toPixelLine(lat, lon);
            const double x = std::floor(s.pixel + 0.5), y = std::floor(s.line + 0.5);
            if (!std::isfinite(x) || !std::isfinite(y) || std::abs(x) > 2e9 || std::abs(y) > 2e9)
                throw Error(format("\"%s\": vertex %d of polygon %d lies nowhere in the scene", path.c_str(), v, p));
            next.vertices_[slot(p, v)] = {static_cast<std::int32_t>(x), static_cast<std::int32_t>(y)};
        }
    *this = std::move(next);
}

std::string CPolyMgr::listText() const {
    std::string text = "Polygon Address (ID, 1st Vertex point(x,y global), tile id(x,y)\n";
    for (int p = 0; p <= lastPolygon_; ++p) {
        const auto& v = vertices_[slot(p, 0)];
        text += format("pid=%d, vertex(x,y)=%d,%d, tileid(x,y)=%d,%d\n", p, v.x, v.y, v.x / 1024, v.y / 1024);
    }
    return text;
}

std::vector<Span> insideSpans(const std::vector<PolygonVertex>& vertices, long long originX, long long originY,
                              int width, int height) {
    std::vector<Span> spans;
    if (vertices.size() < 4) return spans;  // three picks and the closing repeat at least
    // Canvas-local edges; the closing vertex repeats the first.
    double minY = 1e300, maxY = -1e300;
    for (const auto& v : vertices) {
        minY = std::min(minY, static_cast<double>(v.y - originY));
        maxY = std::max(maxY, static_cast<double>(v.y - originY));
    }
    const int y0 = std::max(0, static_cast<int>(std::floor(minY)));
    const int y1 = std::min(height - 1, static_cast<int>(std::ceil(maxY)));
    struct Crossing {
        double x;
        int winding;
    };
    std::vector<Crossing> crossings;
    for (int y = y0; y <= y1; ++y) {
        const double yc = y + 0.5;  // the pixel centre
        crossings.clear();
        for (std::size_t k = 0; k + 1 < vertices.size(); ++k) {
            const double ax = static_cast<double>(vertices[k].x - originX), ay = static_cast<double>(vertices[k].y - originY);
            const double bx = static_cast<double>(vertices[k + 1].x - originX),
                         by = static_cast<double>(vertices[k + 1].y - originY);
            // Half-open in y: an edge holds its lower end, not its upper one,
            // so a vertex on the row is counted once.
            if ((ay <= yc && yc < by) || (by <= yc && yc < ay))
                crossings.push_back({ax + (yc - ay) * (bx - ax) / (by - ay), ay < by ? 1 : -1});
        }
        std::sort(crossings.begin(), crossings.end(), [](const Crossing& a, const Crossing& b) { return a.x < b.x; });
        int winding = 0;
        for (std::size_t k = 0; k + 1 < crossings.size(); ++k) {
            winding += crossings[k].winding;
            if (winding == 0) continue;
            // Centres x + 0.5 in [left, right): half-open in x too.
            const int from = std::max(0, static_cast<int>(std::ceil(crossings[k].x - 0.5)));
            const int to = std::min(width, static_cast<int>(std::ceil(crossings[k + 1].x - 0.5)));
            if (from < to) {
                if (!spans.empty() && spans.back().y == y && spans.back().x1 == from) spans.back().x1 = to;
                else spans.push_back({y, from, to});
            }
        }
    }
    return spans;
}

std::vector<PolygonStatistics> polygonStatistics(const CPolyMgr& polygons, const CanvasSamples& canvas) {
    std::vector<PolygonStatistics> out;
    const std::size_t channels = static_cast<std::size_t>(canvas.channels);
    for (int p = 0; p < polygons.polygonCount(); ++p) {
        const auto vertices = polygons.polygon(p);
        PolygonStatistics s;
        s.index = p;
        s.first = vertices.front();
        s.firstLocalX = vertices.front().x - canvas.originX;
        s.firstLocalY = vertices.front().y - canvas.originY;
        s.channels = canvas.reportChannels;
        bool inside = true;
        for (const auto& v : vertices) {
            const long long x = v.x - canvas.originX, y = v.y - canvas.originY;
            if (x < 0 || y < 0 || x >= canvas.width || y >= canvas.height) inside = false;
        }
        std::array<double, 3> sum{}, sum2{}, sum4{};
        if (inside) {
            for (const Span& span : insideSpans(vertices, canvas.originX, canvas.originY, canvas.width, canvas.height)) {
                for (int x = span.x0; x < span.x1; ++x) {
                    const std::size_t at = (static_cast<std::size_t>(span.y) * static_cast<std::size_t>(canvas.width) +
                                            static_cast<std::size_t>(x)) *
                                           channels;
                    for (std::size_t c = 0; c < static_cast<std::size_t>(s.channels); ++c) {
                        const std::uint16_t stored = (*canvas.values)[at + c];
                        const double a = static_cast<float>((canvas.complex ? stored >> 1 : stored) / canvas.divisor);
                        sum[c] += a;
                        sum2[c] += a * a;
                        sum4[c] += a * a * a * a;
                    }
                    ++s.pixels;
                }
            }
        }
        for (std::size_t c = 0; c < static_cast<std::size_t>(s.channels); ++c) {
            if (s.pixels == 0) {
                s.meanDb[c] = s.stdHighDb[c] = s.powerDb[c] = canvas.calib_dB;
                continue;
            }
            const double n = static_cast<double>(s.pixels);
            const double mean = sum[c] / n;
            const double sd = std::sqrt(std::max(0.0, sum2[c] / n - mean * mean));
            s.meanDb[c] = mean > 0.0 ? 20.0 * std::log10(mean) + canvas.calib_dB : canvas.calib_dB;
            s.stdHighDb[c] = mean > 0.0 ? 20.0 * std::log10(mean + sd) + canvas.calib_dB : canvas.calib_dB;
            const double power = sum2[c] / n;
            s.powerDb[c] = power > 0.0 ? 10.0 * std::log10(power) + canvas.calib_dB : canvas.calib_dB;
            const double powerVariance = std::max(0.0, sum4[c] / n - power * power);
            s.looks[c] = powerVariance > 0.0 ? power * power / powerVariance : 0.0;
        }
        out.push_back(s);
    }
    return out;
}

std::string statisticsReport(const std::vector<PolygonStatistics>& stats) {
    std::string text =
        "Stat report on polygon (mean of the linear amplitude, in dB as 20 log10)\n Poly ID,npix,1st vertex (x, y),in tile vtx(x,y),CH1 mean sigma0(dB), CH1 std high "
        "sigma0(dB), CH2 mean, CH2 std high, CH3 mean, CH3 std high\n";
    for (const auto& s : stats) {
        text += format("%d,%lld,%d,%d,%lld,%lld,", s.index, s.pixels, s.first.x, s.first.y, s.firstLocalX, s.firstLocalY);
        for (std::size_t c = 0; c < static_cast<std::size_t>(s.channels); ++c)
            text += format("%.3f,%.3f,", s.meanDb[c], s.stdHighDb[c]);
        text += "\n";
    }
    return text;
}

std::string powerReport(const std::vector<PolygonStatistics>& stats) {
    std::string text =
        "Power mean sigma0 on polygon (10 log10 of the mean of A squared) and equivalent number of looks\n"
        " Poly ID,npix,CH1 power mean sigma0(dB),CH1 ENL,CH2 power mean,CH2 ENL,CH3 power mean,CH3 ENL\n";
    for (const auto& s : stats) {
        text += format("%d,%lld,", s.index, s.pixels);
        for (std::size_t c = 0; c < static_cast<std::size_t>(s.channels); ++c)
            text += format("%.3f,%.3f,", s.powerDb[c], s.looks[c]);
        text += "\n";
    }
    return text;
}

std::string polygonFileName(int kx0, int ky0, const char* extension) {
    const auto index = [](int k) { return k < 10 ? format("0%d", k) : format("%d", k); };
    return "KX_" + index(kx0) + ".KY_" + index(ky0) + extension;
}

}  // namespace tessarin::display
