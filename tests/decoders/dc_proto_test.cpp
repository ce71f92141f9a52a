// The protocol endpoint with a scripted device behind it: identity requests,
// answers arriving on another thread, detection at 9600 baud, pipe requests.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "decoders/dc_proto.h"
#include "log_recorder.h"
#include "packet_bytes.h"
#include "wait_until.h"

namespace TolvarRT {
namespace {

using Bytes = std::vector<std::uint8_t>;

using testing::TextPacket;

// A device that answers identity requests (and breaks, when asked to) from
// its own thread, as a real port's reader thread delivers.
class ScriptedDevice : public CSerialPortInterface {
public:
    ScriptedDevice(void* owner, Callback callback, std::string identity, bool answerBreak)
        : CSerialPortInterface(owner, callback, 0, 0), identityText(std::move(identity)), answersBreak(answerBreak)
    {
    }
    ~ScriptedDevice() override { Close(); }

    bool Open(const char*) override { return open = true; }
    bool IsOpen() override { return open; }
    bool Configure(const PortSettings& newSettings) override
    {
        std::lock_guard<std::mutex> guard(journalLock);
        settings = newSettings;
        baudRates.push_back(newSettings.baudRate);
        return true;
    }
    bool Close() override
    {
        for (std::thread& answer : answers)
            if (answer.joinable())
                answer.join();
        const bool wasOpen = open;
        open = false;
        return wasOpen;
    }
    void StartThread() override {}
    void Purge(unsigned) override {}
    void QueueWrite(OwnedPortBuffer buffer) override
    {
        {
            std::lock_guard<std::mutex> guard(journalLock);
            written.push_back(*buffer);
        }
        if (*buffer == TextPacket(kPacketIdentityRequest, "") && !identityText.empty())
            AnswerLater();
    }
    void QueueWriteFirst(OwnedPortBuffer buffer) override { QueueWrite(std::move(buffer)); }
    void SendBreak(unsigned) override
    {
        if (answersBreak)
            AnswerLater();
    }

    std::vector<Bytes> Written()
    {
        std::lock_guard<std::mutex> guard(journalLock);
        return written;
    }
    std::vector<std::uint32_t> BaudRates()
    {
        std::lock_guard<std::mutex> guard(journalLock);
        return baudRates;
    }

private:
    void AnswerLater()
    {
        answers.emplace_back([this] {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            const Bytes reply = TextPacket(kPacketIdentityReply, identityText);
            // Cut in two, as a port would.
            Deliver(reply.data(), 5);
            Deliver(reply.data() + 5, std::uint32_t(reply.size() - 5));
        });
    }

    std::string identityText;
    bool answersBreak;
    bool open = false;
    std::mutex journalLock;
    std::vector<Bytes> written;
    std::vector<std::uint32_t> baudRates;
    std::vector<std::thread> answers;
};

class ScriptedEndpoint : public CDCProto {
public:
    ScriptedEndpoint(CLogPipe* logPipe, std::string identity, bool answerBreak = false)
        : CDCProto(logPipe), identityText(std::move(identity)), answersBreak(answerBreak)
    {
    }
    ~ScriptedEndpoint() override { ClosePort(); }
    ScriptedDevice* Device() { return device; }

protected:
    std::unique_ptr<CSerialPortInterface> CreatePort(const std::string&) override
    {
        auto created = std::make_unique<ScriptedDevice>(
            this,
            [](void* owner, const std::uint8_t* data, std::uint32_t length) {
                static_cast<ScriptedEndpoint*>(owner)->PublishBytes(data, length);
            },
            identityText, answersBreak);
        device = created.get();
        return created;
    }

private:
    std::string identityText;
    bool answersBreak;
    ScriptedDevice* device = nullptr;
};

const char* const kRadioIdentity = "PRODUCT,Radio 450,UHF;PORT,2,3,4,8,1,N,1;VERSION,1.2,a,b,c;";

class DCProtoTest : public ::testing::Test {
protected:
    CLogPipe logPipe;
    testing::LogRecorder lines{&logPipe};
};

TEST_F(DCProtoTest, OpeningAsksForTheIdentityAndParsesTheAnswer)
{
    ScriptedEndpoint endpoint(&logPipe, kRadioIdentity);
    ASSERT_TRUE(endpoint.OpenPort({"COM1", 38400, 0, 3, 0}));
    const sDeviceIdentity identity = endpoint.Identity();
    EXPECT_EQ(identity.productName, "Radio 450");
    EXPECT_EQ(identity.portIndex, 2u);
    EXPECT_TRUE(identity.flowFlag);
    EXPECT_EQ(endpoint.Device()->Written().size(), 1u) << "one request was enough";
    EXPECT_THAT(lines.Lines(), ::testing::Contains(std::string("Received Id String\r\n\t") + kRadioIdentity + "\r\n"));
    EXPECT_THAT(lines.Lines(), ::testing::Contains("Requesting ID"));
}

TEST_F(DCProtoTest, ASilentDeviceCostsItsTriesAndStillOpens)
{
    ScriptedEndpoint endpoint(&logPipe, "");
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(endpoint.OpenPort({"COM1", 38400, 0, 2, 0}));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2400));
    EXPECT_EQ(endpoint.Device()->Written().size(), 2u);
    EXPECT_EQ(lines.Count("Waiting for id"), 1u);
    EXPECT_TRUE(endpoint.Identity().productName.empty());
}

