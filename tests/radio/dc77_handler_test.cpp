// The radio command handler on a packet parser: commands out, reply packets in
// from another thread while a command waits, and what the replies leave behind.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "case_name.h"
#include "decoders/data_collector_parser.h"
#include "fake_byte_pipe.h"
#include "log_recorder.h"
#include "packet_bytes.h"
#include "radio/dc77_handler.h"

namespace TolvarRT {
namespace {

using Bytes = std::vector<std::uint8_t>;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr unsigned kLongWait = 10000;  // ms; replies come well before on any machine

using testing::Packet;

Bytes Concat(Bytes head, const std::string& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

// A byte pipe whose sent packets another thread can wait for.
class SendingPipe : public testing::FakeBytePipe {
public:
    bool Send(const std::uint8_t* data, std::uint32_t length) override
    {
        {
            std::lock_guard<std::mutex> guard(mutex);
            if (!portOpen)
                return false;
            packets.emplace_back(data, data + length);
        }
        changed.notify_all();
        return true;
    }
    bool WaitForPackets(std::size_t count)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(20), [&] { return packets.size() >= count; });
    }
    std::vector<Bytes> Packets()
    {
        std::lock_guard<std::mutex> guard(mutex);
        return packets;
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Bytes> packets;
};

// The handler's log texts without their time prefix.
class EventRecorder : public TSubscriber<IRadioEvents> {
public:
    ~EventRecorder() override { Unsubscribe(); }
    void OnRadioEvent(std::uint8_t code, const char* name, const char* value) override
    {
        std::lock_guard<std::mutex> guard(mutex);
        events.emplace_back(code, name, value);
    }
    std::vector<std::tuple<int, std::string, std::string>> events;
    std::mutex mutex;
};

class PipeRecorder : public TSubscriber<IPipeOut> {
public:
    ~PipeRecorder() override { Unsubscribe(); }
    void OnPipeData(std::uint32_t pipeId, const std::uint8_t* data, std::uint8_t length) override
    {
        std::lock_guard<std::mutex> guard(mutex);
        outputs.emplace_back(pipeId, Bytes(data, data + length));
    }
    std::vector<std::pair<std::uint32_t, Bytes>> outputs;
    std::mutex mutex;
};

class RadioHandlerTest : public ::testing::Test {
protected:
    RadioHandlerTest()
    {
        lines.Subscribe(&logPipe);
        logPipe.RaiseSinkLevel();
        parser.Subscribe(&pipe);
        handler.Subscribe(&parser);
    }
    ~RadioHandlerTest() override
    {
        handler.Unsubscribe();
        parser.Unsubscribe();
    }

    // Feeds one radio reply packet, as the port's reader thread does.
    void Reply(const Bytes& data) { pipe.Feed(Packet(kPacketRadioCommand, data)); }

    // Runs command while another thread answers the next commands it sends,
    // each with its own list of replies.
    template <class Command>
    auto Answered(std::vector<std::vector<Bytes>> answers, Command&& command)
    {
        const std::size_t sentBefore = pipe.Packets().size();
        std::thread reader([this, answers, sentBefore] {
            for (std::size_t i = 0; i < answers.size(); ++i) {
                if (!pipe.WaitForPackets(sentBefore + i + 1))
                    return;
                for (const Bytes& reply : answers[i])
                    Reply(reply);
            }
        });
        auto result = command();
        reader.join();
        return result;
    }

    Bytes LastCommand()
    {
        const std::vector<Bytes> packets = pipe.Packets();
        if (packets.empty())
            return {};
        const Bytes& packet = packets.back();
        return Bytes(packet.begin() + 4, packet.end() - 2);
    }

