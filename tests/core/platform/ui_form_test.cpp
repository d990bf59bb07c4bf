#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/format.h"
#include "platform/ui.h"
#include "support/refusal.h"

using namespace tessarin;
using tessarin::testing::kAccepted;
using tessarin::testing::refusalOf;
using ::testing::HasSubstr;

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

// An answer names each field by its name or by its label as the dialog shows
// it; a refused answer changes no field.
TEST(Form, AnswersNameFieldsByNameOrLabel) {
    Form form("Put Tile ID to Open");
    form.addText("limits", "Tile number Xmax and Ymax=2, 2", "").addInt("tile", "tile", 0).addInt("kx", " KX ", 0);
    form.addRadio("order", "byte order", {"Big endian", "Little endian"}, 0).addRadio("r", "r", {"a", "b"}, 0);
    form.addCheck("c", "copy", false).addCheck("c2", "copy", false).addInt("line", "tile", 0);
    const char* untouched = "limits=,tile=0,kx=0,order=0,r=0,c=0,c2=0,line=0";
    struct Case {
        const char* answer;
        const char* after;    // describe() afterwards
        const char* refusal;  // part of the error text; empty when taken
    };
    const Case cases[] = {
        {"kx=3", "limits=,tile=0,kx=3,order=0,r=0,c=0,c2=0,line=0", ""},
        {"KX=3", "limits=,tile=0,kx=3,order=0,r=0,c=0,c2=0,line=0", ""},
        {"  KX  = -2 , byte order=Little endian", "limits=,tile=0,kx=-2,order=1,r=0,c=0,c2=0,line=0", ""},
        {"byte order = 1,c2=on", "limits=,tile=0,kx=0,order=1,r=0,c=0,c2=1,line=0", ""},
        // A label two fields share answers neither; their names do.
        {"copy=1", untouched, "\"copy\" is the label of the fields c, c2; answer them by name"},
        {"c=1,c2=true", "limits=,tile=0,kx=0,order=0,r=0,c=1,c2=1,line=0", ""},
        // A name always means its own field, even where another field's label reads the same.
        {"tile=7", "limits=,tile=7,kx=0,order=0,r=0,c=0,c2=0,line=0", ""},
        // A label holding ',' or '=' is answered by name only.
        {"limits=none", "limits=none,tile=0,kx=0,order=0,r=0,c=0,c2=0,line=0", ""},
        {"Tile number Xmax and Ymax=2, 2=x", untouched, "has no field \"Tile number Xmax and Ymax\""},
        {"tiles=3", untouched, "has no field \"tiles\""},
        {"tile=3x", untouched, "\"3x\" is not a valid value for \"tile\""},
        {"tile", untouched, "answer item \"tile\" is not name=value"},
        {"r=2", untouched, "\"2\" is not a valid value for \"r\""},
        {"c=maybe", untouched, "\"maybe\" is not a valid value for \"c\""},
        {"KX=abc", untouched, "\"abc\" is not a valid value for \"kx\""},
        {"kx=5,tile=abc", untouched, "\"abc\" is not a valid value for \"tile\""},
        // Numbers take one sign and are finite.
        {"tile=+-5", untouched, "\"+-5\" is not a valid value for \"tile\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        Form f = form;
        const std::string refusal = refusalOf([&] { f.applyAnswer(c.answer); });
        if (*c.refusal)
            EXPECT_THAT(refusal, HasSubstr(c.refusal));
        else
            EXPECT_EQ(refusal, kAccepted);
        EXPECT_EQ(f.describe(), c.after);
    }
    // A real field takes a finite number with one sign.
    Form real("gain");
    real.addReal("gain", "gain", 1.0);
    for (const char* answer : {"gain=nan", "gain=inf", "gain=+-1.5"})
        EXPECT_THAT(refusalOf([&] { real.applyAnswer(answer); }), HasSubstr("is not a valid value")) << answer;
    EXPECT_EQ(real.realValue("gain"), 1.0);
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
