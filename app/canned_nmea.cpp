#include "app/canned_nmea.h"

#include <cstdio>
#include <ctime>

namespace {

constexpr const char kTemplateStart[] = "$GPGGA";
constexpr std::size_t kTimeField = 7;  // after "$GPGGA,"
constexpr std::size_t kTimeLength = 6;

}  // namespace

std::string CannedNmeaOutput(const std::string& canned, const sTimeOfDay& time)
{
    // The time field and the final "*" must both be there: a shorter text
    // would have its "*" cut away with the time or the time put behind it.
    if (canned.compare(0, sizeof kTemplateStart - 1, kTemplateStart) != 0 || canned.back() != '*' ||
        canned.size() < kTimeField + kTimeLength + 1)
        return canned;
    char digits[16];
    std::snprintf(digits, sizeof digits, "%02d%02d%02d", time.hour % 100, time.minute % 100, time.second % 100);
    std::string text = canned;
    text.replace(kTimeField, kTimeLength, digits);
    unsigned char checksum = 0;
    for (std::size_t i = 1; i + 1 < text.size(); ++i)
        checksum ^= static_cast<unsigned char>(text[i]);
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02X", checksum);
    return text + hex;
}

sTimeOfDay LocalTimeOfDay()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_hour, local.tm_min, local.tm_sec};
}
