// What the desktop shell's timers and application commands ask of the core:
// the interval's chart value and summary, the canned sentence to the
// Listener, the common NMEA source, the priority of the thread that connects.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>

#include "app/common_nmea_source.h"
#include "app/document_commands.h"
#include "app/memory_settings_store.h"
#include "app/port_settings.h"
#include "app/tolvar_test_suite_doc.h"
#include "core/subscription.h"
#include "log_recorder.h"
#include "pty_pair.h"
#include "scripted_document_ui.h"
#include "sentence_counter.h"
#include "wait_until.h"

namespace {

using namespace std::chrono_literals;
using TolvarRT::testing::PtyPair;
using TolvarRT::testing::ScriptedUi;
using TolvarRT::testing::SentenceCounter;
using TolvarRT::testing::WaitUntil;
using Bytes = std::vector<std::uint8_t>;

std::function<void(CPortSettings&)> SerialPort(const std::string& path)
{
    return [path](CPortSettings& dialog) {
        dialog.SelectMode(kSerialPortMode);
        dialog.SelectSerialPort(path);
    };
}

Bytes BytesOf(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

int ThreadNice()
{
    return getpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)));
}

constexpr const char kGga[] = "$GPGGA,183409.00,4000.00000000,N,10500.00000000,W,1,8,1.2,1600.000,M,-30.455,M,,*5F\r\n";

class DocumentShellTest : public ::testing::Test {
protected:
    CMemorySettingsStore settings;
    ScriptedUi ui;
};

TEST_F(DocumentShellTest, TheIntervalGivesTheChartItsValueAndThePageItsSummary)
{
    CTolvarTestSuiteDoc document(settings, ui);
    EXPECT_EQ(document.TakeIntervalSummaryAndChartValue().value, 0.0) << "nothing received";
    TolvarRT::testing::LogRecorder log(&document.LogPipe(), kLogNone);

    auto& statistics = document.ListenerStatistics();
    statistics.Reset();
    for (std::uint16_t sum = 0; sum < 4; ++sum)
        statistics.RecordFrame(TolvarRT::kFrameClassCMR, 0, 80, sum, TolvarRT::TimeStampNow());
    // A rate needs a whole second of interval behind it.
    ASSERT_TRUE(WaitUntil([&] { return statistics.IntervalRate(0, TolvarRT::kFrameClassCMR) > 0.0; }, 5s));
    const double expected = statistics.IntervalRate(0, TolvarRT::kFrameClassCMR);
    const double value = document.TakeIntervalSummaryAndChartValue().value;
    EXPECT_GT(value, 0.0);
    EXPECT_LE(value, expected) << "the interval only grows between the two readings";
    const std::string summary = document.SummaryText();
    EXPECT_THAT(summary, ::testing::HasSubstr("CMR Type 0"));
    EXPECT_THAT(summary, ::testing::MatchesRegex("(.|\n|\r)*\nSummary as of .*\\[[0-9]+\\.[0-9]{3}s\\]\n"));
    std::string logged;
    for (const std::string& line : log.Lines())
        logged += line;
    EXPECT_EQ(logged, summary.substr(0, summary.find("\nSummary as of "))) << "logged without its time line";
}

TEST_F(DocumentShellTest, AnIntervalInWhichTheLinkWasOutIsMarkedForTheChart)
{
    CTolvarTestSuiteDoc document(settings, ui);
    auto& statistics = document.ListenerStatistics();
    statistics.Reset();
    const TolvarRT::TimeStamp now = TolvarRT::TimeStampNow();
    constexpr TolvarRT::TimeStamp kSecond = 1'000'000'000;
    // A 1 Hz stream that fell silent half a minute ago.
    for (int i = 0; i < 24; ++i)
        statistics.RecordFrame(TolvarRT::kFrameClassCMR, 0, 80, std::uint16_t(i), now - (60 - i) * kSecond);
    EXPECT_FALSE(document.TakeIntervalSummaryAndChartValue().linkOutage) << "not judged yet";
    statistics.CheckHealth(TolvarRT::TimeStampNow());
    EXPECT_TRUE(document.TakeIntervalSummaryAndChartValue().linkOutage) << "still out";
    statistics.Reset();
    EXPECT_FALSE(document.TakeIntervalSummaryAndChartValue().linkOutage) << "a reset forgets the outage";
}

