// First-generation PALSAR products through their open commands (modes 50 to
// 53): the TileSet holds the samples of the product, reopening it finds its
// quick-look and copies and shows the same canvas, and refused products say
// why and leave no TileSet.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numbers>

#include "app/app_core.h"
#include "app/command_ids.h"
#include "app/command_table.h"
#include "platform/file.h"
#include "platform/ui.h"
#include "products/calos.h"
#include "support/product_fixture.h"
#include "support/temp_dir.h"

using namespace tessarin;
using namespace tessarin::app;
using document::CTessarinDoc;
namespace pr = tessarin::products;

namespace {

constexpr int kPixels = 1200, kLines = 1300;  // 2 x 2 tiles, narrower than the canvas

std::complex<float> sampleAt(std::size_t x, int line) {
    const auto y = static_cast<std::size_t>(line);
    return {static_cast<float>((x * 37 + y * 11) % 5000) - 2500.0f, static_cast<float>((x * 13 + y * 29) % 3000) - 1200.5f};
}
std::uint16_t amplitudeAt(std::size_t x, int line) {
    return static_cast<std::uint16_t>((x * 7 + static_cast<std::size_t>(line) * 3) % 4000 + 1);
}

// The tile file written out plainly: tiles of 1024 x 1024 in rows, complex
// pixels as three big-endian bytes of (amplitude code) * 512 + phase code,
// amplitude pixels as little-endian uint16; zeros beyond the scene.
std::vector<std::uint8_t> plainTiles(bool complex) {
    const int ntx = (kPixels + 1023) / 1024, nty = (kLines + 1023) / 1024;
    const std::size_t bytes = complex ? 3 : 2;
    std::vector<std::uint8_t> out(static_cast<std::size_t>(ntx * nty) * 1024 * 1024 * bytes, 0);
    for (int y = 0; y < kLines; ++y)
        for (int x = 0; x < kPixels; ++x) {
            const std::size_t at = (static_cast<std::size_t>(x / 1024 + (y / 1024) * ntx) * 1024 * 1024 +
                                    static_cast<std::size_t>(y % 1024) * 1024 + static_cast<std::size_t>(x % 1024)) *
                                   bytes;
            if (complex) {
                const std::complex<float> z = sampleAt(static_cast<std::size_t>(x), y);
                const double m = std::hypot(double(z.real()), double(z.imag()));
                const auto a = static_cast<std::uint32_t>(std::min(32767.0, std::trunc(m * 0.01)));
                const double phi = std::atan2(double(z.imag()), double(z.real()));
                const auto p = static_cast<std::uint32_t>(
                    static_cast<long long>(std::floor((phi + std::numbers::pi) / (2 * std::numbers::pi) * 512)) % 512);
                const std::uint32_t w = a * 512 + p;
                out[at] = static_cast<std::uint8_t>(w >> 16);
                out[at + 1] = static_cast<std::uint8_t>(w >> 8);
                out[at + 2] = static_cast<std::uint8_t>(w);
            } else {
                const std::uint16_t v = amplitudeAt(static_cast<std::size_t>(x), y);
                out[at] = static_cast<std::uint8_t>(v & 0xFF);
                out[at + 1] = static_cast<std::uint8_t>(v >> 8);
            }
        }
    return out;
}

class Palsar1Open : public tessarin::testing::WorkFolderTest {
protected:
    pr::WrittenProduct write(int level, char look = 'R') {
        return tessarin::testing::writePlausibleProduct(
            path("product"),
            {.level = level, .pixels = kPixels, .lines = kLines, .look = look,
             .generation = pr::ceos::Generation::Palsar1},
            {.complex = sampleAt, .amplitude = amplitudeAt});
    }
    CTessarinDoc* runOpen(AppCore& core, int commandId) {
        const std::size_t before = core.documents().size();
        EXPECT_TRUE(core.run(*findCommand(commandId), nullptr)) << commandId;
        return core.documents().size() > before ? core.documents().back().get() : nullptr;
    }
};

}  // namespace

