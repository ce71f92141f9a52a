// The NMEA output to the Listener: the choice kept in the settings store, and
// a pseudo-terminal Listener that hears the common source's sentences live or
// the canned sentence with the time of day and its checksum.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "app/common_nmea_source.h"
#include "app/document_commands.h"
#include "app/memory_settings_store.h"
#include "app/nmea_output.h"
#include "app/port_settings.h"
#include "app/tolvar_test_suite_doc.h"
#include "nmea_sentence.h"
#include "pty_pair.h"
#include "scripted_document_ui.h"
#include "sentence_counter.h"
#include "wait_until.h"

namespace {

using namespace std::chrono_literals;
using TolvarRT::testing::NmeaSentence;
using TolvarRT::testing::PtyPair;
using TolvarRT::testing::ScriptedUi;
using TolvarRT::testing::SentenceCounter;
using TolvarRT::testing::WaitUntil;

std::function<void(CPortSettings&)> SerialPort(const std::string& path)
{
    return [path](CPortSettings& dialog) {
        dialog.SelectMode(kSerialPortMode);
        dialog.SelectSerialPort(path);
    };
}

// A scripted user interface that also answers the NMEA output dialog.
class OutputUi : public ScriptedUi {
public:
    bool ShowNmeaOutputConfig(sNmeaOutputSettings& output) override
    {
        shown.push_back(output);
        if (!choice)
            return false;
        output = *choice;
        return true;
    }
    std::optional<sNmeaOutputSettings> choice;
    std::vector<sNmeaOutputSettings> shown;
};

// Everything the device end of a pseudo-terminal has read so far.
class PtyListener {
public:
    explicit PtyListener(const PtyPair& pty) : pty(pty) {}
    // Waits until text has arrived; true when it did within the deadline.
    bool Hears(const std::string& text)
    {
        return WaitUntil(
            [&] {
                const auto bytes = pty.Read(4096, 20ms);
                heard.append(bytes.begin(), bytes.end());
                return heard.find(text) != std::string::npos;
            },
            10s);
    }
    std::string heard;

private:
    const PtyPair& pty;
};

sNmeaOutputSettings Output(bool enabled, bool live, std::string canned = sNmeaOutputSettings::kDefaultCanned)
{
    sNmeaOutputSettings output;
    output.enabled = enabled;
    output.live = live;
    output.canned = std::move(canned);
    return output;
}

TEST(NmeaOutputSettingsTest, StartOffWithTheDefaultTextAndComeBackAsStored)
{
    CMemorySettingsStore settings;
    const sNmeaOutputSettings first = ReadNmeaOutputSettings(settings);
    EXPECT_EQ(first, Output(false, false));
    EXPECT_THAT(first.canned, ::testing::EndsWith("*5F"));

    const sNmeaOutputSettings chosen = Output(true, true, "$GPGGA,000000.00,*");
    WriteNmeaOutputSettings(settings, chosen);
    EXPECT_EQ(ReadNmeaOutputSettings(settings), chosen);

    settings.WriteText("Settings", "CannedNmea", "");
    EXPECT_EQ(ReadNmeaOutputSettings(settings).canned, sNmeaOutputSettings::kDefaultCanned)
        << "an empty template would send nothing";
}

TEST(NmeaOutputSettingsTest, TheSourceIsChosenOnlyWhileOnAndTheTextEditedOnlyWhenCanned)
{
    struct Row {
        bool enabled, live;
        bool choosable, editable, forwards, sendsCanned;
    };
    for (const Row& row : {Row{false, false, false, false, false, false}, Row{false, true, false, false, false, false},
                           Row{true, false, true, true, false, true}, Row{true, true, true, false, true, false}}) {
        const sNmeaOutputSettings output = Output(row.enabled, row.live);
        SCOPED_TRACE(std::to_string(row.enabled) + "/" + std::to_string(row.live));
        EXPECT_EQ(output.SourceChoosable(), row.choosable);
        EXPECT_EQ(output.CannedEditable(), row.editable);
        EXPECT_EQ(output.ForwardsLive(), row.forwards);
        EXPECT_EQ(output.SendsCanned(), row.sendsCanned);
    }
}

class NmeaOutputTest : public ::testing::Test {
protected:
    void ConnectListener()
    {
        ASSERT_TRUE(listenerPty.IsValid());
        ui.choose = SerialPort(listenerPty.SlavePath());
        ASSERT_TRUE(document.Run(DocumentCommand::kConnectNmeaListener));
        ASSERT_TRUE(document.IsListenerOpen());
    }

