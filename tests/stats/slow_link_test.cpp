// Links as the field has them: slower than several periods of a fast type,
// and types whose content never changes, with frames lost on the way. Every
// frame delivered must be matched with the one that was sent, and timed by
// the delay the link really had.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "case_name.h"
#include "chosen_time.h"
#include "stats/link_figures.h"
#include "stats/sent_frames.h"
#include "stats/stats_collection.h"

namespace TolvarRT {
namespace {

using testing::At;

// A frame one side sends at a chosen time.
struct sFrame {
    unsigned frameClass;
    unsigned type;
    double sentS;
    std::uint16_t sum;
    unsigned length;
};

class SlowLink {
public:
    SlowLink() { receiver.SetSource(&source); }

    // Sends every frame and delivers each one not dropped after delayS; the
    // two sides see their frames in the order of their time stamps.
    void Carry(const std::vector<sFrame>& frames, double delayS, const std::set<std::size_t>& dropped)
    {
        struct sArrival {
            double at;
            bool toReceiver;
            std::size_t index;
        };
        std::vector<sArrival> arrivals;
        for (std::size_t i = 0; i < frames.size(); ++i) {
            arrivals.push_back({frames[i].sentS, false, i});
            if (dropped.count(i) == 0)
                arrivals.push_back({frames[i].sentS + delayS, true, i});
        }
        std::stable_sort(arrivals.begin(), arrivals.end(),
                         [](const sArrival& a, const sArrival& b) { return a.at < b.at; });
        for (const sArrival& arrival : arrivals) {
            const sFrame& frame = frames[arrival.index];
            CStatsCollection& side = arrival.toReceiver ? receiver : source;
            side.RecordFrame(frame.frameClass, frame.type, frame.length, frame.sum, At(arrival.at));
            lastS = std::max(lastS, arrival.at);
        }
    }

    std::vector<sLinkFigures> Measured(bool linkOver) const
    {
        return MeasureLink(receiver.Snapshot(At(lastS)), linkOver);
    }

