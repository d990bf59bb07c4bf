#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

#include "geometry/earth_table.h"
#include "platform/file.h"
#include "platform/format.h"
#include "platform/text.h"
#include "support/temp_dir.h"

using namespace tessarin;

namespace {

// The desktop runs in the user's locale (Qt sets it from the environment);
// a locale with a decimal comma shows any number that follows it.
constexpr const char* kCommaLocale = "de_DE.UTF-8";

bool ciRun() {
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}

// Puts the process back into the "C" locale, whatever the test did.
struct RestoreCLocale {
    ~RestoreCLocale() { std::setlocale(LC_ALL, "C"); }
};

using LocaleTest = tessarin::testing::TempDirTest;

}  // namespace

TEST_F(LocaleTest, NumbersInTextsAndFilesIgnoreTheProcessLocale) {
    // The table as the "C" locale writes it is what every reader expects.
    const std::string table = geometry::earthRadiusTableText();
    const RestoreCLocale restore;
    if (!std::setlocale(LC_ALL, kCommaLocale)) {
        if (ciRun()) FAIL() << "the " << kCommaLocale << " locale is missing; scripts/setup generates it";
        GTEST_SKIP() << "the " << kCommaLocale << " locale is not installed (scripts/setup generates it)";
    }
    ASSERT_STREQ(std::localeconv()->decimal_point, ",") << "the locale should write decimal commas";

    struct Case {
        std::string got;
        const char* want;
    };
    const Case cases[] = {
        {format("%.2f", 35.9), "35.90"},
        {format("%g", -0.5), "-0.5"},
        {format("%.3e", 1234.25), "1.234e+03"},
        {format("%'d", 1234567), "1234567"},  // no digit grouping either
        {format("lat=%.6f, lon=%.6f", 35.5, 139.25), "lat=35.500000, lon=139.250000"},
        {format("%.1f%s", 2.5, std::string(300, 'x').c_str()).substr(0, 4), "2.5x"},  // the long-text path
    };
    for (const auto& c : cases) EXPECT_EQ(c.got, c.want);

    const std::string csv = path(geometry::kEarthRadiusTableName);
    geometry::writeEarthRadiusTable(csv);
    const auto bytes = readWholeFile(csv);
    EXPECT_TRUE(std::string(bytes.begin(), bytes.end()) == table) << "the CSV follows the locale";

    // Reading numbers never depended on it; it must stay so.
    EXPECT_EQ(parseReal("35.90"), 35.9);
    EXPECT_FALSE(parseReal("35,90").has_value());
    EXPECT_EQ(cStrtod(" 35.90 "), 35.9);
}
