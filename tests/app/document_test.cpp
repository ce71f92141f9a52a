// A test document driven through a scripted user interface, with its ports on
// pseudo-terminals: titles, status texts, the command rules, fake CMR.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "app/document_commands.h"
#include "app/memory_settings_store.h"
#include "app/port_settings.h"
#include "app/tolvar_test_suite_doc.h"
#include "decoders/dc_packet.h"
#include "log_recorder.h"
#include "ntrip_caster.h"
#include "packet_bytes.h"
#include "pty_pair.h"
#include "pty_relay.h"
#include "rtcm3_frame_builder.h"
#include "scripted_document_ui.h"
#include "simulated_receiver.h"
#include "temp_folder.h"
#include "wait_until.h"

namespace {

using TolvarRT::testing::TempFolder;

using namespace std::chrono_literals;
using TolvarRT::testing::ScriptedUi;
namespace Command = DocumentCommand;
using TolvarRT::testing::PtyPair;
using Bytes = std::vector<std::uint8_t>;

// The serial port at path, as the dialog's user would pick it.
std::function<void(CPortSettings&)> SerialPort(const std::string& path, bool fakeCmr = false, bool fakeAts = false)
{
    return [path, fakeCmr, fakeAts](CPortSettings& dialog) {
        dialog.SelectMode(kSerialPortMode);
        dialog.SelectSerialPort(path);
        dialog.fakeCmr = fakeCmr;
        dialog.fakeAts = fakeAts;
    };
}

using TolvarRT::testing::TextPacket;

using TolvarRT::testing::SimulatedReceiver;

class DocumentTest : public ::testing::Test {
protected:
    // The status page as the web server would serve it; empty when refused.
    static std::string StatusPage(CTolvarTestSuiteDoc& document)
    {
        char* page = nullptr;
        std::size_t length = 0;
        std::string header;
        if (!document.GetPage("/", "", &page, &length, &header))
            return {};
        const std::string text(page, length);
        document.FreePage(page);
        return text;
    }

    CMemorySettingsStore settings;
    ScriptedUi ui;
};

TEST_F(DocumentTest, BeforeAnyConnectionBothSidesAreNotConnectedAndTheDecoderCommandsToggle)
{
    CTolvarTestSuiteDoc document(settings, ui);
    EXPECT_EQ(document.TitleText(), "Listener : Not Connected | Source : Not Connected");
    EXPECT_EQ(ui.title, document.TitleText());
    EXPECT_THAT(document.PagePath(), ::testing::MatchesRegex("/TolvarTestSuiteDoc_[0-9][0-9]+"));
    CTolvarTestSuiteDoc second(settings, ui);
    const int first = std::stoi(document.PagePath().substr(20));
    EXPECT_EQ(second.PagePath(),
              (first + 1 < 10 ? "/TolvarTestSuiteDoc_0" : "/TolvarTestSuiteDoc_") + std::to_string(first + 1));
    EXPECT_TRUE(document.IsEnabled(Command::kConnectListener));
    EXPECT_FALSE(document.IsEnabled(Command::kDisconnectListener));
    EXPECT_FALSE(document.IsEnabled(Command::kShowRadioState));
    EXPECT_TRUE(document.IsChecked(Command::kUseRtcmDecoder));
    EXPECT_FALSE(document.IsChecked(Command::kToggleAtsDecoding));
    EXPECT_FALSE(document.IsEnabled(Command::kFakeSchedule0));
    EXPECT_FALSE(document.IsEnabled(Command::kConfigureListener));
    EXPECT_TRUE(document.IsEnabled(Command::kNmeaOutputToListener));

    const std::string text = StatusPage(document);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.find("Listener : Not Connected | Source : Not Connected"), std::string::npos);

    document.Run(Command::kToggleAtsDecoding);
    EXPECT_TRUE(document.IsChecked(Command::kToggleAtsDecoding));
    document.Run(Command::kToggleAtsDecoding);
    EXPECT_FALSE(document.IsChecked(Command::kToggleAtsDecoding));
    document.Run(Command::kUseRtcmDecoder);
    EXPECT_TRUE(document.IsChecked(Command::kUseRtcmDecoder));
}