TEST_F(Palsar1Open, OriginalsTileTheirSamplesAndReopenToTheSameCanvas) {
    const struct {
        int level;
        char look;
        int openCommand, reopenCommand;
        const char* openMessage;
        const char* reopenMessage;
        const char *openLabel, *reopenLabel;
        tiles::GlobalPoint centre;
    } cases[] = {
        {pr::kLevel11, 'L', cmd::kPalsarL11Original, cmd::kPalsarL11TileSet, "ALOS L1.1 Original file Open",
         "Open ALOS L1.1 Tile image Open", "", "CpxTile", {kPixels / 2, kLines / 2}},
        {pr::kLevel15, 'R', cmd::kPalsarL15Original, cmd::kPalsarL15TileSet, "ALOS L1.5 Original file open",
         "Open ALOS L1.5 Tile image Open", "OrgSingleAmp", "AmpTile", {5000, 5000}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.openMessage);
        const bool complex = c.level == pr::kLevel11;
        const pr::WrittenProduct w = write(c.level, c.look);
        const std::string image = w.imagePaths.at(0);
        ScriptedUi ui({image});
        AppCore core(ui, linkName);
        registerModules(core);
        CTessarinDoc* doc = runOpen(core, c.openCommand);
        ASSERT_NE(doc, nullptr);
        ASSERT_TRUE(doc->hasData()) << (ui.messages.empty() ? "" : ui.messages.back());
        EXPECT_EQ(ui.messages, (std::vector<std::string>{c.openMessage, "CAlos_In sub DecodeImageFileDescriptor:" + image}));
        EXPECT_EQ(doc->label(), c.openLabel);
        if (complex) EXPECT_NE(std::find(ui.statuses.begin(), ui.statuses.end(), "Sub OpenAlosL11"), ui.statuses.end());
        const auto& p = doc->reader(0).params();
        EXPECT_TRUE(doc->reader(0).firstGeneration());
        EXPECT_EQ(p.pixel, kPixels);
        EXPECT_EQ(p.lineheader, complex ? 412 : 192);
        EXPECT_EQ(p.pointingLeft, c.look == 'L' ? 1 : 0);
        EXPECT_EQ(doc->calib(), -83.0);
        EXPECT_EQ(readWholeFile(doc->tileNames().tile), plainTiles(complex));
        // The centre stays what it is; the block is kept on the scene's two
        // tile columns and rows instead of starting beyond them.
        EXPECT_EQ(doc->ctrorigin(), c.centre);
        EXPECT_EQ(doc->canvasState().kx0, 0);
        EXPECT_EQ(doc->canvasState().ky0, 0);
        EXPECT_EQ(doc->canvasState().ctrInCanvas, (tiles::CanvasPoint{c.centre.x, c.centre.y}));
        EXPECT_EQ(doc->canvas().at(5, 7), complex ? readWholeFile(doc->tileNames().tile)[(7 * 1024 + 5) * 3] * 256 +
                                                         readWholeFile(doc->tileNames().tile)[(7 * 1024 + 5) * 3 + 1]
                                                   : amplitudeAt(5, 7));
        const std::vector<std::uint16_t> canvas = doc->canvas().values();
        const auto names = doc->tileNames();
        core.closeDocument(doc);

        ui.messages.clear();
        ui.addAnswer(names.tile);
        CTessarinDoc* reopened = runOpen(core, c.reopenCommand);
        ASSERT_NE(reopened, nullptr);
        ASSERT_TRUE(reopened->hasData()) << (ui.messages.empty() ? "" : ui.messages.back());
        EXPECT_EQ(ui.messages,
                  (std::vector<std::string>{c.reopenMessage, "CAlos_In sub DecodeImageFileDescriptor:" + names.headerCopy}));
        EXPECT_EQ(reopened->label(), c.reopenLabel);
        EXPECT_EQ(reopened->tileNames().quickLook, names.quickLook);
        EXPECT_EQ(reopened->tileNames().leaderCopy, names.leaderCopy);
        EXPECT_TRUE(reopened->displaySlots().slot(display::slot::kOverview).hasBitmap) << "the quick-look was found";
        EXPECT_EQ(reopened->reader(0).params().pixel, kPixels) << "the header copy was read";
        EXPECT_EQ(reopened->reader(0).params().ctrlat, w.stored.ctrlat) << "the leader copy was read";
        EXPECT_EQ(reopened->reader(0).params().pointingLeft, c.look == 'L' ? 1 : 0);
        EXPECT_EQ(reopened->ctrorigin(), c.centre);
        EXPECT_EQ(reopened->canvas().values(), canvas);
        core.closeDocument(reopened);
        std::filesystem::remove_all(path("product"));
        std::filesystem::remove_all(path("work"));
    }
}

