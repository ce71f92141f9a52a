// The log pane's queue: texts queued from any thread, one posting per batch,
// coloured runs in batches, pausing, the level of both sinks, and where the
// pane scrolls while it grows and trims.
#include "app/log_view_queue.h"

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/log_view_scroll.h"
#include "log_texts.h"
#include "temp_folder.h"

namespace {

using TolvarRT::testing::ExpectThreadTexts;
using TolvarRT::testing::TempFolder;

// The widget's side, recorded. Postings may come from any thread.
class RecordingSurface : public ILogViewSurface {
public:
    void PostShowPending() override
    {
        std::lock_guard<std::mutex> guard(lock);
        ++postings;
        posted.notify_all();
    }
    void BeginPass() override { ++passes; }
    void EndPass() override { ++endedPasses; }
    void PauseBeforeBatch() override
    {
        ++batches;
        runsAtBatch.push_back(runs.size());
    }
    void AppendRun(const sLogRun& run) override { runs.push_back(run); }

    int Postings()
    {
        std::lock_guard<std::mutex> guard(lock);
        return postings;
    }
    // Waits until a posting is outstanding and takes it, as the widget's
    // message loop would.
    bool TakePosting(const std::atomic<bool>& done)
    {
        std::unique_lock<std::mutex> guard(lock);
        posted.wait_for(guard, std::chrono::milliseconds(50), [&] { return postings > taken || done.load(); });
        if (postings == taken)
            return false;
        ++taken;
        return true;
    }
    std::string Shown() const
    {
        std::string shown;
        for (const sLogRun& run : runs)
            shown += run.text;
        return shown;
    }

    int passes = 0;
    int endedPasses = 0;
    int batches = 0;
    std::vector<std::size_t> runsAtBatch;
    std::vector<sLogRun> runs;

private:
    std::mutex lock;
    std::condition_variable posted;
    int postings = 0;
    int taken = 0;
};

class LogViewQueueTest : public ::testing::Test {
protected:
    void SetUp() override { queue.SetSurface(&surface); }
    void TearDown() override { queue.SetSurface(nullptr); }

    void WriteTexts(int count, unsigned level)
    {
        for (int i = 0; i < count; ++i)
            queue.Write(("\r\n" + std::to_string(i)).c_str(), level);
    }

    CLogPipe pipe;
    CLogNode node{&pipe};
    CFileLog fileLog{pipe};
    CLogViewQueue queue{pipe, &fileLog};
    RecordingSurface surface;
};

TEST_F(LogViewQueueTest, MarkersAreTheLevelInLowerCaseHex)
{
    EXPECT_EQ(CLogViewQueue::LevelMarker(0), "$0");
    EXPECT_EQ(CLogViewQueue::LevelMarker(3), "$3");
    EXPECT_EQ(CLogViewQueue::LevelMarker(11), "$b");
    EXPECT_EQ(CLogViewQueue::LevelMarker(255), "$ff");
    EXPECT_EQ(queue.GetLogLevel(), 2u) << "the pane starts at Most";
}

TEST_F(LogViewQueueTest, TextsQueueAsMarkerAndTextWithOnePostingPerBatch)
{
    queue.Write("\r\na", 1);
    queue.Write("\r\nb", 3);
    EXPECT_EQ(queue.PendingStrings(), 4u);
    EXPECT_EQ(surface.Postings(), 1) << "a posting still outstanding takes later texts too";

    queue.ShowPending();
    EXPECT_EQ(queue.PendingStrings(), 0u);
    queue.Write("\r\nc", 0);
    EXPECT_EQ(surface.Postings(), 2);
}

TEST_F(LogViewQueueTest, TextsBeforeTheWidgetArePostedWhenItComes)
{
    queue.SetSurface(nullptr);
    queue.Write("\r\nearly", 0);
    EXPECT_EQ(surface.Postings(), 0);
    queue.ShowPending();  // nowhere to show them: they stay
    EXPECT_EQ(queue.PendingStrings(), 2u);
    queue.SetSurface(&surface);
    EXPECT_EQ(surface.Postings(), 1);
    queue.ShowPending();
    EXPECT_EQ(surface.Shown(), "\r\nearly");
}

// The colours and the 8-point size of level 3 are the log pane's published
// look (users read levels by colour); they are pinned as a table, not derived.
TEST_F(LogViewQueueTest, ColourByLevel)
{
    const struct {
        unsigned level;
        LogColour colour;
    } cases[] = {
        {0, LogColour::Automatic}, {1, LogColour::DarkBlue},  {2, LogColour::DarkBlue},
        {3, LogColour::Grey},      {4, LogColour::Automatic},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LogColourOf(c.level), c.colour) << c.level;

    EXPECT_TRUE(RunFormatOf(LogColour::Automatic).automaticColour);
    const sRunFormat blue = RunFormatOf(LogColour::DarkBlue);
    const sRunFormat grey = RunFormatOf(LogColour::Grey);
    EXPECT_EQ(std::vector<int>({blue.red, blue.green, blue.blue, blue.sizeTwips}), std::vector<int>({0, 0, 192, 0}));
    EXPECT_EQ(std::vector<int>({grey.red, grey.green, grey.blue, grey.sizeTwips}), std::vector<int>({96, 96, 96, 160}));
}

TEST_F(LogViewQueueTest, NeighboursOfOneColourShareARun)
{
    const unsigned levels[] = {0, 0, 1, 2, 3, 3, 0, 2};
    for (unsigned i = 0; i < std::size(levels); ++i)
        queue.Write(("|" + std::to_string(i)).c_str(), levels[i]);
    queue.ShowPending();

    ASSERT_EQ(surface.runs.size(), 5u);
    const struct {
        LogColour colour;
        const char* text;
    } expected[] = {
        {LogColour::Automatic, "|0|1"}, {LogColour::DarkBlue, "|2|3"}, {LogColour::Grey, "|4|5"},
        {LogColour::Automatic, "|6"},   {LogColour::DarkBlue, "|7"},
    };
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(surface.runs[i].colour, expected[i].colour) << i;
        EXPECT_EQ(surface.runs[i].text, expected[i].text) << i;
    }
    EXPECT_EQ(surface.passes, 1);
    EXPECT_EQ(surface.endedPasses, 1);
    EXPECT_EQ(surface.batches, 1);
}

