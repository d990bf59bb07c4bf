// A simulated pair over terrain, its working area exported with the DEM:
// the four layers placed by GDAL exactly as the amplitude frame, the
// layers' colours the colour table of the converted fringe codes, every
// converted pixel a sample of the working area (never a blend), and the
// differential fringe flat where the terrain's phase was taken out (the
// pair has no deformation, so only noise is left).

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <algorithm>

#include "app/app_core.h"
#include "app/command_ids.h"
#include "app/command_table.h"
#include "core/imagefiles/image_tools.h"
#include "dem/dem_state.h"
#include "dem/geoid_grid.h"
#include "display/view_controller.h"
#include "document/tessarin_doc.h"
#include "export/export_commands.h"
#include "export/insar_layers.h"
#include "export/ortho_source.h"
#include "insar/fringe_color.h"
#include "insar/fringe_commands.h"
#include "insar/pair_state.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "products/alos2.h"
#include "simulator/scene_simulator.h"
#include "simulator/simulated_dem.h"
#include "support/png_read.h"
#include "tiles/scene_tiling.h"

namespace tessarin::geoexport {
namespace {

namespace fs = std::filesystem;
namespace cmd = app::cmd;
using tessarin::testing::runTool;
using tessarin::testing::shellQuote;

constexpr int kPixels = 2048, kLines = 2048;

// The mean resultant length of 8-bit phase codes: 1 for one phase, near 0
// for phases spread over the cycle.
double resultantLength(const std::vector<int>& codes) {
    double c = 0, s = 0;
    for (int v : codes) {
        c += std::cos(2 * M_PI * v / 256.0);
        s += std::sin(2 * M_PI * v / 256.0);
    }
    return codes.empty() ? 0.0 : std::hypot(c, s) / static_cast<double>(codes.size());
}

class InsarLayers : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!fs::exists(dem::kProjDataEgm96Gtx)) return;
        root_ = (fs::temp_directory_path() / ("tessarin-layers-" + std::to_string(::getpid()))).string();
        fs::remove_all(root_);
        simulator::SimulatorOptions o;
        o.folder = root_ + "/product";
        o.pixels = kPixels;
        o.lines = kLines;
        simulator::PairOptions pair;
        pair.perpendicularBaseline_m = 200.0;
        o.pair = pair;
        truth_ = new simulator::SimulationTruth(simulator::simulateScene(o));
        const dem::GeoidGrid geoid = dem::readGtxGeoid(dem::kProjDataEgm96Gtx);
        dem_ = new simulator::WrittenDem(simulator::writeSimulatedDem({o.folder, truth_->terrain, truth_->corners}, geoid));
        const std::string tiles = root_ + "/tiles";
        fs::create_directories(tiles);
        ScriptedUi ui;
        for (const auto* images : {&truth_->products.at(0).imagePaths, &truth_->pair->products.at(0).imagePaths}) {
            products::Alos2 reader;
            tileFiles_.push_back(tiles::tileOriginalProduct(images->at(0), tiles, reader, ui).names.tile);
        }
    }
    static void TearDownTestSuite() {
        if (!root_.empty()) fs::remove_all(root_);
        delete truth_;
        delete dem_;
        tileFiles_.clear();
    }
    void SetUp() override {
        if (!truth_) {
            if (runTool("test \"$CI\" = true").exitCode == 0) FAIL() << dem::kProjDataEgm96Gtx << " is missing";
            GTEST_SKIP() << dem::kProjDataEgm96Gtx << " (proj-data) is absent";
        }
        work_ = root_ + "/work";
        fs::create_directories(work_);
        ::setenv("TESSARIN_WORKDIR", work_.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("TESSARIN_WORKDIR");
        LinkBlock::remove(link_);
    }

    // The pair made, moved on to its interferogram (mode 9), the DEM imported.
    document::CTessarinDoc* openPair(app::AppCore& core, ScriptedUi& ui) {
        app::registerModules(core);
        ui.addAnswer(work_ + "/layers");
        ui.addAnswer(tileFiles_[0]);
        ui.addAnswer(tileFiles_[1]);
        const std::size_t before = core.documents().size();
        EXPECT_TRUE(core.run(*app::findCommand(cmd::kNewAlos2InferoPair), nullptr));
        if (core.documents().size() == before) return nullptr;
        document::CTessarinDoc* doc = core.documents().back().get();
        EXPECT_TRUE(core.run(*app::findCommand(cmd::kAlos2InferoGeneration), doc));
        std::string hgt;
        for (const auto& t : dem_->tiles)
            if (t.source == dem::DemSource::Srtm3) hgt = t.path;
        ui.addAnswer(hgt);
        ui.addAnswer(dem_->geoidPath);
        EXPECT_TRUE(core.run(*app::findCommand("SRTM old List"), doc));
        EXPECT_TRUE(core.run(*app::findCommand("DEM Import"), doc));
        return doc;
    }

    static inline std::string root_;
    static inline simulator::SimulationTruth* truth_ = nullptr;
    static inline simulator::WrittenDem* dem_ = nullptr;
    static inline std::vector<std::string> tileFiles_;
    std::string work_;
    const std::string link_ = format("link_data_layers_%d", static_cast<int>(::getpid()));
};