TEST_F(DocumentTest, CancellingTheDialogOpensNothingAndAPortThatCannotOpenIsReported)
{
    CTolvarTestSuiteDoc document(settings, ui);
    EXPECT_FALSE(document.ConnectListener());
    EXPECT_FALSE(document.ConnectSource());
    EXPECT_EQ(ui.captions, (std::vector<std::string>{"Listener", "GPS Source"}));
    EXPECT_TRUE(ui.information.empty());

    ui.choose = SerialPort("/dev/no-such-serial-device");
    EXPECT_FALSE(document.ConnectListener());
    EXPECT_THAT(ui.information, ::testing::ElementsAre("Could not open Comm port"));
    EXPECT_EQ(document.ListenerStatus(), "Not Connected");
}

// A caster's password never reaches the title, the main caption or the
// status page, which show the connection by name.
TEST_F(DocumentTest, AnNtripSourceIsShownWithoutItsPassword)
{
    TolvarRT::testing::CNtripCaster caster;
    ASSERT_TRUE(caster.Start({TolvarRT::testing::CNtripCaster::Version::Two, "RTCM3", "user", "topsecret"}));
    const std::string where = "127.0.0.1:" + std::to_string(caster.Port());
    CTolvarTestSuiteDoc document(settings, ui);
    ui.choose = [&](CPortSettings& dialog) { dialog.SelectPortName("ntrip://user:topsecret@" + where + "/RTCM3"); };
    ASSERT_TRUE(document.ConnectSource());
    EXPECT_EQ(document.SourceStatus().rfind("NTRIP:user:****@" + where + "/RTCM3", 0), 0u) << document.SourceStatus();
    EXPECT_EQ(document.TitleText().find("topsecret"), std::string::npos) << document.TitleText();
    EXPECT_EQ(ui.title.find("topsecret"), std::string::npos);
    const std::string text = StatusPage(document);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.find("topsecret"), std::string::npos);
    document.Shutdown();
}

TEST_F(DocumentTest, AReceiverOnTheListenerGivesItsNameAndARadioHandler)
{
    PtyPair pty;
    ASSERT_TRUE(pty.IsValid());
    SimulatedReceiver receiver(pty, "PRODUCT,Rover 9,X;PORT,1,2,3,8,1,N,0;VERSION,1,2,3,4;");
    CTolvarTestSuiteDoc document(settings, ui);
    ui.choose = SerialPort(pty.SlavePath());
    ASSERT_TRUE(document.Run(Command::kConnectListener));
    EXPECT_TRUE(document.IsListenerOpen());
    EXPECT_EQ(document.ListenerStatus(), pty.SlavePath() + " Rover 9");
    EXPECT_EQ(document.TitleText(), "Listener : " + pty.SlavePath() + " Rover 9 | Source : Not Connected");
    EXPECT_EQ(ui.caption, "Connected to " + pty.SlavePath());
    EXPECT_TRUE(document.HasRadioHandler());
    EXPECT_TRUE(document.IsEnabled(Command::kShowRadioState));
    EXPECT_FALSE(document.IsEnabled(Command::kConnectListener));
    EXPECT_THAT(ui.timers, ::testing::ElementsAre("stop 7", "start 7")) << "statistics reset after connecting";
    // Every wait for the device is a step of its own, in the connection's order.
    EXPECT_THAT(ui.steps,
                ::testing::ElementsAre("Opening " + pty.SlavePath(), "Waiting for the identity of " + pty.SlavePath(),
                                       "Waiting for the radio's reply"));

    ASSERT_TRUE(document.Run(Command::kDisconnectListener));
    EXPECT_FALSE(document.IsListenerOpen());
    EXPECT_FALSE(document.HasRadioHandler());
    EXPECT_EQ(document.ListenerStatus(), "Not Connected");
    EXPECT_TRUE(ui.questions.empty()) << "no internal radio piped, no question";
}

// A base receiver with an internal radio on the Listener's port.
class PipedReceiverTest : public DocumentTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.IsValid());
        ui.choose = SerialPort(pty.SlavePath());
    }

    PtyPair pty;
    SimulatedReceiver receiver{pty, "PRODUCT,TR-200R,Base;PORT,1,2,3,8,1,N,1;VERSION,5,0,0,0;",
                               "PRODUCT,UHF-450,R;PORT,4,0,0,8,1,N,0;VERSION,2,0,0,0;"};
    CTolvarTestSuiteDoc document{settings, ui};
};