// The probe of a connection: the tries stop at the first answer; a silent
// device costs them all, unless the run ends, which ends the probe at once
// and asks nothing more.
TEST_F(DCProtoTest, AProbeStopsAtTheAnswerAndACancelEndsItAtOnce)
{
    ScriptedEndpoint answering(&logPipe, kRadioIdentity);
    ASSERT_TRUE(answering.OpenPort({"COM1", 38400, 0, 0, 0}));
    EXPECT_TRUE(answering.ProbeIdentity(3));
    EXPECT_EQ(answering.Device()->Written().size(), 1u);

    ScriptedEndpoint silent(&logPipe, "");
    ASSERT_TRUE(silent.OpenPort({"COM1", 38400, 0, 0, 0}));
    std::thread cancel([&] {
        ASSERT_TRUE(testing::WaitUntil([&] { return silent.Device()->Written().size() == 1; }));
        silent.CancelWaits();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(silent.ProbeIdentity(3));
    cancel.join();
    // Three tries sat out take four seconds.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(3000));
    EXPECT_EQ(silent.Device()->Written().size(), 1u) << "no try after the cancel";
    EXPECT_FALSE(silent.ProbeIdentity(3));
    EXPECT_TRUE(silent.WaitForIdentity(true).productName.empty());
    EXPECT_EQ(silent.Device()->Written().size(), 1u) << "and none later";
}

TEST_F(DCProtoTest, WaitForIdentityWithoutARequestReturnsWhatIsKnown)
{
    ScriptedEndpoint endpoint(&logPipe, kRadioIdentity);
    endpoint.OpenPort({"COM1", 38400, 0, 1, 0});
    EXPECT_EQ(endpoint.WaitForIdentity(false).productName, "Radio 450");
    EXPECT_EQ(endpoint.Device()->Written().size(), 1u);
    // Reopening forgets the previous device.
    endpoint.OpenPort({"COM1", 38400, 0, 0, 0});
    EXPECT_TRUE(endpoint.Identity().productName.empty());
}

TEST_F(DCProtoTest, DetectionProbesAt9600AndRestoresTheSettings)
{
    ScriptedEndpoint endpoint(&logPipe, kRadioIdentity, true);
    endpoint.OpenPort({"COM1", 115200, 0, 0, 0});
    EXPECT_TRUE(endpoint.DetectIdentity(false, false));
    EXPECT_THAT(endpoint.Device()->BaudRates(), ::testing::ElementsAre(115200u, 9600u, 115200u));
    EXPECT_EQ(endpoint.Identity().productName, "Radio 450");
    EXPECT_EQ(lines.Count(" Configuring Port @ 9600, 8,N,1"), 1u);
    EXPECT_EQ(lines.Count("Returning port to original settings."), 1u);

    // Kept at 9600 when asked to and the device answered; with its flow flag
    // set and a second request wanted, it is asked twice more.
    EXPECT_TRUE(endpoint.DetectIdentity(true, true));
    EXPECT_EQ(endpoint.CurrentSettings().baudRate, 9600u);
    EXPECT_EQ(endpoint.Device()->Written().size(), 2u);
}

TEST_F(DCProtoTest, DetectionWithoutAnswerGoesBackToTheOriginalSettings)
{
    ScriptedEndpoint endpoint(&logPipe, kRadioIdentity, false);
    EXPECT_FALSE(endpoint.DetectIdentity(true, false)) << "no port";
    endpoint.OpenPort({"COM1", 57600, 0, 0, 0});
    EXPECT_FALSE(endpoint.DetectIdentity(true, false));
    EXPECT_EQ(endpoint.CurrentSettings().baudRate, 57600u);
}

TEST_F(DCProtoTest, PipeRequestsNameTheNextPort)
{
    ScriptedEndpoint endpoint(&logPipe, kRadioIdentity);
    endpoint.OpenPort({"COM1", 38400, 0, 1, 0});
    EXPECT_TRUE(endpoint.OpenPipe(true));
    const std::vector<Bytes> written = endpoint.Device()->Written();
    ASSERT_EQ(written.size(), 2u);
    // STX, status 0, type 0x84, 2 data bytes (from port 4 to port 3, each
    // with 0x80 set for the 77/99 filter), checksum, ETX; the checksum is
    // the low byte of 0x00 + 0x84 + 0x02 + 0x84 + 0x83 = 0x18D.
    EXPECT_EQ(written[1], Bytes({0x02, 0x00, 0x84, 0x02, 0x84, 0x83, 0x8D, 0x03}));
    EXPECT_EQ(lines.Count("Piping 77/99 radio output from port 4 to port 3"), 1u);

    EXPECT_TRUE(endpoint.OpenPipe(false));
    // Unfiltered, the same ports without 0x80: 0x84 + 0x02 + 0x04 + 0x03 = 0x8D.
    EXPECT_EQ(endpoint.Device()->Written()[2], Bytes({0x02, 0x00, 0x84, 0x02, 0x04, 0x03, 0x8D, 0x03}));
    EXPECT_EQ(lines.Count("Opened Pipe to Radio 450"), 1u);
}

}  // namespace
}  // namespace TolvarRT