TEST_F(DocumentShellTest, TheCannedSentenceGoesToAnOpenListenerAndItsTimerStopsOnceClosed)
{
    PtyPair pty;
    ASSERT_TRUE(pty.IsValid());
    CTolvarTestSuiteDoc document(settings, ui);
    ui.choose = SerialPort(pty.SlavePath());
    const int nice = ThreadNice();
    ASSERT_TRUE(document.Run(DocumentCommand::kConnectNmeaListener));
    EXPECT_EQ(ThreadNice(), nice) << "the connecting thread is back at its own priority";
    pty.Read(1000, 300ms);  // the identity requests
    ui.timers.clear();

    document.SendCannedNmea({9, 5, 7});
    const std::string& canned = document.CannedNmea();
    EXPECT_EQ(pty.Read(canned.size(), 5s), BytesOf(canned)) << "the default text ends in its checksum: sent as is";
    EXPECT_TRUE(ui.timers.empty());

    document.Run(DocumentCommand::kDisconnectListener);
    ui.timers.clear();
    document.SendCannedNmea({9, 5, 7});
    EXPECT_THAT(ui.timers, ::testing::ElementsAre("stop 78"));
}

TEST_F(DocumentShellTest, TheCommonNmeaSourceOpensOnItsOwnSettingsAndFeedsItsDecoder)
{
    PtyPair pty;
    ASSERT_TRUE(pty.IsValid());
    CCommonNmeaSource common(settings, ui);
    SentenceCounter sentences;
    ASSERT_TRUE(sentences.Subscribe(&common.Decoder()));
    namespace Command = ApplicationCommand;
    EXPECT_TRUE(common.Claims(Command::kConnectCommonNmea));
    EXPECT_FALSE(common.Claims(DocumentCommand::kConnectListener));
    EXPECT_TRUE(common.IsEnabled(Command::kConnectCommonNmea));
    EXPECT_FALSE(common.IsEnabled(Command::kDisconnectCommonNmea));
    EXPECT_FALSE(common.Run(Command::kDisconnectCommonNmea)) << "disabled while closed";

    ui.choose = SerialPort(pty.SlavePath());
    ASSERT_TRUE(common.Run(Command::kConnectCommonNmea));
    EXPECT_THAT(ui.captions, ::testing::ElementsAre("NMEA"));
    ASSERT_TRUE(common.IsOpen());
    EXPECT_FALSE(common.IsEnabled(Command::kConnectCommonNmea));
    EXPECT_TRUE(common.IsEnabled(Command::kDisconnectCommonNmea));
    pty.Write(BytesOf(kGga));
    EXPECT_TRUE(WaitUntil([&] { return sentences.count.load() == 1; }));

    ASSERT_TRUE(common.Run(Command::kDisconnectCommonNmea));
    EXPECT_FALSE(common.IsOpen());
    EXPECT_FALSE(common.Decoder().IsSubscribed()) << "detached from the closed port";
    EXPECT_TRUE(common.IsEnabled(Command::kConnectCommonNmea));
    EXPECT_TRUE(ui.information.empty());
}

TEST_F(DocumentShellTest, ACommonNmeaPortThatCannotOpenIsReportedAndItsDecoderStaysAttached)
{
    CCommonNmeaSource common(settings, ui);
    EXPECT_FALSE(common.Connect()) << "cancelled";
    EXPECT_TRUE(ui.information.empty());
    ui.choose = SerialPort("/dev/no-such-serial-device");
    EXPECT_FALSE(common.Connect());
    EXPECT_THAT(ui.information, ::testing::ElementsAre("Could not open Comm port "));
    EXPECT_TRUE(common.Decoder().IsSubscribed());
    EXPECT_TRUE(common.IsEnabled(ApplicationCommand::kConnectCommonNmea));
}

}  // namespace
