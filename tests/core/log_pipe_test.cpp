// What the log pipe stamps, formats, filters and dumps.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "core/log_pipe.h"
#include "core/time_base.h"

namespace {

using ::testing::ElementsAre;
using ::testing::MatchesRegex;

class RecordingSink : public TolvarRT::TSubscriber<ILogPipe> {
public:
    explicit RecordingSink(unsigned sinkLevel) : level(sinkLevel) {}
    ~RecordingSink() override { Unsubscribe(); }
    void Write(const char* text, unsigned textLevel) override
    {
        texts.emplace_back(text);
        levels.push_back(textLevel);
    }
    unsigned GetLogLevel() override { return level; }
    // The text after the time prefix.
    std::string Message(size_t i) const { return texts.at(i).substr(texts.at(i).find("] ") + 2); }

    unsigned level;
    std::vector<std::string> texts;
    std::vector<unsigned> levels;
};

TEST(LogPipeTest, EveryTextStartsWithTheTimeOfDayAndSecondsSinceStart)
{
    CLogPipe pipe;
    RecordingSink sink(kLogAll);
    sink.Subscribe(&pipe);
    CLogNode node(&pipe);
    node.LogAlways("Open %s, %d,8%c1", "ttyUSB0", 38400, 'N');
    ASSERT_EQ(sink.texts.size(), 1u);
    EXPECT_THAT(sink.texts[0], MatchesRegex("\r\n[ 12][0-9]:[0-5][0-9]:[0-5][0-9]\\.[0-9]{3} \\[-?[0-9]+\\.[0-9]{2}\\] "
                                            "Open ttyUSB0, 38400,8N1"));
}

// Lines of one burst share a time prefix, which is kept from line to line:
// a change of the epoch within the same millisecond must still show.
TEST(LogPipeTest, TheTimePrefixFollowsTheEpochWithinABurst)
{
    CLogPipe pipe;
    RecordingSink sink(kLogAll);
    sink.Subscribe(&pipe);
    CLogNode node(&pipe);
    const TolvarRT::TimeStamp now = TolvarRT::TimeStampNow();
    constexpr double kOneHour = 1.0 / 24.0;
    constexpr double kFiveSeconds = 5.0 / 86400.0;
    // 10:20:30.000 at now; then an hour later; then the same time of day
    // with the epoch five seconds further back.
    const double date = 46000.0 + (10 * 3600 + 20 * 60 + 30) / 86400.0;
    TolvarRT::ProgramEpoch::Set({now, date});
    node.LogAlways("first");
    TolvarRT::ProgramEpoch::Set({now, date + kOneHour});
    node.LogAlways("an hour later");
    const TolvarRT::TimeStamp fiveSeconds =
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::seconds(5)).count();
    const TolvarRT::TimeStamp fiveSecondsEarlier = now - fiveSeconds;
    TolvarRT::ProgramEpoch::Set({fiveSecondsEarlier, date + kOneHour - kFiveSeconds});
    node.LogAlways("five seconds since start");
    TolvarRT::ProgramEpoch::Retake();
    ASSERT_EQ(sink.texts.size(), 3u);
    // The clock runs on between the lines, but not by a second.
    EXPECT_THAT(sink.texts[0], MatchesRegex("\r\n10:20:3[01]\\.[0-9]{3} \\[[01]\\.[0-9]{2}\\] first"));
    EXPECT_THAT(sink.texts[1], MatchesRegex("\r\n11:20:3[01]\\.[0-9]{3} \\[[01]\\.[0-9]{2}\\] an hour later"));
    EXPECT_THAT(sink.texts[2],
                MatchesRegex("\r\n11:20:3[01]\\.[0-9]{3} \\[[56]\\.[0-9]{2}\\] five seconds since start"));
}

TEST(LogPipeTest, SinksReceiveTextsUpToTheirLevel)
{
    CLogPipe pipe;
    RecordingSink none(kLogNone), basic(kLogBasic), all(kLogAll);
    none.Subscribe(&pipe);
    basic.Subscribe(&pipe);
    all.Subscribe(&pipe);
    pipe.RaiseSinkLevel();
    CLogNode node(&pipe);
    node.LogAll("3");
    node.LogMost("2");
    node.LogBasic("1");
    node.LogAlways("0");
    EXPECT_THAT(none.levels, ElementsAre(0u));
    EXPECT_THAT(basic.levels, ElementsAre(1u, 0u));
    EXPECT_THAT(all.levels, ElementsAre(3u, 2u, 1u, 0u));
    EXPECT_EQ(all.Message(1), "2");
}