TEST_F(PipedReceiverTest, AnInternalRadioThroughTheFilterIsShownInBrackets)
{
    ui.answer = false;  // no transparent pipe: the 77/99 filter
    ASSERT_TRUE(document.ConnectListener());
    EXPECT_THAT(
        ui.questions,
        ::testing::ElementsAre("Open transparent pipe to internal radio?\nType 77/99 filter will be used otherwse."));
    EXPECT_EQ(document.ListenerStatus(), pty.SlavePath() + " TR-200R [ Radio UHF-450 ]");
    EXPECT_TRUE(document.InternalRadioPiped());
    // The radio's identity through the filter is awaited with the pipe.
    EXPECT_THAT(ui.steps,
                ::testing::ElementsAre("Opening " + pty.SlavePath(), "Waiting for the identity of " + pty.SlavePath(),
                                       "Opening the pipe to the internal radio", "Waiting for the radio's reply"));
    document.DisconnectListener();
    EXPECT_THAT(ui.questions, ::testing::Contains("Would you like to reset the Receivers Port?"));
    EXPECT_EQ(ui.steps.size(), 4u) << "answered No: no break, nothing awaited";
}

TEST_F(PipedReceiverTest, TheProductIdOfAPipedReceiverIsAskedWithoutABreakWhenTheUserDeclines)
{
    ASSERT_TRUE(document.ConnectListener());
    ASSERT_TRUE(document.Run(Command::kGetProductId));
    EXPECT_EQ(ui.questions.back(), "This will reset the pipe, are you sure you want to send a break.");
    EXPECT_EQ(ui.information.back(),
              "Product ID =\n\nPRODUCT,TR-200R,Base;\n PORT,1,2,3,8,1,N,1;\n VERSION,5,0,0,0;\n ");
    // The radio answers no state query here: nothing is shown.
    const std::size_t shown = ui.information.size();
    ASSERT_TRUE(document.Run(Command::kShowRadioState));
    EXPECT_EQ(ui.information.size(), shown);
}

TEST_F(PipedReceiverTest, AnInternalRadioPipedTransparentlyIsNamedInternal)
{
    ui.answer = true;
    ASSERT_TRUE(document.ConnectListener());
    EXPECT_EQ(document.ListenerStatus(), pty.SlavePath() + " Internal TR-200R Radio UHF-450");
    EXPECT_TRUE(document.InternalRadioPiped());
    document.DisconnectListener();
    EXPECT_EQ(ui.steps.back(), "Resetting the receiver's port");
}

TEST_F(DocumentTest, FakeCMRSourceShowsItsSimulationAndObeysTheSVLimits)
{
    PtyPair pty;
    ASSERT_TRUE(pty.IsValid());
    CTolvarTestSuiteDoc document(settings, ui);
    ui.choose = SerialPort(pty.SlavePath(), true);
    ASSERT_TRUE(document.Run(Command::kConnectSource));
    EXPECT_EQ(document.SourceStatus(), pty.SlavePath() + " <Gen Fake>");
    EXPECT_EQ(document.SourceStatistics().AttachedPipes(), 1u) << "frames from the generator only";
    EXPECT_EQ(ui.statusPane, "Simulating 9 SVs (0 W)");
    EXPECT_TRUE(document.IsChecked(Command::kFakeSchedule0 + 1));
    EXPECT_TRUE(document.IsEnabled(Command::kIncreaseSVs));

    ASSERT_TRUE(document.Run(Command::kFakeSchedule6));
    EXPECT_TRUE(document.IsChecked(Command::kFakeSchedule6));
    EXPECT_FALSE(document.IsChecked(Command::kFakeSchedule0 + 1));
    EXPECT_EQ(ui.statusPane, "Simulating 9 SVs (4 W)");
    for (int i = 0; i < 6; ++i)
        document.Run(Command::kIncreaseSVs);
    EXPECT_EQ(ui.statusPane, "Simulating 15 SVs (7 W)");
    EXPECT_FALSE(document.IsEnabled(Command::kIncreaseSVs));
    EXPECT_FALSE(document.Run(Command::kIncreaseSVs));

    ASSERT_TRUE(document.Run(Command::kPauseFakeCmrs));
    EXPECT_EQ(ui.statusPane, "PAUSED");
    EXPECT_TRUE(document.IsChecked(Command::kPauseFakeCmrs));
    document.Run(Command::kPauseFakeCmrs);

    ASSERT_TRUE(document.Run(Command::kDisconnectSource));
    EXPECT_EQ(ui.statusPane, "");
    // Regression test for a source that kept counting the old port's RTCM v3,
    // NMEA and ATS frames after a disconnection.
    EXPECT_EQ(document.SourceStatistics().AttachedPipes(), 0u);
    EXPECT_FALSE(document.GeneratesFakeCmr());
    EXPECT_FALSE(document.CmrGenerator().IsRunning());
    EXPECT_FALSE(document.IsEnabled(Command::kFakeSchedule0));
    EXPECT_TRUE(document.IsEnabled(Command::kPauseFakeCmrs)) << "pause stays enabled";
}