TEST_F(LogViewQueueTest, ColouringStopsFromAHundredStringsWaiting)
{
    const struct {
        int texts;
        bool coloured;
    } cases[] = {{49, true}, {50, false}, {60, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.texts);
        RecordingSurface fresh;
        queue.SetSurface(&fresh);
        for (int i = 0; i < c.texts; ++i)
            queue.Write("\r\nx", unsigned(i % 4));
        queue.ShowPending();
        bool anyColour = false;
        for (const sLogRun& run : fresh.runs)
            anyColour = anyColour || run.colour != LogColour::Automatic;
        EXPECT_EQ(anyColour, c.coloured);
        if (!c.coloured) {
            EXPECT_EQ(fresh.runs.size(), 1u) << "one run for the whole batch";
        }
    }
    queue.SetSurface(&surface);
}

TEST_F(LogViewQueueTest, BatchesHoldAtMost101TextsAndKeepTheOrder)
{
    WriteTexts(250, kLogAll);
    queue.ShowPending();
    EXPECT_EQ(surface.batches, 3);
    ASSERT_EQ(surface.runs.size(), 3u);
    std::string expected;
    for (int i = 0; i < 250; ++i)
        expected += "\r\n" + std::to_string(i);
    EXPECT_EQ(surface.Shown(), expected);
    EXPECT_EQ(surface.runs[0].text.substr(surface.runs[0].text.rfind("\r\n")), "\r\n100");
    EXPECT_EQ(surface.runs[1].text.substr(surface.runs[1].text.rfind("\r\n")), "\r\n201");
    EXPECT_EQ(queue.PendingStrings(), 0u);
    EXPECT_EQ(surface.passes, 1);
}

