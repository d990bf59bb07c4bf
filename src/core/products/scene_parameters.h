#pragma once
// SceneParameters: one channel of a scene as the leader file and the image
// file descriptor describe it. Filled by the product readers (Alos2), read by
// tiling, geometry and everything downstream.

#include <array>
#include <cstddef>

namespace tessarin::products {

inline constexpr std::size_t kMaxStateVectors = 50;   // storage of the platform position record
inline constexpr std::size_t kOrbitWindowPoints = 5;  // state vectors k-2 .. k+2 around the scene centre
inline constexpr std::size_t kOrbitPolyTerms = 5;     // degree-4 polynomial, highest power first
inline constexpr std::size_t kIncidenceTerms = 6;     // a0 .. a5
inline constexpr std::size_t kMappingPolyTerms = 25;  // 5 x 5 coefficients of the pixel/line <-> lat/lon maps
inline constexpr int kFileHeaderBytes = 720;          // image file descriptor record

// Product levels as the image file name gives them.
inline constexpr int kLevel11 = 11;     // single-look complex (also ScanSAR)
inline constexpr int kLevel15 = 15;     // amplitude
inline constexpr int kLevelOther = 31;  // any other level: read with the level 1.5 record map

// One orbit state vector: time (s of day, UTC), earth-fixed position (m) and
// velocity (m/s); radius = length of the position vector (m).
struct StateVector {
    double t = 0.0;
    double X = 0.0, Y = 0.0, Z = 0.0;
    double VX = 0.0, VY = 0.0, VZ = 0.0;
    double radius = 0.0;

    bool operator==(const StateVector&) const = default;
};

struct SceneParameters {
    // --- data set summary record: scene centre date and time (UTC)
    int Y = 0, M = 0, D = 0, H = 0, Min = 0;
    double Sec = 0.0;         // s, with milliseconds
    double scsecofday = 0.0;  // H*3600 + Min*60 + Sec: the time base of all orbit work
    double ctrlat = 0.0;      // processed scene centre, geodetic latitude (deg)
    double ctrlon = 0.0;      // longitude (deg)
    double wavelength = 0.0;  // m
    double prf = 0.0;         // Hz
    double linsz = 0.0;       // line spacing (m)
    double pixsz = 0.0;       // pixel spacing (m)
    // Incidence angle (rad) as a polynomial a0..a5 of slant range (km).
    std::array<double, kIncidenceTerms> inccoef{};

    // --- radiometric data record
    double calib = 0.0;  // dB, added to amplitudes in dB to give sigma-naught

    // --- platform position data record
    int orbitPointCount = 0;
    int orbitFirstYear = 0, orbitFirstMonth = 0, orbitFirstDay = 0;  // date of the first state vector
    double orbitFirstTime = 0.0;                                     // s of day
    int orbitFirstHour = 0, orbitFirstMinute = 0;                    // of orbitFirstTime
    double orbitInterval = 0.0;                                      // s between state vectors
    std::array<StateVector, kMaxStateVectors> stateVectors{};        // the first orbitPointCount are valid

    // Five-point window around the state vector nearest scsecofday, and the
    // position polynomials through it: X(t) = ((((c4 d + c3) d + c2) d + c1) d + c0)
    // with d = t - orbitRefTime (s), coefficients (c4, c3, c2, c1, c0), metres.
    std::array<StateVector, kOrbitWindowPoints> orbitWindow{};  // radius is not filled
    double orbitRefTime = 0.0;                                   // s of day
    std::array<double, kOrbitPolyTerms> orbitPolyX{}, orbitPolyY{}, orbitPolyZ{};

    // --- facility related data record 5: mapping polynomials between scene
    // pixel/line (global coordinates) and geodetic latitude/longitude (deg).
    std::array<double, kMappingPolyTerms> pl2lat{}, pl2lon{};
    double plRefPixel = 0.0, plRefLine = 0.0;
    std::array<double, kMappingPolyTerms> ll2pix{}, ll2lin{};
    double llRefLat = 0.0, llRefLon = 0.0;

    // --- image file descriptor
    int line = 0;             // image lines = SAR data records
    int linebytes = 0;        // SAR data record length (bytes)
    int bytesPerSample = 0;   // bits per sample / 8
    int samplesPerGroup = 0;  // 2 for complex data
    int bytesPerGroup = 0;    // bytes of one pixel
    int lineheader = 0;       // prefix bytes of each line record
    int sarDataBytes = 0;     // SAR data bytes per record
    int pixel = 0;            // samples per line = sarDataBytes / bytesPerGroup
    int fileheader = 0;       // bytes before line record 0 (720 once a descriptor is decoded)

    // Look direction from the product name: 0 right, 1 left.
    int pointingLeft = 0;

    bool operator==(const SceneParameters&) const = default;
};

}  // namespace tessarin::products
