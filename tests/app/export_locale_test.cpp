// The desktop runs in the user's locale (QApplication sets it from the
// environment); the KML files it writes must still carry decimal points.
// app.export_numbers_under_decimal_comma runs this under LC_ALL=de_DE.UTF-8.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <clocale>
#include <cstdlib>
#include <regex>
#include <string>

#include "export/kml_writer.h"
#include "platform/file.h"

using namespace tessarin;

TEST(DesktopLocale, KmlNumbersKeepTheirDecimalPoint) {
    const bool comma = std::string(std::localeconv()->decimal_point) == ",";
    if (!comma) {
        if (std::getenv("TESSARIN_EXPECT_DECIMAL_COMMA"))
            FAIL() << "the process does not run in a decimal-comma locale (is de_DE.UTF-8 generated?)";
        GTEST_SKIP() << "not under a decimal-comma locale";
    }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string folder = dir.path().toStdString();
    const std::string overlay =
        geoexport::writeGroundOverlay(folder + "/x.png", true, {35.9876543210123, 35.5, 142.25, 141.75});
    const std::string frame = folder + "/frame.kml";
    geoexport::writeImageFrame(frame, {GeoPoint{35.5, 141.5}, {35.5, 142.5}, {34.5, 142.5}, {34.5, 141.5}});
    const auto text = [](const std::string& path) {
        const auto bytes = readWholeFile(path);
        return std::string(bytes.begin(), bytes.end());
    };
    EXPECT_NE(text(overlay).find("<north>35.9876543210123</north>\n<south>35.5000000000000</south>"), std::string::npos)
        << text(overlay);
    EXPECT_NE(text(frame).find("\n141.50000000,35.50000000,0 142.50000000,35.50000000,0 "), std::string::npos)
        << text(frame);
}
