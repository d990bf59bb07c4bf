#include <sys/stat.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>

#include "platform/error.h"
#include "platform/file.h"
#include "platform/text.h"
#include "platform/work_folder.h"

using namespace tessarin;
namespace fs = std::filesystem;

namespace {

class TempDir : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("tessarin-test-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string path(const std::string& name) const { return (dir / name).string(); }
    fs::path dir;
};

using FileTest = TempDir;

}  // namespace

TEST_F(FileTest, FailuresNameThePath) {
    try {
        File f(path("missing.bin"), File::Mode::Read);
        FAIL();
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("missing.bin"), std::string::npos);
    }
    EXPECT_FALSE(File::tryOpen(path("missing.bin"), File::Mode::Read).has_value());
    const std::vector<std::uint8_t> data = {1, 2, 3};
    writeWholeFile(path("three.bin"), data);
    File f(path("three.bin"), File::Mode::Read);
    EXPECT_EQ(f.size(), 3u);
    std::vector<std::uint8_t> four(4);
    try {
        f.readAt(0, four);
        FAIL() << "short read accepted";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("three.bin"), std::string::npos);
    }
    EXPECT_THROW(readWholeFile(path("three.bin"), 2), Error);
    EXPECT_EQ(readWholeFile(path("three.bin")), data);
    EXPECT_EQ(f.readSome(four), 0u) << "after the end";
    // A read that fails is not the end of the file: the process's memory
    // file is a regular file whose reads at unmapped addresses fail.
    File memory("/proc/self/mem", File::Mode::Read);
    try {
        memory.readSome(four);
        FAIL() << "failed read taken for the end of the file";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find(std::strerror(EIO)), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("/proc/self/mem"), std::string::npos) << e.what();
    }
}