    CMemorySettingsStore settings;
    OutputUi ui;
    PtyPair listenerPty;
    PtyListener listener{listenerPty};
    CTolvarTestSuiteDoc document{settings, ui};
};

TEST_F(NmeaOutputTest, TheCommandShowsTheStoredChoiceAndKeepsANewOneForTheNextTest)
{
    EXPECT_TRUE(document.IsEnabled(DocumentCommand::kNmeaOutputToListener));
    EXPECT_TRUE(document.Run(DocumentCommand::kNmeaOutputToListener)) << "cancelled, but it ran";
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0], Output(false, false));
    EXPECT_EQ(document.NmeaOutput(), Output(false, false)) << "a cancelled dialog changes nothing";

    ui.choice = Output(true, false, "$GPGGA,120000.00,4000.0,N,10500.0,W,1,8,1.2,1600.0,M,-30.4,M,,*");
    ui.timers.clear();
    EXPECT_TRUE(document.Run(DocumentCommand::kNmeaOutputToListener));
    EXPECT_EQ(document.NmeaOutput(), *ui.choice);
    EXPECT_EQ(document.CannedNmea(), ui.choice->canned);
    EXPECT_THAT(ui.timers, ::testing::ElementsAre("stop 78")) << "no Listener: nothing to send to yet";

    OutputUi otherUi;
    CTolvarTestSuiteDoc next(settings, otherUi);
    EXPECT_EQ(next.NmeaOutput(), *ui.choice);
}

TEST_F(NmeaOutputTest, CannedOutputRunsItsTimerWithTheListenerAndSendsTheTimeWithAFreshChecksum)
{
    const std::string body = "GPGGA,183409.00,4000.0,N,10500.0,W,1,8,1.2,1600.0,M,-30.4,M,,";
    document.SetNmeaOutput(Output(true, false, "$" + body + "*"));
    ui.timers.clear();
    ConnectListener();
    ASSERT_FALSE(ui.timers.empty());
    EXPECT_EQ(ui.timers.back(), "start 78") << "with the Listener's connection";

    // What timer 78 does at 09:05:07 local time.
    document.SendCannedNmea({9, 5, 7});
    std::string expected = NmeaSentence("GPGGA,090507.00,4000.0,N,10500.0,W,1,8,1.2,1600.0,M,-30.4,M,,", "");
    EXPECT_TRUE(listener.Hears(expected)) << listener.heard;
    EXPECT_EQ(listener.heard.find("\r\n", listener.heard.find(expected)), std::string::npos)
        << "the canned text goes without a line end";

    document.SetNmeaOutput(Output(false, false, "$" + body + "*"));
    EXPECT_EQ(ui.timers.back(), "stop 78") << "switched off";
}

TEST_F(NmeaOutputTest, LiveOutputForwardsTheCommonSourcesSentencesAsTheyArriveOnlyWhileOn)
{
    PtyPair commonPty;
    ASSERT_TRUE(commonPty.IsValid());
    CCommonNmeaSource common(settings, ui);
    document.SetLiveNmeaSource(&common.Decoder());
    ConnectListener();
    ui.choose = SerialPort(commonPty.SlavePath());
    ASSERT_TRUE(common.Connect());
    SentenceCounter published;
    ASSERT_TRUE(published.Subscribe(&common.Decoder()));

    document.SetNmeaOutput(Output(true, true));
    EXPECT_THAT(ui.timers, ::testing::Not(::testing::Contains("start 78")));
    const std::string first = NmeaSentence("GPGGA,100000.00,4000.0,N,10500.0,W,1,8,1.2,1600.0,M,-30.4,M,,");
    ASSERT_TRUE(commonPty.Write(std::vector<std::uint8_t>(first.begin(), first.end())));
    EXPECT_TRUE(listener.Hears(first)) << "with its \"$\" and line end: " << listener.heard;

    // Off: the next sentence stays behind; on again: the one after arrives,
    // and nothing between them did.
    document.SetNmeaOutput(Output(false, true));
    const std::string skipped = NmeaSentence("GPZDA,100001.00,08,12,2026,00,00");
    ASSERT_TRUE(commonPty.Write(std::vector<std::uint8_t>(skipped.begin(), skipped.end())));
    ASSERT_TRUE(WaitUntil([&] { return published.count.load() == 2; })) << "decoded while off";
    document.SetNmeaOutput(Output(true, true));
    const std::string third = NmeaSentence("GPGGA,100002.00,4000.0,N,10500.0,W,1,8,1.2,1600.0,M,-30.4,M,,");
    ASSERT_TRUE(commonPty.Write(std::vector<std::uint8_t>(third.begin(), third.end())));
    EXPECT_TRUE(listener.Hears(third)) << listener.heard;
    EXPECT_EQ(listener.heard.find("GPZDA"), std::string::npos) << listener.heard;
    EXPECT_EQ(document.LiveNmeaForwarder().Forwarded(), 2u);

    document.SetLiveNmeaSource(nullptr);
    EXPECT_FALSE(document.LiveNmeaForwarder().IsSubscribed());
}

}  // namespace
