// The interferogram merger on a simulated pair with its known offset: the
// flat earth removed whichever phase convention the samples carry, the
// coherence asked of the simulator found over land, an identical pair
// exactly coherent and unfringed, histograms that count every pixel once,
// and the same bytes whatever the number of threads.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <complex>
#include <filesystem>
#include <iostream>
#include <numbers>
#include <string>
#include <vector>

#include "geometry/ellipsoid.h"
#include "insar/interferogram.h"
#include "insar/tie_point_matcher.h"
#include "platform/file.h"
#include "platform/ui.h"
#include "products/alos2.h"
#include "simulator/scene_simulator.h"
#include "tiles/scene_tiling.h"
#include "tiles/tile_store.h"

namespace tessarin::insar {
namespace {

namespace fs = std::filesystem;
constexpr int kSize = 2048;  // two by two tiles: the working area is the scene
constexpr int kOffsetX = 3, kOffsetY = -5;
constexpr double kCoherence = 0.9;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Where the master scene is sea or land, from the truth's own terrain
// coordinates (away from the coast by a margin).
enum class Ground { Sea, Land, Other };

class Interferogram : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = (fs::temp_directory_path() / ("tessarin-ifg-" + std::to_string(::getpid()))).string();
        fs::remove_all(root_);
        simulator::SimulatorOptions o;
        o.folder = root_ + "/product";
        o.pixels = kSize;
        o.lines = kSize;
        simulator::PairOptions pair;
        pair.perpendicularBaseline_m = 200.0;
        pair.offsetPixels = kOffsetX;
        pair.offsetLines = kOffsetY;
        pair.coherence = kCoherence;
        o.pair = pair;
        truth_ = new simulator::SimulationTruth(simulator::simulateScene(o));
        fs::create_directories(root_ + "/tiles");
        ScriptedUi ui;
        std::size_t member = 0;
        for (const auto* images : {&truth_->products.at(0).imagePaths, &truth_->pair->products.at(0).imagePaths}) {
            // The scene as the products describe it, decoded as a pair open decodes it.
            products::Alos2& reader = scenes_[member++];
            tiles_.push_back(tiles::tileOriginalProduct(images->at(0), root_ + "/tiles", reader, ui).names.tile);
            ASSERT_GT(reader.params().orbitPointCount, 0);
        }
        // The same pair with every sample conjugated: phase codes negated.
        for (const auto& tile : tiles_) {
            auto bytes = readWholeFile(tile);
            for (std::size_t i = 0; i + 2 < bytes.size(); i += 3) {
                const std::uint32_t w = tiles::loadPacked(&bytes[i]);
                tiles::storePacked(&bytes[i], (w & ~0x1FFu) | ((512u - (w & 0x1FFu)) & 0x1FFu));
            }
            conjugated_.push_back(tile + ".conj");
            writeWholeFile(conjugated_.back(), bytes);
        }
        ground_.resize(static_cast<std::size_t>(kSize) * kSize);
        const auto& t = truth_->terrain;
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x) {
                const GeoPoint g = products::latLonOfPixelLine(truth_->scene, {double(x), double(y)});
                const double xi = t.xi(g), eta = t.eta(g);
                const double coast = simulator::coastXi(eta);
                const auto s = simulator::surfaceAt(xi, eta, truth_->seed);
                ground_[static_cast<std::size_t>(y) * kSize + x] =
                    xi < coast - 0.05 && s == simulator::Surface::Sea ? Ground::Sea
                    : xi > coast + 0.05 && s >= simulator::Surface::Field0 ? Ground::Land
                                                                           : Ground::Other;
            }
    }
    static void TearDownTestSuite() {
        fs::remove_all(root_);
        delete truth_;
        tiles_.clear();
        conjugated_.clear();
        ground_.clear();
    }

    // The table a user refines to: the known offset at every corner.
    static ConjugatePointTable knownOffsetTable(double dx, double dy) {
        ConjugatePointTable t;
        const MasterPoint corners[4] = {{0, 0}, {kSize - 1, 0}, {0, kSize - 1}, {kSize - 1, kSize - 1}};
        for (std::size_t k = 0; k < 4; ++k) t.setPoint(k, corners[k], dx, dy);
        t.ready = true;
        return t;
    }
    static MergerInput input(const std::vector<std::string>& tiles) {
        MergerInput in;
        in.master = &scenes_[0].params();
        in.slave = &scenes_[1].params();
        in.masterGrid = in.slaveGrid = tiles::TileGrid::make(kSize, kSize);
        in.masterTile = tiles[0];
        in.slaveTile = tiles[1];
        in.table = knownOffsetTable(kOffsetX, kOffsetY);
        in.topLeft = {0, 0};
        return in;
    }

    // Fringe rate over the sea, cycles per working area, in range and
    // azimuth: the phase of the products of sea pixels `lag` apart (a long
    // lag measures a slow rate through the speckle noise; a fast one needs
    // a short lag not to wrap).
    static std::pair<double, double> seaFringeRate(const MergerResult& r, int lag) {
        std::complex<double> range{}, azimuth{};
        const auto z = [&](std::size_t j) { return std::polar(1.0, kTwoPi * r.fringe[j] / 256.0); };
        const auto sea = [&](std::size_t j) { return ground_[j] == Ground::Sea && r.valid[j]; };
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x) {
                const std::size_t i = static_cast<std::size_t>(y) * kSize + x;
                if (!sea(i)) continue;
                if (x + lag < kSize && sea(i + lag)) range += z(i + lag) * std::conj(z(i));
                if (y + lag < kSize && sea(i + static_cast<std::size_t>(lag) * kSize))
                    azimuth += z(i + static_cast<std::size_t>(lag) * kSize) * std::conj(z(i));
            }
        const double perArea = static_cast<double>(kSize) / lag / kTwoPi;
        return {std::arg(range) * perArea, std::arg(azimuth) * perArea};
    }

    static inline std::string root_;
    static inline simulator::SimulationTruth* truth_ = nullptr;
    static inline std::vector<std::string> tiles_, conjugated_;
    static inline std::vector<Ground> ground_;
    static inline products::Alos2 scenes_[2];
};

