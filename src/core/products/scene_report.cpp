#include "products/scene_report.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <type_traits>

namespace tessarin::products {

namespace {

template <std::size_t N>
std::vector<double> list(const std::array<double, N>& a) {
    return {a.begin(), a.end()};
}

}  // namespace

std::vector<ReportEntry> sceneReport(const Alos2& reader) {
    const SceneParameters& p = reader.params();
    const auto I = [](int v) { return ReportValue{static_cast<long long>(v)}; };
    const auto R = [](double v) { return ReportValue{v}; };
    std::vector<StateVector> vectors(p.stateVectors.begin(),
                                     p.stateVectors.begin() + std::clamp(p.orbitPointCount, 0, static_cast<int>(kMaxStateVectors)));
    return {
        {"imagePath", reader.imagePath()},
        {"leaderPath", reader.leaderPath()},
        {"productLevel", I(reader.productLevel())},
        {"Y", I(p.Y)},
        {"M", I(p.M)},
        {"D", I(p.D)},
        {"H", I(p.H)},
        {"Min", I(p.Min)},
        {"Sec", R(p.Sec)},
        {"scsecofday", R(p.scsecofday)},
        {"ctrlat", R(p.ctrlat)},
        {"ctrlon", R(p.ctrlon)},
        {"wavelength", R(p.wavelength)},
        {"prf", R(p.prf)},
        {"linsz", R(p.linsz)},
        {"pixsz", R(p.pixsz)},
        {"inccoef", list(p.inccoef)},
        {"calib", R(p.calib)},
        {"orbitPointCount", I(p.orbitPointCount)},
        {"orbitFirstYear", I(p.orbitFirstYear)},
        {"orbitFirstMonth", I(p.orbitFirstMonth)},
        {"orbitFirstDay", I(p.orbitFirstDay)},
        {"orbitFirstTime", R(p.orbitFirstTime)},
        {"orbitFirstHour", I(p.orbitFirstHour)},
        {"orbitFirstMinute", I(p.orbitFirstMinute)},
        {"orbitInterval", R(p.orbitInterval)},
        {"stateVectors", std::move(vectors)},
        {"orbitRefTime", R(p.orbitRefTime)},
        {"orbitPolyX", list(p.orbitPolyX)},
        {"orbitPolyY", list(p.orbitPolyY)},
        {"orbitPolyZ", list(p.orbitPolyZ)},
        {"pl2lat", list(p.pl2lat)},
        {"pl2lon", list(p.pl2lon)},
        {"plRefPixel", R(p.plRefPixel)},
        {"plRefLine", R(p.plRefLine)},
        {"ll2pix", list(p.ll2pix)},
        {"ll2lin", list(p.ll2lin)},
        {"llRefLat", R(p.llRefLat)},
        {"llRefLon", R(p.llRefLon)},
        {"line", I(p.line)},
        {"linebytes", I(p.linebytes)},
        {"bytesPerSample", I(p.bytesPerSample)},
        {"samplesPerGroup", I(p.samplesPerGroup)},
        {"bytesPerGroup", I(p.bytesPerGroup)},
        {"lineheader", I(p.lineheader)},
        {"sarDataBytes", I(p.sarDataBytes)},
        {"fileheader", I(p.fileheader)},
        {"pixel", I(p.pixel)},
        {"pointingLeft", I(p.pointingLeft)},
    };
}

std::string exactNumber(double value) {
    // Plain decimals for ordinary magnitudes (7000000, not 7e+06), exponents
    // for the very small and the very large.
    constexpr double kPlainFrom = 1e-4, kPlainBelow = 1e15;
    const double magnitude = std::fabs(value);
    const bool plain = magnitude == 0.0 || (magnitude >= kPlainFrom && magnitude < kPlainBelow);
    char buffer[400];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value,
                                 plain ? std::chars_format::fixed : std::chars_format::scientific);
    return {buffer, r.ptr};
}

std::string sceneReportText(const std::vector<ReportEntry>& report) {
    std::string out;
    const auto number = [&out](double x) {
        out.push_back(' ');
        out.append(exactNumber(x));
    };
    for (const auto& e : report) {
        std::visit(
            [&](const auto& v) {
                using T = std::decay_t<decltype(v)>;
                if constexpr (std::is_same_v<T, std::vector<StateVector>>) {
                    for (std::size_t i = 0; i < v.size(); ++i) {
                        const StateVector& s = v[i];
                        out.append(e.name).append("[").append(std::to_string(i)).append("]");
                        for (double x : {s.t, s.X, s.Y, s.Z, s.VX, s.VY, s.VZ, s.radius}) number(x);
                        out.push_back('\n');
                    }
                } else {
                    out.append(e.name);
                    if constexpr (std::is_same_v<T, long long>) out.append(" ").append(std::to_string(v));
                    else if constexpr (std::is_same_v<T, double>) number(v);
                    else if constexpr (std::is_same_v<T, std::string>) out.append(" ").append(v);
                    else
                        for (double x : v) number(x);
                    out.push_back('\n');
                }
            },
            e.value);
    }
    return out;
}

}  // namespace tessarin::products
