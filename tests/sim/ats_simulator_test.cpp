// The fake ATS generator on a port without a device: what it sends, what it
// publishes, and its start and stop rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "fake_byte_pipe.h"
#include "log_recorder.h"
#include "sim/ats_simulator.h"
#include "wait_until.h"

namespace TolvarRT {
namespace {

using Bytes = std::vector<std::uint8_t>;

class FrameRecorder : public TSubscriber<IIncommingATSPipe> {
public:
    ~FrameRecorder() override { Unsubscribe(); }
    void OnATSFrame(unsigned type, const std::uint8_t* data, std::uint16_t length, const TimeStamp&) override
    {
        std::lock_guard<std::mutex> guard(framesLock);
        types.push_back(type);
        frames.emplace_back(data, data + length);
    }
    std::vector<Bytes> Frames()
    {
        std::lock_guard<std::mutex> guard(framesLock);
        return frames;
    }
    std::vector<unsigned> types;

private:
    std::mutex framesLock;
    std::vector<Bytes> frames;
};

class ATSSimulatorTest : public ::testing::Test {
protected:
    ATSSimulatorTest()
    {
        handler.Subscribe(&pipe);
        published.TSubscriber<IIncommingATSPipe>::Subscribe(&simulator);
    }
    ~ATSSimulatorTest() override
    {
        simulator.Stop();
        handler.Unsubscribe();
    }

    CLogPipe logPipe;
    testing::FakeBytePipe pipe;
    CATSInputHandler handler{&logPipe};
    CATSSimulator simulator{&handler, &logPipe};
    FrameRecorder published;
};

TEST_F(ATSSimulatorTest, SendsAndPublishesTheSameFifteenByteFrames)
{
    ASSERT_TRUE(simulator.Start());
    ASSERT_TRUE(testing::WaitUntil([&] { return published.Frames().size() >= 3; })) << "about six a second";
    ASSERT_TRUE(simulator.Stop());

    const std::vector<Bytes> frames = published.Frames();
    ASSERT_GE(frames.size(), 3u);
    // The frames' bytes are checked where the decoder builds them.
    Bytes concatenated;
    for (const Bytes& frame : frames) {
        ASSERT_EQ(frame.size(), 15u);
        concatenated.insert(concatenated.end(), frame.begin(), frame.end());
    }
    EXPECT_EQ(published.types, std::vector<unsigned>(frames.size(), 0u));
    EXPECT_EQ(pipe.sent, concatenated) << "what goes out of the port is what the statistics see";

    // A receiving decoder cuts the stream back into the same frames.
    testing::FakeBytePipe receiving;
    CATSInputHandler receiver;
    receiver.SetEnabled(true);
    receiver.Subscribe(&receiving);
    FrameRecorder decoded;
    decoded.Subscribe(&receiver);
    receiving.Feed(pipe.sent, 7);
    EXPECT_EQ(decoded.Frames(), frames);
    receiver.Unsubscribe();
}

TEST_F(ATSSimulatorTest, StartWhileRunningAndStopWhileStoppedAreRefused)
{
    EXPECT_FALSE(simulator.Stop());
    EXPECT_TRUE(simulator.Start());
    EXPECT_FALSE(simulator.Start());
    EXPECT_TRUE(simulator.IsRunning());
    EXPECT_TRUE(simulator.Stop());
    EXPECT_FALSE(simulator.IsRunning());
    EXPECT_FALSE(simulator.Stop());
    // It can run again.
    EXPECT_TRUE(simulator.Start());
    EXPECT_TRUE(simulator.Stop());
}

TEST_F(ATSSimulatorTest, FramesStillPublishWithTheSourcePortClosed)
{
    pipe.portOpen = false;
    ASSERT_TRUE(simulator.Start());
    ASSERT_TRUE(testing::WaitUntil([&] { return !published.Frames().empty(); }));
    simulator.Stop();
    EXPECT_TRUE(pipe.sent.empty());
}

// Holds the generator thread inside its first delivery until released.
class BlockingSubscriber : public TSubscriber<IIncommingATSPipe> {
public:
    ~BlockingSubscriber() override
    {
        Release();
        Unsubscribe();
    }
    void OnATSFrame(unsigned, const std::uint8_t*, std::uint16_t, const TimeStamp&) override
    {
        std::unique_lock<std::mutex> lock(mutex);
        entered = true;
        changed.notify_all();
        changed.wait(lock, [&] { return released; });
    }
    bool WaitEntered()
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(10), [&] { return entered; });
    }
    void Release()
    {
        std::lock_guard<std::mutex> guard(mutex);
        released = true;
        changed.notify_all();
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false;
    bool released = false;
};

TEST_F(ATSSimulatorTest, AThreadThatDoesNotEndInTimeIsLeftRunningAndStopsLater)
{
    testing::LogRecorder log(&logPipe);
    BlockingSubscriber stuck;
    stuck.Subscribe(&simulator);
    simulator.SetStopWait(std::chrono::milliseconds(50));
    ASSERT_TRUE(simulator.Start());
    ASSERT_TRUE(stuck.WaitEntered());

    EXPECT_FALSE(simulator.Stop()) << "the owner is not held up";
    EXPECT_EQ(log.Count("Fake ATS generator did not stop within 50 ms"), 1u);
    EXPECT_TRUE(simulator.IsRunning());
    EXPECT_FALSE(simulator.Start()) << "no second thread while the first still runs";

    // Start refused without taking back the stop: released, the thread ends.
    stuck.Release();
    simulator.SetStopWait(std::chrono::seconds(10));
    EXPECT_TRUE(simulator.Stop());
    EXPECT_FALSE(simulator.IsRunning());
    EXPECT_TRUE(simulator.Start());
    EXPECT_TRUE(simulator.Stop());
}

}  // namespace
}  // namespace TolvarRT
