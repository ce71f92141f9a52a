// The time-tag file that RTKLIB's stream tools write beside a file stream
// opened with "::T" (str2str -out file://PATH::T writes PATH and PATH.tag),
// read as our own time tags and written beside our own recordings, so that
// recordings pass both ways between those tools and this one.
//
// The file is binary, little-endian (as written on the PCs these tools run on):
//   64 bytes  "TIMETAG RTKLIB <version>", padded with zeros; its last 4 bytes
//             are the writer's millisecond tick when the file was opened
//   4 bytes   GPS time of the opening: whole seconds since 1970-01-01
//   8 bytes   its fraction of a second (a double)
//   then, for every write to the data file, in order:
//   4 bytes   milliseconds from the opening to the write's end
//   4 bytes   the data file's length after the write
// (Builds that write 8-byte lengths, "::P=8", are not read: their records
// read as times that fall, and the file is refused.)
// A record gives where a chunk ends, not where it starts: the chunk runs from
// the previous record's length. Writes of nothing repeat the length. There is
// no end mark: the last record is where the data known to be whole ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "ports/recording/time_tag_file.h"

namespace TolvarRT {

constexpr std::size_t kRtklibTagHeadLength = 64 + 4 + 8;

// Whether the first bytes of a file are a head of this format.
bool IsRtklibTagHead(const std::uint8_t* data, std::size_t length);
// The tag file beside a data file: "DIR/base.rtcm3" -> "DIR/base.rtcm3.tag".
std::string RtklibTagPathFor(const std::string& dataPath);

// A head for a recording whose clock is this: the tick and the time of its
// origin, the same for every side of the recording.
std::string RtklibTagHead(const sRecordingClock& clock);
std::string RtklibTagRecord(std::uint32_t milliseconds, std::uint32_t lengthAfter);
// The session id of a recording in this format: the same for every file with
// the same head, so that the sides written together replay together.
std::uint64_t RtklibSession(const std::uint8_t* head);
// The session id from the head of a file alone; false when it is not one.
bool ReadRtklibSession(const std::string& path, std::uint64_t& session);

// Reads such a file record by record into our tags. Thread rules: one thread.
class CRtklibTagParser {
public:
    static constexpr std::size_t kRecordLength = 8;

    // The head (kRtklibTagHeadLength bytes); false with the error.
    bool Head(const std::uint8_t* data, std::string& error);
    enum eRecord { kBadRecord, kEmptyRecord, kTagRecord };
    // One record (kRecordLength bytes): the chunk it ends as a tag, nothing for
    // a write of nothing, or "record N: what is wrong".
    eRecord Record(const std::uint8_t* data, sTimeTag& tag, std::string& error);
    // As our own time-tag file's head: no session of its own, and the end of
    // the last chunk read.
    const sTimeTags& Parsed() const { return parsed; }
    unsigned Records() const { return records; }

private:
    sTimeTags parsed;
    std::uint64_t lengthSoFar = 0;
    std::uint32_t lastTick = 0;
    unsigned records = 0;
};

}  // namespace TolvarRT
