// Polarimetric composites against the samples written into the CEOS images:
// every canvas value and every overview byte is predicted here from the
// product's own sample functions, so a channel swap, a transposed axis or an
// off-by-one tile shows.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numbers>

#include "app/app_core.h"
#include "app/command_ids.h"
#include "app/command_table.h"
#include "composites/composite_state.h"
#include "composites/pol_composite.h"
#include "display/view_controller.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/set_file.h"
#include "platform/ui.h"
#include "support/product_fixture.h"
#include "support/refusal.h"
#include "support/temp_dir.h"

using namespace tessarin;
using namespace tessarin::app;
using composites::CompositeState;
using document::CTessarinDoc;
using ::testing::HasSubstr;
namespace pr = tessarin::products;

namespace {

const std::vector<std::string> kQuad{"HH", "HV", "VH", "VV"};

// Level 1.5 amplitudes of each polarisation (index into the product's list).
std::uint16_t amplitudeOf(std::size_t pol, long long x, long long y) {
    return static_cast<std::uint16_t>(1 + (300 * pol + 3 * x + 7 * y) % 4000);
}
// Level 1.1: the amplitude and phase codes a sample is built from; the
// sample sits in the middle of its phase code's cell and half a unit above
// its amplitude code, so the codes are known exactly.
int amplitudeCode(std::size_t pol, long long x, long long y) { return static_cast<int>(1 + (700 * pol + 5 * x + 3 * y) % 9000); }
int phaseCode(std::size_t pol, long long x, long long y) { return static_cast<int>((x + 2 * y + 37 * pol) % 512); }
std::complex<float> sampleOf(std::size_t pol, long long x, long long y) {
    const double angle = -std::numbers::pi + (phaseCode(pol, x, y) + 0.5) * 2.0 * std::numbers::pi / 512.0;
    const double magnitude = (amplitudeCode(pol, x, y) + 0.5) / 0.01;
    return {static_cast<float>(magnitude * std::cos(angle)), static_cast<float>(magnitude * std::sin(angle))};
}
// The canvas value of a complex sample: the two top bytes of the packed
// 24-bit word (amplitude code << 9 | phase code).
std::uint16_t complexCanvasValue(std::size_t pol, long long x, long long y) {
    return static_cast<std::uint16_t>((amplitudeCode(pol, x, y) << 9 | phaseCode(pol, x, y)) >> 8);
}

class PolComposite : public tessarin::testing::WorkFolderTest {
protected:
    // Writes a product of the polarisations and tiles each one; returns the
    // tile paths in the product's order.
    std::vector<std::string> tiledProduct(int level, const std::vector<std::string>& pols, int pixels, int lines) {
        auto product = tessarin::testing::plausibleProduct(
            path("product"), {.level = level, .pixels = pixels, .lines = lines, .polarisations = pols});
        pr::SampleSource source;
        source.amplitudeLine = [](std::size_t pol, int n, std::span<std::uint16_t> s) {
            for (std::size_t x = 0; x < s.size(); ++x) s[x] = amplitudeOf(pol, static_cast<long long>(x), n);
        };
        source.complexLine = [](std::size_t pol, int n, std::span<std::complex<float>> s) {
            for (std::size_t x = 0; x < s.size(); ++x) s[x] = sampleOf(pol, static_cast<long long>(x), n);
        };
        const auto written = pr::writeCeosProduct(product, source);
        std::vector<std::string> tiles;
        ScriptedUi ui(written.imagePaths);
        AppCore core(ui, linkName);
        registerModules(core);
        for (std::size_t k = 0; k < written.imagePaths.size(); ++k) {
            EXPECT_TRUE(core.run(*findCommand(level == pr::kLevel11 ? cmd::kAlos2L11Image : cmd::kAlos2L15Image), nullptr));
            EXPECT_EQ(core.documents().size(), 1u);
            tiles.push_back(core.documents().back()->tileNames().tile);
            core.closeDocument(core.documents().back().get());
        }
        return tiles;
    }

