// The byte pipe on a scripted port: numbering, stamping, sending, the open
// sequence and its identity retries.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "log_recorder.h"
#include "ports/byte_pipe.h"

namespace TolvarRT {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

struct PortJournal {
    std::vector<std::string> events;
    std::vector<PortBuffer> written;
    PortSettings configured;
    bool refuseOpen = false;
    bool refuseConfigure = false;
    std::string reason;   // what the port says when it refuses
    bool noPort = false;  // no port can be made for the name
};

class ScriptedPort : public CSerialPortInterface {
public:
    ScriptedPort(void* owner, Callback callback, PortJournal* portJournal)
        : CSerialPortInterface(owner, callback, 0, 0), journal(portJournal)
    {
    }
    bool Open(const char* portName) override
    {
        journal->events.push_back(std::string("open ") + portName);
        ClearFailure();
        open = !journal->refuseOpen;
        return open || Fail(journal->reason);
    }
    bool IsOpen() override { return open; }
    bool Configure(const PortSettings& newSettings) override
    {
        journal->configured = newSettings;
        settings = newSettings;
        ClearFailure();
        return !journal->refuseConfigure || Fail(journal->reason);
    }
    bool Close() override
    {
        if (!open)
            return false;
        journal->events.push_back("close");
        open = false;
        return true;
    }
    void StartThread() override { journal->events.push_back("thread"); }
    void Purge(unsigned) override {}
    void QueueWrite(OwnedPortBuffer buffer) override { journal->written.push_back(*buffer); }
    void QueueWriteFirst(OwnedPortBuffer buffer) override { QueueWrite(std::move(buffer)); }
    void SendBreak(unsigned milliseconds) override
    {
        journal->events.push_back("break " + std::to_string(milliseconds));
    }

    // What the reader thread would do with a chunk.
    void Read(const std::vector<std::uint8_t>& chunk) { Deliver(chunk.data(), std::uint32_t(chunk.size())); }

    PortJournal* journal;
    bool open = false;
};

class ScriptedBytePipe : public CBytePipeSubscription {
public:
    using CBytePipeSubscription::CBytePipeSubscription;
    // The port writes into the journal, which goes before the base does.
    ~ScriptedBytePipe() override { ClosePort(); }
    ScriptedPort* Port() { return lastPort; }

    PortJournal journal;
    int identityRequests = 0;
    int identityAnswersOn = 0;  // the request that gets an answer (0: never)

protected:
    std::unique_ptr<CSerialPortInterface> CreatePort(const std::string&) override
    {
        if (journal.noPort)
            return nullptr;
        auto created = std::make_unique<ScriptedPort>(
            this,
            [](void* owner, const std::uint8_t* data, std::uint32_t length) {
                static_cast<ScriptedBytePipe*>(owner)->PublishBytes(data, length);
            },
            &journal);
        lastPort = created.get();
        return created;
    }
    void ForgetIdentity() override { journal.events.push_back("forget id"); }
    bool RequestIdentityAndWait() override { return ++identityRequests == identityAnswersOn; }

private:
    ScriptedPort* lastPort = nullptr;
};

struct Chunk {
    std::vector<std::uint8_t> bytes;
    std::uint32_t firstIndex;
    TimeStamp timeStamp;
};

class RecordingDecoder : public CBytePipeSubscriber {
public:
    int OnBytes(const std::uint8_t* data, std::uint32_t length, std::uint32_t firstIndex,
                const TimeStamp& timeStamp) override
    {
        chunks.push_back({std::vector<std::uint8_t>(data, data + length), firstIndex, timeStamp});
        return 0;
    }
    bool Echo(const std::vector<std::uint8_t>& bytes)
    {
        std::lock_guard<std::recursive_mutex> guard(sharedLock);
        return SendBytes(bytes.data(), std::uint32_t(bytes.size()));
    }
    std::vector<Chunk> chunks;
};

using testing::LogRecorder;

class BytePipeTest : public ::testing::Test {
protected:
    BytePipeTest() : pipe(&logPipe) { logRecorder.Subscribe(&logPipe); }
    ~BytePipeTest() override { logRecorder.Unsubscribe(); }