TEST_F(Interferogram, FlattensTheSeaWhicheverConventionTheSamplesCarry) {
    std::size_t sea = 0;
    for (Ground g : ground_) sea += g == Ground::Sea;
    ASSERT_GT(sea, 100000u) << "the area must hold open sea";
    const struct {
        const char* name;
        bool conjugated;
        PhaseConvention found;
    } table[] = {{"as simulated", false, PhaseConvention::MinusRange}, {"conjugated", true, PhaseConvention::PlusRange}};
    for (const auto& row : table) {
        const MergerResult r = mergeInterferogram(input(row.conjugated ? conjugated_ : tiles_));
        EXPECT_TRUE(r.conventionDecided) << row.name;
        EXPECT_EQ(r.convention, row.found) << row.name;
        const auto [range, azimuth] = seaFringeRate(r, 256);
        EXPECT_LT(std::fabs(range), 0.1) << row.name;
        EXPECT_LT(std::fabs(azimuth), 0.1) << row.name;
        // The other sense doubles the flat earth instead of removing it.
        MergerInput wrong = input(row.conjugated ? conjugated_ : tiles_);
        wrong.convention = row.found == PhaseConvention::MinusRange ? PhaseConvention::PlusRange : PhaseConvention::MinusRange;
        const MergerResult doubled = mergeInterferogram(wrong);
        EXPECT_FALSE(doubled.conventionDecided);
        const double doubledRange = seaFringeRate(doubled, 1).first;
        EXPECT_GT(std::fabs(doubledRange), 15.0) << row.name;
        std::cout << "[ figures  ] " << row.name << ": sea fringe rate " << range << ", " << azimuth
                  << " cycles per area; the other sense " << doubledRange << "\n";
    }
}