    // Every canvas value against expected(channel, global x, global y).
    template <typename Expected>
    void expectCanvas(const CTessarinDoc& doc, Expected expected, const char* what) {
        const auto* state = doc.findModuleState<CompositeState>();
        ASSERT_NE(state, nullptr);
        const auto& canvas = state->canvas;
        const auto origin = doc.canvasState().origin;
        const auto& p = doc.reader(0).params();
        ASSERT_EQ(canvas.width(), 2048);
        ASSERT_EQ(readWholeFile(doc.canvasPath()), canvas.bytes()) << "the cut file holds the canvas";
        int wrong = 0;
        for (int y = 0; y < canvas.height() && wrong < 5; ++y)
            for (int x = 0; x < canvas.width() && wrong < 5; ++x) {
                const long long gx = origin.x + x, gy = origin.y + y;
                const bool inside = gx >= 0 && gy >= 0 && gx < p.pixel && gy < p.line;
                for (std::size_t c = 0; c < 3; ++c) {
                    const std::uint16_t want = inside ? expected(c, gx, gy) : 0;
                    if (canvas.at(x, y, c) != want) {
                        ADD_FAILURE() << what << ": channel " << c << " at canvas " << x << "," << y << " holds "
                                      << canvas.at(x, y, c) << ", expected " << want;
                        ++wrong;
                    }
                }
            }
    }
};

}  // namespace

TEST_F(PolComposite, DualPolarisationAmplitudeValueByValue) {
    // 2500 x 2300: three tile columns and rows, the last ones partly filled.
    const auto tiles = tiledProduct(pr::kLevel15, {"HH", "HV"}, 2500, 2300);
    ScriptedUi ui({tiles[1]});  // the HV member selected
    AppCore core(ui, linkName);
    registerModules(core);
    ASSERT_TRUE(core.run(*findCommand(cmd::kAlos2L15FbdComposite), nullptr));
    ASSERT_EQ(core.documents().size(), 1u) << (ui.messages.empty() ? "" : ui.messages.back());
    CTessarinDoc& doc = *core.documents().back();
    EXPECT_EQ(doc.label(), "AmpFBD");
    EXPECT_EQ(doc.levelCode(), 15);
    EXPECT_EQ(doc.channelCount(), 2);
    EXPECT_THAT(ui.messages, ::testing::Contains("Open ALOS2 L1.5FBD Tile image Open"));
    EXPECT_EQ(doc.reader(0).params().pointingLeft, 0) << "incidence grows along a right-looking line";

    doc.setCtrorigin({1000, 1000});  // tile boundary nearest: column and row 1
    doc.assembleCanvas();
    ASSERT_EQ(doc.canvasState().kx0, 1);
    const auto hvFirst = [](std::size_t c, long long x, long long y) -> std::uint16_t {
        return c == 0 ? amplitudeOf(1, x, y) : c == 1 ? amplitudeOf(0, x, y) : 0;
    };
    expectCanvas(doc, hvFirst, "HV selected");

    const auto* state = doc.findModuleState<CompositeState>();
    const auto idxHv = readWholeFile(state->members[0].index), idxHh = readWholeFile(state->members[1].index);
    auto overview = readWholeFile(state->overviewPath);
    ASSERT_EQ(overview.size(), 196608u);
    ASSERT_EQ(idxHv.size(), 65536u);
    for (std::size_t i = 0; i < 65536; ++i) {
        ASSERT_EQ(overview[3 * i], idxHv[i]) << i;
        ASSERT_EQ(overview[3 * i + 1], idxHh[i]) << i;
        ASSERT_EQ(overview[3 * i + 2], 0) << i;
    }

    // The toggle fills channel 2 with the partner at once, canvas and overview.
    const CommandInfo& toggle = *findCommand(cmd::kColorDataMode);
    EXPECT_FALSE(core.isChecked(toggle, &doc));
    ASSERT_TRUE(core.run(toggle, &doc));
    EXPECT_TRUE(core.isChecked(toggle, &doc));
    expectCanvas(
        doc, [&](std::size_t c, long long x, long long y) { return c == 2 ? hvFirst(1, x, y) : hvFirst(c, x, y); },
        "after the toggle");
    overview = readWholeFile(state->overviewPath);
    for (std::size_t i = 0; i < 65536; ++i) ASSERT_EQ(overview[3 * i + 2], idxHh[i]) << i;

    // The tile boundary nearest the origin, for origins left of, on and past it.
    for (const auto& [origin, column] : std::vector<std::pair<long long, int>>{
             {4607, 4}, {4608, 5}, {5000, 5}, {0, 0}, {511, 0}, {512, 1}, {-1, 0}, {-513, -1}}) {
        doc.setCtrorigin({origin, 0});
        doc.assembleCanvas();
        EXPECT_EQ(doc.canvasState().kx0, column) << origin;
    }
    // A block reaching past the last tile column is complete, zeros outside.
    doc.setCtrorigin({2600, 1000});
    doc.assembleCanvas();
    EXPECT_EQ(doc.canvasState().kx0, 3);
    expectCanvas(doc, [&](std::size_t c, long long x, long long y) { return c == 2 ? hvFirst(1, x, y) : hvFirst(c, x, y); },
                 "past the last column");
    const std::string cut = doc.canvasPath();
    core.closeDocument(&doc);
    EXPECT_FALSE(fileExists(cut)) << "the cut file goes with the document";
}