    CLogPipe logPipe;
    testing::LogRecorder lines;
    CLogNode parserLog;  // the parser's own lines are not under test here
    SendingPipe pipe;
    CDataCollectorParser parser{parserLog};
    CDC77Handler handler{&logPipe};
};

TEST_F(RadioHandlerTest, SendsTheSubCommandAndItsDataInOneRadioPacket)
{
    const Bytes data = {0x00, 0x01, 0x01};
    EXPECT_EQ(handler.SendRadioCommand(0x57, data.data(), 3, false), kRadioSentNoWait);
    ASSERT_EQ(pipe.Packets().size(), 1u);
    EXPECT_EQ(pipe.Packets()[0], Packet(0x77, {0x57, 0x00, 0x01, 0x01}));
    EXPECT_THAT(lines.Lines(),
                ElementsAre("Sending Radio Commmand 77 57 Length 4", "\r\n Commmand 77 Data = [00 01 01 ]"));
}

TEST_F(RadioHandlerTest, ReportsNoSenderAndSendFailureWithoutWaiting)
{
    pipe.portOpen = false;
    EXPECT_EQ(handler.SendRadioCommand(0x57, nullptr, 0, true, 0, kLongWait), kRadioSentNoWait);
    handler.Unsubscribe();
    EXPECT_EQ(handler.SendRadioCommand(0x57, nullptr, 0, true), kRadioNoSender);
    EXPECT_THAT(pipe.Packets(), IsEmpty());
    EXPECT_EQ(lines.Lines().size(), 1u);  // the attempt that reached the port
}

TEST_F(RadioHandlerTest, TimesOutWithoutAReply)
{
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(handler.SendRadioCommand(0x57, nullptr, 0, true, 0, 100), kRadioTimedOut);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
}

// The run being ended: a command waiting for a silent radio stops waiting,
// and the next one, which would wait for the first one's owed reply and then
// for its own, does not wait at all.
TEST_F(RadioHandlerTest, CancelledWaitsEndAtOnceAndLaterCommandsDoNotWait)
{
    std::thread cancel([&] {
        ASSERT_TRUE(pipe.WaitForPackets(1));
        handler.CancelWaits();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(handler.SendRadioCommand(0x57, nullptr, 0, true, 0, kLongWait), kRadioTimedOut);
    cancel.join();
    EXPECT_EQ(handler.SendRadioCommand(0x57, nullptr, 0, true, 0, kLongWait), kRadioTimedOut);
    // Either wait sat out would take ten seconds.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(kLongWait));
    EXPECT_EQ(pipe.Packets().size(), 2u) << "the commands still go out";
}

TEST_F(RadioHandlerTest, EveryReplyCodeThatEndsAWaitIsReturned)
{
    for (std::uint8_t code : {0xA1, 0xA2, 0xA8, 0xA9}) {
        EXPECT_EQ(Answered({{{code}}}, [&] { return handler.SendRadioCommand(0x57, nullptr, 0, true, 0, kLongWait); }),
                  code);
    }
    EXPECT_EQ(
        Answered({{{0xA0, 0x57}}}, [&] { return handler.SendRadioCommand(0x57, nullptr, 0, true, 0, kLongWait); }),
        0xA0);
}

TEST_F(RadioHandlerTest, AReplyThatArrivesBeforeTheSendReturnsStillEndsTheWait)
{
    class InstantPipe : public SendingPipe {
    public:
        bool Send(const std::uint8_t* data, std::uint32_t length) override
        {
            SendingPipe::Send(data, length);
            const std::uint8_t ack[] = {0xA2};
            radio->OnPacket(kPacketRadioCommand, ack, 1, 0, TimeStamp(0));
            return true;
        }
        CDC77Handler* radio = nullptr;
    } instant;
    CDataCollectorParser quickParser{parserLog};
    CDC77Handler quickHandler;
    instant.radio = &quickHandler;
    quickParser.Subscribe(&instant);
    quickHandler.Subscribe(&quickParser);
    EXPECT_TRUE(quickHandler.RadioOn(true));
    quickHandler.Unsubscribe();
    quickParser.Unsubscribe();
}

struct OtherReplyCase {
    const char* what;
    std::uint8_t sub;
    std::uint8_t expectedSecond;
    Bytes reply;  // must not end the wait for sub
};

class RepliesThatDoNotEndTheWait : public RadioHandlerTest, public ::testing::WithParamInterface<OtherReplyCase> {};

// The closing 0xA9 shows the reply before it did not end the wait.
TEST_P(RepliesThatDoNotEndTheWait, LeaveTheCommandWaitingForItsOwnReply)
{
    const OtherReplyCase& c = GetParam();
    const std::uint32_t secondsBefore = handler.RadioSeconds();
    const int result = Answered({{c.reply, {0xA9}}}, [&] {
        return handler.SendRadioCommand(c.sub, nullptr, 0, true, c.expectedSecond, kLongWait);
    });
    EXPECT_EQ(result, 0xA9) << c.what;
    EXPECT_EQ(handler.RadioSeconds(), secondsBefore) << c.what;
}

Bytes NamedReport(std::uint8_t kind, std::uint32_t seconds, const std::string& name)
{
    Bytes report = {0xA0,
                    0x60,
                    kind,
                    std::uint8_t(seconds >> 24),
                    std::uint8_t(seconds >> 16),
                    std::uint8_t(seconds >> 8),
                    std::uint8_t(seconds)};
    report = Concat(report, name);
    report.resize(2 + 21, ' ');
    return report;
}

Bytes WithoutLastByte(Bytes bytes)
{
    bytes.pop_back();
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Replies, RepliesThatDoNotEndTheWait,
    ::testing::Values(OtherReplyCase{"data reply for another sub-command", 0x65, 0, {0xA0, 0x2E, 0x01}},
                      OtherReplyCase{"wrong byte after the echo", 0x66, 4, {0xA0, 0x66, 3, 1, 1}},
                      OtherReplyCase{"not a reply code", 0x57, 0, {'@', 0x57}},
                      OtherReplyCase{"empty radio packet", 0x57, 0, {}},
                      OtherReplyCase{"pipe data without its header", 0x62, 0, {0xA0, 0x62, 'P', 'A', 'B', 'C', 'D', 1}},
                      OtherReplyCase{"identity reply not asked for", 0x31, 0, Concat({0xA0}, "PRODUCT,R,1;")}),
    testing::CaseName<OtherReplyCase>);

// Delivers a reply from a buffer of exactly its size, so that the address
// checker sees any read past its end.
void DeliverExact(CDC77Handler& handler, const Bytes& reply)
{
    const std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[reply.size()]);
    std::copy(reply.begin(), reply.end(), exact.get());
    handler.OnPacket(kPacketRadioCommand, exact.get(), std::uint8_t(reply.size()), 0, TimeStamp(0));
}

TEST_F(RadioHandlerTest, ShortRepliesReadNothingPastTheirEndAndEndNoWait)
{
    std::vector<Bytes> replies = {
        {},
        {0xA0},
        {0xA0, 0x57},  // waited for with a byte after the echo
        {0xA0, 0x28, 1},
        {0xA0, 0x2E},
        {0xA0, 0x62},
        {0xA0, 0x62, 'P', 1, 2, 3, 4, 5},
        {0xA0, 0x66},
    };
    // Each Bluetooth reply one byte shorter than its operation needs.
    const unsigned shortest[13] = {0, 3, 3, 3, 3, 8, 7, 7, 10, 3, 2, 2, 4};
    for (std::uint8_t op = 1; op <= 12; ++op) {
        Bytes reply = {0xA0, 0x66, op};
        reply.resize(2 + shortest[op] - 1, 1);
        replies.push_back(reply);
    }
    EventRecorder events;
    events.Subscribe(&handler);
    for (const Bytes& reply : replies) {
        const std::uint8_t sub = reply.size() >= 2 ? reply[1] : 0x57;
        const std::uint8_t second = reply.size() >= 3 ? reply[2] : 1;
        const std::size_t sentBefore = pipe.Packets().size();
        int result = 0;
        std::thread waiting([&] { result = handler.SendRadioCommand(sub, nullptr, 0, true, second, kLongWait); });
        ASSERT_TRUE(pipe.WaitForPackets(sentBefore + 1));
        DeliverExact(handler, reply);
        DeliverExact(handler, {0xA9});
        waiting.join();
        EXPECT_EQ(result, 0xA9) << ::testing::PrintToString(reply);
    }
    EXPECT_EQ(handler.BluetoothReply().btOp, 0);
    EXPECT_THAT(events.events, IsEmpty());
    EXPECT_EQ(handler.RadioSeconds(), 0u);
}

// The radio answers the report command with the report alone: even a short
// one ends the wait, without a code, and is logged as malformed.
TEST_F(RadioHandlerTest, ShortEventReportsEndTheWaitAsMalformed)
{
    const std::vector<Bytes> replies = {
        {0xA0, 0x60},
        {0xA0, 0x60, 0, 0, 0, 9},
        {0xA0, 0x60, 3, 0, 0, 0, 1, 'a'},
        WithoutLastByte(NamedReport(2, 9, "x")),
    };
    EventRecorder events;
    events.Subscribe(&handler);
    for (const Bytes& reply : replies) {
        const std::size_t sentBefore = pipe.Packets().size();
        bool reported = true;
        std::thread waiting([&] { reported = handler.RequestReport(reply.size() > 2 ? reply[2] : 0, true); });
        ASSERT_TRUE(pipe.WaitForPackets(sentBefore + 1));
        DeliverExact(handler, reply);
        waiting.join();
        EXPECT_FALSE(reported) << ::testing::PrintToString(reply);
        const std::string malformed = "Malformed radio event report, " + std::to_string(reply.size() - 2) + " bytes";
        const std::vector<std::string> logged = lines.Lines();
        EXPECT_EQ(std::count(logged.begin(), logged.end(), malformed), 1) << ::testing::PrintToString(reply);
    }
    EXPECT_THAT(events.events, IsEmpty());
    EXPECT_EQ(handler.RadioSeconds(), 0u);

    // A short report of another command's wait still leaves it waiting.
    const int result = Answered({{{0xA0, 0x60, 0}, {0xA9}}},
                                [&] { return handler.SendRadioCommand(0x57, nullptr, 0, true, 0, kLongWait); });
    EXPECT_EQ(result, 0xA9);
}

// ---- State rendering -------------------------------------------------------

sRadioStateRecord Record(const Bytes& items)
{
    sRadioStateRecord record;
    record.valid = 1;
    record.length = std::uint16_t(items.size());
    std::copy(items.begin(), items.end(), record.items);
    return record;
}

TEST(RadioStateTextTest, RendersEventsBeforeParameters)
{
    const Bytes items = {0x20, 0x01, 0xFF, 0xF6, 0x00, 0x14, 0x40, 0x01, 0, 0, 0, 7};
    EXPECT_EQ(CDC77Handler::FormatRadioState(Record(items)),
              "EVENT: No CMRs at Base\nSignal Strength = -10 (0xfffffff6)\nChannel = 7 (0x00000007)\n");
}

TEST(RadioStateTextTest, NamesUnknownIdsAndSkipsTheHighRange)
{
    const Bytes items = {0x20, 0x05, 0xFF, 0xFF, 0x30, 0x02, 0xFF, 0xFF, 0x00,
                         0x17, 0x80, 0x00, 0x50, 0x03, 0xC0, 0xA8, 0x00, 0x01};
    EXPECT_EQ(CDC77Handler::FormatRadioState(Record(items)),
              "EVENT: Unknown 17\nUnknown 2005 = -1 (0xffffffff)\nUnknown 3002 = 65535 (0xffff)\n"
              "Alternative IP Address  = 3232235521 (0xc0a80001)\n");
}

TEST(RadioStateTextTest, InvalidRecordsRenderAsError)
{
    sRadioStateRecord record = Record({0x00, 0x01});
    record.valid = 0;
    EXPECT_EQ(CDC77Handler::FormatRadioState(record), "ERROR");
    record.valid = 1;
    record.length = 257;
    EXPECT_EQ(CDC77Handler::FormatRadioState(record), "ERROR");
    EXPECT_TRUE(CDC77Handler::IsValidStateList(nullptr, 0));
    EXPECT_FALSE(CDC77Handler::IsValidStateList(Bytes{0x20, 0x01, 0x00}.data(), 3));
}

TEST_F(RadioHandlerTest, QueriedStateIsKeptOnlyWhenItsItemsEndOnTheLastByte)
{
    // After the reply's head: event 0x0001 (Low Voltage), then parameter
    // 0x2013 (Current Power State) with the 16-bit value 2. The second reply
    // is cut before the value's last byte.
    sRadioStateRecord record;
    EXPECT_TRUE(Answered({{{0xA0, 0x65, 0x00, 0x00, 0x01, 0x20, 0x13, 0x00, 0x02}}},
                         [&] { return handler.QueryRadioState(record); }));
    EXPECT_EQ(LastCommand(), Bytes({0x65, 0x00}));
    EXPECT_EQ(CDC77Handler::FormatRadioState(record), "EVENT: Low Voltage\nCurrent Power State = 2 (0x0002)\n");

    EXPECT_TRUE(Answered({{{0xA0, 0x65, 0x00, 0x00, 0x01, 0x20, 0x13, 0x00}}},
                         [&] { return handler.QueryRadioState(record); }));
    EXPECT_EQ(CDC77Handler::FormatRadioState(record), "ERROR");
    EXPECT_FALSE(Answered({{{0xA2}}}, [&] { return handler.QueryRadioState(record); }));
}

// ---- Event reports and pipe data ---------------------------------------------

TEST_F(RadioHandlerTest, PublishesNamedReportsAndKeepsTheSecondsCounter)
{
    EventRecorder events;
    events.Subscribe(&handler);
    EXPECT_TRUE(Answered({{NamedReport(1, 3725, "Uptime")}}, [&] { return handler.RequestReport(1, true); }));
    Reply(NamedReport(2, 3725, "Resets\t"));
    Reply(NamedReport(3, 0xFFFFFFFF, std::string("Cut\0Hidden", 10)));
    Reply({0xA0, 0x60, 0, 0x00, 0x01, 0x00, 0x00});
    EXPECT_THAT(events.events, ElementsAre(std::make_tuple(1, "Uptime", "1:02:05"),
                                           std::make_tuple(2, "Resets", "3725"), std::make_tuple(3, "Cut", "-1")));
    EXPECT_EQ(handler.RadioSeconds(), 65536u);
    EXPECT_EQ(LastCommand(), Bytes({0x60, 1}));
}

TEST_F(RadioHandlerTest, AReportThatComesAfterItsTimeOutIsPublishedButEndsNoLaterWait)
{
    EventRecorder events;
    events.Subscribe(&handler);
    const std::uint8_t kind = 1;
    EXPECT_EQ(handler.SendRadioCommand(0x60, &kind, 1, true, 0, 100), kRadioTimedOut);
    Reply(NamedReport(1, 3725, "Uptime"));
    EXPECT_THAT(events.events, ElementsAre(std::make_tuple(1, "Uptime", "1:02:05")));
    // Owed no more: the next command goes at once and waits for its own reply.
    EXPECT_EQ(Answered({{{0xA2}}}, [&] { return handler.SendRadioCommand(0x25, nullptr, 0, true, 0, kLongWait); }),
              0xA2);
    EXPECT_THAT(lines.Lines(), ::testing::Contains("No reply to radio command 77 60 within 100 ms"));
}

TEST_F(RadioHandlerTest, PipeDataIsPublishedAndLoggedLiterallyUpToTheLogBuffer)
{
    PipeRecorder outputs;
    outputs.Subscribe(&handler);
    Reply(Concat({0xA0, 0x62, 'P', 'G', 'N', 'S', 'S', 5, 0xEE}, "50%s%"));
    Reply(Concat({0xA0, 0x62, 'P', 'L', 'O', 'N', 'G', 200, 0}, "ab"));  // claims more than it has
    Reply(Concat({0xA0, 0x62, 'P', 'Z', 'E', 'R', 'O', 3, 0}, std::string("a\0b", 3)));
    Reply(Concat({0xA0, 0x62, 'P', 'B', 'I', 'G', '!', 240, 0}, std::string(240, 'x')));  // cut to the log buffer
    ASSERT_EQ(outputs.outputs.size(), 4u);
    EXPECT_EQ(outputs.outputs[0], std::make_pair(0x474E5353u, Bytes({'5', '0', '%', 's', '%'})));
    EXPECT_EQ(outputs.outputs[1].second, Bytes({'a', 'b'}));
    EXPECT_EQ(outputs.outputs[2].second, Bytes({'a', 0, 'b'}));
    EXPECT_THAT(lines.Lines(),
                ElementsAre("Got pipe data \"GNSS = 50%s%\"", "Got pipe data \"LONG = ab\"",
                            "Got pipe data \"ZERO = a\"", "Got pipe data \"BIG! = " + std::string(249 - 22, 'x')));
}

// ---- Identity, power, channels, flags, pipes ---------------------------------

TEST_F(RadioHandlerTest, ParsesTheRadioIdentityOnlyWhenAskedFor)
{
    const Bytes identity = Concat({0xA0}, "PRODUCT,RadioX,450;PORT,1,2,3,8,1,N,0;VERSION,1.2,a,b,c;");
    Reply(identity);
    EXPECT_EQ(handler.RadioIdentity(false).productName, "");
    EXPECT_EQ(Answered({{identity}}, [&] { return handler.RadioIdentity(true); }).productName, "RadioX");
    EXPECT_EQ(LastCommand(), Bytes({0x30}));
    EXPECT_EQ(handler.RadioIdentity(false).version, "1.2");
    EXPECT_THAT(lines.Lines(), ::testing::Contains("Received Radio Id String\r\n\tPRODUCT,RadioX,450;PORT,1,2,3,8,1,"
                                                   "N,0;VERSION,1.2,a,b,c;\r\n"));
}

TEST_F(RadioHandlerTest, PowerCommandsSucceedOnlyOnAnAcknowledgement)
{
    EXPECT_FALSE(Answered({{{0xA0, 0x24}}}, [&] { return handler.RadioOff(true); }));
    EXPECT_TRUE(Answered({{{0xA2}}}, [&] { return handler.RadioOn(true); }));
    handler.ResetRadio();
    EXPECT_EQ(LastCommand(), Bytes({0x09}));
    EXPECT_THAT(lines.Lines(), ::testing::IsSupersetOf({"Turning Radio Off", "Turning Radio On", "Reseting Radio"}));
}

TEST_F(RadioHandlerTest, ReadsTheChannelTable)
{
    std::uint16_t current = 0;
    sRadioChannelTable table;
    // High byte first: the current channel 0x0102, 2 entries, the extra
    // byte 9, then the entries 0x000A and 0x010B.
    EXPECT_TRUE(Answered({{{0xA0, 0x28, 0x01, 0x02, 2, 9, 0x00, 0x0A, 0x01, 0x0B}}},
                         [&] { return handler.ReadChannelTable(&current, &table); }));
    EXPECT_EQ(LastCommand(), Bytes({0x28, 0x01}));
    EXPECT_EQ(current, 0x0102);
    EXPECT_EQ(table.count, 2);
    EXPECT_EQ(table.extra, 9);
    EXPECT_EQ(table.values[1], 0x010B);

    // A radio without a table is asked for its channel alone.
    EXPECT_TRUE(
        Answered({{{0xA1}}, {{0xA0, 0x28, 0x00, 0x05}}}, [&] { return handler.ReadChannelTable(&current, &table); }));
    EXPECT_EQ(current, 5);
    EXPECT_EQ(LastCommand(), Bytes({0x28}));
    EXPECT_FALSE(Answered({{{0xA1}}}, [&] { return handler.ReadChannelTable(&current, nullptr); }));

    // No more channels are kept than the table holds.
    Bytes reply = {0xA0, 0x28, 0, 1, 25, 0};
    for (std::uint8_t i = 0; i < 25; ++i)
        reply.insert(reply.end(), {0, i});
    Reply(reply);
    EXPECT_EQ(handler.ChannelTable().count, sRadioChannelTable::kMaxValues);
    EXPECT_EQ(handler.ChannelTable().values[19], 19);
}

TEST_F(RadioHandlerTest, SettingTheChannelAsksForItAgain)
{
    EXPECT_TRUE(Answered({{{0xA2}}}, [&] { return handler.SetChannel(0x1234); }));
    const std::vector<Bytes> packets = pipe.Packets();
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0], Packet(0x77, {0x29, 0x12, 0x34}));
    EXPECT_EQ(packets[1], Packet(0x77, {0x28}));
}

TEST_F(RadioHandlerTest, ReadsTheRadioFlags)
{
    EXPECT_TRUE(Answered({{{0xA0, 0x2E, 0x03}}}, [&] { return handler.QueryRadioFlags(true); }));
    EXPECT_TRUE(handler.RadioFlag0());
    Reply({0xA0, 0x2E, 0x02});
    EXPECT_FALSE(handler.RadioFlag0());
}

TEST_F(RadioHandlerTest, RadioPipeCommandsCarryTheirIdsMostSignificantFirst)
{
    EXPECT_TRUE(Answered({{{0xA2}}}, [&] { return handler.OpenRadioPipe(0x41424344); }));
    EXPECT_EQ(LastCommand(), Bytes({0x62, 'O', 'A', 'B', 'C', 'D'}));
    EXPECT_TRUE(Answered({{{0xA2}}}, [&] { return handler.JoinRadioPipes(0x41424344, 0x45464748); }));
    EXPECT_EQ(LastCommand(), Bytes({0x62, 'J', 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'}));
    const Bytes data = {1, 2};
    EXPECT_FALSE(Answered({{{0xA0, 0x62, 'X'}}}, [&] { return handler.PutRadioPipe(0x41424344, data.data(), 2); }));
    EXPECT_EQ(LastCommand(), Bytes({0x62, 'P', 'A', 'B', 'C', 'D', 2, 1, 2}));
    EXPECT_TRUE(Answered({{{0xA2}}}, [&] { return handler.CloseRadioPipe(0x41424344); }));

    const Bytes tooMany(201, 0);
    const std::size_t sent = pipe.Packets().size();
    EXPECT_FALSE(handler.PutRadioPipe(1, tooMany.data(), 201));
    EXPECT_EQ(pipe.Packets().size(), sent);
}

// ---- Bluetooth -----------------------------------------------------------------

// What a reply must leave in the handler's Bluetooth record; zero and empty
// fields are not checked.
struct KeptFields {
    std::uint8_t btByte1 = 0, btByte2 = 0, btFlag = 0, btPort = 0, btKind = 0;
    BtAddress btAddress = {};
    std::string btText = "";
};

struct BluetoothCase {
    const char* what;
    std::function<bool(CDC77Handler&)> operation;
    Bytes sent;   // after the sub-command
    Bytes reply;  // after 0xA0 0x66
    bool succeeds;
    KeptFields kept = {};
};

void ExpectKept(const sBluetoothReply& bt, const KeptFields& want)
{
    const struct {
        const char* name;
        std::uint8_t got, wanted;
    } bytes[] = {{"byte 1", bt.btByte1, want.btByte1},
                 {"byte 2", bt.btByte2, want.btByte2},
                 {"flag", bt.btFlag, want.btFlag},
                 {"port", bt.btPort, want.btPort},
                 {"kind", bt.btKind, want.btKind}};
    for (const auto& field : bytes) {
        if (field.wanted != 0) {
            EXPECT_EQ(field.got, field.wanted) << field.name;
        }
    }
    if (want.btAddress != BtAddress{}) {
        EXPECT_EQ(bt.btAddress, want.btAddress);
    }
    if (!want.btText.empty()) {
        EXPECT_EQ(bt.btText, want.btText);
    }
}

const BtAddress kAddress = {1, 2, 3, 4, 5, 6};

class BluetoothOperations : public RadioHandlerTest, public ::testing::WithParamInterface<BluetoothCase> {};

TEST_P(BluetoothOperations, SucceedOnlyOnTheirOwnCompleteReply)
{
    const BluetoothCase& c = GetParam();
    SCOPED_TRACE(c.what);
    Bytes reply = {0xA0, 0x66};
    reply.insert(reply.end(), c.reply.begin(), c.reply.end());
    EXPECT_EQ(Answered({{reply, {0xA8}}}, [&] { return c.operation(handler); }), c.succeeds);
    Bytes sent = {0x66};
    sent.insert(sent.end(), c.sent.begin(), c.sent.end());
    EXPECT_EQ(LastCommand(), sent);
    ExpectKept(handler.BluetoothReply(), c.kept);
}

using H = CDC77Handler&;

INSTANTIATE_TEST_SUITE_P(
    Operations, BluetoothOperations,
    ::testing::ValuesIn(std::vector<BluetoothCase>{
        {"connect", [](H h) { return h.BtConnect(1, 2); }, {2, 1, 2}, {2, 1, 7}, true, {.btPort = 7}},
        {"connect refused", [](H h) { return h.BtConnect(1, 2); }, {2, 1, 2}, {2, 0, 7}, false},
        {"disconnect", [](H h) { return h.BtDisconnect(3); }, {3, 3}, {3, 3, 1}, true},
        {"disconnect of another channel", [](H h) { return h.BtDisconnect(3); }, {3, 3}, {3, 4, 1}, false},
        {"search", [](H h) { return h.BtSearch(true); }, {4, 0}, {4, 3, 9}, true, {.btByte1 = 3, .btByte2 = 9}},
        {"device",
         [](H h) { return h.BtDevice(2); },
         {5, 2},
         Concat({5, 2, 1, 2, 3, 4, 5, 6}, std::string("Rover\0junk", 10)),
         true,
         {.btAddress = kAddress, .btText = "Rover"}},
        {"device reply cut short", [](H h) { return h.BtDevice(2); }, {5, 2}, {5, 2, 1, 2, 3, 4, 5}, false},
        {"name of an address",
         [](H h) { return h.BtNameOf(kAddress); },
         {7, 1, 2, 3, 4, 5, 6},
         Concat({7, 1, 2, 3, 4, 5, 6}, "Base"),
         true,
         {.btText = "Base"}},
        {"name of another address",
         [](H h) { return h.BtNameOf(kAddress); },
         {7, 1, 2, 3, 4, 5, 6},
         Concat({7, 1, 2, 3, 4, 5, 9}, "Base"),
         false},
        {"channel state",
         [](H h) { return h.BtChannelState(1); },
         {8, 1},
         {8, 1, 5, 1, 2, 3, 4, 5, 6, 1},
         true,
         {.btFlag = 1, .btKind = 1, .btAddress = kAddress}},
        {"switch role", [](H h) { return h.BtSwitchRole(1, 1); }, {9, 1, 1}, {9, 1, 1}, true},
        {"switch role not taken", [](H h) { return h.BtSwitchRole(1, 1); }, {9, 1, 1}, {9, 1, 0}, false},
        {"service query", [](H h) { return h.BtServiceQuery(1, 2); }, {11, 1, 2}, {11, 4}, true, {.btByte1 = 4}},
        {"service record",
         [](H h) { return h.BtServiceRecord(0); },
         {12, 0},
         Concat({12, 0, 2, 3}, "SPP"),
         true,
         {.btPort = 3, .btKind = 2, .btText = "SPP"}},
        {"reply to another operation", [](H h) { return h.BtServiceRecord(0); }, {12, 0}, {11, 4}, false}}),
    testing::CaseName<BluetoothCase>);

}  // namespace
}  // namespace TolvarRT
