// Finds RTCM version 2 frames in a port's raw byte stream: six payload bits a
// byte, 30-bit words at any bit offset, checked with the GPS navigation
// parity, either polarity.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>

#include "core/byte_pipe_subscriber.h"
#include "core/log_pipe.h"
#include "core/pipes.h"
#include "core/subscription.h"
#include "core/weak_frame_gate.h"

namespace TolvarRT {

// The two header words of a frame, from the first six stored bytes.
struct sRTCMHeader {
    std::uint8_t preamble = 0;
    std::uint8_t messageType = 0;  // 1..64: a type field of 0 means 64
    std::uint16_t stationId = 0;
    std::uint16_t zCount = 0;  // modified Z-count in units of 0.6 s
    std::uint8_t sequence = 0;
    std::uint8_t dataWords = 0;  // N, 0..31
    std::uint8_t health = 0;

    double ZCountSeconds() const { return zCount * 0.6; }
};

// Byte-pipe subscriber that publishes every RTCM v2 frame whose words all pass
// the parity check and whose header is sound, and reports every byte it cannot
// place in a frame with MarkLost, exactly once and in stream order.
//
// A rejected frame is searched again from the bit after its first, with the
// bits it already held, so the frames found never depend on how the stream was
// cut into chunks. The one exception: a frame in progress whose station is not
// that of the last frame published is given up, with the chunk that completes
// it, for a whole frame of that station lying inside it (a false header on the
// word grid of real frames would otherwise read them as its data, and hold
// the last of them for ever on a line gone quiet). The bytes of a frame in progress stay unreported until the
// frame is published or given up; a byte shared by two frames (words need not
// start on a byte) belongs to both. A frame of header words alone that lies
// wholly inside a strongly checked frame of the same pipe (a packet, an RTCM
// v3 frame) is dropped and its bytes reported lost; one that such a frame
// still arriving may hold is held back until the pipe's strong decoders have
// decided (see core/weak_frame_gate.h), with the stamp of its last byte.
//
// Thread rules: OnBytes runs on the port's reader thread and holds the shared
// lock throughout, frame delivery included; subscribers are called on that
// thread. SetEnabled, SetName and Reset may be called from any thread; they
// take the same lock and so wait for a chunk in progress.
class CRTCMInputHandler : public CBytePipeSubscriber, public TSubscription<IIncommingRTCMPipe> {
public:
    // One ring entry holds the six payload bits of one byte.
    static constexpr unsigned kRingEntries = 2048;
    // A frame is two header words and at most 31 data words.
    static constexpr unsigned kMaxWords = 33;
    // A frame in progress is given up once ignored bytes spread it over this
    // many bytes of the stream (a real frame takes 10 to 165 bytes).
    static constexpr std::uint32_t kMaxFrameSpan = 65536;
    // Bytes taken into the ring before decoding: with a frame in progress
    // (at most 170 entries) they must fit in the ring.
    static constexpr std::uint32_t kIntakeBatch = 1024;

    explicit CRTCMInputHandler(CLogPipe* logPipe = nullptr);
    ~CRTCMInputHandler() override;

    int OnBytes(const std::uint8_t* data, std::uint32_t length, std::uint32_t firstIndex,
                const TimeStamp& timeStamp) override;

    // Discards the frame in progress and every buffered byte; they are
    // reported lost with the next chunk. Called from a frame subscriber, it
    // makes the decoder start afresh after the frame just published.
    virtual void Reset();

    // While disabled every chunk is reported lost in full and nothing is
    // published; a frame in progress is given up.
    void SetEnabled(bool flag);
    bool IsEnabled() const;
    // The text that starts this handler's log lines.
    void SetName(const std::string& newName);

    // Reads the header from the first six bytes of a frame's word store; false
    // when they do not start with the preamble or the Z-count is 3600 s or more.
    static bool ParseHeader(const std::uint8_t* words, sRTCMHeader& header);
    // The six parity bits D25..D30 (D25 in bit 5) of a word with data bits
    // d1..d24 (d1 in bit 23, already corrected for polarity), given D29* (bit 1
    // of prevParity) and D30* (bit 0) of the word before.
    static unsigned WordParity(std::uint32_t data, unsigned prevParity);

