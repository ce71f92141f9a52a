#include "app/date_text.h"

#include <cmath>
#include <cstdio>

namespace {

const char* const kDayNames[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
const char* const kMonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                   "July",    "August",   "September", "October", "November", "December"};

constexpr long long kSecondsPerDay = 86400;
constexpr long long kDaysFrom1899To1970 = 25569;

long long FloorDiv(long long value, long long divisor)
{
    const long long quotient = value / divisor;
    return (value % divisor != 0 && value < 0) ? quotient - 1 : quotient;
}

struct sCivilDate {
    long long year;
    unsigned month;  // 1..12
    unsigned day;    // 1..31
};

// Days since 1 January 1970 to the proleptic Gregorian date (H. Hinnant's
// civil_from_days).
sCivilDate CivilFromDays(long long days)
{
    days += 719468;
    const long long era = FloorDiv(days, 146097);
    const unsigned dayOfEra = unsigned(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;
    sCivilDate date;
    date.day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    date.month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    date.year = (long long)yearOfEra + era * 400 + (date.month <= 2);
    return date;
}

}  // namespace

std::string DateText(double date)
{
    // A clock gone wild must not overflow the conversion below; dates outside
    // the years 100 to 9999 print as the nearer limit.
    if (!std::isfinite(date))
        date = 0.0;
    date = std::fmin(std::fmax(date, -657434.0), 2958465.0);

    const long long totalSeconds = std::llround(date * double(kSecondsPerDay));
    const long long days = FloorDiv(totalSeconds, kSecondsPerDay);
    const long long secondsOfDay = totalSeconds - days * kSecondsPerDay;
    const long long unixDays = days - kDaysFrom1899To1970;

    const sCivilDate civil = CivilFromDays(unixDays);
    const long long sinceSunday = unixDays + 4;  // 1 January 1970 was a Thursday
    const unsigned weekday = unsigned(sinceSunday - FloorDiv(sinceSunday, 7) * 7);
    const int hour = int(secondsOfDay / 3600);
    const int hour12 = hour % 12 == 0 ? 12 : hour % 12;

    char text[80];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d %s %s, %s %02u, %lld", hour12, int(secondsOfDay / 60 % 60),
                  int(secondsOfDay % 60), hour < 12 ? "AM" : "PM", kDayNames[weekday], kMonthNames[civil.month - 1],
                  civil.day, civil.year);
    return text;
}
