// Reads a caster's answer to a stream request: the status line and headers,
// then the correction bytes, undoing the chunk framing of version 2 casters,
// or the sourcetable a caster sends instead of a stream it does not have.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace TolvarRT {

struct sNtripMountpoint {
    std::string name;
    bool wantsPosition = false;  // the caster needs a GGA sentence to pick the corrections
};

// How much of a sourcetable is read: a caster that never ends its list must
// not grow the client's memory or hold it until the answer deadline. Large
// networks list a few thousand streams in well under a megabyte.
struct sNtripTableLimits {
    std::size_t names = 200;      // mountpoints kept; later ones are only counted
    std::size_t lines = 20000;    // lines read before the list is taken as it is
    std::size_t bytes = 2 << 20;  // bytes read likewise
};

// Thread rules: one thread at a time; a reply belongs to one connection.
class CNtripReply {
public:
    enum class Outcome {
        Waiting,      // the answer is not complete yet
        Streaming,    // headers done: Feed hands out correction bytes
        Sourcetable,  // the caster listed its mountpoints instead (Mountpoints)
        Refused,      // 401: user name or password not accepted
        Ended,        // the caster closed a chunked stream in order
        Failed,       // not an answer this port understands (Failure says why)
    };

    explicit CNtripReply(sNtripTableLimits limits = {}) : tableLimits(limits) {}

    // Feeds what the socket gave; appends the correction bytes it carries to
    // body. A result other than Waiting and Streaming is final.
    Outcome Feed(const std::uint8_t* data, std::size_t length, std::vector<std::uint8_t>& body);
    // The connection ended: a sourcetable without its end line is complete.
    Outcome Finish();

    Outcome Result() const { return outcome; }
    const std::string& StatusLine() const { return statusLine; }
    const std::string& Failure() const { return failure; }
    // The first mountpoints of a sourcetable, at most the names limit.
    const std::vector<sNtripMountpoint>& Mountpoints() const { return mountpoints; }
    // Mountpoints read but not kept.
    std::size_t MountpointsLeftOut() const { return leftOut; }
    // The sourcetable was longer than the line or byte limit: the rest was not read.
    bool TableCut() const { return tableCut; }

private:
    enum class State {
        StatusLine,  // the first line, up to its line feed
        Headers,     // header lines up to the empty one
        IcyStart,    // after "ICY 200 OK": an empty line may follow before the data
        IcyStartLf,  // a carriage return seen there; a line feed completes the empty line
        Raw,         // every byte is body
        ChunkSize,   // the hexadecimal size line of a chunk
        ChunkData,   // chunkLeft body bytes
        ChunkEndCr,  // the carriage return after a chunk's data
        ChunkEndLf,  // the line feed after it
        Trailer,     // trailer lines after the last chunk, up to the empty one
        Done,        // a final outcome is set; further bytes are ignored
    };

    Outcome Fail(std::string why);
    // A whole line (without its line end) in the status or header states.
    void TakeLine(const std::string& text);
    void HeadersDone();
    // Body bytes: correction data, or sourcetable text.
    void Emit(const std::uint8_t* data, std::size_t length, std::vector<std::uint8_t>& body);
    void TakeTableLine(const std::string& text);
    // The sourcetable is taken as read so far.
    void CutTable();

    State state = State::StatusLine;
    Outcome outcome = Outcome::Waiting;
    std::string line;
    std::string statusLine;
    std::string failure;
    bool chunked = false;
    bool table = false;  // the body is a sourcetable
    bool headersDone = false;
    std::uint64_t chunkLeft = 0;
    std::string tableLine;
    std::vector<sNtripMountpoint> mountpoints;
    sNtripTableLimits tableLimits;
    std::size_t tableLines = 0;
    std::size_t tableBytes = 0;
    std::size_t leftOut = 0;
    bool tableCut = false;
};

}  // namespace TolvarRT