TEST(LogPipeTest, WithNoSinkVerboseTextsAreSkippedUntilRaised)
{
    CLogPipe pipe;
    CLogNode node(&pipe);
    EXPECT_EQ(pipe.MaxSinkLevel(), 0u);
    node.LogAlways("nobody hears this");
    EXPECT_EQ(pipe.MaxSinkLevel(), 0u);

    // A sink that arrives at All misses verbose texts until a delivery of any
    // text refreshes the cached level, or the level is raised.
    RecordingSink sink(kLogAll);
    sink.Subscribe(&pipe);
    node.LogAll("skipped");
    node.HexDump("skipped", "ab", 2);
    EXPECT_TRUE(sink.texts.empty());
    node.LogBasic("refresh");
    node.LogAll("seen");
    ASSERT_EQ(sink.texts.size(), 2u);
    EXPECT_EQ(sink.Message(1), "seen");

    sink.level = kLogBasic;
    node.LogBasic("refresh");
    node.LogAll("skipped again");
    EXPECT_EQ(sink.texts.size(), 3u);
    sink.level = kLogAll;
    pipe.RaiseSinkLevel();
    node.LogAll("after raise");
    EXPECT_EQ(sink.Message(3), "after raise");
}

TEST(LogPipeTest, TheCachedLevelFallsWhenSinksLeaveOrLowerTheirLevel)
{
    CLogPipe pipe;
    CLogNode node(&pipe);
    pipe.RaiseSinkLevel();
    EXPECT_EQ(pipe.MaxSinkLevel(), 0u) << "raised for nobody";

    RecordingSink basic(kLogBasic);
    {
        RecordingSink all(kLogAll);
        all.Subscribe(&pipe);
        basic.Subscribe(&pipe);
        pipe.RaiseSinkLevel();
        node.LogBasic("refresh");
        ASSERT_EQ(pipe.MaxSinkLevel(), 3u);
    }
    // The sink at All left: the next text delivered learns the level of those
    // that stay, and verbose texts stop there.
    node.LogBasic("refresh");
    EXPECT_EQ(pipe.MaxSinkLevel(), 1u);
    EXPECT_FALSE(node.Wants(kLogAll));
    EXPECT_TRUE(node.Wants(kLogMost));

    basic.level = kLogNone;
    pipe.RefreshSinkLevel();
    EXPECT_FALSE(node.Wants(kLogMost));
    basic.level = kLogAll;
    pipe.RefreshSinkLevel();
    EXPECT_TRUE(node.Wants(kLogAll));
    basic.Unsubscribe();
    EXPECT_FALSE(node.Wants(kLogAll)) << "the last sink left: nothing is formatted for nobody";
    EXPECT_FALSE(node.Wants(kLogMost));
}

TEST(LogPipeTest, ASinkMayLeaveFromItsOwnWrite)
{
    class LeavingSink : public RecordingSink {
    public:
        LeavingSink() : RecordingSink(kLogAll) {}
        void Write(const char* text, unsigned textLevel) override
        {
            RecordingSink::Write(text, textLevel);
            Unsubscribe();
        }
    };
    CLogPipe pipe;
    LeavingSink sink;
    sink.Subscribe(&pipe);
    pipe.RaiseSinkLevel();
    CLogNode node(&pipe);
    node.LogAll("last");
    EXPECT_EQ(sink.texts.size(), 1u);
    EXPECT_FALSE(sink.IsSubscribed());
    EXPECT_FALSE(node.Wants(kLogAll));
}

TEST(LogPipeTest, TextThatDoesNotFitIsDroppedWhole)
{
    CLogPipe pipe;
    RecordingSink sink(kLogAll);
    sink.Subscribe(&pipe);
    CLogNode node(&pipe);
    node.LogAlways("x");
    const size_t prefix = sink.texts[0].size() - 1;

    // The line buffer holds the text and its terminator. The prefix length can
    // change between two calls (the seconds since start gain a digit), so
    // measure it again after each text.
    const auto logFilling = [&](size_t spare) {
        const size_t room = CLogPipe::kLineSize - 1 - prefix;
        const std::string message(room - spare, 'm');
        node.LogAlways("%s", message.c_str());
    };
    logFilling(0);
    ASSERT_EQ(sink.texts.size(), 2u);
    EXPECT_EQ(sink.texts[1].size(), CLogPipe::kLineSize - 1);

    const std::string tooLong(CLogPipe::kLineSize, 'z');
    node.LogAlways("%s", tooLong.c_str());
    EXPECT_EQ(sink.texts.size(), 2u) << "a text that does not fit must not be cut";
}

TEST(LogPipeTest, FormatLineReportsTheLengthOrFailure)
{
    CLogPipe pipe;
    struct Call {
        static int Format(CLogPipe& target, const char* format, ...)
        {
            va_list arguments;
            va_start(arguments, format);
            const int result = target.FormatLine(kLogNone, format, arguments);
            va_end(arguments);
            return result;
        }
    };
    EXPECT_GT(Call::Format(pipe, "%d", 5), 0);
    const std::string huge(5000, 'h');
    EXPECT_LT(Call::Format(pipe, "%s", huge.c_str()), 0);
}

