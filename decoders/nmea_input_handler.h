// NMEA 0183 decoder: cuts sentences out of a port's byte stream, checks their
// checksum, and publishes GGA, ZDA, GST, GSV and the proprietary GGK, with the
// position parsed out of GGA and GGK.
#pragma once

#include <cstdint>
#include <string>

#include "core/byte_pipe_subscriber.h"
#include "core/log_pipe.h"
#include "core/pipes.h"
#include "core/subscription.h"
#include "decoders/nmea_position.h"

namespace TolvarRT {

// Bytes outside sentences (and sentences cut short by the next "$") are
// reported with MarkLost; a sentence's bytes, from "$" to the line end that
// closes it, count as used whether or not its checksum holds. A sentence left
// open at the end of a chunk completes with the next one; its bytes are
// reported only once its fate is known.
//
// Thread rules: OnBytes runs on the port's reader thread and holds the shared
// lock throughout, subscribers included. SetName may be called from any
// thread. Subscribers attach and detach from any thread (core/subscription.h).
class CNMEAInputHandler : public CBytePipeSubscriber, public TSubscription<IIncommingNMEAPipe> {
public:
    // Stored characters of one sentence, without its "$" and line end; the
    // byte after the last of them ends the sentence.
    static constexpr std::uint32_t kMaxSentenceLength = 255;

    explicit CNMEAInputHandler(CLogPipe* logPipe = nullptr);

    int OnBytes(const std::uint8_t* data, std::uint32_t length, std::uint32_t firstIndex,
                const TimeStamp& timeStamp) override;
    ~CNMEAInputHandler() override;

    // A sentence with a good checksum: text is everything after "$" up to the
    // line end, "*hh" included, NUL-terminated. Picks the parser by the name.
    virtual void OnSentence(const char* text, const TimeStamp& timeStamp);
    // "GPGGA"/"GNGGA" and "PVND,GGK": parse the position and publish it.
    virtual void OnGGA(const char* text, const TimeStamp& timeStamp);
    virtual void OnGGK(const char* text, const TimeStamp& timeStamp);

    // The name that starts every log line of this decoder ("Listener").
    void SetName(const std::string& newName);

    CLogNode log;

private:
    void OpenSentence(std::uint32_t dollarIndex);
    void EndSentence(const TimeStamp& timeStamp);
    void PublishSentence(unsigned type, const sNMEAPosition* position, const char* text, const TimeStamp& timeStamp);

    std::string name;

    // Searching: waiting for "$". Otherwise a sentence is open and its
    // characters go to the buffer.
    bool searching = true;
    char sentence[kMaxSentenceLength + 1] = {};
    std::uint32_t count = 0;
    std::uint32_t sentenceStart = 0;  // running index of the open sentence's "$"
    // The checksum is gathered as the characters arrive: the XOR of all of
    // them, and its value at the first "*" (starAt: where that "*" is stored).
    static constexpr std::uint32_t kNoStar = ~0u;
    std::uint8_t runningXor = 0;
    std::uint8_t xorAtStar = 0;
    std::uint32_t starAt = kNoStar;
};

}  // namespace TolvarRT
