// The companion of a recorded side's raw bytes: where each received chunk
// began and when it arrived, on one clock that every side of a recording
// shares, so that a replay gives the same latencies as the live run.
//
// The file is text, one item a line:
//   tolvar-time-tags 2
//   session <hexadecimal id shared by the sides of one recording>
//   origin-date <local date at the clock's origin: days since 1899-12-30>
//   # origin-unix <UTC at the clock's origin: seconds since 1970-01-01>
//   <byte offset of the chunk> <nanoseconds from the origin to its arrival>
//   ...
//   end <bytes in the data file>
// Offsets rise strictly; times never fall. Lines starting with '#' are notes.
// The origin's UTC is one of them, so that readers older than it take the
// file as before; a replay maps its chunks' arrivals back onto that UTC, and
// the ages of the corrections come out as they were live. Files without it
// (written before it) get their UTC from origin-date in this machine's zone.
// The end line is written when the recording stops as it should: a file of
// version 2 without it was cut short (a crash, a kill, a full disk), so the
// extent of its last chunk is not known. Version 1 files have no end line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/time_base.h"

namespace TolvarRT {

// The clock of one recording: the time stamp its times count from, and the
// local date at that moment.
struct sRecordingClock {
    TimeStamp origin = 0;
    double date = 0.0;
    std::uint64_t session = 0;
    double unixSeconds = 0.0;  // UTC at the origin (seconds since 1970-01-01), as the arrivals were read live
};

struct sTimeTag {
    std::uint64_t offset = 0;
    std::int64_t nanoseconds = 0;
};

struct sTimeTags {
    sRecordingClock clock;  // origin is 0: it was another process's counter
    std::vector<sTimeTag> tags;
    int version = 0;
    std::optional<std::uint64_t> end;  // the data's length, from the end line
    bool rtklib = false;               // read from RTKLIB's binary time-tag file
    // The file holds no UTC of its own: clock.unixSeconds comes from its
    // local origin-date read in this machine's zone.
    bool utcFromLocalDate = false;
};

// Time stamps are readings of the monotonic clock; these convert between
// them and the recording's nanoseconds exactly.
std::int64_t NanosecondsBetween(TimeStamp later, TimeStamp earlier);
TimeStamp StampAfter(TimeStamp origin, std::int64_t nanoseconds);

// A clock starting now, with a session id of its own.
sRecordingClock StartRecordingClock();

std::string TimeTagHeader(const sRecordingClock& clock);
std::string TimeTagLine(const sTimeTag& tag);
std::string TimeTagEndLine(std::uint64_t bytes);
// False with the line and what is wrong with it.
bool ParseTimeTags(const std::string& text, sTimeTags& parsed, std::string& error);

// Reads a time-tag file a line at a time, so that a day of tags need not be
// held at once: the head goes to Head(), each tag is handed back as it comes.
class CTimeTagParser {
public:
    enum eLine { kBadLine, kHeadLine, kTagLine };
    // One line without its line end. A tag line gives its tag; a bad line
    // gives "line N: what is wrong" in error.
    eLine Line(const std::string& line, sTimeTag& tag, std::string& error);
    // Whether the lines so far make a whole head; false with the error.
    bool Finish(std::string& error) const;
    // Everything but the tags.
    const sTimeTags& Head() const { return head; }
    unsigned Lines() const { return number; }

private:
    sTimeTags head;
    std::optional<sTimeTag> last;
    unsigned number = 0;
    bool sawSession = false;
    bool sawDate = false;
    bool sawUnix = false;
};

// False when the file cannot be read or is not a time-tag file.
bool ReadTimeTagFile(const std::string& path, sTimeTags& parsed, std::string& error);

// The session id from the head of a time-tag file alone; false when the
// file is not one.
bool ReadTimeTagSession(const std::string& path, std::uint64_t& session);

// The time-tag file beside a data file: "DIR/listener.raw" -> "DIR/listener.tags".
std::string TimeTagPathFor(const std::string& dataPath);

// The chunks the tags cut a stream of length bytes into, as [start, end)
// offsets; bytes before the first tag form a chunk of their own.
std::vector<std::pair<std::uint64_t, std::uint64_t>> TaggedChunks(const sTimeTags& tags, std::uint64_t length);

}  // namespace TolvarRT
