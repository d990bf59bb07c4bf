// The pair project: its bytes, the names a pair derives from it, refusals
// of damaged or unusable projects, and where the working area lies.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "insar/pair_project.h"
#include "platform/error.h"
#include "platform/file.h"
#include "support/temp_dir.h"

namespace tessarin::insar {
namespace {

class PairProjectTest : public tessarin::testing::TempDirTest {};

// The archive-string bytes written by hand: a UTF-16 marker, a one-byte
// length and the UTF-16LE units of an ASCII path.
std::vector<std::uint8_t> archived(const std::string& ascii) {
    std::vector<std::uint8_t> out{0xFF, 0xFE, 0xFF, static_cast<std::uint8_t>(ascii.size())};
    for (char c : ascii) {
        out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(0);
    }
    return out;
}

TEST_F(PairProjectTest, BytesArePinnedAndEveryTruncationIsRefused) {
    const std::string master = path("IMG-HH-ALOS2011502960-140724-UBSR1.1__Atile.cpx");
    const std::string slave = path("IMG-HH-ALOS2013572960-140807-UBSR1.1__Atile.cpx");
    const std::string inf = path("pair.INF");
    writePairProject(inf, {master, slave});
    std::vector<std::uint8_t> expected = archived(master);
    const auto second = archived(slave);
    expected.insert(expected.end(), second.begin(), second.end());
    const auto bytes = readWholeFile(inf);
    ASSERT_EQ(bytes, expected);
    const PairProject back = readPairProject(inf);
    EXPECT_EQ(back.master, master);
    EXPECT_EQ(back.slave, slave);
    for (std::size_t n = 0; n < bytes.size(); ++n) {
        writeWholeFile(inf, std::span(bytes.data(), n));
        EXPECT_THROW(readPairProject(inf), Error) << n << " bytes";
    }
}

TEST_F(PairProjectTest, MembersTooShortForTheNamingRulesAreRefused) {
    const std::string inf = path("short.INF");
    const std::string good = path("IMG-HH-ALOS2011502960-140724-UBSR1.1__Atile.cpx");
    // "IMG-HH" + "tile.cpx" leaves no image name; one more character does.
    for (const auto& [member, accepted] : std::vector<std::pair<std::string, bool>>{
             {path("IMG-HHtile.cpx"), false}, {path("IMG-HHXtile.cpx"), true}, {path("x"), false}}) {
        writePairProject(inf, {good, member});
        if (accepted) EXPECT_NO_THROW(readPairProject(inf)) << member;
        else EXPECT_THROW(readPairProject(inf), Error) << member;
        writePairProject(inf, {member, good});
        if (!accepted) {
            EXPECT_THROW(readPairProject(inf), Error) << member;
        }
    }
}

TEST(PairNames, DerivedFromProjectAndMembers) {
    const PairProject project{"/d/IMG-HH-ALOS2011502960-140724-UBSR1.1__Atile.cpx",
                              "/e/IMG-HH-ALOS2013572960-140807-UBSR1.1__Atile"};  // not "tile.cpx": 8 go all the same
    const PairNames n = pairNamesOf("/p/pair.INF", project);
    const struct {
        std::string got, want;
    } table[] = {
        {n.master.base, "/d/IMG-HH-ALOS2011502960-140724-UBSR1.1__A"},
        {n.master.index, "/d/IMG-HH-ALOS2011502960-140724-UBSR1.1__A.idx"},
        {n.master.headerCopy, "/d/FHDR-ALOS2011502960-140724-UBSR1.1__A"},
        {n.master.leaderCopy, "/d/LED-ALOS2011502960-140724-UBSR1.1__A"},
        {n.slave.base, "/e/IMG-HH-ALOS2013572960-140807-UBSR1."},
        {n.slave.headerCopy, "/e/FHDR-ALOS2013572960-140807-UBSR1."},
        {n.overviewComposite, "/d/IMG-HH-ALOS2011502960-140724-UBSR1.1__A.idxFBDCompo"},
        {n.cut, "/d/IMG-HH-ALOS2011502960-140724-UBSR1.1__A.idxFBDCocut"},
        {n.masterCanvas, "/d/IMG-HH-ALOS2011502960-140724-UBSR1.1__A.idxFBDCocutmaster"},
        {n.slaveCanvas, "/d/IMG-HH-ALOS2011502960-140724-UBSR1.1__A.idxFBDCocutslave"},
        {n.interferogram, "/p/pair.INFfrg.img"},
        {n.savedFringe, "/p/pair.INFfrg.imgORG"},
        {n.coherence, "/p/pair.INFcoho.img"},
        {n.tiePoints, "/p/pair.INF.cnj"},
        {withProjectExtension("/p/pair"), "/p/pair.INF"},
        {withProjectExtension("/p/pair.INF"), "/p/pair.INF"},
    };
    for (const auto& row : table) EXPECT_EQ(row.got, row.want);
}

TEST(WorkingArea, StaysInsideSmallScenesAndKeepsItsPlaceInLargeOnes) {
    const struct {
        int pixels, lines;
        long long x, y;
    } table[] = {
        {4000, 6000, 2048, 4096},  // 4 x 6 tiles: (4096, 4096) would hold no sample across
        {7168, 7168, 4096, 4096}, {6144, 6144, 4096, 4096}, {6143, 5000, 4096, 3072},
        {2048, 2048, 0, 0},       {1000, 30000, 0, 4096},
    };
    for (const auto& row : table) {
        const auto grid = tiles::TileGrid::make(row.pixels, row.lines);
        const auto p = workingAreaTopLeft(grid);
        EXPECT_EQ(p.x, row.x) << row.pixels << " x " << row.lines;
        EXPECT_EQ(p.y, row.y) << row.pixels << " x " << row.lines;
        // Two by two tiles from there reach no further than the last tile.
        EXPECT_LE(p.x + 2 * grid.tpix, std::max<long long>(2 * grid.tpix, static_cast<long long>(grid.ntx) * grid.tpix));
    }
}

}  // namespace
}  // namespace tessarin::insar
