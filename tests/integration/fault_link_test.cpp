// Data-collector packets with CMR frames over an emulated radio link that
// drops whole packets and delivers others with one byte changed: the
// Listener must count exactly the packets the link delivered intact, every
// one of them once, and none that it changed, since a changed byte always
// changes the packet's checksum.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "decoders/dc_cmr_handler.h"
#include "decoders/dc_proto.h"
#include "packet_bytes.h"
#include "sim/emulated_radio_link.h"
#include "stats/stats_collection.h"
#include "wait_until.h"

namespace TolvarRT {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Keeps the data of every CMR frame published.
class CmrTally : public TSubscriber<IIncommingCMRPipe> {
public:
    ~CmrTally() override { Unsubscribe(); }
    void OnCMRFrame(std::uint8_t, const std::uint8_t* data, std::uint8_t length, std::uint8_t,
                    const TimeStamp&) override
    {
        std::lock_guard<std::mutex> guard(mutex);
        frames.emplace_back(data, data + length);
    }
    void OnCMRWFrame(std::uint8_t, const std::uint8_t*, std::uint8_t, std::uint8_t, const TimeStamp&) override {}
    std::vector<Bytes> Frames() const
    {
        std::lock_guard<std::mutex> guard(mutex);
        return frames;
    }

private:
    mutable std::mutex mutex;
    std::vector<Bytes> frames;
};

TEST(FaultLinkTest, ALossyRadioLinkIsCountedPacketForPacketAndNoChangedPacketPassesAsGood)
{
    sRadioChannel channel;
    channel.lossPercent = 10;
    channel.corruptPercent = 15;
    channel.latencyMs = 5;
    channel.jitterMs = 5;
    channel.seed = 11;
    CEmulatedRadioLink link(channel);
    std::string error;
    ASSERT_TRUE(link.Start(error)) << error;

    CLogPipe logPipe;
    CBytePipeSubscription source(&logPipe);
    CDCProto listener(&logPipe);
    CDCCMRHandler cmr(&logPipe);
    CmrTally tally;
    CStatsCollection statistics(&logPipe, false);
    cmr.Subscribe(&listener);
    tally.Subscribe(&cmr);
    statistics.SubscribeTo(&cmr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(listener.OpenPort({link.RoverPort(), 115200}));
    ASSERT_TRUE(source.OpenPort({link.BasePort(), 115200}));

    // Every frame numbered, so that a changed one cannot pass for another.
    constexpr unsigned kPackets = 400;
    std::mt19937 random(5);
    std::set<Bytes> sent;
    for (unsigned number = 0; number < kPackets; ++number) {
        Bytes data{0x02, 0x29, std::uint8_t(number >> 8), std::uint8_t(number)};
        for (unsigned k = random() % 60; k > 0; --k)
            data.push_back(std::uint8_t(random()));
        sent.insert(data);
        const Bytes packet = testing::Packet(kPacketCMR, data);
        ASSERT_TRUE(source.Send(packet.data(), std::uint32_t(packet.size())));
    }
    ASSERT_TRUE(testing::WaitUntil([&] {
        const sRadioAccount account = link.Account();
        return account.sent == kPackets && account.dropped + account.corrupted + account.delivered == kPackets;
    }));
    const sRadioAccount account = link.Account();
    ASSERT_GT(account.corrupted, 20u);
    ASSERT_GT(account.dropped, 20u);
    ASSERT_TRUE(testing::WaitUntil([&] { return tally.Frames().size() >= account.delivered; }));

    const std::vector<Bytes> counted = tally.Frames();
    EXPECT_EQ(counted.size(), account.delivered);
    EXPECT_EQ(std::set<Bytes>(counted.begin(), counted.end()).size(), counted.size()) << "a frame counted twice";
    for (const Bytes& frame : counted)
        EXPECT_TRUE(sent.count(frame) == 1) << "a changed frame counted as good";
    PacketStats record;
    ASSERT_TRUE(statistics.FindRecord(FrameKey(kFrameClassCMR, 1), record));
    EXPECT_EQ(record.frames, account.delivered);

    source.ClosePort();
    listener.ClosePort();
    statistics.UnsubscribeAll();
    tally.Unsubscribe();
    cmr.Unsubscribe();
    link.Stop();
}

}  // namespace
}  // namespace TolvarRT
