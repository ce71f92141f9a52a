#include "ports/recording/rtklib_time_tags.h"

#include <cmath>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string_view>

#include "core/time_base.h"

namespace TolvarRT {
namespace {

constexpr std::string_view kMagic = "TIMETAG RTKLIB ";
constexpr std::size_t kTextLength = 64;
// GPS time runs ahead of UTC by the leap seconds since 1980: 18 since 2017.
constexpr double kGpsLeadSeconds = 18.0;

std::uint64_t Little(const std::uint8_t* data, unsigned bytes)
{
    std::uint64_t value = 0;
    for (unsigned i = bytes; i-- > 0;)
        value = (value << 8) | data[i];
    return value;
}

void PutLittle(std::string& out, std::uint64_t value, unsigned bytes)
{
    for (unsigned i = 0; i < bytes; ++i)
        out.push_back(char((value >> (8 * i)) & 0xff));
}

}  // namespace

bool IsRtklibTagHead(const std::uint8_t* data, std::size_t length)
{
    return length >= kMagic.size() && std::memcmp(data, kMagic.data(), kMagic.size()) == 0;
}

std::string RtklibTagPathFor(const std::string& dataPath)
{
    return dataPath + ".tag";
}

std::string RtklibTagHead(const sRecordingClock& clock)
{
    std::string head(kMagic);
    head += "2.4.3";
    head.resize(kTextLength - 4, '\0');
    // Only differences of ticks count: the clock's origin in milliseconds.
    PutLittle(head, std::uint32_t(NanosecondsBetween(clock.origin, 0) / 1000000), 4);
    const double gps = clock.unixSeconds + kGpsLeadSeconds;
    const double whole = std::floor(gps);
    PutLittle(head, std::uint32_t(whole), 4);
    std::uint64_t fraction = 0;
    const double part = gps - whole;
    std::memcpy(&fraction, &part, sizeof fraction);
    PutLittle(head, fraction, 8);
    return head;
}

std::string RtklibTagRecord(std::uint32_t milliseconds, std::uint32_t lengthAfter)
{
    std::string record;
    PutLittle(record, milliseconds, 4);
    PutLittle(record, lengthAfter, 4);
    return record;
}

std::uint64_t RtklibSession(const std::uint8_t* head)
{
    // FNV-1a over the tick and the time: the same opening, the same session.
    std::uint64_t hash = 14695981039346656037ull;
    for (std::size_t i = kTextLength - 4; i < kRtklibTagHeadLength; ++i)
        hash = (hash ^ head[i]) * 1099511628211ull;
    return hash;
}

bool ReadRtklibSession(const std::string& path, std::uint64_t& session)
{
    std::uint8_t head[kRtklibTagHeadLength] = {};
    std::ifstream file(path, std::ios::binary);
    if (!file.read(reinterpret_cast<char*>(head), sizeof head) || !IsRtklibTagHead(head, sizeof head))
        return false;
    session = RtklibSession(head);
    return true;
}

bool CRtklibTagParser::Head(const std::uint8_t* data, std::string& error)
{
    if (!IsRtklibTagHead(data, kRtklibTagHeadLength)) {
        error = "not an RTKLIB time-tag file";
        return false;
    }
    parsed = sTimeTags{};
    parsed.rtklib = true;
    parsed.version = 2;
    parsed.end = 0;
    parsed.clock.session = RtklibSession(data);
    double fraction = 0.0;
    const std::uint64_t bits = Little(data + kTextLength + 4, 8);
    std::memcpy(&fraction, &bits, sizeof fraction);
    const double gps = double(Little(data + kTextLength, 4)) + (std::isfinite(fraction) ? fraction : 0.0);
    parsed.clock.unixSeconds = gps - kGpsLeadSeconds;
    parsed.clock.date = LocalDateAt(parsed.clock.unixSeconds);
    lengthSoFar = 0;
    lastTick = 0;
    records = 0;
    return true;
}

CRtklibTagParser::eRecord CRtklibTagParser::Record(const std::uint8_t* data, sTimeTag& tag, std::string& error)
{
    ++records;
    const auto tick = std::uint32_t(Little(data, 4));
    const std::uint64_t length = Little(data + 4, 4);
    if (length < lengthSoFar || tick < lastTick) {
        error = "record " + std::to_string(records) + ": lengths and times must not fall";
        return kBadRecord;
    }
    lastTick = tick;
    if (length == lengthSoFar)
        return kEmptyRecord;
    tag.offset = lengthSoFar;
    tag.nanoseconds = std::int64_t(tick) * 1000000;
    lengthSoFar = length;
    parsed.end = length;
    return kTagRecord;
}

}  // namespace TolvarRT