// Products the first-generation and the ALOS-2 level 1.1 opens refuse: one
// message each, no TileSet.
TEST_F(Palsar1Open, RefusedProductsSayWhyAndLeaveNoTileSet) {
    const pr::WrittenProduct l15 = write(pr::kLevel15);
    const pr::WrittenProduct l11 = write(pr::kLevel11);
    const std::string alos2Leader =
        tessarin::testing::writePlausibleProduct(path("alos2"), {.level = pr::kLevel15}).leaderPath;
    const std::string level10 = path("product/IMG-HH-ALPSRP011502960-H1.0__A");
    std::filesystem::copy_file(l11.imagePaths[0], level10);
    std::filesystem::copy_file(l11.leaderPath, path("product/LED-ALPSRP011502960-H1.0__A"));
    const std::string hdf5 = path("CSKS1_SCS_B_HI_0A_HH_RA_SF_20140724.h5");
    std::vector<std::uint8_t> h5(4096, 0);
    const std::uint8_t signature[] = {0x89, 0x48, 0x44, 0x46, 0x0D, 0x0A, 0x1A, 0x0A};
    std::copy(std::begin(signature), std::end(signature), h5.begin());
    writeWholeFile(hdf5, h5);
    const std::string blank = path("scene.slc");
    writeWholeFile(blank, std::vector<std::uint8_t>(2000, 0x20));

    const struct {
        const char* what;
        int command;
        std::string path;
        std::function<void()> damage;
        std::string message;  // a part of the last message
    } cases[] = {
        {"an ALOS-2 leader under mode 50", cmd::kPalsarL15Original, l15.imagePaths[0],
         [&] { std::filesystem::copy_file(alos2Leader, l15.leaderPath, std::filesystem::copy_options::overwrite_existing); },
         "the attitude data record at offset 11116 is 16384 bytes long, not 8192"},
        {"a truncated leader under mode 51", cmd::kPalsarL11Original, l11.imagePaths[0],
         [&] { std::filesystem::resize_file(l11.leaderPath, 20000); }, "but the file ends at byte 20000"},
        {"level 1.0 under mode 51", cmd::kPalsarL11Original, level10, [] {}, "is a level 1.0 product"},
        {"HDF5 under mode 11", cmd::kCosmoSkymedSlc, hdf5, [] {}, pr::kNotCeosLevel11},
        {"no CEOS file under SLC Open", cmd::kSlcOpen, blank, [] {}, pr::kNotCeosLevel11},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.damage();
        ScriptedUi ui({c.path});
        AppCore core(ui, linkName);
        registerModules(core);
        CTessarinDoc* doc = runOpen(core, c.command);
        EXPECT_TRUE(doc == nullptr || !doc->hasData());
        ASSERT_FALSE(ui.messages.empty());
        EXPECT_NE(ui.messages.back().find(c.message), std::string::npos) << ui.messages.back();
        std::error_code ec;
        for (const auto& f : std::filesystem::directory_iterator(path("work"), ec))
            EXPECT_EQ(f.path().string().find("tile"), std::string::npos) << f.path();
    }
    // Without its leader a first-generation product still tiles, and says so.
    std::filesystem::remove(l15.leaderPath);
    ScriptedUi ui({l15.imagePaths[0]});
    AppCore core(ui, linkName);
    registerModules(core);
    CTessarinDoc* doc = runOpen(core, cmd::kPalsarL15Original);
    ASSERT_NE(doc, nullptr);
    EXPECT_TRUE(doc->hasData());
    EXPECT_NE(std::find(ui.messages.begin(), ui.messages.end(), "leaderpath can not open"), ui.messages.end());
}