TEST_F(PolComposite, MissingAndMismatchedPartners) {
    const auto tiles = tiledProduct(pr::kLevel11, {"VV", "HH"}, 1100, 1300);
    // The level 1.5 command refuses a file without partner before opening.
    {
        ScriptedUi ui({tiles[0]});
        AppCore core(ui, linkName);
        registerModules(core);
        ASSERT_TRUE(core.run(*findCommand(cmd::kAlos2L15FbdComposite), nullptr));
        EXPECT_TRUE(core.documents().empty());
        EXPECT_EQ(ui.messages, std::vector<std::string>{"Combination Image does not exist"});
    }
    // The level 1.1 one opens it with channels 1 and 2 zero, and says why.
    ScriptedUi ui({tiles[0]});
    AppCore core(ui, linkName);
    registerModules(core);
    ASSERT_TRUE(core.run(*findCommand(cmd::kAlos2L11FbdComposite), nullptr));
    ASSERT_EQ(core.documents().size(), 1u) << (ui.messages.empty() ? "" : ui.messages.back());
    CTessarinDoc& doc = *core.documents().back();
    EXPECT_THAT(ui.statuses, ::testing::Contains(HasSubstr("has no partner polarisation")));
    doc.setCtrorigin({0, 0});
    doc.assembleCanvas();
    expectCanvas(doc, [](std::size_t c, long long x, long long y) { return c == 0 ? complexCanvasValue(0, x, y) : 0; },
                 "no partner");
    EXPECT_FALSE(doc.amplitudeFlag());

    // A partner whose tile file does not fit the scene's grid is not read.
    const std::string hv = composites::partnerOf(tiles[1]);
    writeWholeFile(hv, std::vector<std::uint8_t>(1000, 7));
    ScriptedUi ui2({tiles[1]});
    AppCore core2(ui2, linkName);
    registerModules(core2);
    ASSERT_TRUE(core2.run(*findCommand(cmd::kAlos2L11FbdComposite), nullptr));
    ASSERT_EQ(core2.documents().size(), 1u);
    EXPECT_THAT(ui2.messages, ::testing::Contains(HasSubstr("holds 1000 bytes")));
    CTessarinDoc& doc2 = *core2.documents().back();
    doc2.setCtrorigin({0, 0});
    doc2.assembleCanvas();
    expectCanvas(doc2, [](std::size_t c, long long x, long long y) { return c == 0 ? complexCanvasValue(1, x, y) : 0; },
                 "partner of the wrong size");
}