TEST_F(InsarLayers, LayersSitOnTheAmplitudeFrameAndTheTerrainPhaseIsTakenOut) {
    ScriptedUi ui;
    app::AppCore core(ui, link_);
    document::CTessarinDoc* doc = openPair(core, ui);
    ASSERT_NE(doc, nullptr);
    ASSERT_EQ(doc->openMode(), 9);
    ASSERT_TRUE(hasInterferometricLayers(*doc));
    const auto& pair = doc->moduleState<insar::PairState>();
    ASSERT_TRUE(pair.merged);
    display::ViewController view(*doc, ui);
    core.activeView = &view;
    struct Detach {
        app::AppCore& core;
        ~Detach() { core.activeView = nullptr; }
    } detach{core};

    const FrameIndex frame = currentFrame(*doc);
    const std::string folder = exportTarget(*doc).folder;
    const std::string name = frameName(doc->label(), frame);
    const std::string mainPng = joinPath(folder, name + ".png"), mainKml = joinPath(folder, name + ".kml");
    const LayerFiles files = layerFiles(folder, name);

    // The amplitude alone: the frame, no layer.
    EXPECT_TRUE(core.run(*app::findCommand(cmd::kExportAmplitudeKmlForInferoData), doc)) << ui.messages.back();
    EXPECT_TRUE(fileExists(mainPng));
    EXPECT_FALSE(fs::exists(joinPath(folder, kAmpLayerFolder)));

    // Grey layers chosen in the range dialog of the multi-tile export.
    ui.addAnswer("kxs=0,kxe=0,kys=0,kye=0,interferogram=Gray,difinfero=0,coherence=Gray");
    EXPECT_TRUE(core.run(*app::findCommand(cmd::kExportMultipleTiles), doc)) << ui.messages.back();
    EXPECT_EQ(ui.dialogTitles.back(), "Output Option Dialog");
    EXPECT_EQ(doc->moduleState<insar::FringeState>().outputColour, (std::array<int, 3>{0, 0, 0}));
    for (const std::string& png : {files.amp, files.fringe, files.difFringe, files.coherence})
        ASSERT_TRUE(fileExists(png)) << png;
    const auto grey = [](const std::string& path) { return tessarin::testing::readPng(path); };
    const auto frg = grey(files.fringe), dif = grey(files.difFringe), coh = grey(files.coherence);
    const std::vector<std::uint8_t> simulated = readWholeFile(files.simulated);

    // Every layer placed exactly where GDAL places the amplitude frame.
    const auto placed = tessarin::testing::gdalInfo(mainKml);
    ASSERT_TRUE(placed.is_object());
    for (const std::string& png : {files.amp, files.fringe, files.difFringe, files.coherence}) {
        SCOPED_TRACE(png);
        const std::string kml = png.substr(0, png.size() - 4) + ".kml";
        EXPECT_EQ(runTool("xmllint --noout " + shellQuote(kml)).exitCode, 0);
        EXPECT_NE(runTool("pngcheck " + shellQuote(png)).output.find("32-bit RGB+alpha"), std::string::npos);
        const auto info = tessarin::testing::gdalInfo(kml);
        ASSERT_TRUE(info.is_object());
        EXPECT_EQ(info["size"], placed["size"]);
        for (int k = 0; k < 6; ++k)
            EXPECT_DOUBLE_EQ(info["geoTransform"][k].get<double>(), placed["geoTransform"][k].get<double>()) << k;
    }

    // The converted frame again, as the layers were made from it: every
    // opaque pixel holds the amplitude, fringe and coherence of one sample
    // of the working area together (a blend of neighbours would not).
    const insar::MergerResult& r = pair.last;
    std::vector<std::uint64_t> samples;
    PairPlanes planes;
    planes.x0 = r.masterTopLeft.x, planes.y0 = r.masterTopLeft.y, planes.width = r.width, planes.height = r.height;
    for (int y = 0; y < r.height; ++y)
        for (int x = 0; x < r.width; ++x) {
            const std::size_t k = static_cast<std::size_t>(y) * r.width + x;
            planes.amplitude.push_back(r.cut.at(x, y, 0));
            if (r.valid[k])
                samples.push_back((std::uint64_t{r.cut.at(x, y, 0)} << 16) | (std::uint64_t{r.fringe[k]} << 8) | r.coherence[k]);
        }
    std::sort(samples.begin(), samples.end());
    planes.fringe = r.fringe, planes.coherence = r.coherence, planes.valid = r.valid;
    const dem::OrthoFrameRequest request =
        dem::OrthoFrameRequest::ofTiles(frame.kx, frame.ky, doc->tpix(), doc->tlin(), dem::orthoVariantFor(*doc));
    const dem::OrthoImage image =
        dem::orthoFrameOfDocument(*doc, request, ui, [&](const dem::BandBox& b) { return pairBand(planes, b); });
    ASSERT_EQ(image.grid.columns, frg.width);
    ASSERT_EQ(image.grid.rows, frg.height);
    const std::size_t cells = image.alpha.size();
    ASSERT_EQ(simulated.size(), cells);
    std::size_t opaque = 0, foreign = 0, wrongGrey = 0;
    std::vector<int> fringeCodes, differenceCodes;
    int simulatedLow = 255, simulatedHigh = 0;
    for (std::size_t k = 0; k < cells; ++k) {
        const int i = static_cast<int>(k % image.grid.columns), j = static_cast<int>(k / image.grid.columns);
        const auto f = frg.at(i, j), d = dif.at(i, j), c = coh.at(i, j);
        if (!image.alpha[k]) {
            wrongGrey += (f[3] != 0 || d[3] != 0 || c[3] != 0);
            continue;
        }
        ++opaque;
        const std::uint16_t* v = image.rgb.data() + 3 * k;
        foreign += !std::binary_search(samples.begin(), samples.end(), (std::uint64_t{v[0]} << 16) | (std::uint64_t{v[1]} << 8) | v[2]);
        // Grey: the code itself, a valid 0 written as 1 so that it stays visible.
        const auto greyOf = [](int code) { return code == 0 ? 1 : code; };
        wrongGrey += (f[0] != greyOf(v[1]) || f[1] != f[0] || f[2] != f[0] || f[3] != 255);
        wrongGrey += (c[0] != greyOf(v[2]) || c[3] != 255);
        const int D = (v[1] - simulated[k]) & 255;
        wrongGrey += (d[0] != greyOf(D) || d[3] != 255);
        fringeCodes.push_back(v[1]);
        differenceCodes.push_back(D);
        simulatedLow = std::min<int>(simulatedLow, simulated[k]);
        simulatedHigh = std::max<int>(simulatedHigh, simulated[k]);
    }
    EXPECT_GT(opaque, cells / 3);
    EXPECT_EQ(foreign, 0u);
    EXPECT_EQ(wrongGrey, 0u);
    // The terrain gives the fringe a spread the differential has lost.
    const double fringeLength = resultantLength(fringeCodes), differenceLength = resultantLength(differenceCodes);
    std::printf("resultant length: fringe %.3f, differential %.3f; topographic phase %d..%d\n", fringeLength,
                differenceLength, simulatedLow, simulatedHigh);
    // Flat everywhere: in every eighth of the rows and of the columns the
    // differential stays at one phase, as flat as the noise allows (a
    // wrong scale or sense of the terrain's phase leaves it in some bands
    // and not in others).
    std::array<std::array<double, 3>, 16> sums{};  // rows' bands then columns': cos, sin, count
    for (std::size_t k = 0; k < cells; ++k) {
        if (!image.alpha[k]) continue;
        const int i = static_cast<int>(k % image.grid.columns), j = static_cast<int>(k / image.grid.columns);
        const double phase = 2 * M_PI * ((image.rgb[3 * k + 1] - simulated[k]) & 255) / 256.0;
        for (const int band : {j * 8 / image.grid.rows, 8 + i * 8 / image.grid.columns}) {
            sums[band][0] += std::cos(phase);
            sums[band][1] += std::sin(phase);
            sums[band][2] += 1;
        }
    }
    for (int band = 0; band < 16; ++band) {
        SCOPED_TRACE(format("%s band %d", band < 8 ? "row" : "column", band % 8));
        const auto& sum = sums[band];
        EXPECT_GT(std::hypot(sum[0], sum[1]) / sum[2], 0.7);
        EXPECT_LT(std::fabs(std::atan2(sum[1], sum[0]) / (2 * M_PI)), 0.05);
    }
    EXPECT_GT(simulatedHigh - simulatedLow, 40);
    EXPECT_GT(differenceLength, 0.7);
    EXPECT_GT(differenceLength, fringeLength + 0.5);

    // Reverse phase negates the fringe: the simulated phase is negated with it.
    {
        const auto& dem = doc->moduleState<dem::DemState>();
        TopographyInputs in;
        in.master = &doc->reader(0).params();
        in.slave = &doc->reader(1).params();
        in.table = &doc->moduleState<insar::TiePointState>().table;
        in.height = dem::demHeightSampler(dem.table, dem.geoid);
        in.reversePhase = true;
        std::vector<std::uint8_t> fringe(cells);
        for (std::size_t k = 0; k < cells; ++k) fringe[k] = static_cast<std::uint8_t>(image.rgb[3 * k + 1]);
        const DifferentialGrid reversed = differentialOnGrid(image.grid, fringe, image.alpha, in);
        std::size_t wrong = 0;
        for (std::size_t k = 0; k < cells; ++k)
            if (image.alpha[k])
                wrong += reversed.simulated[k] != 255 - simulated[k] ||
                         reversed.difference[k] != ((fringe[k] - reversed.simulated[k]) & 255);
        EXPECT_EQ(wrong, 0u);
    }

    // Colour: the layers are the colour table of the same codes.
    ui.addAnswer("kxs=0,kxe=0,kys=0,kye=0,interferogram=Color,difinfero=Color,coherence=Color");
    EXPECT_TRUE(core.run(*app::findCommand(cmd::kExportMultipleTiles), doc)) << ui.messages.back();
    const insar::ColorTable table = insar::loadColorTable(work_).table;
    const auto frgColour = grey(files.fringe), difColour = grey(files.difFringe), cohColour = grey(files.coherence);
    std::size_t wrongColour = 0;
    for (std::size_t k = 0; k < cells; ++k) {
        if (!image.alpha[k]) continue;
        const int i = static_cast<int>(k % image.grid.columns), j = static_cast<int>(k / image.grid.columns);
        const std::uint16_t* v = image.rgb.data() + 3 * k;
        const auto expect = [&](const std::array<std::uint8_t, 4>& got, int code) {
            std::array<std::uint8_t, 3> want = table[static_cast<std::size_t>(code)];
            if (want == std::array<std::uint8_t, 3>{0, 0, 0}) want = {1, 1, 1};
            return got[0] == want[0] && got[1] == want[1] && got[2] == want[2] && got[3] == 255;
        };
        wrongColour += !expect(frgColour.at(i, j), v[1]);
        wrongColour += !expect(cohColour.at(i, j), v[2]);
        wrongColour += !expect(difColour.at(i, j), (v[1] - simulated[k]) & 255);
    }
    EXPECT_EQ(wrongColour, 0u);
    if (::getenv("TESSARIN_SHOW_LAYERS"))
        std::printf("%s\n%s\n", runTool("gdalinfo " + shellQuote(mainKml)).output.c_str(),
                    runTool("gdalinfo " + shellQuote(files.difFringe.substr(0, files.difFringe.size() - 4) + ".kml"))
                        .output.c_str());
}

}  // namespace
}  // namespace tessarin::geoexport
