// The scene information reports: exact texts, the positions they are taken
// at, and the scene-position dialog of "Check Orbit by image address(test)".
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "geometry/geo_format.h"
#include "geometry/reports.h"
#include "platform/error.h"
#include "platform/ui.h"
#include "sar_scene_fixture.h"

using namespace tessarin;
using namespace tessarin::geometry;

namespace {

// Latitude 35.5 - 1e-4 (line - 1000), longitude 139.25 + 2e-4 (pixel - 500):
// positions easy to work out by hand.
SceneParameters linearScene() {
    SceneParameters p;
    p.pixel = 9000, p.line = 20001;
    p.pixsz = 2.857, p.linsz = 3.126;
    p.plRefPixel = 500.0, p.plRefLine = 1000.0;
    p.pl2lat[24] = 35.5, p.pl2lat[23] = -1e-4;  // index 5i + j multiplies P^(4-i) L^(4-j)
    p.pl2lon[24] = 139.25, p.pl2lon[19] = 2e-4;
    return p;
}

}  // namespace

TEST(ObservationDateTimeTest, OneOrTwoScenesByOpenMode) {
    const SceneDate a{2014, 7, 24, 3, 12}, b{2015, 1, 2, 23, 5};
    const std::string single = "Observation Date Time\n Year:2014\nMonth:7\nDay:24\nHour:3\nMin:12";
    const std::string pair = "Observation Date Time\ndate1:Y=2014,M=7,D=24,H=3,min=12\nDate2:Y=2015,M=1,D=2,H=23,min=5";
    EXPECT_EQ(observationDateTimeText(1, a, b), single);
    EXPECT_EQ(observationDateTimeText(2, a, b), pair);
    EXPECT_FALSE(observationDateTimeText(0, a, b).has_value());

    ScriptedUi ui;
    showObservationDateTime(ui, 0, a, b);
    EXPECT_TRUE(ui.messages.empty());
    showObservationDateTime(ui, 1, sceneDateOf(fixture::SarScene({}).params()), b);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], single);
}

TEST(SceneFrameParameterTest, SizeSpacingAndFivePositions) {
    const SceneParameters p = linearScene();
    // Centre (4500, 10000): 35.5 - 0.9, 139.25 + 0.8.
    EXPECT_EQ(sceneFrameParameterText(p, 11, true),
              "L1.1 SLC image\n"
              "Pixel=9000, Line=20001\n"
              "pixspace=2.86m, linespace=3.13m\n"
              "Scene Center lat=34.600000deg,lon=140.050000deg\n"
              "TL corner lat=35.600000deg,lon=139.150000deg\n"
              "TR corner lat=35.600000deg,lon=140.950000deg\n"
              "BL corner lat=33.599900deg,lon=139.150000deg\n"
              "BR corner lat=33.599900deg,lon=140.950000deg\n");
    const std::string amplitude = sceneFrameParameterText(p, 15, false);
    EXPECT_EQ(amplitude.substr(0, 20), "L1.5 Ampitude image\n");
    EXPECT_NE(amplitude.find("Scene Center lat=0.000000deg,lon=0.000000deg\n"), std::string::npos);
    EXPECT_NE(amplitude.find("BR corner lat=0.000000deg,lon=0.000000deg\n"), std::string::npos);
    ScriptedUi ui;
    showSceneFrameParameter(ui, p, 31, true);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].substr(0, 20), "L1.5 Ampitude image\n");
}

TEST(CurrentTileIdTest, CornersOfTheTwoByTwoTiles) {
    const SceneParameters p = linearScene();
    tiles::CanvasState canvas;
    canvas.kx0 = 1, canvas.ky0 = 2;
    const tiles::TileGrid grid = tiles::TileGrid::make(p.pixel, p.line);
    // TL (1024, 2048), TR (3071, 2048), BL (1024, 4095), BR (3071, 4095).
    auto at = [](double pixel, double line) {
        return geoPositionDmsText(35.5 - 1e-4 * (line - 1000.0), 139.25 + 2e-4 * (pixel - 500.0));
    };
    EXPECT_EQ(currentTileIdText(canvas, grid, p),
              "Current tile address X=1, Y=2 (at top left corner)\n"
              "TL corner " + at(1024, 2048) + "\n"
              "TR corner " + at(3071, 2048) + "\n"
              "BL corner " + at(1024, 4095) + "\n"
              "BR corner " + at(3071, 4095) + "\n");
    // TL: 35.5 - 0.1048 = 35.3952 = 35:23'42.72''; 139.25 + 0.1048 = 139.3548 = 139:21'17.28''.
    EXPECT_EQ(at(1024, 2048), "GeoPosition= N 35:23'42.72'', E 139:21'17.28''");

    SceneParameters south = p;
    south.pl2lat[24] = -12.25, south.pl2lon[24] = -70.5;
    ScriptedUi ui;
    showCurrentTileId(ui, canvas, grid, south);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].find("TL corner Geo Position= S 12:"), std::string::npos) << ui.messages[0];
    EXPECT_NE(ui.messages[0].find(", W 70:"), std::string::npos);
}

TEST(CheckOrbitTest, AsksForAPositionAndShowsItsOrbitTime) {
    const fixture::SarScene scene({});
    CScPosDlog dialog{0, 0};
    EXPECT_EQ(dialog.form().title(), "Scene Position");
    ScriptedUi ui({"pixel=2000,line=4000"});
    ASSERT_TRUE(checkOrbitByImageAddress(ui, scene.params(), dialog));
    EXPECT_EQ(dialog.pixel, 2000);
    EXPECT_EQ(dialog.line, 4000);
    ASSERT_EQ(ui.messages.size(), 1u);
    const std::string& text = ui.messages[0];
    double time = 0, slant = 0, rorb = 0, x = 0, y = 0, z = 0;
    ASSERT_EQ(std::sscanf(text.c_str(), "P,L=(2000,4000\norbtime=%lf,slant=%lf\nrorb=%lf,(x,y,z)=(%lf,%lf,%lf", &time,
                          &slant, &rorb, &x, &y, &z),
              6)
        << text;
    EXPECT_NEAR(time, scene.timeOfLine(4000), 1.5e-4);
    EXPECT_NEAR(slant, scene.rangeOfPixel(2000), 0.05);
    EXPECT_NEAR(rorb, 7.0e6, 0.5);
    EXPECT_NEAR(std::sqrt(x * x + y * y + z * z), rorb, 1e-3);
    // The literal text ends without closing the parenthesis.
    EXPECT_EQ(text.find(')', text.find("(x,y,z)") + 7), std::string::npos);

    ScriptedUi cancel({"cancel"});
    EXPECT_FALSE(checkOrbitByImageAddress(cancel, scene.params(), dialog));
    EXPECT_TRUE(cancel.messages.empty());
    ScriptedUi huge({"pixel=9999999999,line=1"});
    EXPECT_THROW(checkOrbitByImageAddress(huge, scene.params(), dialog), Error);
    EXPECT_EQ(dialog.pixel, 2000);  // unchanged by the refused answer
}

TEST(CheckOrbitTest, TextFormat) {
    ClosestApproach a;
    a.time_s = 11554.5671234, a.range_m = 750000.25, a.orbitRadius_m = 7000000.5;
    a.satellite = {1.0, -2.5, 3.25};
    EXPECT_EQ(checkOrbitText(12, -3, a),
              "P,L=(12,-3\norbtime=11554.567123,slant=750000.250000\n"
              "rorb=7000000.500000,(x,y,z)=(1.000000,-2.500000,3.250000");
}
