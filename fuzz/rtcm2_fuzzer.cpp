// Any stream, cut anywhere, must give the RTCM v2 decoder the same sound
// frames and the same losses as the stream in one piece, but for a frame the
// chunking let out of a false header that held it: every frame parses,
// says as many words as it carries, and written out again decodes to itself.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "decoders/rtcm_input_handler.h"
#include "rtcm2_writer.h"

namespace {

using TolvarRT::CRTCMInputHandler;
using TolvarRT::TimeStamp;
using TolvarRT::testing::Rtcm2Writer;

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

struct Frame {
    unsigned type;
    std::vector<std::uint8_t> words;
    TimeStamp stamp;
    bool operator==(const Frame& other) const { return type == other.type && words == other.words; }
};

// A byte pipe without a port: numbers and stamps the chunks it is given and
// checks that losses come in order, once, and only for bytes delivered.
class LocalPipe : public TolvarRT::TBiSubscription<TolvarRT::ILostBytePipe, TolvarRT::IIncomingBytePipe> {
public:
    void Feed(const std::uint8_t* data, std::uint32_t length)
    {
        std::lock_guard<std::recursive_mutex> guard(sharedLock);
        const std::uint32_t first = delivered;
        delivered += length;
        ++stamp;
        Publish([&](TolvarRT::IIncomingBytePipe& decoder) { decoder.OnBytes(data, length, first, stamp); });
    }
    int MarkLost(std::uint32_t firstIndex, std::uint32_t count) override
    {
        Require(count > 0 && firstIndex >= lostUpTo && firstIndex + std::uint64_t(count) <= delivered);
        lost.emplace_back(firstIndex, count);
        lostUpTo = firstIndex + count;
        return 0;
    }
    bool Send(const std::uint8_t*, std::uint32_t) override { return false; }

    std::vector<std::pair<std::uint32_t, std::uint32_t>> lost;
    std::uint32_t delivered = 0;
    std::uint32_t lostUpTo = 0;
    TimeStamp stamp = 0;
};

class Recorder : public TolvarRT::TSubscriber<TolvarRT::IIncommingRTCMPipe> {
public:
    explicit Recorder(const LocalPipe& fedBy, bool checkFrames) : pipe(fedBy), check(checkFrames) {}
    ~Recorder() override { Unsubscribe(); }
    void OnRTCMFrame(unsigned type, const std::uint8_t* data, std::uint16_t length, const TimeStamp& stamp) override;

    const LocalPipe& pipe;
    bool check;
    std::vector<Frame> frames;
};

// Decodes bytes cut into chunks of the given sizes (the rest in one chunk).
struct Run {
    LocalPipe pipe;
    CRTCMInputHandler decoder;
    Recorder recorder;

