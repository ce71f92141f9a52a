// The radio behind a Listener port that does not answer, or answers too late:
// the radio handler gives up on time and says so, the next request gets its
// own answer, and a late answer is never taken for the next request's.
#include <gtest/gtest.h>

#include <future>
#include <string>

#include "decoders/dc_proto.h"
#include "log_recorder.h"
#include "radio/dc77_handler.h"
#include "scripted_radio.h"

namespace TolvarRT {
namespace {

using namespace std::chrono_literals;
using testing::Bytes;

constexpr char kOldIdentity[] = "PRODUCT,Stale,450;PORT,1,0,0,8,1,N,0;VERSION,1.0,a,b,c;";
constexpr char kNewIdentity[] = "PRODUCT,Fresh,450;PORT,1,0,0,8,1,N,0;VERSION,2.0,a,b,c;";
const Bytes kIdentityRequest{0x30};

class FaultRadioTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(radio.IsValid());
        ASSERT_TRUE(listener.OpenPort({radio.Path(), 115200}));
        handler.Subscribe(&listener);
    }
    void TearDown() override
    {
        handler.Unsubscribe();
        listener.ClosePort();
    }
    std::future<sDeviceIdentity> AskIdentity()
    {
        return std::async(std::launch::async, [this] { return handler.RadioIdentity(true); });
    }
    std::string TimeOutLine() const
    {
        return "No reply to radio command 77 30 within " + std::to_string(CDC77Handler::kDefaultTimeoutMs) + " ms";
    }

    CLogPipe logPipe;
    testing::LogRecorder log{&logPipe};
    testing::ScriptedRadio radio;
    CDCProto listener{&logPipe};
    CDC77Handler handler{&logPipe};
};

TEST_F(FaultRadioTest, AnIdentityReplyThatNeverComesIsGivenUpOnTimeAndTheNextRequestWorks)
{
    const auto asked = std::chrono::steady_clock::now();
    auto unanswered = AskIdentity();
    EXPECT_EQ(radio.ReadCommand(), kIdentityRequest);
    EXPECT_EQ(unanswered.get().productName, "");
    EXPECT_GE(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(CDC77Handler::kDefaultTimeoutMs));
    EXPECT_EQ(log.Count(TimeOutLine()), 1u);

    auto next = AskIdentity();
    EXPECT_EQ(radio.ReadCommand(), kIdentityRequest);
    ASSERT_TRUE(radio.AnswerIdentity(kNewIdentity));
    EXPECT_EQ(next.get().productName, "Fresh");
}

TEST_F(FaultRadioTest, AnAnswerThatComesAfterItsTimeOutIsNotTakenForTheNextRequests)
{
    auto late = AskIdentity();
    EXPECT_EQ(radio.ReadCommand(), kIdentityRequest);
    EXPECT_EQ(late.get().productName, "");

    // The next request is asked for before the late answer arrives; a handler
    // that sends it at once would take that answer for its own.
    auto next = AskIdentity();
    Bytes command = radio.ReadCommand(300ms);
    ASSERT_TRUE(radio.AnswerIdentity(kOldIdentity));
    if (command.empty())
        command = radio.ReadCommand();
    EXPECT_EQ(command, kIdentityRequest);
    ASSERT_TRUE(radio.AnswerIdentity(kNewIdentity));
    EXPECT_EQ(next.get().productName, "Fresh");
    EXPECT_EQ(log.Count("A reply to radio command 77 30 came after its time-out; it answers no later command"), 1u);

    // Other commands are not held up by it any more.
    auto acknowledged = std::async(std::launch::async, [this] { return handler.RadioOn(true); });
    EXPECT_EQ(radio.ReadCommand(), Bytes{0x25});
    ASSERT_TRUE(radio.Answer({0xA2}));
    EXPECT_TRUE(acknowledged.get());
}

}  // namespace
}  // namespace TolvarRT
