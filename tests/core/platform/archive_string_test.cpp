#include <gtest/gtest.h>

#include "platform/archive_string.h"
#include "support/refusal.h"

using namespace tessarin;
using tessarin::testing::refusalOf;

namespace {

std::string repeat(std::size_t n, char c = 'a') { return std::string(n, c); }

std::vector<std::uint8_t> written(const std::string& s) {
    ByteWriter w;
    writeArchiveString(w, s);
    return w.take();
}

}  // namespace

TEST(ArchiveString, LengthEncodingsAtTheirBoundaries) {
    struct Case {
        std::size_t chars;
        std::vector<std::uint8_t> prefix;  // bytes after 0xFF FE FF
    };
    const Case cases[] = {
        {0, {0x00}},
        {254, {0xFE}},
        {255, {0xFF, 0xFF, 0x00}},
        {65533, {0xFF, 0xFD, 0xFF}},
        {65534, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
        {70000, {0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chars);
        const std::string text = repeat(c.chars, 'x');
        const auto bytes = written(text);
        ASSERT_GE(bytes.size(), 3 + c.prefix.size());
        EXPECT_EQ(bytes[0], 0xFF);
        EXPECT_EQ(bytes[1], 0xFE);
        EXPECT_EQ(bytes[2], 0xFF);
        EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 3, bytes.begin() + 3 + static_cast<long>(c.prefix.size())), c.prefix);
        EXPECT_EQ(bytes.size(), 3 + c.prefix.size() + 2 * c.chars);
        ByteReader r(bytes, "test");
        EXPECT_EQ(readArchiveString(r), text);
        EXPECT_TRUE(r.atEnd());
    }
}

TEST(ArchiveString, NonAsciiTextRoundTripsThroughUtf16) {
    const std::string text = "Tōkyō 東京 σ⁰ \xF0\x9F\x9B\xB0 Ä";  // includes a surrogate pair
    const auto bytes = written(text);
    // "東" is U+6771: stored little-endian 71 67.
    const std::u16string u16 = utf8ToUtf16(text);
    EXPECT_EQ(bytes[3], u16.size());
    ByteReader r(bytes, "test");
    EXPECT_EQ(readArchiveString(r), text);
}

TEST(ArchiveString, ConsecutiveStringsAndOtherValues) {
    ByteWriter w;
    writeArchiveString(w, "master");
    w.le<std::int32_t>(-7);
    writeArchiveString(w, "");
    writeArchiveString(w, repeat(300));
    const auto bytes = w.take();
    ByteReader r(bytes, "set");
    EXPECT_EQ(readArchiveString(r), "master");
    EXPECT_EQ(r.le<std::int32_t>(), -7);
    EXPECT_EQ(readArchiveString(r), "");
    EXPECT_EQ(readArchiveString(r), repeat(300));
    EXPECT_TRUE(r.atEnd());
}

TEST(ArchiveString, OneByteCharacterFormIsAccepted) {
    // Short form: length byte then characters.
    std::vector<std::uint8_t> shortForm = {3, 'a', 'b', 0xE9};
    ByteReader r1(shortForm, "set");
    EXPECT_EQ(readArchiveString(r1), "ab\xC3\xA9");  // Latin-1 0xE9 is é
    // 16-bit form: 0xFF then the length.
    std::vector<std::uint8_t> wordForm = {0xFF, 0x2C, 0x01};
    wordForm.insert(wordForm.end(), 300, 'z');
    ByteReader r2(wordForm, "set");
    EXPECT_EQ(readArchiveString(r2), repeat(300, 'z'));
    // 32-bit form: 0xFF, 0xFFFF, then the length.
    std::vector<std::uint8_t> dwordForm = {0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x01, 0x00};
    dwordForm.insert(dwordForm.end(), 65536, 'q');
    ByteReader r3(dwordForm, "set");
    EXPECT_EQ(readArchiveString(r3).size(), 65536u);
}

TEST(ArchiveString, TruncatedAndLyingLengthsAreRefused) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        const char* message;
    };
    const Case cases[] = {
        {"last byte cut off", [] { auto b = written("abcdef"); b.pop_back(); return b; }(),
         "pair.INF: the string at offset 0 claims 6 characters, but only 11 bytes follow"},
        // Four billion characters with nothing behind them: refused before anything is allocated.
        {"32-bit length", {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xF0, 0xFF, 0xFF, 0xEF, 'a', 0},
         "pair.INF: the string at offset 0 claims 4026531824 characters, but only 2 bytes follow"},
        {"64-bit length behind 0xFFFFFFFF",
         {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80},
         "pair.INF: the string at offset 0 claims 9223372036854775808 characters, but only 0 bytes follow"},
        {"length header cut short", {0xFF, 0xFE}, "pair.INF: 2 byte(s) wanted at offset 1, but it holds only 2 bytes"},
        {"nothing", {}, "pair.INF: 1 byte(s) wanted at offset 0, but it holds only 0 bytes"},
    };
    for (const Case& c : cases) {
        ByteReader r(c.bytes, "pair.INF");
        EXPECT_EQ(refusalOf([&] { readArchiveString(r); }), c.message) << c.what;
    }
}

TEST(ArchiveString, InvalidUtf8IsReplacedNotDropped) {
    const std::string bad = "a\xFF" "b\xE6\x9D";  // stray byte, cut sequence
    const std::u16string u16 = utf8ToUtf16(bad);
    EXPECT_EQ(u16, u"a\uFFFDb\uFFFD\uFFFD");
    // A lone surrogate read from a file becomes U+FFFD.
    EXPECT_EQ(utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}
