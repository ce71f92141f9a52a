// A whole link in one process: the fake CMR generator sends through the Source
// endpoint into one pseudo-terminal, a relay carries the bytes to a second one
// (the radio), and the Listener endpoint decodes them. Every frame must be
// matched with its source frame.
#include <gtest/gtest.h>

#include <algorithm>

#include "decoders/dc_cmr_handler.h"
#include "decoders/dc_proto.h"
#include "pty_pair.h"
#include "pty_relay.h"
#include "sim/cmr_simulator.h"
#include "stats/stats_collection.h"
#include "stats/stats_table_model.h"
#include "wait_until.h"

namespace TolvarRT {
namespace {

struct Side {
    explicit Side(CLogPipe* logPipe, bool isSource) : endpoint(logPipe), cmr(logPipe), statistics(logPipe, isSource)
    {
        cmr.Subscribe(&endpoint);
    }
    ~Side()
    {
        endpoint.ClosePort();
        statistics.UnsubscribeAll();
        cmr.Unsubscribe();
    }
    CDCProto endpoint;
    CDCCMRHandler cmr;
    CStatsCollection statistics;
};

TEST(LinkIntegrationTest, FakeCMRTrafficOverAnEmulatedRadioIsMatchedFrameForFrame)
{
    testing::PtyPair base, rover;
    ASSERT_TRUE(base.IsValid() && rover.IsValid());
    CLogPipe logPipe;
    Side source(&logPipe, true);
    Side listener(&logPipe, false);
    listener.statistics.SetSource(&source.statistics);
    listener.statistics.SubscribeTo(&listener.cmr, nullptr, nullptr, nullptr, nullptr);

    ASSERT_TRUE(source.endpoint.OpenPort({base.SlavePath(), 115200, 0, 0, 0}));
    ASSERT_TRUE(listener.endpoint.OpenPort({rover.SlavePath(), 115200, 0, 0, 0}));
    testing::PtyRelay radio(base, rover);

    CCMRSimulator generator(&source.cmr, &logPipe);
    source.statistics.SubscribeTo(&generator, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(generator.SetSchedule(0));
    ASSERT_TRUE(generator.SetSVCount(9, 4));
    ASSERT_TRUE(generator.Start(-1, 2));
    ASSERT_TRUE(testing::WaitUntil([&] { return generator.GetSentCount() >= 6; }));
    generator.Stop();

    // The frames in flight reach the Listener.
    CStatsTableModel table;
    ASSERT_TRUE(testing::WaitUntil([&] {
        table.Refresh(listener.statistics);
        const std::vector<sStatsRow> rows = table.Rows();
        return rows.size() == 3 && std::all_of(rows.begin(), rows.end(), [](const sStatsRow& row) {
                   return row.cells[kColumnCount] == row.cells[kColumnSourceCount];
               });
    })) << "CMR types 0, 4 and 5, every one received";
    const std::vector<sStatsRow> rows = table.Rows();
    ASSERT_EQ(rows.size(), 3u) << "CMR types 0, 4 and 5";
    unsigned received = 0;
    for (const sStatsRow& row : rows) {
        EXPECT_EQ(row.cells[kColumnReceived], "100.00%") << row.cells[kColumnName];
        EXPECT_EQ(row.cells[kColumnCount], row.cells[kColumnSourceCount]) << row.cells[kColumnName];
        PacketStats record;
        ASSERT_TRUE(listener.statistics.FindRecord(row.key, record));
        EXPECT_EQ(record.matched, record.frames);
        EXPECT_EQ(record.unmatched, 0u);
        EXPECT_GE(record.latencySum, 0.0);
        EXPECT_LT(record.latencySum / record.latencySamples, 1.0) << "a local link delivers in well under a second";
        received += record.frames;
    }
    EXPECT_GE(received, 6u) << "six frames a second, from the first whole second on";
    source.statistics.UnsubscribeAll();
}

}  // namespace
}  // namespace TolvarRT