// Regression test for a pane that froze its window: with writers that keep
// the queue filled, a pass went on for as long as they wrote.
TEST_F(LogViewQueueTest, APassUnderEndlessTextsYieldsAndPostsTheNext)
{
    class FloodedSurface : public RecordingSurface {
    public:
        explicit FloodedSurface(CLogViewQueue& fed) : queue(fed) {}
        void PauseBeforeBatch() override
        {
            RecordingSurface::PauseBeforeBatch();
            std::this_thread::sleep_for(CLogViewQueue::kBatchPause);
        }
        // Writers add more than a batch while each batch is appended, so the
        // queue never runs empty.
        void AppendRun(const sLogRun& run) override
        {
            RecordingSurface::AppendRun(run);
            for (int i = 0; i < 200; ++i)
                queue.Write("\r\nmore", kLogBasic);
            postedSinceAppend = false;
        }
        void PostShowPending() override
        {
            RecordingSurface::PostShowPending();
            postedSinceAppend = true;
        }
        bool postedSinceAppend = false;
        CLogViewQueue& queue;
    } flooded(queue);
    queue.SetSurface(&flooded);
    WriteTexts(10, kLogBasic);

    const auto start = std::chrono::steady_clock::now();
    queue.ShowPending();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(flooded.endedPasses, 1);
    EXPECT_GT(queue.PendingStrings(), 0u);
    EXPECT_TRUE(flooded.postedSinceAppend) << "the rest is shown by the next pass";

    // A paused pane is not posted to; its texts wait for the unpausing.
    queue.SetPaused(true);
    queue.ShowPending();
    EXPECT_EQ(flooded.endedPasses, 2);
    EXPECT_FALSE(flooded.postedSinceAppend);
    queue.SetSurface(&surface);
}

TEST_F(LogViewQueueTest, EmptyQueueMakesNoPass)
{
    queue.ShowPending();
    EXPECT_EQ(surface.passes, 0);
    EXPECT_EQ(surface.batches, 0);
}

TEST_F(LogViewQueueTest, PausedPaneQueuesWithoutPostingAndShowsAllOnUnpausing)
{
    queue.SetPaused(true);
    EXPECT_TRUE(queue.IsPaused());
    WriteTexts(300, kLogBasic);
    EXPECT_EQ(surface.Postings(), 0);
    EXPECT_EQ(queue.PendingStrings(), 600u);
    EXPECT_TRUE(surface.runs.empty());

    queue.SetPaused(false);
    EXPECT_EQ(queue.PendingStrings(), 0u);
    EXPECT_EQ(surface.Shown().substr(0, 6), "\r\n0\r\n1");
    EXPECT_EQ(surface.passes, 1);
}

TEST_F(LogViewQueueTest, PostingOutstandingBeforePausingStillShows)
{
    queue.Write("\r\nqueued", 0);
    queue.SetPaused(true);
    queue.ShowPending();
    EXPECT_EQ(surface.Shown(), "\r\nqueued");
}

TEST_F(LogViewQueueTest, PaneLevelSetsBothSinksAndIsAnnounced)
{
    TempFolder folder;
    const std::string path = folder.File("log.txt");
    ASSERT_TRUE(fileLog.OpenFile(path));
    ASSERT_TRUE(queue.AttachToPipe());
    node.LogAlways("refresh");
    ASSERT_EQ(pipe.MaxSinkLevel(), 2u);
    queue.ShowPending();
    surface.runs.clear();

    const sLogLevels stored = queue.SetLogLevel(3);
    EXPECT_EQ(stored.paneLevel, 3);
    EXPECT_EQ(stored.fileLevel, 3);
    EXPECT_EQ(queue.GetLogLevel(), 3u);
    EXPECT_EQ(fileLog.GetLogLevel(), 3u);
    EXPECT_EQ(pipe.MaxSinkLevel(), 3u);

    queue.ShowPending();
    ASSERT_EQ(surface.runs.size(), 1u);
    EXPECT_EQ(surface.runs[0].text, "\r\nNew Logging Level 3");
    EXPECT_EQ(surface.runs[0].colour, LogColour::Automatic);
    const std::string contents = TempFolder::Contents(path);
    EXPECT_EQ(contents.substr(contents.size() - 21), "\r\nNew Logging Level 3");
    queue.DetachFromPipe();
}

TEST_F(LogViewQueueTest, PaneLevelIsClampedAndWorksWithoutAFileLog)
{
    CLogViewQueue alone(pipe, nullptr, 5);
    EXPECT_EQ(alone.GetLogLevel(), 3u);
    const sLogLevels low = alone.SetLogLevel(-4);
    EXPECT_EQ(low.paneLevel, 0);
    EXPECT_EQ(low.fileLevel, 0);
    EXPECT_EQ(alone.GetLogLevel(), 0u);
}