TEST_F(DocumentTest, AWholeTestMatchesEveryFakeFrameAtTheListener)
{
    PtyPair base, rover;
    ASSERT_TRUE(base.IsValid() && rover.IsValid());
    SimulatedReceiver receiver(rover, "PRODUCT,Rover 9,X;PORT,1,2,3,8,1,N,0;VERSION,1,2,3,4;");
    TolvarRT::testing::PtyRelay radio(base, rover);
    CTolvarTestSuiteDoc document(settings, ui);
    ui.choose = SerialPort(rover.SlavePath());
    ASSERT_TRUE(document.Run(Command::kConnectListener));
    ui.choose = SerialPort(base.SlavePath(), true);
    ASSERT_TRUE(document.Run(Command::kConnectSource));
    // Schedule 1: a CMR and a CMR+ every second.
    ASSERT_TRUE(TolvarRT::testing::WaitUntil([&] { return document.CmrGenerator().GetSentCount() >= 4; }));
    document.Run(Command::kDisconnectSource);
    // The frames in flight reach the Listener.
    ASSERT_TRUE(TolvarRT::testing::WaitUntil([&] {
        document.RefreshStatistics();
        const std::vector<TolvarRT::sStatsRow> rows = document.StatisticsRows();
        return rows.size() == 2 && std::all_of(rows.begin(), rows.end(), [](const TolvarRT::sStatsRow& row) {
                   return row.cells[TolvarRT::kColumnCount] == row.cells[TolvarRT::kColumnSourceCount];
               });
    }));

    const std::vector<TolvarRT::sStatsRow> rows = document.StatisticsRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].cells[TolvarRT::kColumnName], "CMR Type 0");
    EXPECT_EQ(rows[1].cells[TolvarRT::kColumnName], "CMR Type 5");
    for (const TolvarRT::sStatsRow& row : rows) {
        EXPECT_EQ(row.cells[TolvarRT::kColumnReceived], "100.00%");
        EXPECT_EQ(row.cells[TolvarRT::kColumnCount], row.cells[TolvarRT::kColumnSourceCount]);
    }
    const std::string summary = document.TakeIntervalSummary();
    EXPECT_NE(summary.find("CMR Type 0, Received"), std::string::npos);
    document.Shutdown();
    EXPECT_FALSE(document.IsListenerOpen());
}

TEST_F(DocumentTest, ResetStatisticsEmptiesTheTableUntilFramesArriveAgain)
{
    CTolvarTestSuiteDoc document(settings, ui);
    TolvarRT::CStatsCollection& listener = document.ListenerStatistics();
    const TolvarRT::TimeStamp now = TolvarRT::TimeStampNow();
    listener.RecordFrame(TolvarRT::kFrameClassCMR, 0, 100, 1, now);
    document.SourceStatistics().RecordFrame(TolvarRT::kFrameClassRTCM3, 1005, 19, 1, now);
    document.RefreshStatistics();
    ASSERT_EQ(document.StatisticsRows().size(), 2u);
    document.ResetStatistics();
    document.RefreshStatistics();
    EXPECT_TRUE(document.StatisticsRows().empty());
    listener.RecordFrame(TolvarRT::kFrameClassCMR, 5, 12, 1, now);
    document.RefreshStatistics();
    const std::vector<TolvarRT::sStatsRow> rows = document.StatisticsRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].cells[TolvarRT::kColumnName], "CMR Type 5");
}