TEST_F(Interferogram, FlattenedPhaseFollowsTheTerrainsTopographicPhase) {
    // The oracle: the truth geometry's ground on the terrain and on the
    // ellipsoid under each window centre, both orbits at their zero-Doppler
    // times; the flattened phase (slave minus master) is the difference of
    // the two range differences.
    const simulator::SceneGeometryModel model(kSize, kSize, 'R');
    const MergerResult r = mergeInterferogram(input(tiles_));
    const double lambda = truth_->wavelength_m;
    const auto rangeDifference = [&](geometry::Ecef g, double line) {
        const double guess = model.timeOfLine(line);
        const auto s1 = truth_->orbit.position(truth_->orbit.zeroDopplerTime(g, guess));
        const auto s2 = truth_->pair->orbit.position(truth_->pair->orbit.zeroDopplerTime(g, guess));
        return 2.0 * (geometry::norm(g - s1) - geometry::norm(g - s2)) / lambda;
    };
    int windows = 0;
    double worst = 0.0, largestTopography = 0.0;
    constexpr int kHalf = 4;
    for (int y = 150; y < kSize - 150; y += 173)
        for (int x = 150; x < kSize - 150; x += 173) {
            if (ground_[static_cast<std::size_t>(y) * kSize + x] != Ground::Land) continue;
            std::complex<double> sum{};
            for (int j = y - kHalf; j <= y + kHalf; ++j)
                for (int i = x - kHalf; i <= x + kHalf; ++i)
                    sum += std::polar(1.0, kTwoPi * r.fringe[static_cast<std::size_t>(j) * kSize + i] / 256.0);
            const double measured = std::arg(sum) / kTwoPi;
            const double expected = rangeDifference(model.groundTerrain(x, y), y) - rangeDifference(model.groundEllipsoid(x, y), y);
            const double off = std::fabs(std::remainder(measured - expected, 1.0));
            worst = std::max(worst, off);
            largestTopography = std::max(largestTopography, std::fabs(expected));
            EXPECT_LT(off, 1.0 / 20.0) << x << "," << y << ": measured " << measured << " expected " << expected;
            ++windows;
        }
    EXPECT_GE(windows, 20);
    EXPECT_GT(largestTopography, 0.2) << "the land must carry topographic phase to follow";
    std::cout << "[ figures  ] flattened phase vs topography: worst " << worst << " cycle over " << windows
              << " windows of 9x9; topography up to " << largestTopography << " cycle\n";
}

TEST_F(Interferogram, CoherenceOverLandAndHistogramsAgainstAnIndependentCount) {
    const MergerInput in = input(tiles_);
    const MergerResult r = mergeInterferogram(in);
    double sum = 0.0;
    std::size_t land = 0;
    for (std::size_t i = 0; i < ground_.size(); ++i)
        if (ground_[i] == Ground::Land && r.valid[i]) {
            sum += r.coherence[i];
            ++land;
        }
    ASSERT_GT(land, 100000u);
    const double mean = sum / static_cast<double>(land);
    std::cout << "[ figures  ] mean coherence over land " << mean << " for " << kCoherence << "\n";
    EXPECT_NEAR(mean, 255.0 * kCoherence, 3.0);

    // Every pixel in exactly one class, by its master amplitude code.
    const auto master = readComplexWindow(tiles_[0], in.masterGrid, 0, 0, kSize, kSize);
    std::array<std::array<std::uint32_t, 256>, 3> counts{};
    for (std::size_t i = 0; i < master.size(); ++i) {
        const double a = master[i] >> 9;
        const int c = a < r.masterMean ? 0 : (a < r.masterMean + r.masterDeviation ? 1 : 2);
        ++counts[static_cast<std::size_t>(c)][r.coherence[i]];
    }
    std::uint64_t total = 0;
    for (std::size_t c = 0; c < 3; ++c) {
        EXPECT_EQ(r.histograms[c].counts, counts[c]) << c;
        for (auto n : r.histograms[c].counts) total += n;
        const auto& h = r.histograms[c];
        EXPECT_EQ(h.scaled[static_cast<std::size_t>(h.maxBin)], h.maxCount ? 256u : 0u);
    }
    EXPECT_EQ(total, 4194304u);

    // Bit-identical whichever number of threads.
    for (int threads : {1, 3}) {
        MergerInput again = in;
        again.threads = threads;
        const MergerResult t = mergeInterferogram(again);
        EXPECT_EQ(t.fringe, r.fringe) << threads;
        EXPECT_EQ(t.coherence, r.coherence) << threads;
        EXPECT_EQ(t.cut.bytes(), r.cut.bytes()) << threads;
        EXPECT_EQ(t.masterMean, r.masterMean) << threads;
    }
}

TEST_F(Interferogram, AnIdenticalPairIsFullyCoherentAndUnfringed) {
    MergerInput in = input({tiles_[0], tiles_[0]});
    in.slave = &scenes_[0].params();
    in.table = knownOffsetTable(0.0, 0.0);
    for (const std::int32_t reverse : {0, 1}) {
        in.table.reversePhase = reverse;
        const MergerResult r = mergeInterferogram(in);
        const auto master = readComplexWindow(tiles_[0], in.masterGrid, 0, 0, kSize, kSize);
        std::size_t checked = 0;
        for (std::size_t i = 0; i < master.size(); ++i) {
            if (!r.valid[i]) continue;
            ASSERT_EQ(r.fringe[i], 0) << i;
            if ((master[i] >> 9) == 0) continue;  // a dark sample may sit among dark neighbours
            ASSERT_EQ(r.coherence[i], 255) << i;
            ASSERT_EQ(r.weightedCoherence[i], 255) << i;
            ASSERT_EQ(r.similarity[i], 255) << i;
            ++checked;
        }
        EXPECT_GT(checked, master.size() / 2);
        EXPECT_EQ(r.cut.bytes().size(), 25165824u);
    }
}

