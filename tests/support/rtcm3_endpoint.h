// The receiving end of a link on a real port: the byte pipe that owns the
// port, the RTCM v3 decoder and the statistics behind it, with a record of
// every byte and every frame that came through, for the fault tests to
// compare with what was sent.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "core/byte_pipe_subscriber.h"
#include "decoders/rtcm3_input_handler.h"
#include "ports/byte_pipe.h"
#include "rtcm3_frame_builder.h"
#include "stats/stats_collection.h"
#include "wait_until.h"

namespace TolvarRT::testing {

// Frames numbered by their payload, so that one lost, doubled or invented
// shows: the message number cycles through three types.
inline std::vector<std::uint8_t> NumberedRtcm3Frame(unsigned number)
{
    return rtcm3_reference::Frame(1004 + number % 3, 20 + number % 50, 0, number + 1);
}

// The frames numbered [first, end), back to back.
inline std::vector<std::uint8_t> NumberedRtcm3Frames(unsigned first, unsigned end)
{
    std::vector<std::uint8_t> bytes;
    for (unsigned number = first; number < end; ++number) {
        const std::vector<std::uint8_t> frame = NumberedRtcm3Frame(number);
        bytes.insert(bytes.end(), frame.begin(), frame.end());
    }
    return bytes;
}

// The payload the decoder publishes for such a frame.
inline std::vector<std::uint8_t> PayloadOf(const std::vector<std::uint8_t>& frame)
{
    return std::vector<std::uint8_t>(frame.begin() + 3, frame.end() - 3);
}

// Counts the bytes the port delivered.
class ByteTally : public CBytePipeSubscriber {
public:
    ~ByteTally() override { Unsubscribe(); }
    int OnBytes(const std::uint8_t*, std::uint32_t length, std::uint32_t, const TimeStamp&) override
    {
        std::lock_guard<std::mutex> guard(mutex);
        total += length;
        return 0;
    }
    std::uint64_t Total() const
    {
        std::lock_guard<std::mutex> guard(mutex);
        return total;
    }

private:
    mutable std::mutex mutex;
    std::uint64_t total = 0;
};

// Keeps the payload of every frame published, and its type and time stamp.
class Rtcm3Tally : public TSubscriber<IIncommingRTCM3Pipe> {
public:
    struct sSeen {
        unsigned type;
        TimeStamp at;
    };

    ~Rtcm3Tally() override { Unsubscribe(); }
    void OnRTCM3Frame(unsigned type, const std::uint8_t* data, std::uint16_t length,
                      const TimeStamp& timeStamp) override
    {
        std::lock_guard<std::mutex> guard(mutex);
        payloads.emplace_back(data, data + length);
        seen.push_back({type, timeStamp});
    }
    std::vector<std::vector<std::uint8_t>> Payloads() const
    {
        std::lock_guard<std::mutex> guard(mutex);
        return payloads;
    }
    std::vector<sSeen> Seen() const
    {
        std::lock_guard<std::mutex> guard(mutex);
        return seen;
    }
    std::size_t Count() const
    {
        std::lock_guard<std::mutex> guard(mutex);
        return payloads.size();
    }

private:
    mutable std::mutex mutex;
    std::vector<std::vector<std::uint8_t>> payloads;
    std::vector<sSeen> seen;
};

struct Rtcm3Endpoint {
    explicit Rtcm3Endpoint(bool isSource = false) : statistics(&logPipe, isSource)
    {
        rtcm3.Subscribe(&pipe);
        bytes.Subscribe(&pipe);
        frames.Subscribe(&rtcm3);
        statistics.SubscribeTo(nullptr, nullptr, nullptr, nullptr, &rtcm3);
    }
    ~Rtcm3Endpoint()
    {
        pipe.ClosePort();
        statistics.UnsubscribeAll();
        frames.Unsubscribe();
        bytes.Unsubscribe();
        rtcm3.Unsubscribe();
    }

    // What the statistics counted, over every frame type.
    std::uint64_t CountedFrames()
    {
        std::uint64_t counted = 0;
        PacketStats record;
        int position = -1;
        while (position != 0 && statistics.NextRecord(position, record, false))
            counted += record.frames;
        return counted;
    }
    bool WaitForFrames(std::size_t count)
    {
        return WaitUntil([&] { return frames.Count() >= count; });
    }

    // The payloads the frames numbered in numbers carry, in that order.
    static std::vector<std::vector<std::uint8_t>> Expected(const std::vector<unsigned>& numbers)
    {
        std::vector<std::vector<std::uint8_t>> payloads;
        for (const unsigned number : numbers)
            payloads.push_back(PayloadOf(NumberedRtcm3Frame(number)));
        return payloads;
    }

    CLogPipe logPipe;
    CBytePipeSubscription pipe{&logPipe};
    CRTCM3InputHandler rtcm3{&logPipe};
    ByteTally bytes;
    Rtcm3Tally frames;
    CStatsCollection statistics;
};

}  // namespace TolvarRT::testing