TEST_F(PolComposite, QuadCompositeUnderEachRgbAssignment) {
    const auto tiles = tiledProduct(pr::kLevel11, kQuad, 1100, 1300);
    const auto v = complexCanvasValue;
    struct Case {
        int rgb;
        std::function<std::uint16_t(std::size_t, long long, long long)> expected;
    };
    const std::vector<Case> cases = {
        {0, [&](std::size_t c, long long x, long long y) -> std::uint16_t { return c == 0 ? v(0, x, y) : c == 1 ? v(1, x, y) : 0; }},
        {1, [&](std::size_t c, long long x, long long y) -> std::uint16_t { return c == 0 ? v(0, x, y) : c == 1 ? v(3, x, y) : 0; }},
        {2, [&](std::size_t c, long long x, long long y) -> std::uint16_t { return c == 0 ? v(3, x, y) : c == 1 ? v(2, x, y) : 0; }},
        {3, [&](std::size_t c, long long x, long long y) -> std::uint16_t {
             return c == 0 ? v(0, x, y) : c == 1 ? static_cast<std::uint16_t>((v(1, x, y) + v(2, x, y)) / 2) : v(3, x, y);
         }},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.rgb);
        ScriptedUi ui({tiles[3], format("mode=%d", k.rgb)});  // any channel of the set selected
        AppCore core(ui, linkName);
        registerModules(core);
        ASSERT_TRUE(core.run(*findCommand(cmd::kHhVhComposite), nullptr));
        ASSERT_EQ(core.documents().size(), 1u) << (ui.messages.empty() ? "" : ui.messages.back());
        CTessarinDoc& doc = *core.documents().back();
        EXPECT_EQ(doc.label(), "CpxQBD");
        EXPECT_EQ(doc.openMode(), 36);
        const auto prj = readWholeFile(composites::polProjectPath(tiles[3]));
        ASSERT_GE(prj.size(), 5u);
        EXPECT_EQ(prj[0], k.rgb) << "the RGB number comes first";
        doc.setCtrorigin({0, 0});
        doc.assembleCanvas();
        expectCanvas(doc, k.expected, "quad");

        // The readout reads the three-channel canvas and the amplitude code.
        display::ViewController view(doc, ui);
        view.paint(1600, 1100);
        view.leftButtonDown({300, 200}, {});
        const auto& p = doc.reader(0).params();
        const auto db = [&](std::uint16_t value) { return 20.0 * std::log10((value >> 1) / 0.01) + p.calib; };
        EXPECT_THAT(view.lastReadout(), HasSubstr(format("pv1=%.2f, pv2=%.2f(dB)", db(k.expected(0, 300, 200)),
                                                         db(k.expected(1, 300, 200)))));
    }
    // The averaged assignment needs all four: without VH it shows HH-HV.
    std::filesystem::rename(tiles[2], tiles[2] + ".away");
    ScriptedUi ui({tiles[0], "mode=3"});
    AppCore core(ui, linkName);
    registerModules(core);
    ASSERT_TRUE(core.run(*findCommand(cmd::kHhVhComposite), nullptr));
    ASSERT_EQ(core.documents().size(), 1u);
    EXPECT_THAT(ui.statuses, ::testing::Contains(HasSubstr("needs the HH, HV, VH and VV TileSets")));
    CTessarinDoc& doc = *core.documents().back();
    doc.setCtrorigin({0, 0});
    doc.assembleCanvas();
    expectCanvas(doc, cases[0].expected, "fallback");
}

