// Local dates in the page and summary format, independent of the locale.
#include <gtest/gtest.h>

#include <limits>

#include "app/date_text.h"

namespace {

constexpr double kSecond = 1.0 / 86400.0;

struct sDateCase {
    double date;
    const char* text;
};

TEST(DateTextTest, FormatsTwelveHourTimeDayAndMonthNames)
{
    const sDateCase cases[] = {
        {45678.25, "06:00:00 AM Tuesday, January 21, 2025"},
        {45678.0, "12:00:00 AM Tuesday, January 21, 2025"},
        {45678.5, "12:00:00 PM Tuesday, January 21, 2025"},
        {45678.5 + 3909 * kSecond, "01:05:09 PM Tuesday, January 21, 2025"},
        {45351.75, "06:00:00 PM Thursday, February 29, 2024"},                     // leap day
        {45657.0 + 86399.6 * kSecond, "12:00:00 AM Wednesday, January 01, 2025"},  // rounds into the next year
        {45657.0 + 86399.4 * kSecond, "11:59:59 PM Tuesday, December 31, 2024"},
        {0.0, "12:00:00 AM Saturday, December 30, 1899"},
        {2958465.0, "12:00:00 AM Friday, December 31, 9999"},
    };
    for (const sDateCase& c : cases)
        EXPECT_EQ(DateText(c.date), c.text) << c.date;
}

TEST(DateTextTest, NonsenseDatesStayInRange)
{
    EXPECT_EQ(DateText(1e300), "12:00:00 AM Friday, December 31, 9999");
    EXPECT_EQ(DateText(std::numeric_limits<double>::quiet_NaN()), "12:00:00 AM Saturday, December 30, 1899");
    EXPECT_EQ(DateText(-1e300), "12:00:00 AM Friday, January 01, 100");
}

}  // namespace