std::string DumpOf(const std::vector<unsigned char>& bytes, bool mixed, const char* label = "Rx")
{
    CLogPipe pipe;
    RecordingSink sink(kLogAll);
    sink.Subscribe(&pipe);
    pipe.RaiseSinkLevel();
    CLogNode node(&pipe);
    if (mixed)
        node.MixedDump(label, bytes.data(), unsigned(bytes.size()));
    else
        node.HexDump(label, bytes.data(), unsigned(bytes.size()));
    EXPECT_EQ(sink.levels, std::vector<unsigned>{kLogAll});
    return sink.texts.empty() ? std::string() : sink.texts[0];
}

TEST(LogPipeTest, HexDumpGroupsEightAndBreaksLinesAfterThirtyTwo)
{
    std::vector<unsigned char> bytes(33);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>(i);
    EXPECT_EQ(DumpOf(bytes, false),
              "\r\nRx [00 01 02 03 04 05 06 07 - 08 09 0A 0B 0C 0D 0E 0F - "
              "10 11 12 13 14 15 16 17 - 18 19 1A 1B 1C 1D 1E 1F \r\n     20 ]");
    EXPECT_EQ(DumpOf({0xAB, 0xFF}, false, "Tx"), "\r\nTx [AB FF ]");
    EXPECT_EQ(DumpOf({}, false), "\r\nRx []");
}

TEST(LogPipeTest, MixedDumpShowsPrintableBytesAsTextOutsideTheGroups)
{
    std::vector<unsigned char> bytes = {'$', 'G', 'P', 0x0D, 0x0A, 0x7F, 0x20, 0x7E, 0x1F};
    for (unsigned char b = 0; b < 6; ++b)
        bytes.push_back(b);
    EXPECT_EQ(DumpOf(bytes, true), "\r\nRx [$GP0D 0A 7F  ~1F 00 01 02 03 - 04 05 ]");
}

TEST(LogPipeTest, LongDumpStopsPastOneThousandCharacters)
{
    const std::vector<unsigned char> bytes(400, 0x55);
    const std::string dump = DumpOf(bytes, false);
    EXPECT_GT(dump.size(), 1000u);
    EXPECT_LT(dump.size(), CLogPipe::kDumpSize);
    EXPECT_EQ(dump.substr(dump.size() - 5), "... ]");

    // Exactly enough bytes to pass the limit on the last one: closed normally.
    size_t fits = 0;
    for (size_t n = 1; n < 400; ++n) {
        const std::string probe = DumpOf(std::vector<unsigned char>(n, 0x55), false);
        if (probe.size() > 1001) {
            fits = n;
            break;
        }
    }
    ASSERT_GT(fits, 0u);
    const std::string exact = DumpOf(std::vector<unsigned char>(fits, 0x55), false);
    EXPECT_EQ(exact.back(), ']');
    EXPECT_EQ(exact.find("..."), std::string::npos);
}

TEST(LogPipeTest, DumpHeaderIsBoundedAndLongLabelsAreCut)
{
    const std::string label(800, 'L');
    const std::string dump = DumpOf({0x01}, false, label.c_str());
    EXPECT_EQ(dump.size(), 500u + 4u);
    EXPECT_EQ(dump.substr(dump.size() - 4), "01 ]");
}

TEST(LogPipeTest, DumpsNeedASinkAtAll)
{
    CLogPipe pipe;
    RecordingSink sink(kLogMost);
    sink.Subscribe(&pipe);
    CLogNode node(&pipe);
    node.LogBasic("refresh");
    node.HexDump("Rx", "ab", 2);
    node.MixedDump("Rx", "ab", 2);
    EXPECT_EQ(sink.texts.size(), 1u);
}

TEST(LogPipeTest, NodesIgnoreEverythingWithoutAPipeMoveBetweenPipesAndOutliveThem)
{
    CLogNode node;
    node.LogAlways("a");
    node.LogAll("b");
    node.HexDump("c", "d", 1);
    EXPECT_EQ(node.Pipe(), nullptr);
    EXPECT_FALSE(node.Wants(kLogNone));
    RecordingSink sink(kLogAll);
    {
        CLogPipe first;
        CLogPipe second;
        sink.Subscribe(&second);
        node.Attach(&first);
        node.LogAlways("to first");
        node.Attach(&second);
        node.LogAlways("to second");
        EXPECT_EQ(sink.texts.size(), 1u);
        node.Attach(&first);
    }
    // The pipe died first: the node is cut loose rather than left dangling.
    EXPECT_EQ(node.Pipe(), nullptr);
    node.LogAlways("into the void");
    EXPECT_FALSE(sink.IsSubscribed());
}

}  // namespace
