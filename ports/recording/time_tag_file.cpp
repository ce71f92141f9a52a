#include "ports/recording/time_tag_file.h"

#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string_view>

namespace TolvarRT {
namespace {

constexpr std::string_view kMagic = "tolvar-time-tags ";
constexpr int kVersion = 2;
// A note to older readers, the origin's UTC to newer ones.
constexpr std::string_view kOriginUnixNote = "# origin-unix ";

// The version of a time-tag file from its first line; 0 when it is not one.
int MagicVersion(const std::string& line)
{
    if (line.compare(0, kMagic.size(), kMagic) != 0)
        return 0;
    const std::string version = line.substr(kMagic.size());
    return version == "1" ? 1 : version == "2" ? 2 : 0;
}

bool LineError(std::string& error, unsigned line, const std::string& what)
{
    error = "line " + std::to_string(line) + ": " + what;
    return false;
}

using Clock = std::chrono::steady_clock;

}  // namespace

std::int64_t NanosecondsBetween(TimeStamp later, TimeStamp earlier)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::duration(later - earlier)).count();
}

TimeStamp StampAfter(TimeStamp origin, std::int64_t nanoseconds)
{
    return origin + std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(nanoseconds)).count();
}

sRecordingClock StartRecordingClock()
{
    sRecordingClock clock;
    clock.origin = TimeStampNow();
    clock.date = TimeStampToDate(clock.origin);
    // Read as the arrivals' UTC is read live, so that a replay that maps its
    // arrivals back from this origin gives the live ages to the microsecond.
    clock.unixSeconds = UnixSecondsAt(clock.origin);
    std::random_device entropy;
    clock.session = (std::uint64_t(entropy()) << 32) ^ entropy() ^ std::uint64_t(clock.origin);
    return clock;
}

std::string TimeTagHeader(const sRecordingClock& clock)
{
    char text[200];
    std::snprintf(text, sizeof text, "%.*s%d\nsession %" PRIx64 "\norigin-date %.12f\n%.*s%.6f\n", int(kMagic.size()),
                  kMagic.data(), kVersion, clock.session, clock.date, int(kOriginUnixNote.size()),
                  kOriginUnixNote.data(), clock.unixSeconds);
    return text;
}

std::string TimeTagLine(const sTimeTag& tag)
{
    char text[64];
    std::snprintf(text, sizeof text, "%" PRIu64 " %" PRId64 "\n", tag.offset, tag.nanoseconds);
    return text;
}

std::string TimeTagEndLine(std::uint64_t bytes)
{
    return "end " + std::to_string(bytes) + "\n";
}

CTimeTagParser::eLine CTimeTagParser::Line(const std::string& line, sTimeTag& tag, std::string& error)
{
    const auto bad = [&](const std::string& what) {
        LineError(error, number, what);
        return kBadLine;
    };
    ++number;
    if (number == 1) {
        head.version = MagicVersion(line);
        return head.version == 0 ? bad("not a time-tag file") : kHeadLine;
    }
    if (line.compare(0, kOriginUnixNote.size(), kOriginUnixNote) == 0) {
        std::istringstream value(line.substr(kOriginUnixNote.size()));
        double unixSeconds = 0.0;
        if (!(value >> unixSeconds) || !(value >> std::ws).eof() || !std::isfinite(unixSeconds))
            return bad("bad origin time");
        head.clock.unixSeconds = unixSeconds;
        head.utcFromLocalDate = false;
        sawUnix = true;
        return kHeadLine;
    }
    if (line.empty() || line[0] == '#')
        return kHeadLine;
    std::istringstream fields(line);
    std::string first;
    fields >> first;
    if (first == "session") {
        fields >> std::hex >> head.clock.session;
        sawSession = !fields.fail();
        return sawSession ? kHeadLine : bad("bad session");
    }
    if (first == "origin-date") {
        fields >> head.clock.date;
        sawDate = !fields.fail();
        if (sawDate && !sawUnix) {
            // A file recorded in another zone comes out off by the zones'
            // difference, and its ages with it; the origin-unix line, when it
            // follows, puts that right.
            head.clock.unixSeconds = UnixSecondsAtLocalDate(head.clock.date);
            head.utcFromLocalDate = true;
        }
        return sawDate ? kHeadLine : bad("bad origin date");
    }
    if (head.end)
        return bad("a line after the end");
    if (first == "end") {
        std::uint64_t end = 0;
        if (!(fields >> end) || !(fields >> std::ws).eof() || (last && end <= last->offset))
            return bad("bad end");
        head.end = end;
        return kHeadLine;
    }
    char* end = nullptr;
    errno = 0;
    tag.offset = std::strtoull(first.c_str(), &end, 10);
    if (first.empty() || first[0] == '-' || *end != '\0' || errno != 0)
        return bad("bad byte offset");
    if (!(fields >> tag.nanoseconds) || !(fields >> std::ws).eof())
        return bad("bad time");
    if (last && (tag.offset <= last->offset || tag.nanoseconds < last->nanoseconds))
        return bad("offsets must rise and times must not fall");
    last = tag;
    return kTagLine;
}

bool CTimeTagParser::Finish(std::string& error) const
{
    if (number == 0)
        return LineError(error, 1, "not a time-tag file");
    if (!sawSession || !sawDate)
        return LineError(error, number, "no session or origin date");
    return true;
}

bool ParseTimeTags(const std::string& text, sTimeTags& parsed, std::string& error)
{
    parsed = sTimeTags{};
    CTimeTagParser parser;
    std::istringstream lines(text);
    std::string line;
    std::vector<sTimeTag> tags;
    sTimeTag tag;
    while (std::getline(lines, line)) {
        const CTimeTagParser::eLine kind = parser.Line(line, tag, error);
        if (kind == CTimeTagParser::kBadLine)
            return false;
        if (kind == CTimeTagParser::kTagLine)
            tags.push_back(tag);
    }
    if (!parser.Finish(error))
        return false;
    parsed = parser.Head();
    parsed.tags = std::move(tags);
    return true;
}

bool ReadTimeTagFile(const std::string& path, sTimeTags& parsed, std::string& error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (!ParseTimeTags(text, parsed, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

bool ReadTimeTagSession(const std::string& path, std::uint64_t& session)
{
    std::ifstream file(path);
    std::string line;
    if (!std::getline(file, line) || MagicVersion(line) == 0)
        return false;
    // The session comes right after the magic line, before any tag.
    for (unsigned lines = 0; lines < 4 && std::getline(file, line); ++lines) {
        std::istringstream fields(line);
        std::string key;
        if (fields >> key && key == "session")
            return bool(fields >> std::hex >> session);
    }
    return false;
}

std::string TimeTagPathFor(const std::string& dataPath)
{
    const std::size_t slash = dataPath.rfind('/');
    const std::size_t dot = dataPath.rfind('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    return (hasExtension ? dataPath.substr(0, dot) : dataPath) + ".tags";
}

std::vector<std::pair<std::uint64_t, std::uint64_t>> TaggedChunks(const sTimeTags& tags, std::uint64_t length)
{
    std::vector<std::pair<std::uint64_t, std::uint64_t>> chunks;
    std::uint64_t start = 0;
    for (const sTimeTag& tag : tags.tags) {
        const std::uint64_t at = std::min(tag.offset, length);
        if (at > start)
            chunks.emplace_back(start, at);
        start = std::max(start, at);
    }
    if (start < length)
        chunks.emplace_back(start, length);
    return chunks;
}

}  // namespace TolvarRT