// The pair project's bytes, both layouts, and every damage refused with
// the file named.
TEST_F(PolComposite, PairProjectBytesAndRefusals) {
    const std::string a = path("IMG-HH-Xtile.cpx"), b = path("IMG-HV-Xtile.cpx");
    writeWholeFile(a, std::vector<std::uint8_t>(4, 0));
    writeWholeFile(b, std::vector<std::uint8_t>(4, 0));
    const auto archive = [](const std::string& s) {
        std::vector<std::uint8_t> out{0xFF, 0xFE, 0xFF, static_cast<std::uint8_t>(s.size())};
        for (char c : s) {
            out.push_back(static_cast<std::uint8_t>(c));
            out.push_back(0);
        }
        return out;
    };
    std::vector<std::uint8_t> strings = archive(a);
    const auto second = archive(b);
    strings.insert(strings.end(), second.begin(), second.end());
    std::vector<std::uint8_t> numbered{2, 0, 0, 0};
    numbered.insert(numbered.end(), strings.begin(), strings.end());

    composites::writePolProject(path("s.prj"), {std::nullopt, a, b});
    EXPECT_EQ(readWholeFile(path("s.prj")), strings);
    composites::writePolProject(path("n.prj"), {2, a, b});
    EXPECT_EQ(readWholeFile(path("n.prj")), numbered);
    for (const auto& [file, rgb] : {std::pair{"s.prj", std::optional<int>()}, std::pair{"n.prj", std::optional<int>(2)}}) {
        const auto read = composites::readPolProject(path(file));
        EXPECT_EQ(read.rgb, rgb) << file;
        EXPECT_EQ(read.member1, a);
        EXPECT_EQ(read.member2, b);
    }
    // Every truncation of either layout is refused, naming the file.
    for (const auto* bytes : {&strings, &numbered})
        for (std::size_t n = 0; n < bytes->size(); ++n) {
            writeWholeFile(path("cut.prj"), std::span(bytes->data(), n));
            EXPECT_THAT(tessarin::testing::refusalOf([&] { composites::readPolProject(path("cut.prj")); }),
                        HasSubstr(path("cut.prj")))
                << n << " bytes";
        }
    // Damaged contents.
    auto withNul = archive("IMG-HH");
    withNul[withNul.size() - 2] = 0;
    const auto empty = std::vector<std::uint8_t>{0xFF, 0xFE, 0xFF, 0};
    const struct {
        std::vector<std::uint8_t> bytes;
        const char* message;
    } damaged[] = {
        {{7, 0, 0, 0, 0xFF, 0xFE, 0xFF, 1, 'a', 0}, "the RGB assignment number 7 is not 0 to 3"},
        {{1, 2, 3, 4, 5, 6}, "is not a composite project"},
        {empty, "the first member at byte 0 is empty"},
        {withNul, "holds a NUL character"},
    };
    for (const auto& d : damaged) {
        writeWholeFile(path("bad.prj"), d.bytes);
        EXPECT_THAT(tessarin::testing::refusalOf([&] { composites::readPolProject(path("bad.prj")); }),
                    HasSubstr(d.message));
    }
    // A project moved with its members finds them beside it.
    std::filesystem::create_directories(path("moved"));
    std::vector<std::uint8_t> windows = archive("C:\\data\\IMG-HH-Xtile.cpx");
    const auto windowsSecond = archive("C:\\data\\IMG-HV-Xtile.cpx");
    windows.insert(windows.end(), windowsSecond.begin(), windowsSecond.end());
    writeWholeFile(path("moved/p.prj"), windows);
    for (const auto& f : {"IMG-HH-Xtile.cpx", "IMG-HV-Xtile.cpx"}) std::filesystem::copy(path(f), path(std::string("moved/") + f));
    const auto moved = composites::readPolProject(path("moved/p.prj"));
    EXPECT_EQ(moved.member1, path("moved/IMG-HH-Xtile.cpx"));
    EXPECT_EQ(moved.member2, path("moved/IMG-HV-Xtile.cpx"));
}

TEST(PolCompositeNames, PartnerAndMemberRules) {
    const struct {
        const char* tile;
        const char* partner;
    } partners[] = {
        {"/d/IMG-HH-ALOS2-1.5__Dtile", "/d/IMG-HV-ALOS2-1.5__Dtile"},
        {"/d/IMG-HV-ALOS2-1.1__Atile.cpx", "/d/IMG-HH-ALOS2-1.1__Atile.cpx"},
        {"/d/IMG-VV-ALOS2-1.1__Atile.cpx", ""},
        {"/d/IMG-HH", ""},
        {"", ""},
    };
    for (const auto& p : partners) EXPECT_EQ(composites::partnerOf(p.tile), p.partner) << p.tile;
    const auto m = composites::memberOf("/d/IMG-HV-ALOS2-1.1__Atile.cpx", tiles::TileKind::Complex);
    EXPECT_EQ(m.base, "/d/IMG-HV-ALOS2-1.1__A");
    EXPECT_EQ(m.index, "/d/IMG-HV-ALOS2-1.1__A.idx");
    EXPECT_EQ(m.headerCopy, "/d/FHDR-ALOS2-1.1__A") << "named after the image, not the tile file";
    EXPECT_EQ(m.leaderCopy, "/d/LED-ALOS2-1.1__A");
    EXPECT_EQ(composites::memberOf("/d/IMG-HH-X__Dtile", tiles::TileKind::Amplitude).base, "/d/IMG-HH-X__D");
    EXPECT_EQ(composites::quadChannelPath("/d/IMG-HV-S__Atile.cpx", "VV"), "/d/IMG-VV-S__Atile.cpx");
}
