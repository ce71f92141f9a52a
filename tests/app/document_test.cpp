// A test document driven through a scripted user interface, with its ports on
// pseudo-terminals: titles, status texts, the command rules, fake CMR.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "app/document_commands.h"
#include "app/memory_settings_store.h"
#include "app/port_settings.h"
#include "app/tolvar_test_suite_doc.h"
#include "decoders/dc_packet.h"
#include "pty_pair.h"

namespace {

using namespace std::chrono_literals;
namespace Command = DocumentCommand;
using TolvarRT::testing::PtyPair;
using Bytes = std::vector<std::uint8_t>;

class ScriptedUi : public IDocumentUi {
public:
    bool ShowPortSettings(CPortSettings& dialog) override
    {
        captions.push_back(dialog.SettingsPrefix());
        if (!choose)
            return false;
        choose(dialog);
        dialog.Open();
        return true;
    }
    std::vector<std::string> SerialDevices() override { return {}; }
    bool AskYesNo(const std::string& question) override
    {
        questions.push_back(question);
        return answer;
    }
    void ShowInformation(const std::string& text) override { information.push_back(text); }
    std::optional<std::string> AskSaveFileName(const std::string&, const char*, const char*) override
    {
        return saveAs;
    }
    void StartTimer(unsigned id, unsigned) override { timers.push_back("start " + std::to_string(id)); }
    void StopTimer(unsigned id) override { timers.push_back("stop " + std::to_string(id)); }
    void ResetStatisticsViews() override {}
    void SetStatusPane(const std::string& text) override { statusPane = text; }
    void SetMainCaption(const std::string& text) override { caption = text; }
    void SetDocumentTitle(const std::string& text) override { title = text; }

