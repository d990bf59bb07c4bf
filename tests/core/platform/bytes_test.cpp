#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/bytes.h"

using namespace tessarin;

TEST(Bytes, BigAndLittleEndianValues) {
    const std::vector<std::uint8_t> d = {0x3F, 0x80, 0x00, 0x00, 0x01, 0x02};
    EXPECT_EQ(loadBE<float>(d, 0), 1.0f);
    EXPECT_EQ(loadBE<std::uint16_t>(d, 4), 258);
    EXPECT_EQ(loadLE<std::uint16_t>(d, 4), 0x0201);
    EXPECT_EQ(loadBE<std::uint32_t>(d, 0), 0x3F800000u);
    EXPECT_EQ(loadLE<std::uint32_t>(d, 0), 0x0000803Fu);
    const std::vector<std::uint8_t> neg = {0xFF, 0xFE};
    EXPECT_EQ(loadLE<std::int16_t>(neg, 0), -257);
    EXPECT_EQ(loadBE<std::int16_t>(neg, 0), -2);
}

TEST(Bytes, ReadsAtTheVeryEndAndOnePast) {
    const std::vector<std::uint8_t> d(8, 0xAB);
    EXPECT_NO_THROW(loadLE<std::uint64_t>(d, 0));
    EXPECT_NO_THROW(loadLE<std::uint32_t>(d, 4));
    EXPECT_THROW(loadLE<std::uint32_t>(d, 5), Error);
    EXPECT_THROW(loadLE<std::uint8_t>(d, 8), Error);
    EXPECT_THROW(loadLE<std::uint16_t>(d, std::numeric_limits<std::size_t>::max()), Error);
    std::vector<std::uint8_t> out(4);
    EXPECT_THROW(store<std::uint32_t>(out, 1, 7u, ByteOrder::Big), Error);
    EXPECT_NO_THROW(store<std::uint32_t>(out, 0, 7u, ByteOrder::Big));
    EXPECT_EQ(out, (std::vector<std::uint8_t>{0, 0, 0, 7}));
    const std::vector<std::uint8_t> none;
    EXPECT_THROW(loadBE<std::uint8_t>(none, 0), Error);
}

TEST(Bytes, ReaderCursorStopsAtTheEndAndNamesTheData) {
    const std::vector<std::uint8_t> d = {1, 2, 3, 4, 5};
    ByteReader r(d, "LED-test");
    EXPECT_EQ(r.be<std::uint16_t>(), 0x0102);
    EXPECT_EQ(r.remaining(), 3u);
    EXPECT_THROW(r.le<std::uint32_t>(), Error);
    EXPECT_EQ(r.offset(), 2u) << "a failed read must not move the cursor";
    EXPECT_EQ(r.bytes(3).size(), 3u);
    EXPECT_TRUE(r.atEnd());
    try {
        r.u8();
        FAIL();
    } catch (const Error& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("LED-test"), std::string::npos);
        EXPECT_NE(what.find("offset 5"), std::string::npos);
    }
    EXPECT_THROW(r.seek(6), Error);
    EXPECT_NO_THROW(r.seek(5));
}

TEST(Bytes, WriterRoundTripsEveryWidthInBothOrders) {
    ByteWriter w;
    w.be<std::uint16_t>(0xBEEF);
    w.le<std::uint16_t>(0xBEEF);
    w.be<std::int32_t>(-2);
    w.le<double>(-0.0);
    w.be<float>(std::numeric_limits<float>::denorm_min());
    w.le<std::uint64_t>(0x0102030405060708ull);
    const auto d = w.take();
    ASSERT_EQ(d.size(), 2u + 2 + 4 + 8 + 4 + 8);
    EXPECT_EQ(d[0], 0xBE);
    EXPECT_EQ(d[2], 0xEF);
    ByteReader r(d);
    EXPECT_EQ(r.be<std::uint16_t>(), 0xBEEF);
    EXPECT_EQ(r.le<std::uint16_t>(), 0xBEEF);
    EXPECT_EQ(r.be<std::int32_t>(), -2);
    const double nz = r.le<double>();
    EXPECT_TRUE(nz == 0.0 && std::signbit(nz));
    EXPECT_EQ(r.be<float>(), std::numeric_limits<float>::denorm_min());
    EXPECT_EQ(r.le<std::uint64_t>(), 0x0102030405060708ull);
}