    CLogPipe logPipe;
    LogRecorder logRecorder;
    ScriptedBytePipe pipe;
};

TEST_F(BytePipeTest, ChunksAreNumberedFromZeroAcrossPortsAndStampedOncePerChunk)
{
    RecordingDecoder first, second;
    first.Subscribe(&pipe);
    second.Subscribe(&pipe);
    ASSERT_TRUE(pipe.OpenPort({"COM1", 38400, 0, 0, 0}));
    pipe.Port()->Read(std::vector<std::uint8_t>(10, 0xAA));
    pipe.Port()->Read(std::vector<std::uint8_t>(5, 0x55));
    pipe.PublishBytes(nullptr, 0);  // ignored
    // A previous port is closed before the next opens; the index runs on.
    pipe.journal.events.clear();
    ASSERT_TRUE(pipe.OpenPort({"COM2", 9600, 0, 0, 0}));
    EXPECT_THAT(pipe.journal.events, ElementsAre("close", "open COM2", "forget id", "thread"));
    pipe.Port()->Read({4});
    ASSERT_EQ(first.chunks.size(), 3u);
    EXPECT_EQ(first.chunks[0].firstIndex, 0u);
    EXPECT_EQ(first.chunks[1].firstIndex, 10u);
    EXPECT_EQ(first.chunks[1].bytes.size(), 5u);
    EXPECT_EQ(first.chunks[2].firstIndex, 15u);
    // Every decoder sees the same stamp for one chunk.
    ASSERT_EQ(second.chunks.size(), 3u);
    EXPECT_EQ(first.chunks[0].timeStamp, second.chunks[0].timeStamp);
    EXPECT_LE(first.chunks[0].timeStamp, first.chunks[1].timeStamp);
}

TEST_F(BytePipeTest, OpeningConfiguresEightDataBitsOneStopBitAndLogs)
{
    ASSERT_TRUE(pipe.OpenPort({"ttyUSB0", 115200, 2, 0, 1}));
    EXPECT_EQ(pipe.journal.configured.baudRate, 115200u);
    EXPECT_EQ(pipe.journal.configured.parity, 2);
    EXPECT_EQ(pipe.journal.configured.byteSize, 8);
    EXPECT_EQ(pipe.journal.configured.stopBits, 0);
    EXPECT_EQ(pipe.journal.configured.flowControl, 1u);
    EXPECT_EQ(pipe.journal.configured.readTimeout, 4000u);
    EXPECT_THAT(pipe.journal.events, ElementsAre("open ttyUSB0", "forget id", "thread"));
    EXPECT_THAT(logRecorder.Lines(), ElementsAre("Open ttyUSB0, 115200,8E1", " Thread Started"));
    EXPECT_TRUE(pipe.IsPortOpen());
}

TEST_F(BytePipeTest, FailuresToOpenOrConfigureAreSilentLeaveThePortClosedAndKeepThePortsReason)
{
    pipe.journal.refuseOpen = true;
    pipe.journal.reason = "Permission denied";
    EXPECT_FALSE(pipe.OpenPort({"COM3", 9600, 1, 0, 0}));
    EXPECT_FALSE(pipe.IsPortOpen());
    EXPECT_EQ(pipe.OpenFailure(), "Permission denied");

    pipe.journal.refuseOpen = false;
    pipe.journal.refuseConfigure = true;
    pipe.journal.reason = "the device does not take 12345 baud";
    EXPECT_FALSE(pipe.OpenPort({"COM3", 12345, 1, 0, 0}));
    EXPECT_FALSE(pipe.IsPortOpen());
    EXPECT_EQ(pipe.OpenFailure(), "the device does not take 12345 baud");

    pipe.journal.reason.clear();
    EXPECT_FALSE(pipe.OpenPort({"COM3", 9600, 1, 0, 0}));
    EXPECT_EQ(pipe.OpenFailure(), "cannot be opened") << "a port that does not say why";

    pipe.journal.noPort = true;
    EXPECT_FALSE(pipe.OpenPort({"CAN0", 9600, 1, 0, 0}));
    EXPECT_EQ(pipe.OpenFailure(), "unknown port type");
    EXPECT_TRUE(logRecorder.Lines().empty());

    pipe.journal.noPort = pipe.journal.refuseConfigure = false;
    EXPECT_TRUE(pipe.OpenPort({"COM3", 9600, 1, 0, 0}));
    EXPECT_EQ(pipe.OpenFailure(), "");
}

TEST(BytePipeRealPortTest, PassesTheDevicesReasonOn)
{
    CBytePipeSubscription pipe;
    EXPECT_FALSE(pipe.OpenPort({"/nonexistent/ttyUSB0", 9600, 0, 0, 0}));
    EXPECT_EQ(pipe.OpenFailure(), "No such file or directory");
    EXPECT_FALSE(pipe.OpenPort({"tcp:127.0.0.1:0", 9600, 0, 0, 0}));
    EXPECT_EQ(pipe.OpenFailure(), "the port is not a number from 1 to 65535");
}

TEST_F(BytePipeTest, SendCopiesIntoThePortOnlyWhileOpen)
{
    RecordingDecoder decoder;
    decoder.Subscribe(&pipe);
    EXPECT_FALSE(decoder.Echo({1, 2}));
    EXPECT_FALSE(pipe.SendBreak(300));
    pipe.OpenPort({"COM1", 9600, 0, 0, 0});
    EXPECT_TRUE(decoder.Echo({1, 2}));
    EXPECT_THAT(pipe.journal.written, ElementsAre(PortBuffer{1, 2}));
    EXPECT_TRUE(pipe.SendBreak(300));
    EXPECT_TRUE(pipe.ClosePort());
    EXPECT_FALSE(pipe.ClosePort());
    EXPECT_FALSE(decoder.Echo({3}));
    EXPECT_EQ(pipe.journal.written.size(), 1u);
    EXPECT_EQ(pipe.MarkLost(0, 5), 0);
}

TEST_F(BytePipeTest, IdentityIsAskedUpToTheNumberOfTries)
{
    pipe.OpenPort({"COM1", 9600, 0, 0, 0});
    EXPECT_EQ(pipe.identityRequests, 0);

    pipe.OpenPort({"COM1", 9600, 0, 3, 0});
    EXPECT_EQ(pipe.identityRequests, 3);
    EXPECT_EQ(logRecorder.Count("Waiting for id"), 2u);

    pipe.identityRequests = 0;
    pipe.identityAnswersOn = 2;
    logRecorder.Clear();
    pipe.OpenPort({"COM1", 9600, 0, 3, 0});
    EXPECT_EQ(pipe.identityRequests, 2);
    EXPECT_EQ(logRecorder.Count("Waiting for id"), 1u);
}

TEST_F(BytePipeTest, DestroyingThePipeClosesThePortThenLetsTheDecodersGo)
{
    RecordingDecoder decoder;
    {
        ScriptedBytePipe local;
        decoder.Subscribe(&local);
        local.OpenPort({"COM1", 9600, 0, 0, 0});
    }
    EXPECT_FALSE(decoder.IsSubscribed());
}

// Claims the bytes equal to its letter and reports every other one lost;
// the late one reports a chunk's losses only when the next chunk comes, as a
// decoder holding a frame's start does.
class LetterDecoder : public CBytePipeSubscriber {
public:
    LetterDecoder(std::uint8_t claimed, bool late) : letter(claimed), reportsLate(late) {}
    ~LetterDecoder() override { Unsubscribe(); }
    int OnBytes(const std::uint8_t* data, std::uint32_t length, std::uint32_t firstIndex, const TimeStamp&) override
    {
        for (auto [index, count] : held)
            MarkLostBytes(index, count);
        held.clear();
        for (std::uint32_t i = 0; i < length; ++i) {
            if (data[i] == letter)
                continue;
            if (reportsLate)
                held.emplace_back(firstIndex + i, 1u);
            else
                MarkLostBytes(firstIndex + i, 1);
        }
        return 0;
    }

private:
    const std::uint8_t letter;
    const bool reportsLate;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> held;
};

class Recorder : public RecordingDecoder {
public:
    bool ReportsUnusedBytes() const override { return false; }
};

TEST_F(BytePipeTest, BytesAreRejectedOnlyWhenEveryDecoderReportedThemLostAndARecorderHasNoSay)
{
    LetterDecoder a('A', false), b('B', true);
    Recorder recorder;
    a.Subscribe(&pipe);
    b.Subscribe(&pipe);
    recorder.Subscribe(&pipe);
    std::vector<std::pair<std::uint64_t, TimeStamp>> told;
    pipe.SetRejectedBytesSink([&](std::uint64_t bytes, TimeStamp time) { told.emplace_back(bytes, time); });

    const std::string first = "AAxBB";  // two protocols and one byte of noise
    const std::string second = "yyBA";
    pipe.PublishStampedBytes(reinterpret_cast<const std::uint8_t*>(first.data()), 5, 100);
    EXPECT_EQ(pipe.RejectedBytes(), 0u) << "B has not reported yet";
    pipe.PublishStampedBytes(reinterpret_cast<const std::uint8_t*>(second.data()), 4, 200);
    EXPECT_EQ(pipe.RejectedBytes(), 1u) << "the x, once B reported it with the next chunk";
    pipe.PublishStampedBytes(reinterpret_cast<const std::uint8_t*>("B"), 1, 300);
    EXPECT_EQ(pipe.RejectedBytes(), 3u) << "and the two y";
    // One report a byte, each with the chunk that was being delivered.
    using Told = std::pair<std::uint64_t, TimeStamp>;
    EXPECT_THAT(told, ElementsAre(Told{1, 200}, Told{1, 300}, Told{1, 300}));

    pipe.SetRejectedBytesSink(nullptr);
    pipe.PublishStampedBytes(reinterpret_cast<const std::uint8_t*>("zz"), 2, 400);
    pipe.PublishStampedBytes(reinterpret_cast<const std::uint8_t*>("A"), 1, 500);
    EXPECT_EQ(pipe.RejectedBytes(), 5u) << "counted without a sink";
    EXPECT_EQ(told.size(), 3u);
    pipe.PublishStampedBytes(reinterpret_cast<const std::uint8_t*>("\r\n"), 2, 600);
    pipe.PublishStampedBytes(reinterpret_cast<const std::uint8_t*>("A"), 1, 700);
    EXPECT_EQ(pipe.RejectedBytes(), 5u) << "line ends between sentences are no damage";
}

}  // namespace
}  // namespace TolvarRT