// The position window starts counting CMR frames afresh with every new link,
// and hears nothing once it has gone.
TEST_F(DocumentTest, EveryConnectionResetsThePositionWindowsCount)
{
    struct PositionWindow : TolvarRT::IPerformanceReset {
        void ResetPerformance() override { ++resets; }
        int resets = 0;
    } window;
    PtyPair listenerPty;
    PtyPair sourcePty;
    ASSERT_TRUE(listenerPty.IsValid() && sourcePty.IsValid());
    CTolvarTestSuiteDoc document(settings, ui);
    document.SetPositionView(&window);
    EXPECT_FALSE(document.Run(Command::kConnectNmeaListener) && document.IsListenerOpen());
    EXPECT_EQ(window.resets, 0) << "a cancelled connection resets nothing";

    ui.choose = SerialPort(listenerPty.SlavePath());
    ASSERT_TRUE(document.Run(Command::kConnectNmeaListener));
    EXPECT_EQ(window.resets, 1);
    ui.choose = SerialPort(sourcePty.SlavePath());
    ASSERT_TRUE(document.Run(Command::kConnectSource));
    EXPECT_EQ(window.resets, 2);

    document.SetPositionView(nullptr);
    ASSERT_TRUE(document.Run(Command::kDisconnectListener));
    ui.choose = SerialPort(listenerPty.SlavePath());
    ASSERT_TRUE(document.Run(Command::kConnectNmeaListener));
    EXPECT_EQ(window.resets, 2);
}

TEST_F(DocumentTest, TheLogFileIsCreatedWhereTheUserSaysAndRemembered)
{
    TempFolder folder;
    const std::string path = folder.File("test.txt");
    CTolvarTestSuiteDoc document(settings, ui);
    EXPECT_FALSE(document.IsEnabled(Command::kCloseLogFile));
    EXPECT_FALSE(document.IsEnabled(Command::kFileLogAll));
    ui.saveAs = path;
    ASSERT_TRUE(document.Run(Command::kCreateLogFile));
    EXPECT_TRUE(document.FileLog().IsOpen());
    EXPECT_EQ(settings.ReadProfileText("Settings", "LogPath", ""), path);
    EXPECT_FALSE(document.IsEnabled(Command::kCreateLogFile));
    ASSERT_TRUE(document.Run(Command::kFileLogAll));
    EXPECT_TRUE(document.IsChecked(Command::kFileLogAll));
    EXPECT_EQ(settings.ReadInt("Settings", "FileLogLevel", -1), 3);
    ASSERT_TRUE(document.Run(Command::kCloseLogFile));
    EXPECT_FALSE(document.FileLog().IsOpen());

    // A file that cannot be created leaves the log closed and the path as it was.
    ui.saveAs = "/no/such/folder/test.txt";
    document.Run(Command::kCreateLogFile);
    EXPECT_FALSE(document.FileLog().IsOpen());
    EXPECT_EQ(settings.ReadProfileText("Settings", "LogPath", ""), path);
}

TEST_F(DocumentTest, ReceiversWithAnInternalRadioAreKnownByModelAndBySettings)
{
    EXPECT_TRUE(IsReceiverWithInternalRadio("Base,tr-100r,x", settings));
    EXPECT_FALSE(IsReceiverWithInternalRadio("Rover 9", settings));
    settings.WriteText("Settings", "InternalRadioModels", "Rover 9,Other");
    EXPECT_TRUE(IsReceiverWithInternalRadio("Rover 9", settings));
}

TEST_F(DocumentTest, TheMatchWindowChosenInOneDocumentIsTheNextOnesOnBothSides)
{
    {
        CTolvarTestSuiteDoc document(settings, ui);
        EXPECT_EQ(document.MatchWindow(), 30.0);
        document.ChooseMatchWindow(0);
        EXPECT_EQ(document.MatchWindow(), 1.0) << "at least a second";
        document.ChooseMatchWindow(90);
    }
    CTolvarTestSuiteDoc next(settings, ui);
    EXPECT_EQ(next.MatchWindow(), 90.0);
    EXPECT_EQ(next.SourceStatistics().MatchWindow(), 90.0);
    settings.WriteInt("Settings", CTolvarTestSuiteDoc::kMatchWindowKey, -5);
    EXPECT_EQ(CTolvarTestSuiteDoc(settings, ui).MatchWindow(), 30.0) << "a damaged setting is not taken";
}