    std::function<void(CPortSettings&)> choose;
    bool answer = false;
    std::optional<std::string> saveAs;
    std::vector<std::string> captions, questions, information, timers;
    std::string statusPane, caption, title;
};

// The serial port at path, as the dialog's user would pick it.
std::function<void(CPortSettings&)> SerialPort(const std::string& path, bool fakeCmr = false)
{
    return [path, fakeCmr](CPortSettings& dialog) {
        dialog.SelectMode(kSerialPortMode);
        dialog.SelectSerialPort(path);
        dialog.fakeCmr = fakeCmr;
    };
}

Bytes Packet(std::uint8_t type, const std::string& text)
{
    const Bytes data(text.begin(), text.end());
    Bytes bytes = {TolvarRT::kPacketStx, 0, type, std::uint8_t(data.size())};
    for (std::uint8_t byte : data)
        bytes.push_back(byte);
    bytes.push_back(TolvarRT::PacketChecksum(0, type, data.data(), std::uint8_t(data.size())));
    bytes.push_back(TolvarRT::kPacketEtx);
    return bytes;
}

// A receiver on the far end of a pseudo-terminal: answers the identity
// request with its identity and every radio command with an acknowledgement.
class SimulatedReceiver {
public:
    SimulatedReceiver(const PtyPair& pty, std::string identity)
        : thread([this, &pty, identity] {
              const Bytes request = Packet(TolvarRT::kPacketIdentityRequest, "");
              Bytes seen;
              while (!stop.load()) {
                  if (!pty.WaitReadable(50ms))
                      continue;
                  const Bytes bytes = pty.ReadSome();
                  seen.insert(seen.end(), bytes.begin(), bytes.end());
                  if (std::search(seen.begin(), seen.end(), request.begin(), request.end()) != seen.end()) {
                      pty.Write(Packet(TolvarRT::kPacketIdentityReply, identity));
                      seen.clear();
                  } else if (seen.size() >= 4 && seen[2] == TolvarRT::kPacketRadioCommand) {
                      pty.Write(Packet(TolvarRT::kPacketRadioCommand, "\xA2"));
                      seen.clear();
                  }
              }
          })
    {
    }
    ~SimulatedReceiver()
    {
        stop.store(true);
        thread.join();
    }

private:
    std::atomic<bool> stop{false};
    std::thread thread;
};

class DocumentTest : public ::testing::Test {
protected:
    CMemorySettingsStore settings;
    ScriptedUi ui;
};

TEST_F(DocumentTest, BeforeAnyConnectionBothSidesAreNotConnected)
{
    CTolvarTestSuiteDoc document(settings, ui);
    EXPECT_EQ(document.TitleText(), "Listener : Not Connected | Source : Not Connected");
    EXPECT_EQ(ui.title, document.TitleText());
    EXPECT_THAT(document.PagePath(), ::testing::MatchesRegex("/TolvarTestSuiteDoc_[0-9][0-9]+"));
    CTolvarTestSuiteDoc second(settings, ui);
    const int first = std::stoi(document.PagePath().substr(20));
    EXPECT_EQ(second.PagePath(), (first + 1 < 10 ? "/TolvarTestSuiteDoc_0" : "/TolvarTestSuiteDoc_") +
                                     std::to_string(first + 1));
    EXPECT_TRUE(document.IsEnabled(Command::kConnectListener));
    EXPECT_FALSE(document.IsEnabled(Command::kDisconnectListener));
    EXPECT_FALSE(document.IsEnabled(Command::kShowRadioState));
    EXPECT_TRUE(document.IsChecked(Command::kUseRtcmDecoder));
    EXPECT_FALSE(document.IsEnabled(Command::kFakeSchedule0));
    EXPECT_FALSE(document.IsEnabled(Command::kConfigureListener));
    EXPECT_TRUE(document.IsEnabled(Command::kNmeaOutputToListener));
}

TEST_F(DocumentTest, CancellingTheDialogOpensNothing)
{
    CTolvarTestSuiteDoc document(settings, ui);
    EXPECT_FALSE(document.ConnectListener());
    EXPECT_FALSE(document.ConnectSource());
    EXPECT_EQ(ui.captions, (std::vector<std::string>{"Listener", "GPS Source"}));
    EXPECT_TRUE(ui.information.empty());
}

TEST_F(DocumentTest, APortThatCannotOpenIsReported)
{
    CTolvarTestSuiteDoc document(settings, ui);
    ui.choose = SerialPort("/dev/no-such-serial-device");
    EXPECT_FALSE(document.ConnectListener());
    EXPECT_THAT(ui.information, ::testing::ElementsAre("Could not open Comm port"));
    EXPECT_EQ(document.ListenerStatus(), "Not Connected");
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

    ASSERT_TRUE(document.Run(Command::kDisconnectListener));
    EXPECT_FALSE(document.IsListenerOpen());
    EXPECT_FALSE(document.HasRadioHandler());
    EXPECT_EQ(document.ListenerStatus(), "Not Connected");
    EXPECT_TRUE(ui.questions.empty()) << "no internal radio piped, no question";
}

TEST_F(DocumentTest, FakeCMRSourceShowsItsSimulationAndObeysTheSVLimits)
{
    PtyPair pty;
    ASSERT_TRUE(pty.IsValid());
    CTolvarTestSuiteDoc document(settings, ui);
    ui.choose = SerialPort(pty.SlavePath(), true);
    ASSERT_TRUE(document.Run(Command::kConnectSource));
    EXPECT_EQ(document.SourceStatus(), pty.SlavePath() + " <Gen Fake>");
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
    EXPECT_FALSE(document.GeneratesFakeCmr());
    EXPECT_FALSE(document.CmrGenerator().IsRunning());
    EXPECT_FALSE(document.IsEnabled(Command::kFakeSchedule0));
    EXPECT_TRUE(document.IsEnabled(Command::kPauseFakeCmrs)) << "pause stays enabled";
}

TEST_F(DocumentTest, TheATSCommandSwitchesBothDecodersTogether)
{
    CTolvarTestSuiteDoc document(settings, ui);
    EXPECT_FALSE(document.IsChecked(Command::kToggleAtsDecoding));
    document.Run(Command::kToggleAtsDecoding);
    EXPECT_TRUE(document.IsChecked(Command::kToggleAtsDecoding));
    document.Run(Command::kToggleAtsDecoding);
    EXPECT_FALSE(document.IsChecked(Command::kToggleAtsDecoding));
    document.Run(Command::kUseRtcmDecoder);
    EXPECT_TRUE(document.IsChecked(Command::kUseRtcmDecoder));
}

TEST_F(DocumentTest, ReceiversWithAnInternalRadioAreKnownByModelAndBySettings)
{
    EXPECT_TRUE(IsReceiverWithInternalRadio("Base,tr-100r,x", settings));
    EXPECT_FALSE(IsReceiverWithInternalRadio("Rover 9", settings));
    settings.WriteText("Settings", "InternalRadioModels", "Rover 9,Other");
    EXPECT_TRUE(IsReceiverWithInternalRadio("Rover 9", settings));
}

TEST_F(DocumentTest, TheStatusPageCarriesTheTitle)
{
    CTolvarTestSuiteDoc document(settings, ui);
    char* page = nullptr;
    std::size_t length = 0;
    std::string header;
    ASSERT_TRUE(document.GetPage("/", "", &page, &length, &header));
    const std::string text(page, length);
    document.FreePage(page);
    EXPECT_NE(text.find("Listener : Not Connected | Source : Not Connected"), std::string::npos);
}

}  // namespace
