// Recording a side and replaying it: the time-tag file, the recorder on a
// byte pipe (a full disk included), and the replay port's chunks and stamps.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "log_recorder.h"
#include "port_collector.h"
#include "ports/byte_pipe.h"
#include "ports/recording/file_replay_port.h"
#include "ports/recording/stream_recorder.h"
#include "ports/recording/time_tag_file.h"
#include "temp_folder.h"
#include "wait_until.h"

namespace TolvarRT {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::TempFolder;
using testing::WaitUntil;

TEST(TimeTagFileTest, WhatIsWrittenIsReadBack)
{
    sRecordingClock clock;
    clock.session = 0xFEEDC0DE12345678ull;
    clock.date = 46363.722107085174;
    clock.unixSeconds = 1796515200.123456;
    const std::vector<sTimeTag> written = {{0, 0}, {63, 103478002}, {1024, 103478002}, {5000000000ull, 86400000000000}};
    std::string text = TimeTagHeader(clock) + "# a note\n";
    for (const sTimeTag& tag : written)
        text += TimeTagLine(tag);

    text += TimeTagEndLine(5000000007ull);

    sTimeTags read;
    std::string error;
    ASSERT_TRUE(ParseTimeTags(text, read, error)) << error;
    EXPECT_EQ(read.end, 5000000007ull);
    EXPECT_EQ(read.clock.session, clock.session);
    EXPECT_DOUBLE_EQ(read.clock.date, clock.date);
    EXPECT_NEAR(read.clock.unixSeconds, clock.unixSeconds, 1e-6);
    EXPECT_FALSE(read.utcFromLocalDate);
    ASSERT_EQ(read.tags.size(), written.size());
    for (std::size_t i = 0; i < written.size(); ++i) {
        EXPECT_EQ(read.tags[i].offset, written[i].offset);
        EXPECT_EQ(read.tags[i].nanoseconds, written[i].nanoseconds);
    }
}

TEST(TimeTagFileTest, DamagedFilesAreRefusedWithTheLine)
{
    const std::string head = "tolvar-time-tags 1\nsession 1f\norigin-date 46000.5\n";
    const struct {
        const char* what;
        std::string text;
        const char* error;
    } cases[] = {
        {"empty", "", "line 1: not a time-tag file"},
        {"another file", "offset time\n0 0\n", "line 1: not a time-tag file"},
        {"no session", "tolvar-time-tags 1\norigin-date 1.0\n", "line 2: no session or origin date"},
        {"negative offset", head + "-1 5\n", "line 4: bad byte offset"},
        {"text for a time", head + "0 soon\n", "line 4: bad time"},
        {"a third field", head + "0 5 7\n", "line 4: bad time"},
        {"offsets repeat", head + "0 5\n0 6\n", "line 5: offsets must rise and times must not fall"},
        {"time falls", head + "0 5\n10 4\n", "line 5: offsets must rise and times must not fall"},
        {"an end before the last tag", head + "0 5\n10 6\nend 10\n", "line 6: bad end"},
        {"a tag after the end", head + "0 5\nend 10\n10 6\n", "line 6: a line after the end"},
        {"another version", "tolvar-time-tags 3\nsession 1f\norigin-date 46000.5\n", "line 1: not a time-tag file"},
        {"text for the origin's UTC", head + "# origin-unix soon\n", "line 4: bad origin time"},
        {"more after the origin's UTC", head + "# origin-unix 1796515200 UTC\n", "line 4: bad origin time"},
    };
    for (const auto& c : cases) {
        sTimeTags read;
        std::string error;
        EXPECT_FALSE(ParseTimeTags(c.text, read, error)) << c.what;
        EXPECT_EQ(error, c.error) << c.what;
    }
}

// The zone the test runs in, set for one case and put back after it.
class ZoneForTest {
public:
    explicit ZoneForTest(const char* zone)
    {
        if (const char* was = std::getenv("TZ"))
            saved = was;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneForTest()
    {
        if (saved)
            setenv("TZ", saved->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::optional<std::string> saved;
};

// Files written before the origin's UTC was kept have only its local date:
// the date is taken in this machine's zone, which is right when the file was
// recorded here.
TEST(TimeTagFileTest, TheOriginsUtcIsReadOrElseTakenFromItsLocalDateInThisZone)
{
    const std::string magic = "tolvar-time-tags 2\nsession 1\n";
    const struct {
        const char* what;
        const char* zone;
        std::string head;
        double unixSeconds;
        bool fromLocalDate;
    } cases[] = {
        // 2026-12-09 12:00 local
        {"no UTC, in UTC", "UTC0", magic + "origin-date 46364.5\n", 1796731200.0, true},
        {"no UTC, two hours east", "XYZ-2", magic + "origin-date 46364.5\n", 1796731200.0 - 7200.0, true},
        // 2026-06-27 06:00 local, in summer time four hours behind UTC
        {"no UTC, in summer time", "EST5EDT,M3.2.0,M11.1.0", magic + "origin-date 46200.25\n", 1782540000.0 + 14400.0,
         true},
        {"UTC before the date", "XYZ-2", magic + "# origin-unix 1796515200.5\norigin-date 46364.5\n", 1796515200.5,
         false},
        {"UTC after the date", "XYZ-2", magic + "origin-date 46364.5\n# origin-unix 1796515200.5\n", 1796515200.5,
         false},
        {"a version 1 file", "XYZ-2", "tolvar-time-tags 1\nsession 1\norigin-date 46364.5\n", 1796731200.0 - 7200.0,
         true},
    };
    for (const auto& c : cases) {
        const ZoneForTest zone(c.zone);
        sTimeTags read;
        std::string error;
        ASSERT_TRUE(ParseTimeTags(c.head + "0 0\n", read, error)) << c.what << ": " << error;
        EXPECT_NEAR(read.clock.unixSeconds, c.unixSeconds, 1e-5) << c.what;
        EXPECT_EQ(read.utcFromLocalDate, c.fromLocalDate) << c.what;
    }
}

TEST(TimeTagFileTest, TagsCutTheStreamAndNameTheirFile)
{
    sTimeTags tags;
    tags.tags = {{4, 0}, {10, 1}, {30, 2}};
    using Cuts = std::vector<std::pair<std::uint64_t, std::uint64_t>>;
    EXPECT_EQ(TaggedChunks(tags, 40), (Cuts{{0, 4}, {4, 10}, {10, 30}, {30, 40}}));
    EXPECT_EQ(TaggedChunks(tags, 12), (Cuts{{0, 4}, {4, 10}, {10, 12}})) << "a data file cut short";
    EXPECT_EQ(TimeTagPathFor("rec/listener.raw"), "rec/listener.tags");
    EXPECT_EQ(TimeTagPathFor("rec.d/capture"), "rec.d/capture.tags");
    EXPECT_EQ(TimeTagPathFor("/x/.hidden"), "/x/.hidden.tags");
}

// A byte pipe without a port, fed by hand, with a recorder on it.
class RecorderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        clock.origin = 1000000;
        clock.session = 0xABC;
        recorder.Subscribe(&pipe);
    }

    CLogPipe logPipe;
    testing::LogRecorder log{&logPipe};
    TempFolder folder;
    CBytePipeSubscription pipe{&logPipe};
    CStreamRecorder recorder{&logPipe};
    sRecordingClock clock;
};

TEST_F(RecorderTest, EveryChunkIsInTheDataFileAndTagged)
{
    std::string error;
    const std::string data = folder.File("side.raw");
    ASSERT_TRUE(recorder.Start(data, TimeTagPathFor(data), clock, error)) << error;
    pipe.PublishStampedBytes(Bytes{1, 2, 3}.data(), 3, clock.origin + 5000);
    pipe.PublishStampedBytes(Bytes{4, 5}.data(), 2, clock.origin + 2000000000);
    ASSERT_TRUE(recorder.Stop()) << recorder.Failure();

    EXPECT_EQ(TempFolder::Contents(data), std::string("\x01\x02\x03\x04\x05"));
    sTimeTags tags;
    ASSERT_TRUE(ReadTimeTagFile(folder.File("side.tags"), tags, error)) << error;
    EXPECT_EQ(tags.clock.session, 0xABCu);
    ASSERT_EQ(tags.tags.size(), 2u);
    EXPECT_EQ(tags.tags[0].offset, 0u);
    EXPECT_EQ(tags.tags[0].nanoseconds, NanosecondsBetween(clock.origin + 5000, clock.origin));
    EXPECT_EQ(tags.tags[1].offset, 3u);
    EXPECT_EQ(tags.tags[1].nanoseconds, NanosecondsBetween(clock.origin + 2000000000, clock.origin));
}

// Regression test for a recording that lost bytes silently: a full disk is
// reported at once, once, and the pipe's other subscribers go on.
TEST_F(RecorderTest, AFullDiskIsReportedOnceAndTheTestGoesOn)
{
    struct Counter : CBytePipeSubscriber {
        int OnBytes(const std::uint8_t*, std::uint32_t length, std::uint32_t, const TimeStamp&) override
        {
            bytes += length;
            return 0;
        }
        std::uint64_t bytes = 0;
    } decoder;
    decoder.Subscribe(&pipe);
    std::string error;
    ASSERT_TRUE(recorder.Start("/dev/full", folder.File("full.tags"), clock, error)) << error;
    const Bytes chunk(1000, 0x42);
    pipe.PublishBytes(chunk.data(), std::uint32_t(chunk.size()));
    EXPECT_FALSE(recorder.Flush()) << "the buffered bytes could not be written";
    EXPECT_EQ(recorder.Failure(), "/dev/full: No space left on device");
    for (int i = 0; i < 100; ++i)
        pipe.PublishBytes(chunk.data(), std::uint32_t(chunk.size()));
    EXPECT_FALSE(recorder.IsRecording());
    EXPECT_FALSE(recorder.Stop());
    EXPECT_EQ(decoder.bytes, 101u * 1000u) << "the decoders saw every byte";
    EXPECT_EQ(log.Count("Recording stopped, /dev/full: No space left on device"), 1u);
    decoder.Unsubscribe();
}

// Regression test for recordings refused after a kill: the data and the tags
// were buffered apart, so the tags on disk could point past the data on disk.
TEST_F(RecorderTest, TheTagsOnDiskNeverPointPastTheDataOnDisk)
{
    std::string error;
    const std::string data = folder.File("side.raw");
    ASSERT_TRUE(recorder.Start(data, TimeTagPathFor(data), clock, error)) << error;
    const std::uint8_t byte = 0x55;
    for (std::int64_t i = 0; i < 8000; ++i) {
        pipe.PublishStampedBytes(&byte, 1, clock.origin + 1000000 * i);
        if (i % 1000 != 999)
            continue;
        // As a kill now would leave the files.
        const std::string tags = TempFolder::Contents(TimeTagPathFor(data));
        const std::size_t lastLine = tags.rfind('\n', tags.size() - 2);
        ASSERT_NE(lastLine, std::string::npos);
        if (tags[lastLine + 1] < '0' || tags[lastLine + 1] > '9')
            continue;  // no tag written yet
        const std::uint64_t lastOffset = std::stoull(tags.substr(lastLine + 1));
        ASSERT_LT(lastOffset, TempFolder::Contents(data).size()) << "after " << i + 1 << " chunks";
    }
    ASSERT_TRUE(recorder.Stop()) << recorder.Failure();
    EXPECT_EQ(TempFolder::Contents(TimeTagPathFor(data)).substr(0, 19), "tolvar-time-tags 2\n");
}

TEST_F(RecorderTest, AFolderThatCannotHoldTheFilesFailsAtStart)
{
    std::string error;
    EXPECT_FALSE(recorder.Start(folder.File("none/side.raw"), folder.File("none/side.tags"), clock, error));
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
}

// The owner's side of a replay port: every chunk with its stamp, in order of
// delivery across all the sides that share it.
struct StampedCollector {
    struct sChunk {
        int side;
        Bytes bytes;
        TimeStamp stamp;
    };
    static void OnBytes(void*, const std::uint8_t*, std::uint32_t) {}
    static void OnStamped(void* owner, const std::uint8_t* data, std::uint32_t length, TimeStamp stamp)
    {
        auto* side = static_cast<std::pair<StampedCollector*, int>*>(owner);
        std::lock_guard<std::mutex> guard(side->first->lock);
        side->first->chunks.push_back({side->second, Bytes(data, data + length), stamp});
    }
    std::size_t Count()
    {
        std::lock_guard<std::mutex> guard(lock);
        return chunks.size();
    }
    std::mutex lock;
    std::vector<sChunk> chunks;
};

void WriteSide(const TempFolder& folder, const std::string& side, const sRecordingClock& clock,
               const std::vector<std::pair<Bytes, std::int64_t>>& chunks)
{
    std::ofstream data(folder.File(side + ".raw"), std::ios::binary);
    std::ofstream tags(folder.File(side + ".tags"), std::ios::binary);
    tags << TimeTagHeader(clock);
    std::uint64_t offset = 0;
    for (const auto& [bytes, nanoseconds] : chunks) {
        data.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        tags << TimeTagLine({offset, nanoseconds});
        offset += bytes.size();
    }
    tags << TimeTagEndLine(offset);
}

TEST(FileReplayPortTest, BothSidesComeInRecordedOrderWithRecordedTimes)
{
    TempFolder folder;
    sRecordingClock clock;
    clock.session = 0x5E55;
    // The Source's frame leaves before the Listener's copy arrives, 90 ms later.
    WriteSide(folder, "source", clock, {{{1}, 100000000}, {{2}, 1100000000}});
    WriteSide(folder, "listener", clock, {{{1}, 190000000}, {{2, 2}, 1190000000}});

    StampedCollector collector;
    std::pair<StampedCollector*, int> listenerOwner{&collector, 0};
    std::pair<StampedCollector*, int> sourceOwner{&collector, 1};
    CFileReplayPort listener{&listenerOwner, &StampedCollector::OnBytes, 0, 0};
    CFileReplayPort source{&sourceOwner, &StampedCollector::OnBytes, 0, 0};
    listener.SetStampedCallback(&StampedCollector::OnStamped);
    source.SetStampedCallback(&StampedCollector::OnStamped);
    // As fast as possible: only the shared session keeps the order.
    ASSERT_TRUE(listener.Open(("file:" + folder.File("listener.raw") + "::x0").c_str())) << listener.FailureReason();
    listener.StartThread();
    ASSERT_TRUE(source.Open(("FILE:" + folder.File("source.raw") + "::x0").c_str())) << source.FailureReason();
    source.StartThread();
    ASSERT_TRUE(listener.IsTimed());
    ASSERT_TRUE(WaitUntil([&] { return listener.Finished() && source.Finished(); }));

    ASSERT_EQ(collector.chunks.size(), 4u);
    const int order[] = {1, 0, 1, 0};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(collector.chunks[i].side, order[i]) << "chunk " << i;
    EXPECT_EQ(collector.chunks[3].bytes, (Bytes{2, 2}));
    // The recorded times, on one clock for both sides.
    EXPECT_EQ(NanosecondsBetween(collector.chunks[1].stamp, collector.chunks[0].stamp), 90000000);
    EXPECT_EQ(NanosecondsBetween(collector.chunks[3].stamp, collector.chunks[0].stamp), 1090000000);
    listener.QueueWrite(std::make_unique<PortBuffer>(Bytes{9}));
    EXPECT_EQ(listener.DroppedWrites(), 1u) << "a recording takes no answers";
}

// The ages of corrections compare arrivals with the time frames carry: a
// replayed chunk arrives at its recorded UTC, at any speed and from any start.
TEST(FileReplayPortTest, EveryStampReadsAsItsRecordedUtc)
{
    TempFolder folder;
    sRecordingClock clock;
    clock.session = 0xA6E;
    clock.unixSeconds = 1796515200.25;
    const std::vector<std::int64_t> recorded = {40000000, 250000000, 1500000000, 2750000000};
    WriteSide(folder, "listener", clock,
              {{{1}, recorded[0]}, {{2}, recorded[1]}, {{3}, recorded[2]}, {{4}, recorded[3]}});
    const struct {
        const char* options;
        std::size_t firstKept;
    } cases[] = {{"::x0", 0}, {"::x4", 0}, {"::x0::+1", 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        StampedCollector collector;
        std::pair<StampedCollector*, int> owner{&collector, 0};
        CFileReplayPort port{&owner, &StampedCollector::OnBytes, 0, 0};
        port.SetStampedCallback(&StampedCollector::OnStamped);
        ASSERT_TRUE(port.Open(("FILE:" + folder.File("listener.raw") + c.options).c_str())) << port.FailureReason();
        const CSerialPortInterface::ArrivalClock arrival = port.ArrivalUtcClock();
        ASSERT_TRUE(arrival);
        CReplaySession::StartAll();
        port.StartThread();
        ASSERT_TRUE(WaitUntil([&] { return port.Finished(); }));
        port.Close();
        // Asked after the port closed, as statistics read late may.
        ASSERT_EQ(collector.chunks.size(), recorded.size() - c.firstKept);
        for (std::size_t i = 0; i < collector.chunks.size(); ++i)
            EXPECT_NEAR(arrival(collector.chunks[i].stamp), clock.unixSeconds + recorded[c.firstKept + i] / 1e9, 1e-6)
                << "chunk " << i;
    }

    Bytes capture(10, 0x42);
    std::ofstream(folder.File("capture.bin"), std::ios::binary)
        .write(reinterpret_cast<const char*>(capture.data()), std::streamsize(capture.size()));
    testing::PortCollector plain;
    CFileReplayPort port{&plain, &testing::PortCollector::OnBytes, 0, 0};
    ASSERT_TRUE(port.Open(("FILE:" + folder.File("capture.bin")).c_str())) << port.FailureReason();
    EXPECT_FALSE(port.ArrivalUtcClock()) << "a plain capture arrives now";
}

TEST(FileReplayPortTest, AtItsOwnPaceARecordingTakesItsRecordedTime)
{
    TempFolder folder;
    sRecordingClock clock;
    clock.session = 0x7A11;
    WriteSide(folder, "listener", clock, {{{1}, 0}, {{2}, 300000000}});
    StampedCollector collector;
    std::pair<StampedCollector*, int> owner{&collector, 0};
    CFileReplayPort port{&owner, &StampedCollector::OnBytes, 0, 0};
    port.SetStampedCallback(&StampedCollector::OnStamped);
    ASSERT_TRUE(port.Open(("FILE:" + folder.File("listener.raw")).c_str())) << port.FailureReason();
    const auto start = std::chrono::steady_clock::now();
    port.StartThread();
    ASSERT_TRUE(WaitUntil([&] { return port.Finished(); }));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300))
        << "the second chunk is not delivered before its due time";
}

TEST(FileReplayPortTest, APlainCaptureComesInChunks)
{
    TempFolder folder;
    Bytes capture(2500);
    for (std::size_t i = 0; i < capture.size(); ++i)
        capture[i] = std::uint8_t(i);
    std::ofstream(folder.File("capture.bin"), std::ios::binary)
        .write(reinterpret_cast<const char*>(capture.data()), std::streamsize(capture.size()));
    testing::PortCollector collector;
    CFileReplayPort port{&collector, &testing::PortCollector::OnBytes, 0, 0};
    ASSERT_TRUE(port.Open(("FILE:" + folder.File("capture.bin")).c_str())) << port.FailureReason();
    EXPECT_FALSE(port.IsTimed());
    port.StartThread();
    ASSERT_TRUE(collector.WaitFor(capture.size()));
    EXPECT_EQ(collector.Received(), capture);
    EXPECT_EQ(collector.Chunks().size(), 3u);
}

// Regression test for a recording refused whole when a kill left its tags
// pointing past the data: it plays up to its last whole chunk and says what
// it left out.
TEST(FileReplayPortTest, ARecordingCutShortPlaysItsWholeChunks)
{
    TempFolder folder;
    std::ofstream(folder.File("cut.raw"), std::ios::binary) << "abcdef";
    std::ofstream(folder.File("cut.tags"), std::ios::binary)
        << "tolvar-time-tags 1\nsession c07\norigin-date 1.0\n0 0\n2 10\n5 20\n9 30\n12 4";
    CLogPipe logPipe;
    testing::LogRecorder log{&logPipe};
    testing::PortCollector collector;
    CFileReplayPort port{&collector, &testing::PortCollector::OnBytes, 0, 0};
    port.SetLogPipe(&logPipe);
    ASSERT_TRUE(port.Open(("FILE:" + folder.File("cut.raw") + "::x0").c_str())) << port.FailureReason();
    ASSERT_TRUE(port.IsTimed());
    CReplaySession::StartAll();
    port.StartThread();
    ASSERT_TRUE(WaitUntil([&] { return port.Finished(); }));
    EXPECT_EQ(collector.Received(), (Bytes{'a', 'b', 'c', 'd', 'e'}));
    EXPECT_EQ(collector.Chunks().size(), 2u);
    EXPECT_EQ(log.Count(folder.File("cut.raw") +
                        ": the recording was cut short; using its first 5 bytes in 2 chunks, leaving out 1 byte "
                        "and 2 time tags after them and a torn last time-tag line"),
              1u);
}

TEST(FileReplayPortTest, NamesAndFilesThatCannotBeReplayedFail)
{
    TempFolder folder;
    std::ofstream(folder.File("bad.raw")) << "ab";
    std::ofstream(folder.File("bad.tags")) << "something else\n";
    const struct {
        std::string name;
        const char* reason;
    } cases[] = {
        {"FILE:", "no file"},
        {"FILE:x::xfast", "the speed after ::x is not a number from 0 up"},
        {"FILE:x::x-1", "the speed after ::x is not a number from 0 up"},
        {"FILE:" + folder.File("missing.raw"), "No such file or directory"},
        {"FILE:" + folder.File("bad.raw"), "line 1: not a time-tag file"},
    };
    for (const auto& c : cases) {
        testing::PortCollector collector;
        CFileReplayPort port{&collector, &testing::PortCollector::OnBytes, 0, 0};
        EXPECT_FALSE(port.Open(c.name.c_str())) << c.name;
        EXPECT_NE(port.FailureReason().find(c.reason), std::string::npos) << c.name << ": " << port.FailureReason();
    }
    sReplayName parsed;
    std::string error;
    ASSERT_TRUE(ParseReplayName("FILE:a::b.raw::x2.5", parsed, error));
    EXPECT_EQ(parsed.path, "a::b.raw");
    EXPECT_DOUBLE_EQ(parsed.speed, 2.5);
}

}  // namespace
}  // namespace TolvarRT