TEST_F(DocumentTest, TheIntervalSummaryGoesToTheLogWholeAndToThePageWithItsTime)
{
    CTolvarTestSuiteDoc document(settings, ui);
    TolvarRT::testing::LogRecorder log(&document.LogPipe(), kLogNone);
    // Sixty frame types make a summary longer than one log line may be.
    const TolvarRT::TimeStamp now = TolvarRT::TimeStampNow();
    for (unsigned type = 1000; type < 1060; ++type)
        document.ListenerStatistics().RecordFrame(TolvarRT::kFrameClassRTCM3, type, 100, 7, now);
    const std::string summary = document.TakeIntervalSummary();
    EXPECT_NE(summary.find("\nSummary as of "), std::string::npos);

    std::string logged;
    for (const std::string& line : log.Lines())
        logged += line;
    ASSERT_GT(logged.size(), std::size_t(CLogPipe::kLineSize));
    EXPECT_EQ(logged, summary.substr(0, summary.find("\nSummary as of ")));
    for (unsigned type = 1000; type < 1060; ++type)
        EXPECT_NE(logged.find("RTCM v3 Type " + std::to_string(type) + ","), std::string::npos) << type;
}

// A receiver without an internal radio, connected as the Listener.
class ConnectedListenerTest : public DocumentTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.IsValid());
        ui.choose = SerialPort(pty.SlavePath());
        ASSERT_TRUE(document.Run(Command::kConnectListener));
    }

    PtyPair pty;
    SimulatedReceiver receiver{pty, "PRODUCT,Rover 9,X;PORT,1,2,3,8,1,N,0;VERSION,1,2,3,4;"};
    CTolvarTestSuiteDoc document{settings, ui};
};

TEST_F(ConnectedListenerTest, TheFinalSummaryOfManyFrameTypesGoesToTheLogWhole)
{
    TolvarRT::testing::LogRecorder log(&document.LogPipe(), kLogBasic);
    const TolvarRT::TimeStamp now = TolvarRT::TimeStampNow();
    for (unsigned type = 1000; type < 1060; ++type)
        document.ListenerStatistics().RecordFrame(TolvarRT::kFrameClassRTCM3, type, 100, 7, now);
    const std::string summary = document.ListenerStatistics().Summary(false);
    ASSERT_GT(summary.size(), std::size_t(CLogPipe::kLineSize));

    ASSERT_TRUE(document.Run(Command::kDisconnectListener));
    std::string logged;
    for (const std::string& line : log.Lines())
        logged += line;
    EXPECT_NE(logged.find(summary), std::string::npos) << "every piece, in order, nothing cut";
}

// When a connection's frames begin to count: a probed port after its probe,
// whose replies (and whatever came with them) are no frames of the test; an
// unprobed one before it opens, with nothing ever sent to it.
class CountingTest : public DocumentTest {
protected:
    struct sCounted {
        bool source = false;
        double probeSeconds = 0.0;
        bool portOpen = false;
        unsigned radioCommands = 0;  // the receiver had had when the count began
        bool generating = false;
    };

    void Watch(CTolvarTestSuiteDoc& document, const SimulatedReceiver* receiver = nullptr)
    {
        sConnectionHooks hooks;
        hooks.probing = [this](bool source, const std::string& port) {
            probed.push_back((source ? "Source " : "Listener ") + port);
        };
        hooks.counting = [this, &document, receiver](bool source, double probeSeconds) {
            counted.push_back({source, probeSeconds, source ? document.IsSourceOpen() : document.IsListenerOpen(),
                               receiver != nullptr ? receiver->RadioCommands() : 0u,
                               document.CmrGenerator().IsRunning()});
        };
        document.SetConnectionHooks(std::move(hooks));
    }

    static std::uint64_t Counted(CTolvarTestSuiteDoc& document)
    {
        std::uint64_t frames = 0;
        for (const auto& record : document.ListenerStatistics().Snapshot().records)
            frames += record.frames;
        return frames;
    }

    std::vector<std::string> probed;
    std::vector<sCounted> counted;
};