// Only regular files open for reading: a folder would read as an empty file
// and a FIFO block for ever. The refusal names the path as given.
TEST_F(FileTest, OnlyRegularFilesOpenForReading) {
    fs::create_directory(path("folder"));
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    const struct {
        std::string path;
        const char* reason;
    } cases[] = {{path("folder"), "it is a folder"}, {path("fifo"), "not a regular file"}, {"/dev/null", "not a regular file"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        try {
            File f(c.path, File::Mode::Read);
            ADD_FAILURE() << "opened";
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(c.path), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
        }
        EXPECT_FALSE(File::tryOpen(c.path, File::Mode::Read).has_value());
        EXPECT_THROW(readWholeFile(c.path), Error);
    }
    // Writing never replaces a folder or a special file with a regular one.
    for (const char* name : {"folder", "fifo"}) {
        SCOPED_TRACE(name);
        EXPECT_THROW(writeWholeFile(path(name), std::vector<std::uint8_t>{1, 2, 3}), Error);
    }
    EXPECT_TRUE(fs::is_directory(path("folder")));
    EXPECT_TRUE(fs::is_fifo(path("fifo")));
}

TEST_F(FileTest, AtomicFileLeavesNothingUnderTheFinalNameUntilCommitted) {
    const std::string target = path("tile.cpx");
    writeWholeFile(target, std::vector<std::uint8_t>{9, 9});
    {
        AtomicFile out(target);
        out.file().write(std::vector<std::uint8_t>(100, 1));
        EXPECT_TRUE(out.tempPath().empty() || fileExists(out.tempPath())) << "an unnamed file, or one by its name";
        EXPECT_EQ(readWholeFile(target).size(), 2u) << "the old file stands while writing";
        // Leaving the scope without commit: an interrupted conversion.
    }
    EXPECT_EQ(readWholeFile(target).size(), 2u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1) << "temporary file left behind";
    {
        AtomicFile out(path("new.idx"));
        out.file().write(std::string("abc"));
        EXPECT_FALSE(fileExists(path("new.idx")));
        out.commit();
    }
    EXPECT_EQ(readWholeFile(path("new.idx")).size(), 3u);
}

TEST(Text, CLibraryNumberSemanticsOfFixedFields) {
    EXPECT_DOUBLE_EQ(cStrtod("   -83.000"), -83.0);
    EXPECT_DOUBLE_EQ(cStrtod("2000000.000     "), 2000000.0);
    EXPECT_EQ(cStrtod("        "), 0.0);
    EXPECT_EQ(cStrtod("abc"), 0.0);
    EXPECT_DOUBLE_EQ(cStrtod("1.5E+01xyz"), 15.0);
    EXPECT_EQ(cStrtol("34567"), 34567);
    EXPECT_EQ(cStrtol(" 0012"), 12) << "base 10, not octal";
    EXPECT_EQ(cStrtol(""), 0);
    EXPECT_EQ(cStrtol("12 34"), 12);
}

TEST(Text, WholeStringNumbersTakeOneSignAndFiniteValues) {
    struct Case {
        const char* text;
        std::optional<long long> integer;
        std::optional<double> real;
    };
    const std::optional<long long> noInt;
    const std::optional<double> noReal;
    const Case cases[] = {
        {"-12", -12, -12.0},      {"+12", 12, 12.0},         {"0", 0, 0.0},
        {"+2.5", noInt, 2.5},     {"-.5", noInt, -0.5},      {"5.", noInt, 5.0},
        {"2.5e-1", noInt, 0.25},  {"9223372036854775807", 9223372036854775807LL, 9.223372036854775807e18},
        {"+-5", noInt, noReal},   {"-+5", noInt, noReal},    {"--5", noInt, noReal},
        {"++5", noInt, noReal},   {"+", noInt, noReal},      {"-", noInt, noReal},
        {"", noInt, noReal},      {" 5", noInt, noReal},     {"5 ", noInt, noReal},
        {"12a", noInt, noReal},   {"2,5", noInt, noReal},    {"0x10", noInt, noReal},
        {"+-1.5", noInt, noReal}, {"nan", noInt, noReal},    {"+nan", noInt, noReal},
        {"-nan", noInt, noReal},  {"NaN", noInt, noReal},    {"inf", noInt, noReal},
        {"-inf", noInt, noReal},  {"infinity", noInt, noReal}, {"1e999", noInt, noReal},
        {"99999999999999999999", noInt, 1e20},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseInteger(c.text), c.integer) << '"' << c.text << '"';
        EXPECT_EQ(parseReal(c.text), c.real) << '"' << c.text << '"';
    }
}

TEST(Text, Paths) {
    const auto sp = splitPath("/data/scene/IMG-HH-ALOS2x");
    EXPECT_EQ(sp.folder, "/data/scene");
    EXPECT_EQ(sp.name, "IMG-HH-ALOS2x");
    EXPECT_EQ(splitPath("name").folder, "");
    EXPECT_EQ(splitPath("/name").folder, "/");
    EXPECT_EQ(joinPath(splitPath("/name").folder, "LEDx"), "/LEDx");
    EXPECT_EQ(joinPath("/a/b", "c"), "/a/b/c");
    EXPECT_EQ(splitString("a,,b", ','), (std::vector<std::string>{"a", "", "b"}));
}

TEST_F(FileTest, WorkFolderRule) {
    const std::string chosen = path("work/sub");
    ::setenv("TESSARIN_WORKDIR", chosen.c_str(), 1);
    EXPECT_EQ(workFolder(), chosen);
    EXPECT_TRUE(fs::is_directory(chosen)) << "the folder is created on first use";
    setWorkFolderOverride(path("other"));
    EXPECT_EQ(workFolder(), path("other"));
    setWorkFolderOverride("");
    ::unsetenv("TESSARIN_WORKDIR");
    // Without the variable: the executable's folder, which is writable here.
    EXPECT_EQ(workFolder(), executableFolder());
    ::setenv("TESSARIN_WORKDIR", "/proc/tessarin-not-here", 1);
    EXPECT_THROW(workFolder(), Error);
    ::unsetenv("TESSARIN_WORKDIR");
}
