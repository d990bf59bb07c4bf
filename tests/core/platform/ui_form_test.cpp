#include <gtest/gtest.h>

#include "platform/format.h"
#include "platform/ui.h"

using namespace tessarin;

TEST(Format, PrintfSemantics) {
    EXPECT_EQ(format("kpy=%d of %d, kx %d of %d", 1, 30, 2, 10), "kpy=1 of 30, kx 2 of 10");
    EXPECT_EQ(format("%.13f", 1.0 / 3.0), "0.3333333333333");
    const std::string longText(1000, 'y');
    EXPECT_EQ(format("<%s>", longText.c_str()).size(), 1002u);
}

TEST(Form, AnswersFillFieldsOfEveryKind) {
    Form f("Image Parameter");
    f.addInt("pixel", "pixel", 0).addInt("line", "line", 0).addReal("gain", "gain", 1.0);
    f.addText("name", "name", "").addRadio("order", "byte order", {"Big endian", "Little endian"}, 0);
    f.addCheck("copy", "copy", false);
    f.applyAnswer("pixel=1600, line=-3,gain=2.5e-1,name=a b,order=Little endian,copy=1");
    EXPECT_EQ(f.intValue("pixel"), 1600);
    EXPECT_EQ(f.intValue("line"), -3);
    EXPECT_DOUBLE_EQ(f.realValue("gain"), 0.25);
    EXPECT_EQ(f.text("name"), "a b");
    EXPECT_EQ(f.choice("order"), 1);
    EXPECT_TRUE(f.checked("copy"));
    f.applyAnswer("order=0");
    EXPECT_EQ(f.choice("order"), 0);
    Form g("Image Parameter");
    g.addInt("pixel", "pixel", 0).addInt("line", "line", 0).addReal("gain", "gain", 1.0);
    g.addText("name", "name", "").addRadio("order", "byte order", {"Big endian", "Little endian"}, 0);
    g.addCheck("copy", "copy", false);
    g.applyAnswer(f.describe());
    EXPECT_EQ(g.describe(), f.describe());
}

TEST(Form, BadAnswersAreRefusedWithTheirName) {
    Form f("TILE ID");
    f.addInt("tile", "tile", 0).addRadio("r", "r", {"a", "b"}, 0).addCheck("c", "c", false);
    f.addReal("gain", "gain", 1.0);
    EXPECT_THROW(f.applyAnswer("tiles=3"), Error);
    for (const char* answer : {"gain=nan", "gain=inf", "gain=+-1.5", "tile=+-5"})
        EXPECT_THROW(f.applyAnswer(answer), Error) << answer;
    EXPECT_EQ(f.realValue("gain"), 1.0);
    EXPECT_THROW(f.applyAnswer("tile=3x"), Error);
    EXPECT_THROW(f.applyAnswer("tile"), Error);
    EXPECT_THROW(f.applyAnswer("r=2"), Error);
    EXPECT_THROW(f.applyAnswer("c=maybe"), Error);
    try {
        f.applyAnswer("tile=abc");
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("tile"), std::string::npos);
    }
    EXPECT_EQ(f.intValue("tile"), 0);
}

TEST(ScriptedUi, AnswersInOrderCancelAndExhaustion) {
    ScriptedUi ui({"/data/IMG-HH-ALOS2", "cancel", "pixel=5,line=6"});
    EXPECT_EQ(ui.openFile({"Select PALSAR2 L|1.1 file", "*1.1*", ""}), "/data/IMG-HH-ALOS2");
    EXPECT_FALSE(ui.saveFile({"Save", "", ""}).has_value());
    Form f("Image Parameter");
    f.addInt("pixel", "pixel", 0).addInt("line", "line", 0);
    EXPECT_TRUE(ui.form(f));
    EXPECT_EQ(f.intValue("line"), 6);
    try {
        ui.openFile({"Select slave tile file", "", ""});
        FAIL();
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("Select slave tile file"), std::string::npos);
    }
    EXPECT_EQ(ui.dialogTitles.size(), 4u);
    {
        BusyScope busy(ui);
        EXPECT_EQ(ui.busyDepth, 1);
    }
    EXPECT_EQ(ui.busyDepth, 0);
}

TEST(FileFilter, BothFilterForms) {
    const auto f = parseFileFilter("tile Files (*tile)|*tilex|All Files (*.*)|*.*||");
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0].description, "tile Files (*tile)");
    EXPECT_EQ(f[0].patterns, std::vector<std::string>{"*tilex"});
    EXPECT_EQ(f[1].patterns, std::vector<std::string>{"*.*"});
    const auto bare = parseFileFilter("*1.5*");
    ASSERT_EQ(bare.size(), 1u);
    EXPECT_EQ(bare[0].patterns, std::vector<std::string>{"*1.5*"});
    EXPECT_TRUE(parseFileFilter("").empty());
}