TEST_F(CountingTest, AProbedListenerCountsFromTheEndOfItsProbe)
{
    PtyPair pty;
    ASSERT_TRUE(pty.IsValid());
    // A frame that comes with the identity reply arrives during the probe.
    const Bytes frame = TolvarRT::testing::rtcm3_reference::Frame(1005, 19);
    SimulatedReceiver receiver(pty, "PRODUCT,Rover 9,X;PORT,1,2,3,8,1,N,0;VERSION,1,2,3,4;", "", frame);
    CTolvarTestSuiteDoc document(settings, ui);
    Watch(document, &receiver);
    ui.choose = SerialPort(pty.SlavePath());
    ASSERT_TRUE(document.Run(Command::kConnectListener));

    EXPECT_THAT(probed, ::testing::ElementsAre("Listener " + pty.SlavePath()));
    ASSERT_EQ(counted.size(), 1u);
    EXPECT_TRUE(counted[0].portOpen);
    EXPECT_GE(counted[0].probeSeconds, 0.0);
    EXPECT_EQ(counted[0].radioCommands, 1u) << "the radio's mode was set before the count began";
    EXPECT_TRUE(document.IsEnabled(Command::kGetProductId));
    document.RefreshStatistics();
    EXPECT_EQ(Counted(document), 0u) << "the frame that came during the probe is not the test's";

    pty.Write(frame);
    EXPECT_TRUE(TolvarRT::testing::WaitUntil([&] { return Counted(document) == 1; }));
    document.Shutdown();
}

// The box unticked, or an NMEA receiver's port, which is never probed.
TEST_F(CountingTest, AnUnprobedListenerHearsNothingFromUsAndCountsItsFirstFrame)
{
    for (const bool nmea : {false, true}) {
        SCOPED_TRACE(nmea ? "NMEA" : "unticked");
        PtyPair pty;
        ASSERT_TRUE(pty.IsValid());
        CTolvarTestSuiteDoc document(settings, ui);
        Watch(document);
        counted.clear();
        ui.timers.clear();
        ui.choose = [&](CPortSettings& dialog) {
            SerialPort(pty.SlavePath())(dialog);
            dialog.probe = nmea;
        };
        ASSERT_TRUE(document.Run(nmea ? Command::kConnectNmeaListener : Command::kConnectListener));
        ASSERT_EQ(counted.size(), 1u);
        EXPECT_FALSE(counted[0].portOpen) << "reset before the port opened: its first byte counts";
        EXPECT_LT(counted[0].probeSeconds, 0.0);
        EXPECT_TRUE(probed.empty());
        EXPECT_EQ(document.ListenerStatus(), pty.SlavePath());
        EXPECT_FALSE(document.HasRadioHandler());
        EXPECT_FALSE(document.IsEnabled(Command::kGetProductId));
        EXPECT_FALSE(document.IsEnabled(Command::kShowRadioState));
        EXPECT_THAT(ui.timers, ::testing::ElementsAre("stop 7", "start 7"));

        pty.Write(TolvarRT::testing::rtcm3_reference::Frame(1005, 19));
        EXPECT_TRUE(TolvarRT::testing::WaitUntil([&] { return Counted(document) == 1; }));
        EXPECT_TRUE(pty.Read(1, 300ms).empty()) << "no identity request, no radio command";
        document.Shutdown();
    }
}

TEST_F(CountingTest, AGeneratedSourceStartsAfterTheReset)
{
    PtyPair base, rover;
    ASSERT_TRUE(base.IsValid() && rover.IsValid());
    SimulatedReceiver receiver(rover, "PRODUCT,Rover 9,X;PORT,1,2,3,8,1,N,0;VERSION,1,2,3,4;");
    TolvarRT::testing::PtyRelay radio(base, rover);
    CTolvarTestSuiteDoc document(settings, ui);
    Watch(document);
    ui.choose = SerialPort(rover.SlavePath());
    ASSERT_TRUE(document.Run(Command::kConnectListener));
    ui.choose = SerialPort(base.SlavePath(), true);
    ASSERT_TRUE(document.Run(Command::kConnectSource));
    ASSERT_EQ(counted.size(), 2u);
    EXPECT_TRUE(counted[1].source);
    EXPECT_FALSE(counted[1].generating) << "a frame sent before the reset would be unmatched at the Listener";
    EXPECT_TRUE(document.CmrGenerator().IsRunning());
    document.Shutdown();
}

}  // namespace
