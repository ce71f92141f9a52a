// GNSS time scales and the leap seconds between GPS time and UTC. The list of
// leap seconds is read from the system's copy of the IERS/NIST file because a
// leap second announced after this program was built must still count; the
// built-in value covers systems without the file.
#include "core/gnss_time.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>
#include <vector>

namespace TolvarRT {
namespace {

constexpr const char* kSystemLeapSecondsPath = "/usr/share/zoneinfo/leap-seconds.list";

// NTP counts from 1900-01-01, Unix from 1970-01-01: 70 years with 17 leap days.
constexpr std::int64_t kNtpToUnix = 2208988800LL;
// GPS time began at 1980-01-06 00:00:00 UTC, a Sunday.
constexpr double kGpsEpochUnix = 315964800.0;
// Sunday 1970-01-04 00:00: the Unix epoch fell on a Thursday.
constexpr double kFirstUnixSunday = 3.0 * 86400.0;
constexpr double kMoscowAheadOfUtcS = 3.0 * 3600.0;
// BeiDou time began at 2006-01-01 00:00:00 UTC, when GPS was 14 s ahead.
constexpr double kBeiDouBehindGpsS = 14.0;
// TAI ran 19 s ahead of GPS time from its start.
constexpr int kTaiMinusGps = 19;

// The built-in value and the moment it took effect (2017-01-01, NTP seconds):
// an expired file that knows no later leap second knows nothing more.
constexpr int kBuiltInGpsMinusUtc = 18;
constexpr std::int64_t kBuiltInSinceNtp = 3692217600LL;

// The civil date of a Unix day number, after H. Hinnant's civil_from_days.
std::string IsoDate(std::int64_t unixSeconds)
{
    std::int64_t days = unixSeconds / 86400 - (unixSeconds % 86400 < 0 ? 1 : 0);
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned doe = unsigned(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned day = doy - (153 * mp + 2) / 5 + 1;
    const unsigned month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = std::int64_t(yoe) + era * 400 + (month <= 2);
    char text[32];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02u", static_cast<long long>(year), month, day);
    return text;
}

std::string_view SkipBlanks(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r'))
        text.remove_prefix(1);
    return text;
}

// One whole number at the front of text, which loses it and the blanks before.
template <typename Number>
bool TakeNumber(std::string_view& text, Number& value)
{
    text = SkipBlanks(text);
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data())
        return false;
    text.remove_prefix(std::size_t(end - text.data()));
    return text.empty() || text.front() == ' ' || text.front() == '\t' || text.front() == '\r' || text.front() == '#';
}

struct sLeapEntry {
    std::int64_t ntpSeconds;
    int taiMinusUtc;
};

// Joins the reasons for distrust into one text.
void AddProblem(sLeapSeconds& result, const std::string& problem)
{
    if (!result.problem.empty())
        result.problem += "; ";
    result.problem += problem;
}

// Non-negative remainder of value / period, so that times before an epoch
// still fall inside 0 .. period.
double Wrap(double value, double period)
{
    // floor, not fmod: fmod's exact long division costs more than every other
    // step of a frame's age, and a few nanoseconds of rounding here are far
    // below a millisecond.
    double rest = value - period * std::floor(value / period);
    if (rest < 0.0)
        rest += period;
    return rest >= period ? 0.0 : rest;
}

}  // namespace

sLeapSeconds ReadLeapSeconds(const std::string& path, double unixNow)
{
    sLeapSeconds result;
    result.gpsMinusUtc = kBuiltInGpsMinusUtc;
    result.path = path;
    const std::string where = "leap-seconds.list at " + path;

    std::ifstream file(path);
    if (!file) {
        std::error_code error;
        if (std::filesystem::exists(path, error))
            result.problem = where + " cannot be read";
        else
            result.problem = "no leap-seconds.list at " + path;
        return result;
    }

    std::vector<sLeapEntry> entries;
    std::vector<unsigned> unreadable;
    bool hasExpiry = false;
    std::int64_t expiryNtp = 0;
    std::string line;
    for (unsigned number = 1; std::getline(file, line); ++number) {
        std::string_view rest = SkipBlanks(line);
        if (rest.empty())
            continue;
        if (rest.substr(0, 2) == "#@") {
            rest.remove_prefix(2);
            std::int64_t expiry = 0;
            if (TakeNumber(rest, expiry) && SkipBlanks(rest).empty()) {
                expiryNtp = expiry;
                hasExpiry = true;
            } else
                unreadable.push_back(number);
            continue;
        }
        if (rest.front() == '#')
            continue;
        sLeapEntry entry{};
        if (TakeNumber(rest, entry.ntpSeconds) && TakeNumber(rest, entry.taiMinusUtc) &&
            (SkipBlanks(rest).empty() || SkipBlanks(rest).front() == '#'))
            entries.push_back(entry);
        else
            unreadable.push_back(number);
    }

    if (!unreadable.empty()) {
        std::string lines = unreadable.size() == 1 ? " has an unreadable line " : " has unreadable lines ";
        for (std::size_t i = 0; i < unreadable.size() && i < 5; ++i)
            lines += (i ? ", " : "") + std::to_string(unreadable[i]);
        if (unreadable.size() > 5)
            lines += ", ...";
        AddProblem(result, where + lines);
    }

    // The entry in force is the latest one that has begun, whatever the order
    // of the lines.
    const double nowNtp = unixNow + double(kNtpToUnix);
    const sLeapEntry* inForce = nullptr;
    for (const sLeapEntry& entry : entries)
        if (double(entry.ntpSeconds) <= nowNtp && (inForce == nullptr || entry.ntpSeconds >= inForce->ntpSeconds))
            inForce = &entry;
    if (inForce == nullptr) {
        AddProblem(result, entries.empty() ? where + " has no entries" : where + " has no entry in force yet");
        return result;
    }

    if (!hasExpiry)
        AddProblem(result, where + " gives no expiry date");
    else if (double(expiryNtp) <= nowNtp) {
        result.expired = true;
        AddProblem(result, where + " expired on " + IsoDate(expiryNtp - kNtpToUnix));
        // The file may still know a leap second later than the built-in one.
        if (inForce->ntpSeconds <= kBuiltInSinceNtp)
            return result;
    }
    result.gpsMinusUtc = inForce->taiMinusUtc - kTaiMinusGps;
    result.fromFile = true;
    return result;
}

const sLeapSeconds& SystemLeapSeconds()
{
    static const sLeapSeconds leapSeconds =
        ReadLeapSeconds(kSystemLeapSecondsPath,
                        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count());
    return leapSeconds;
}

double GpsWeekMsAt(double unixSeconds, int gpsMinusUtc)
{
    return Wrap((unixSeconds - kGpsEpochUnix + gpsMinusUtc) * 1000.0, double(kWeekMs));
}

double BeiDouWeekMsAt(double unixSeconds, int gpsMinusUtc)
{
    // BeiDou weeks begin at Sunday 00:00 of its own time, as GPS weeks do.
    return Wrap((unixSeconds - kGpsEpochUnix + gpsMinusUtc - kBeiDouBehindGpsS) * 1000.0, double(kWeekMs));
}

double GlonassWeekMsAt(double unixSeconds)
{
    return Wrap((unixSeconds + kMoscowAheadOfUtcS - kFirstUnixSunday) * 1000.0, double(kWeekMs));
}

double GlonassDayMsAt(double unixSeconds)
{
    return Wrap((unixSeconds + kMoscowAheadOfUtcS) * 1000.0, double(kDayMs));
}

double AgeInPeriod(double hostMs, double fieldMs, std::int64_t periodMs)
{
    const double period = double(periodMs);
    const double raw = hostMs - fieldMs;
    double difference = raw - period * std::trunc(raw / period);
    if (difference <= -period / 2.0)
        difference += period;
    else if (difference > period / 2.0)
        difference -= period;
    return difference / 1000.0;
}

}  // namespace TolvarRT