    CLogNode log;

private:
    using Gate = TWeakFrameGate<kMaxWords * 3, 8>;

    enum eState : std::uint8_t {
        kSearching = 1,   // looking for a preamble at every bit
        kFirstWord = 2,   // preamble found; its word's D29* still unknown
        kSecondWord = 3,  // first word good; the second completes the header
        kDataWords = 4,   // header valid; reading wordsToRead data words
    };

    static constexpr unsigned kRingMask = kRingEntries - 1;
    static constexpr unsigned kRingBits = kRingEntries * 6;
    static constexpr unsigned kWordBits = 30;

    // Bits buffered from position (a bit of the ring) on.
    unsigned Available(unsigned position) const
    {
        const int bitsAhead = int(fill) * 6 - int(position);
        return unsigned(bitsAhead < 0 ? bitsAhead + int(kRingBits) : bitsAhead);
    }
    static std::uint16_t Advance(unsigned position, unsigned count)
    {
        position += count;
        return std::uint16_t(position >= kRingBits ? position - kRingBits : position);
    }
    // Runs the state machine over the buffered bits until it needs more.
    void Decode();
    bool FindPreamble();
    bool DecodeWord(bool firstWord);
    // Publishes a whole frame held inside the frame in progress, giving that
    // one up, when the stations say it is real; false when there is none.
    bool PublishHeldFrame();
    void AbandonFrame();
    // Publishes, drops or holds the frame just decoded.
    void CompleteFrame();
    // words: the frame's word store, header first.
    void PublishFrame(const std::uint8_t* words, std::uint32_t first, std::uint32_t count, const TimeStamp& stamp);
    auto Lost()
    {
        return [this](std::uint32_t first, std::uint32_t count) { MarkLostBytes(first, count); };
    }
    auto PublishHeld()
    {
        return
            [this](const Gate::sFrame& held) { PublishFrame(held.bytes.data(), held.first, held.count, held.stamp); };
    }
    void ClearDecoding();
    // Reports everything received and not yet placed as lost, and starts over.
    void DropPending();
    void ReportLostUpTo(std::uint32_t index);
    // The first byte that may still belong to a frame.
    std::uint32_t FirstUnplacedIndex() const;

    std::string name;
    bool enabled = true;

    // Ring of received payload entries, six bits each, with the running index
    // and the chunk time stamp of the byte each came in.
    alignas(64) std::array<std::uint8_t, kRingEntries> bits{};
    std::array<std::uint32_t, kRingEntries> byteIndex{};
    std::array<TimeStamp, kRingEntries> byteStamp{};
    std::uint16_t fill = 0;  // the next entry to write
    // Bit positions in the ring, modulo kRingBits: a receiver does not know
    // where words begin, so they may begin at any bit of an entry.
    std::uint16_t searchPos = 0;   // the next preamble candidate
    std::uint16_t wordPos = 0;     // the next word to decode
    std::uint16_t frameStart = 0;  // the preamble of the frame in progress
    eState state = kSearching;
    std::uint8_t prevParity = 0;  // bit 0 D30*, bit 1 D29*
    std::uint16_t wordsToRead = 0;
    std::uint16_t wordsRead = 0;
    // While a batch is decoded the ring holds bytes beyond the frame being
    // published; a Reset then asks for them to be taken in again.
    bool decodingBatch = false;
    bool resetInBatch = false;

    // Data bits of every decoded word of the frame, upright, three bytes each.
    std::array<std::uint8_t, kMaxWords * 3> wordStore{};
    unsigned storedWords = 0;
    sRTCMHeader header;

    // The lost-byte accounting, and the header-only frames held back while a
    // strong frame that may hold them is still arriving; nextIndex is the
    // index the next chunk should start at.
    Gate gate;
    std::uint32_t nextIndex = 0;

    // The station of the last frame published.
    bool stationKnown = false;
    std::uint16_t lastStation = 0;
    // Frames inside the one starting at bit lookedBit of byte lookedByte that
    // end within its first lookedBits bits were turned down already.
    std::uint32_t lookedByte = 0;
    std::uint16_t lookedBit = 0;
    std::uint16_t lookedBits = 0;
};

}  // namespace TolvarRT
