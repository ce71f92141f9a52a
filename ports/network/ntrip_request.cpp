// Caster names, requests and position sentences; nothing here does I/O.
#include "ports/network/ntrip_request.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace TolvarRT {
namespace {

constexpr std::string_view kPrefix = "NTRIP:";

// A line break, tab or other control byte would end or split a line of the
// request; a space would end its first line's path.
bool HasControl(std::string_view text)
{
    return std::any_of(text.begin(), text.end(), [](char c) { return (unsigned char)c < 0x20 || c == 0x7F; });
}

bool HasBlankOrControl(std::string_view text)
{
    return HasControl(text) || text.find(' ') != std::string_view::npos;
}

// Why the request could not carry the address as it is; nullptr when it can.
// User and password travel base64-encoded, so only control bytes (surely a
// mistake) are refused there; spaces in a password are fine.
const char* UnsafePart(const sNtripAddress& address)
{
    if (HasBlankOrControl(address.mountpoint))
        return "the mountpoint holds a space or a control character (such as a line break)";
    if (HasBlankOrControl(address.caster.host))
        return "the caster address holds a space or a control character (such as a line break)";
    if (HasControl(address.user))
        return "the user name holds a control character (such as a line break)";
    if (HasControl(address.password))
        return "the password holds a control character (such as a line break)";
    return nullptr;
}

bool ReadNumber(std::string_view text, double& value)
{
    if (text.empty() || text.size() > 40)
        return false;
    const std::string copy(text);
    char* end = nullptr;
    value = std::strtod(copy.c_str(), &end);
    return end == copy.c_str() + copy.size() && std::isfinite(value);
}

// Degrees as the NMEA "dddmm.mmmmm" with its hemisphere letter; the minutes
// are rounded once, so 59.999999' carries into the next degree.
std::string Angle(double degrees, int degreeDigits, char positive, char negative)
{
    const long long total = std::llround(std::fabs(degrees) * 60.0 * 100000.0);
    const long long whole = total / (60 * 100000LL);
    const long long minutes = total % (60 * 100000LL);
    char text[40];
    std::snprintf(text, sizeof text, "%0*lld%02lld.%05lld,%c", degreeDigits, whole, minutes / 100000, minutes % 100000,
                  degrees < 0 ? negative : positive);
    return text;
}

}  // namespace

bool ParseNtripPortName(std::string_view name, sNtripAddress& address, std::string* failure)
{
    const auto fail = [&](const char* why) {
        if (failure != nullptr)
            *failure = why;
        return false;
    };
    if (!HasNetPrefix(name, kPrefix))
        return fail("not an NTRIP:host/mountpoint name");
    if (name.size() > kNtripNameLimit)
        return fail(("the name is longer than " + std::to_string(kNtripNameLimit) + " characters").c_str());
    std::string_view rest = name.substr(kPrefix.size());
    sNtripAddress parsed;
    // Mountpoints hold no '@'; passwords may.
    const std::size_t at = rest.rfind('@');
    if (at != std::string_view::npos) {
        const std::string_view credentials = rest.substr(0, at);
        const std::size_t colon = credentials.find(':');
        parsed.user = std::string(credentials.substr(0, colon));
        if (colon != std::string_view::npos)
            parsed.password = std::string(credentials.substr(colon + 1));
        rest = rest.substr(at + 1);
    }
    const std::size_t slash = rest.find('/');
    if (slash != std::string_view::npos) {
        parsed.mountpoint = std::string(rest.substr(slash + 1));
        rest = rest.substr(0, slash);
    }
    sNetAddress caster;
    std::string why;
    if (!ParseNetPortName("N:" + std::string(rest), "N:", caster, &why)) {
        if (failure != nullptr)
            *failure = "caster address: " + why;
        return false;
    }
    // The network ports' default is not the casters'.
    const bool portGiven = !rest.empty() && rest.front() == '[' ? rest.find("]:") != std::string_view::npos
                                                                : std::count(rest.begin(), rest.end(), ':') == 1;
    parsed.caster = caster;
    if (!portGiven)
        parsed.caster.port = kDefaultCasterPort;
    if (const char* why = UnsafePart(parsed))
        return fail(why);
    address = std::move(parsed);
    return true;
}

std::string MaskNtripPassword(std::string_view name)
{
    // Masked even when the rest of the name is wrong: error texts show it too.
    if (!HasNetPrefix(name, kPrefix))
        return std::string(name);
    const std::size_t at = name.rfind('@');
    const std::size_t colon = name.find(':', kPrefix.size());
    if (at == std::string_view::npos || colon == std::string_view::npos || colon > at)
        return std::string(name);
    return std::string(name.substr(0, colon + 1)) + "****" + std::string(name.substr(at));
}

std::string Base64(std::string_view bytes)
{
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 3; ++k)
            group = (group << 8) | (k < n ? std::uint8_t(bytes[i + k]) : 0);
        for (std::size_t k = 0; k < 4; ++k)
            text += k <= n ? kDigits[(group >> (18 - 6 * k)) & 0x3F] : '=';
    }
    return text;
}

std::string NtripRequest(const sNtripAddress& address)
{
    std::string request = "GET /" + address.mountpoint + " HTTP/1.1\r\n";
    request += "Host: " + address.caster.host + ":" + std::to_string(address.caster.port) + "\r\n";
    request += "Ntrip-Version: Ntrip/2.0\r\n";
    request += "User-Agent: NTRIP TolvarTestSuite/1.0\r\n";
    if (!address.user.empty())
        request += "Authorization: Basic " + Base64(address.user + ":" + address.password) + "\r\n";
    request += "Connection: close\r\n\r\n";
    return request;
}

bool ParseGgaPosition(std::string_view text, sGgaPosition& position)
{
    const std::size_t first = text.find(',');
    const std::size_t second = first == std::string_view::npos ? first : text.find(',', first + 1);
    if (second == std::string_view::npos)
        return false;
    sGgaPosition parsed;
    if (!ReadNumber(text.substr(0, first), parsed.latitude) ||
        !ReadNumber(text.substr(first + 1, second - first - 1), parsed.longitude) ||
        !ReadNumber(text.substr(second + 1), parsed.height))
        return false;
    if (std::fabs(parsed.latitude) > 90 || std::fabs(parsed.longitude) > 180 || std::fabs(parsed.height) > 100000)
        return false;
    position = parsed;
    return true;
}

std::string GgaSentence(const sGgaPosition& position, unsigned secondsOfDay)
{
    secondsOfDay %= 86400;
    char time[16];
    std::snprintf(time, sizeof time, "%02u%02u%02u.00", secondsOfDay / 3600, secondsOfDay / 60 % 60, secondsOfDay % 60);
    char height[32];
    std::snprintf(height, sizeof height, "%.3f", position.height);
    const std::string body = std::string("GPGGA,") + time + "," + Angle(position.latitude, 2, 'N', 'S') + "," +
                             Angle(position.longitude, 3, 'E', 'W') + ",1,08,1.0," + height + ",M,0.0,M,,";
    std::uint8_t sum = 0;
    for (char c : body)
        sum ^= std::uint8_t(c);
    char checksum[8];
    std::snprintf(checksum, sizeof checksum, "*%02X\r\n", sum);
    return "$" + body + checksum;
}

}  // namespace TolvarRT
