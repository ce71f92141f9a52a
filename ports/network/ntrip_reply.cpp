// The caster's answer, byte by byte: whatever way the socket cuts it, the
// same correction bytes come out, and nothing of the framing with them.
#include "ports/network/ntrip_reply.h"

#include <algorithm>
#include <cctype>

namespace TolvarRT {
namespace {

// Longer lines are not a caster talking.
constexpr std::size_t kLineLimit = 4096;

bool StartsWith(const std::string& text, const char* prefix)
{
    const std::string start(prefix);
    if (text.size() < start.size())
        return false;
    return std::equal(start.begin(), start.end(), text.begin(),
                      [](char a, char b) { return std::tolower((unsigned char)a) == std::tolower((unsigned char)b); });
}

std::string Lower(std::string text)
{
    for (char& c : text)
        c = char(std::tolower((unsigned char)c));
    return text;
}

// "HTTP/1.1 401 Unauthorized" -> 401; 0 when there is no code.
int StatusCode(const std::string& statusLine)
{
    const std::size_t space = statusLine.find(' ');
    if (space == std::string::npos)
        return 0;
    int code = 0;
    for (std::size_t i = space + 1; i < statusLine.size() && std::isdigit((unsigned char)statusLine[i]); ++i)
        code = code * 10 + (statusLine[i] - '0');
    return code;
}

}  // namespace

CNtripReply::Outcome CNtripReply::Fail(std::string why)
{
    failure = std::move(why);
    state = State::Done;
    outcome = Outcome::Failed;
    return outcome;
}

CNtripReply::Outcome CNtripReply::Finish()
{
    if (table && headersDone && outcome == Outcome::Waiting) {
        if (!tableLine.empty())
            TakeTableLine(tableLine);
        state = State::Done;
        outcome = Outcome::Sourcetable;
    } else if (outcome == Outcome::Waiting) {
        Fail(statusLine.empty() ? "the caster closed the connection without an answer"
                                : "the caster closed the connection during its answer");
    }
    return outcome;
}

void CNtripReply::TakeLine(const std::string& text)
{
    if (state == State::StatusLine) {
        statusLine = text;
        if (StartsWith(text, "ICY 200")) {
            state = State::IcyStart;
            outcome = Outcome::Streaming;
            return;
        }
        if (StartsWith(text, "SOURCETABLE 200")) {
            table = true;
            state = State::Headers;
            return;
        }
        const int code = StartsWith(text, "HTTP/") || StartsWith(text, "ICY ") ? StatusCode(text) : -1;
        if (code == 401) {
            state = State::Done;
            outcome = Outcome::Refused;
            return;
        }
        if (code != 200) {
            Fail(code < 0 ? "not a caster's answer: \"" + text.substr(0, 80) + "\""
                          : "the caster answered \"" + text + "\"");
            return;
        }
        state = State::Headers;
        return;
    }
    if (!text.empty()) {
        const std::string header = Lower(text);
        if (StartsWith(header, "transfer-encoding:") && header.find("chunked") != std::string::npos)
            chunked = true;
        if (StartsWith(header, "content-type:") && header.find("gnss/sourcetable") != std::string::npos)
            table = true;
        return;
    }
    HeadersDone();
}

void CNtripReply::HeadersDone()
{
    state = chunked ? State::ChunkSize : State::Raw;
    headersDone = true;
    // A sourcetable is only known complete at its end line or the close.
    outcome = table ? Outcome::Waiting : Outcome::Streaming;
}

void CNtripReply::TakeTableLine(const std::string& text)
{
    if (!StartsWith(text, "STR;"))
        return;
    // STR;mountpoint;identifier;format;details;carrier;system;network;country;lat;lon;nmea;...
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t semicolon = text.find(';', start);
        fields.push_back(text.substr(start, semicolon - start));
        if (semicolon == std::string::npos)
            break;
        start = semicolon + 1;
    }
    if (fields.size() < 2 || fields[1].empty())
        return;
    if (mountpoints.size() >= tableLimits.names) {
        ++leftOut;
        return;
    }
    mountpoints.push_back({fields[1], fields.size() > 11 && fields[11] == "1"});
}