    Run(const std::vector<std::uint8_t>& bytes, const std::vector<std::uint32_t>& chunks, bool checkFrames)
        : recorder(pipe, checkFrames)
    {
        decoder.Subscribe(&pipe);
        recorder.Subscribe(&decoder);
        std::size_t offset = 0;
        for (std::size_t i = 0; offset < bytes.size(); ++i) {
            std::size_t size = i < chunks.size() ? chunks[i] : bytes.size() - offset;
            if (size > bytes.size() - offset)
                size = bytes.size() - offset;
            pipe.Feed(bytes.data() + offset, std::uint32_t(size));
            offset += size;
        }
    }
};

void Recorder::OnRTCMFrame(unsigned type, const std::uint8_t* data, std::uint16_t length, const TimeStamp& stamp)
{
    TolvarRT::sRTCMHeader header;
    Require(data != nullptr && length <= 31);
    Require(CRTCMInputHandler::ParseHeader(data, header));
    Require(header.dataWords == length && header.messageType == type);
    Require(stamp >= 1 && stamp <= pipe.stamp);
    Frame frame{type, std::vector<std::uint8_t>(data, data + 3 * (length + 2)), stamp};
    if (check) {
        // The frame's words, sent again with their parity, are that frame.
        Rtcm2Writer writer;
        for (std::size_t i = 0; i < frame.words.size(); i += 3)
            writer.Words({(std::uint32_t(frame.words[i]) << 16) | (std::uint32_t(frame.words[i + 1]) << 8) |
                          frame.words[i + 2]});
        const Run again(writer.bytes, {}, false);
        Require(again.recorder.frames.size() == 1 && again.recorder.frames[0] == frame);
        Require(again.pipe.lost.empty());
    }
    frames.push_back(std::move(frame));
}

std::uint16_t Station(const Frame& frame)
{
    return std::uint16_t(((frame.words[1] & 0x03u) << 8) | frame.words[2]);
}

// The one way the chunking may change the frames: a chunk ended while a frame
// in progress of another station held a whole frame of the last station
// published, which then came out. Such a frame follows one of its station.
bool CutOutOfAHolder(const std::vector<Frame>& pieces, const std::vector<Frame>& whole)
{
    // The frame let out may repeat an earlier one (a holder can carry a copy
    // of the frame before it), so it is the one the chunked run has more of.
    for (std::size_t i = 1; i < pieces.size(); ++i)
        if (std::count(pieces.begin(), pieces.end(), pieces[i]) > std::count(whole.begin(), whole.end(), pieces[i]) &&
            Station(pieces[i]) == Station(pieces[i - 1]))
            return true;
    return false;
}

// Reads the input a byte at a time, zero when it runs out.
struct Input {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
    std::uint8_t Next() { return at < size ? data[at++] : 0; }
    bool Done() const { return at >= size; }
};

// Writes frames, good and broken, from the input, so that the decoder sees
// more than noise.
std::vector<std::uint8_t> ScriptedStream(Input& input)
{
    Rtcm2Writer writer;
    while (!input.Done()) {
        switch (input.Next() % 5) {
        case 0: {
            TolvarRT::testing::Rtcm2Fields fields;
            fields.type = input.Next();
            fields.station = input.Next();
            fields.zCount = unsigned(input.Next()) * 33u;
            const unsigned count = input.Next() % 32;
            std::vector<std::uint32_t> data;
            for (unsigned i = 0; i < count; ++i)
                data.push_back((std::uint32_t(input.Next()) << 16) | (std::uint32_t(input.Next()) << 8) | input.Next());
            writer.Frame(fields, data);
            break;
        }
        case 1: writer.Raw({input.Next()}); break;
        case 2:
            if (!writer.bytes.empty())
                writer.bytes[input.Next() % writer.bytes.size()] ^= std::uint8_t(1u << (input.Next() % 8));
            break;
        case 3: writer.Bits(input.Next(), 1 + input.Next() % 5); break;
        default:
            if (!writer.bytes.empty())
                writer.bytes.resize(writer.bytes.size() - 1 - input.Next() % writer.bytes.size() % 7);
            break;
        }
    }
    writer.Pad();
    return writer.bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Input input{data, size};
    const std::uint8_t mode = input.Next();
    std::vector<std::uint32_t> chunks(1 + input.Next() % 8);
    for (auto& chunk : chunks)
        chunk = 1 + input.Next() % 64u;
    std::vector<std::uint8_t> bytes;
    if (mode & 1)
        bytes = ScriptedStream(input);
    else
        bytes.assign(data + input.at, data + size);
    // Repeat the chosen sizes over the whole stream.
    std::vector<std::uint32_t> cuts;
    for (std::size_t fed = 0; fed < bytes.size(); fed += cuts.back())
        cuts.push_back(chunks[cuts.size() % chunks.size()]);

    const Run whole(bytes, {}, false);
    const Run pieces(bytes, cuts, true);
    if (pieces.recorder.frames == whole.recorder.frames) {
        std::uint64_t lostWhole = 0, lostPieces = 0;
        for (const auto& report : whole.pipe.lost)
            lostWhole += report.second;
        for (const auto& report : pieces.pipe.lost)
            lostPieces += report.second;
        Require(lostWhole == lostPieces);
    } else {
        Require(CutOutOfAHolder(pieces.recorder.frames, whole.recorder.frames));
    }

    // Frames hold at least 5 payload bytes a word; none of them is lost.
    std::uint64_t payloadLost = 0, payload = 0, framePayload = 0;
    for (const std::uint8_t byte : bytes)
        payload += (byte & 0xC0) == 0x40;
    for (const auto& [first, count] : pieces.pipe.lost)
        for (std::uint32_t i = first; i < first + count; ++i)
            payloadLost += (bytes[i] & 0xC0) == 0x40;
    for (const Frame& frame : pieces.recorder.frames)
        framePayload += frame.words.size() / 3 * 5;
    Require(payloadLost + framePayload <= payload);
    return 0;
}
