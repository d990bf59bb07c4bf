#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/error.h"
#include "platform/format.h"
#include "platform/link_block.h"

using namespace tessarin;

namespace {

class LinkBlockTest : public ::testing::Test {
protected:
    std::string name = format("link_data_test_%d", static_cast<int>(::getpid()));
    void TearDown() override { LinkBlock::remove(name); }
};

}  // namespace

TEST_F(LinkBlockTest, WrittenByOneObjectReadByAnother) {
    LinkBlock app(name);
    ASSERT_TRUE(app.valid());
    app.writeOpenMode(1000);
    // The document side opens the block by name on its own.
    EXPECT_EQ(readLinkBlockOpenMode(name), 1000);
    LinkBlock second(name);  // a second running copy attaches to the same block
    ASSERT_TRUE(second.valid());
    EXPECT_EQ(second.readOpenMode(), 1000);
    second.writeOpenMode(5);
    EXPECT_EQ(app.readOpenMode(), 5) << "the last writer decides";
    EXPECT_EQ(readLinkBlockOpenMode(name), 5);
}

TEST_F(LinkBlockTest, ReadBackAsSixteenBits) {
    LinkBlock app(name);
    ASSERT_TRUE(app.valid());
    app.writeOpenMode(32767);
    EXPECT_EQ(readLinkBlockOpenMode(name), 32767);
    // The 16-bit read sees only the low half of a larger value.
    app.writeOpenMode(0x00012345);
    EXPECT_EQ(readLinkBlockOpenMode(name), 0x2345);
    app.writeOpenMode(-1);
    EXPECT_EQ(readLinkBlockOpenMode(name), -1);
}

TEST_F(LinkBlockTest, MissingBlockAndBadNames) {
    EXPECT_FALSE(readLinkBlockOpenMode(name).has_value()) << "nothing created yet";
    LinkBlock bad("no/such/name");
    EXPECT_FALSE(bad.valid());
    EXPECT_EQ(bad.failure(), LinkBlock::Failure::Create);
    EXPECT_STREQ(LinkBlock::failureText(bad.failure()), "Unable to create link data file");
    EXPECT_STREQ(LinkBlock::failureText(LinkBlock::Failure::Map), "Unable to map link data file");
    EXPECT_THROW(bad.writeOpenMode(1), Error);
}