    CLogPipe logPipe;
    CStatsCollection source{&logPipe, true};
    CStatsCollection receiver{&logPipe, false};
    double lastS = 0.0;
};

// Frames of changing content: each type's sums count up from a base of its own.
std::vector<sFrame> Stream(unsigned type, double periodS, double seconds, unsigned length, std::uint16_t base)
{
    std::vector<sFrame> frames;
    for (unsigned i = 0; i * periodS < seconds; ++i)
        frames.push_back({kFrameClassRTCM3, type, i * periodS, std::uint16_t(base + i), length});
    return frames;
}

std::vector<sFrame> Merged(std::vector<sFrame> a, const std::vector<sFrame>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    std::stable_sort(a.begin(), a.end(), [](const sFrame& x, const sFrame& y) { return x.sentS < y.sentS; });
    return a;
}

TEST(SlowLinkTest, ALinkSlowerThanTwoPeriodsMatchesEveryFrameDelivered)
{
    // 10 Hz and 4 Hz behind a radio of 450 ms, and a 20 Hz type behind 5 s.
    for (const double delayS : {0.45, 5.0}) {
        SCOPED_TRACE(delayS);
        SlowLink link;
        const std::vector<sFrame> frames =
            Merged(Merged(Stream(1004, 0.1, 20, 120, 1000), Stream(1012, 0.25, 20, 80, 9000)),
                   Stream(1077, 0.05, 20, 200, 20000));
        const std::set<std::size_t> dropped = {3, 50, 51, 52, 400};
        link.Carry(frames, delayS, dropped);
        const sLinkFigures total = LinkTotal(link.Measured(true));
        EXPECT_EQ(total.sent, frames.size());
        EXPECT_EQ(total.received, frames.size() - dropped.size());
        EXPECT_EQ(total.matched, total.received);
        EXPECT_EQ(total.missed, dropped.size());
        EXPECT_EQ(total.unmatched, 0u);
        EXPECT_NEAR(total.latencyMinS, delayS, 1e-6);
        EXPECT_NEAR(total.latencyMaxS, delayS, 1e-6);
    }
}

TEST(SlowLinkTest, FramesStillInsideTheWindowAreInFlightUntilTheLinkIsOver)
{
    // 20 Hz behind 5 s: the source's last 5 s are on the air when it stops.
    SlowLink link;
    link.Carry(Stream(1077, 0.05, 10, 200, 0), 5.0, {});
    for (unsigned i = 0; i < 100; ++i)
        link.source.RecordFrame(kFrameClassRTCM3, 1077, 200, std::uint16_t(500 + i), At(10.0 + i * 0.05));
    const auto total = [&](double nowS, bool linkOver) {
        return LinkTotal(MeasureLink(link.receiver.Snapshot(At(nowS)), linkOver));
    };
    // The first 10 s at 20 Hz arrived by 15 s; the last 5 s sent are still
    // on the air.
    EXPECT_EQ(total(15.0, false).matched, 200u) << "10 s * 20 Hz";
    EXPECT_EQ(total(15.0, false).inFlight, 100u) << "5 s * 20 Hz";
    EXPECT_EQ(total(15.0, false).missed, 0u);
    EXPECT_EQ(total(15.0, true).missed, 100u) << "the link is over";
    EXPECT_EQ(total(45.0, false).missed, 100u) << "older than the match window";
    EXPECT_EQ(total(45.0, false).inFlight, 0u);
}

struct sConstantCase {
    const char* what;
    double periods;  // the link's delay in periods of the type
    bool anchored;   // a type of changing content shares the link
};

class ConstantContent : public ::testing::TestWithParam<sConstantCase> {};

// A base station's position, sent with the same bytes every second, loses
// some frames: each later one must still be timed by the link's own delay,
// not paired with the lost one before it.
TEST_P(ConstantContent, EveryDeliveredFrameIsMatchedWithItsOwnSending)
{
    const sConstantCase& c = GetParam();
    const double periodS = 1.0;
    const double delayS = c.periods * periodS;
    std::vector<sFrame> frames;
    for (unsigned i = 0; i < 40; ++i)
        frames.push_back({kFrameClassRTCM3, 1005, i * periodS, 777, 25});
    if (c.anchored)
        frames = Merged(frames, Stream(1074, 0.2, 40, 150, 3000));
    std::set<std::size_t> dropped;
    for (std::size_t i = 0; i < frames.size(); ++i)
        if (frames[i].type == 1005 && (i % 7 == 3 || i % 11 == 5))
            dropped.insert(i);
    SlowLink link;
    link.Carry(frames, delayS, dropped);
    std::size_t droppedConstant = 0;
    for (std::size_t i : dropped)
        droppedConstant += frames[i].type == 1005;
    for (const sLinkFigures& type : link.Measured(true)) {
        if (KeyType(type.key) != 1005)
            continue;
        EXPECT_EQ(type.sent, 40u);
        EXPECT_EQ(type.matched, 40u - droppedConstant);
        EXPECT_EQ(type.missed, droppedConstant);
        EXPECT_EQ(type.unmatched, 0u);
        EXPECT_NEAR(type.latencyMinS, delayS, 0.001);
        EXPECT_NEAR(type.latencyMaxS, delayS, 0.001);
    }
}

INSTANTIATE_TEST_SUITE_P(Delays, ConstantContent,
                         ::testing::Values(sConstantCase{"tenth of a period", 0.1, false},
                                           sConstantCase{"0_45 periods", 0.45, false},
                                           sConstantCase{"2_5 periods", 2.5, false},
                                           sConstantCase{"2_5 periods beside changing frames", 2.5, true},
                                           sConstantCase{"tenth of a period beside changing frames", 0.1, true}),
                         testing::CaseName<sConstantCase>);

TEST(SlowLinkTest, TheLinksDelayFromChangingFramesFollowsAJump)
{
    // The delay of a link of constant frames and changing ones grows from
    // 0.3 s to 2.3 s (a repeater switched in): the constant frames follow the
    // delay the changing ones tell, not their own history.
    std::vector<sFrame> first;
    for (unsigned i = 0; i < 20; ++i)
        first.push_back({kFrameClassRTCM3, 1005, double(i), 777, 25});
    first = Merged(first, Stream(1074, 0.5, 20, 150, 3000));
    std::vector<sFrame> second;
    for (unsigned i = 20; i < 40; ++i)
        second.push_back({kFrameClassRTCM3, 1005, double(i), 777, 25});
    std::vector<sFrame> changing = Stream(1074, 0.5, 40, 150, 3000);
    changing.erase(changing.begin(), changing.begin() + 40);
    second = Merged(second, changing);
    SlowLink link;
    link.Carry(first, 0.3, {});
    link.Carry(second, 2.3, {});
    for (const sLinkFigures& type : link.Measured(true)) {
        EXPECT_EQ(type.unmatched, 0u) << type.name;
        EXPECT_EQ(type.missed, 0u) << type.name;
        EXPECT_NEAR(type.latencyMaxS, 2.3, 0.001) << type.name;
    }
}

TEST(SentFramesTest, AnHourAtFiftyHertzKeepsOnlyTheFramesInsideTheWindow)
{
    CSentFrames sent;
    const double windowS = 30.0;
    // Nobody matches: the window alone bounds what is kept.
    for (unsigned i = 0; i < 3600 * 50; ++i)
        sent.Add(At(i * 0.02), std::uint16_t(i), 100, windowS, 0);
    EXPECT_LE(sent.Size(), 1501u);
    EXPECT_LE(sent.Capacity(), 2048u);
    // A receiver that matches each frame as it comes lets them go at once.
    CSentFrames matched;
    for (unsigned i = 0; i < 3600 * 50; ++i) {
        matched.Add(At(i * 0.02), std::uint16_t(i), 100, windowS, 1u);
        ASSERT_TRUE(matched.Match(std::uint16_t(i), 100, 1u, At(i * 0.02 + 0.5), windowS, sExpectedTransit{}));
    }
    EXPECT_LE(matched.Capacity(), 16u);
}

}  // namespace
}  // namespace TolvarRT