void CNtripReply::CutTable()
{
    tableCut = true;
    state = State::Done;
    outcome = Outcome::Sourcetable;
}

void CNtripReply::Emit(const std::uint8_t* data, std::size_t length, std::vector<std::uint8_t>& body)
{
    if (!table) {
        body.insert(body.end(), data, data + length);
        return;
    }
    for (std::size_t i = 0; i < length && state != State::Done; ++i) {
        if (++tableBytes > tableLimits.bytes) {
            CutTable();
            return;
        }
        const char c = char(data[i]);
        if (c != '\n') {
            if (c != '\r' && tableLine.size() < kLineLimit)
                tableLine += c;
            continue;
        }
        if (StartsWith(tableLine, "ENDSOURCETABLE")) {
            state = State::Done;
            outcome = Outcome::Sourcetable;
        } else {
            TakeTableLine(tableLine);
            if (++tableLines >= tableLimits.lines)
                CutTable();
        }
        tableLine.clear();
    }
}

CNtripReply::Outcome CNtripReply::Feed(const std::uint8_t* data, std::size_t length, std::vector<std::uint8_t>& body)
{
    std::size_t i = 0;
    while (i < length && state != State::Done) {
        switch (state) {
        case State::StatusLine:
        case State::Headers:
        case State::ChunkSize:
        case State::Trailer: {
            const char c = char(data[i++]);
            if (c != '\n') {
                if (c != '\r')
                    line += c;
                if (line.size() > kLineLimit)
                    return Fail("a line of the caster's answer is too long");
                break;
            }
            const std::string text = std::move(line);
            line.clear();
            if (state == State::StatusLine || state == State::Headers) {
                TakeLine(text);
            } else if (state == State::Trailer) {
                if (text.empty()) {
                    state = State::Done;
                    outcome = table ? Outcome::Sourcetable : Outcome::Ended;
                }
            } else {
                // Chunk extensions after ';' carry nothing this port needs.
                const std::string size = text.substr(0, text.find(';'));
                if (size.empty() || size.size() > 15 ||
                    !std::all_of(size.begin(), size.end(), [](char h) { return std::isxdigit((unsigned char)h); }))
                    return Fail("bad chunk size \"" + text.substr(0, 20) + "\" in the caster's stream");
                chunkLeft = std::stoull(size, nullptr, 16);
                state = chunkLeft == 0 ? State::Trailer : State::ChunkData;
            }
            break;
        }
        case State::IcyStart:
            if (data[i] == '\r') {
                ++i;
                state = State::IcyStartLf;
            } else {
                state = State::Raw;
            }
            break;
        case State::IcyStartLf:
            if (data[i] == '\n') {
                ++i;
            } else {
                // The carriage return was the first byte of the data.
                const std::uint8_t cr = '\r';
                Emit(&cr, 1, body);
            }
            state = State::Raw;
            break;
        case State::Raw:
            Emit(data + i, length - i, body);
            i = length;
            break;
        case State::ChunkData: {
            const std::size_t take = std::size_t(std::min<std::uint64_t>(chunkLeft, length - i));
            Emit(data + i, take, body);
            i += take;
            chunkLeft -= take;
            if (chunkLeft == 0)
                state = State::ChunkEndCr;
            break;
        }
        case State::ChunkEndCr:
            if (data[i] == '\n') {
                // A bare line feed ends the chunk as well.
                ++i;
                state = State::ChunkSize;
            } else if (data[i++] == '\r') {
                state = State::ChunkEndLf;
            } else {
                return Fail("chunk longer than its size in the caster's stream");
            }
            break;
        case State::ChunkEndLf:
            if (data[i++] != '\n')
                return Fail("chunk longer than its size in the caster's stream");
            state = State::ChunkSize;
            break;
        case State::Done: break;
        }
    }
    return outcome;
}

}  // namespace TolvarRT
