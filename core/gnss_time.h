// GNSS time scales against the host's UTC: GPS time (UTC plus the leap
// seconds since 1980), BeiDou time (GPS - 14 s), GLONASS time (UTC + 3 h).
// Epoch fields leave a week, a day, an hour or four minutes open; the one
// meant is the one nearest the host's time.
#pragma once

#include <cstdint>
#include <string>

namespace TolvarRT {

// GPS - UTC in seconds, from the system's leap-seconds.list when it is there
// and current, otherwise from the value built in.
struct sLeapSeconds {
    int gpsMinusUtc = 18;
    bool fromFile = false;
    bool expired = false;  // the file's expiry date has passed: it may miss a leap second
    std::string path;      // the file read, or looked for
    // Empty when the file was read and is current; otherwise why the built-in
    // value (or an expired file's) is used: "no leap-seconds.list at PATH", ...
    std::string problem;
};

// Reads an IERS/NIST leap-seconds.list file (NTP seconds since 1900, then
// TAI - UTC; "#@" the expiry). unixNow judges expiry.
sLeapSeconds ReadLeapSeconds(const std::string& path, double unixNow);
// The system's file (Debian's tzdata: /usr/share/zoneinfo/leap-seconds.list),
// read once per process; thread-safe.
const sLeapSeconds& SystemLeapSeconds();

// The field's period in ms: a week, a day, an hour, four minutes.
constexpr std::int64_t kWeekMs = 7LL * 86400000LL;
constexpr std::int64_t kDayMs = 86400000LL;
constexpr std::int64_t kHourMs = 3600000LL;
constexpr std::int64_t kFourMinutesMs = 240000LL;

// ms of the host's time in each scale, from UTC Unix seconds.
double GpsWeekMsAt(double unixSeconds, int gpsMinusUtc);     // 0 .. kWeekMs
double BeiDouWeekMsAt(double unixSeconds, int gpsMinusUtc);  // 0 .. kWeekMs
double GlonassWeekMsAt(double unixSeconds);                  // from Sunday 00:00 Moscow time
double GlonassDayMsAt(double unixSeconds);                   // 0 .. kDayMs

// How long ago, in s, an epoch whose field reads fieldMs (counting in a
// period of periodMs) was, seen from the host's time hostMs in the same
// scale: the difference wrapped into (-period/2, period/2].
double AgeInPeriod(double hostMs, double fieldMs, std::int64_t periodMs);

}  // namespace TolvarRT