TEST_F(Interferogram, SinglePointMatchingRecoversTheOffsetAtTexturedPoints) {
    // Land points on a grid, each measured from an estimate off by a few
    // samples (the search must find the rest).
    const auto grid = tiles::TileGrid::make(kSize, kSize);
    int measured = 0;
    for (int y = 200; y < kSize - 100; y += 350)
        for (int x = 200; x < kSize - 100; x += 350) {
            if (ground_[static_cast<std::size_t>(y) * kSize + x] != Ground::Land) continue;
            const tiles::GlobalPoint m{x, y}, s{x + 1, y - 2};
            const MatchResult r = matchAt(tiles_[0], grid, kSize, kSize, tiles_[1], grid, kSize, kSize, m, s, true);
            ASSERT_TRUE(r.accepted) << x << "," << y << ": " << r.refusal;
            EXPECT_NEAR(static_cast<double>(s.x - m.x) + r.dx, kOffsetX, 0.05) << x << "," << y;
            EXPECT_NEAR(static_cast<double>(s.y - m.y) + r.dy, kOffsetY, 0.05) << x << "," << y;
            ++measured;
        }
    EXPECT_GE(measured, 5);
    // A master window mostly outside the scene is refused.
    EXPECT_FALSE(matchAt(tiles_[0], grid, kSize, kSize, tiles_[1], grid, kSize, kSize, {kSize + 5, 100}, {kSize + 8, 95},
                         false)
                     .accepted);
}

TEST_F(Interferogram, ThePhaseRampOfTheTableGoesIntoFringeOnly) {
    MergerInput in = input(tiles_);
    const MergerResult plain = mergeInterferogram(in);
    in.table.phaseIncH = 2.0;   // two cycles across
    in.table.phaseIncV = -0.5;  // half a cycle back down the area
    const MergerResult ramped = mergeInterferogram(in);
    EXPECT_EQ(ramped.savedFringe, plain.fringe);
    // The ramp in cycles, against the flattened phase without it.
    std::size_t checked = 0;
    for (int y = 0; y < kSize; y += 97)
        for (int x = 0; x < kSize; x += 89) {
            const std::size_t i = static_cast<std::size_t>(y) * kSize + x;
            if (!plain.valid[i]) continue;
            const double expected = 2.0 * x / kSize - 0.5 * y / kSize;
            const double got = (int(ramped.fringe[i]) - int(plain.fringe[i])) / 256.0;
            EXPECT_LT(std::fabs(std::remainder(got - expected, 1.0)), 1.0 / 256.0 + 1e-12) << x << "," << y;
            ++checked;
        }
    EXPECT_GT(checked, 300u);
}

TEST(CoherenceBytes, AgainstPlainArithmetic) {
    const struct {
        double re, im, pm, ps;
    } table[] = {
        {0, 0, 0, 0},               // no power
        {0, 0, 5, 0},               // one scene dark: the coherences 0, the similarity 0
        {9.0e9, 0, 9.0e9, 9.0e9},   // equal powers near the largest 3 x 3 sums
        {50, 0, 100, 100},          // half coherent
        {0, 80, 100, 400},          // unequal powers
        {-3.0e5, 4.0e5, 7.0e5, 6.0e5},
    };
    for (const auto& row : table) {
        const CoherenceBytes b = coherenceBytes(row.re, row.im, row.pm, row.ps);
        const double i = std::hypot(row.re, row.im);
        const auto byte = [](double v) { return static_cast<int>(std::min(255.0, std::floor(255.0 * v + 1e-12))); };
        const int coh = row.pm > 0 && row.ps > 0 ? byte(i / std::sqrt(row.pm * row.ps)) : 0;
        const int wgt = row.pm > 0 && row.ps > 0 ? byte(2 * i / (row.pm + row.ps)) : 0;
        const int sim = row.pm > 0 || row.ps > 0 ? byte(2 * std::sqrt(row.pm * row.ps) / (row.pm + row.ps)) : 0;
        EXPECT_EQ(b.coherence, coh) << row.re;
        EXPECT_EQ(b.weighted, wgt) << row.re;
        EXPECT_EQ(b.similarity, sim) << row.re;
    }
}

}  // namespace
}  // namespace tessarin::insar