TEST_F(LogViewQueueTest, PipeSendsThePaneOnlyTextsUpToItsLevel)
{
    const struct {
        int paneLevel;
        bool shown;
    } cases[] = {{0, false}, {1, false}, {2, true}, {3, true}};
    ASSERT_TRUE(queue.AttachToPipe());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.paneLevel);
        queue.SetLogLevel(c.paneLevel);
        queue.ShowPending();
        surface.runs.clear();
        node.LogAlways("none");
        node.LogMost("most");
        queue.ShowPending();
        ASSERT_FALSE(surface.runs.empty());
        EXPECT_EQ(surface.runs[0].colour, LogColour::Automatic);
        EXPECT_NE(surface.runs[0].text.find("] none"), std::string::npos);
        EXPECT_EQ(surface.runs.size(), c.shown ? 2u : 1u);
        if (c.shown) {
            EXPECT_EQ(surface.runs[1].colour, LogColour::DarkBlue);
            EXPECT_NE(surface.runs[1].text.find("] most"), std::string::npos);
        }
    }
}

TEST_F(LogViewQueueTest, TextsFromSeveralThreadsReachThePaneWholeAndInOrder)
{
    ASSERT_TRUE(queue.AttachToPipe());
    queue.SetLogLevel(3);
    queue.ShowPending();
    surface.runs.clear();

    constexpr int kThreads = 4;
    constexpr int kTexts = 500;
    std::atomic<bool> done{false};
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t)
        writers.emplace_back([&, t] {
            CLogNode own(&pipe);
            for (int i = 0; i < kTexts; ++i) {
                if (i % 2 == 0)
                    own.LogBasic("thread %d text %d end", t, i);
                else
                    own.LogAll("thread %d text %d end", t, i);
            }
        });
    // This thread is the user-interface thread: it shows whatever is posted.
    std::thread joiner([&] {
        for (std::thread& writer : writers)
            writer.join();
        done = true;
    });
    while (!done.load() || queue.PendingStrings() > 0)
        if (surface.TakePosting(done) || queue.PendingStrings() > 0)
            queue.ShowPending();
    joiner.join();
    queue.DetachFromPipe();

    ExpectThreadTexts(surface.Shown(), kThreads, kTexts, " end");
}

TEST(LogViewScrollTest, TrimsTheOldestTenthBeyondTheSize)
{
    EXPECT_EQ(CLogViewScroll::FirstLineKept(100000, 2000), 0);
    EXPECT_EQ(CLogViewScroll::FirstLineKept(100001, 2000), 200) << "a tenth of the 2000 lines";
    EXPECT_EQ(CLogViewScroll::FirstLineKept(250000, 9), 0) << "fewer than ten long lines";
}

TEST(LogViewScrollTest, UserAtTheEndFollowsAndOneReadingStaysPut)
{
    const struct {
        int position;
        int limit;
        bool trim;
        int limitAfterTrim;
        int newLimit;
        int target;
    } cases[] = {
        {500, 500, false, 0, 520, -1},    // at the end: the caret keeps it there
        {497, 500, false, 0, 520, -1},    // within 3 counts as at the end
        {496, 500, false, 0, 520, 496},   // scrolled back: stays
        {496, 500, true, 450, 470, 446},  // stays on the same text after a trim
        {500, 500, true, 450, 470, 470},  // at the end after a trim: to the new end
        {20, 500, true, 450, 470, 0},     // its text trimmed away: the oldest left
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.position);
        CLogViewScroll vertical(c.position, c.limit, 0, 0);
        CLogViewScroll horizontal(0, 0, c.position, c.limit);
        if (c.trim) {
            vertical.Trimmed(c.limit, c.limitAfterTrim, 0, 0);
            horizontal.Trimmed(0, 0, c.limit, c.limitAfterTrim);
        }
        EXPECT_EQ(vertical.VerticalTarget(c.newLimit), c.target);
        EXPECT_EQ(horizontal.HorizontalTarget(c.newLimit), c.target);
    }
}

// Written as numbers, not as the table's constants: they are the command ids
// of the document's command table (its file-log commands start at 32782), so
// a table renumbered on its own is caught here.
TEST(LogLevelCommandsTest, CommandsMapToLevels)
{
    EXPECT_EQ(LevelOfPaneCommand(32777), 0);
    EXPECT_EQ(LevelOfPaneCommand(32780), 3);
    EXPECT_EQ(LevelOfPaneCommand(32782), -1);
    EXPECT_EQ(LevelOfFileCommand(32782), 0);
    EXPECT_EQ(LevelOfFileCommand(32785), 3);
    EXPECT_EQ(LevelOfFileCommand(32781), -1);
    EXPECT_STREQ(kLogLevelCommands[3].menuText, "Log Level &All");
}

}  // namespace
