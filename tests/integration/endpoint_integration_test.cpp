// Endpoints on real transports: a recorded capture played through a
// pseudo-terminal into the Listener's decoders, and a TCP link opened by a
// name typed in lower case.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "decoders/dc_proto.h"
#include "decoders/rtcm3_input_handler.h"
#include "fake_byte_pipe.h"
#include "pty_pair.h"
#include "tcp_server.h"

namespace TolvarRT {
namespace {

using namespace std::chrono_literals;

// Counts frames per message number as they arrive on the port's thread.
class FrameCounter : public TSubscriber<IIncommingRTCM3Pipe> {
public:
    ~FrameCounter() override { Unsubscribe(); }
    void OnRTCM3Frame(unsigned type, const std::uint8_t*, std::uint16_t, const TimeStamp&) override
    {
        std::lock_guard<std::mutex> guard(countsLock);
        ++counts[type];
        ++total;
        arrived.notify_all();
    }
    bool WaitFor(unsigned frames)
    {
        std::unique_lock<std::mutex> lock(countsLock);
        return arrived.wait_for(lock, 30s, [&] { return total >= frames; });
    }
    std::map<unsigned, unsigned> Counts()
    {
        std::lock_guard<std::mutex> guard(countsLock);
        return counts;
    }

private:
    std::mutex countsLock;
    std::condition_variable arrived;
    std::map<unsigned, unsigned> counts;
    unsigned total = 0;
};

struct Listener {
    Listener()
    {
        decoder.Subscribe(&endpoint);
        counter.Subscribe(&decoder);
    }
    ~Listener()
    {
        endpoint.ClosePort();
        decoder.Unsubscribe();
    }
    CLogPipe logPipe;
    CDCProto endpoint{&logPipe};
    CRTCM3InputHandler decoder{&logPipe};
    FrameCounter counter;
};

TEST(EndpointIntegrationTest, ACapturePlayedIntoAPseudoTerminalIsDecodedWhole)
{
    testing::PtyPair pty;
    ASSERT_TRUE(pty.IsValid());
    Listener listener;
    ASSERT_TRUE(listener.endpoint.OpenPort({pty.SlavePath(), 115200, 0, 0, 0}));
    EXPECT_TRUE(listener.endpoint.IsPortOpen());

    const std::vector<std::uint8_t> capture = testing::ReadCapture("testglo.rtcm3");
    // Written in pieces with pauses, so the reader sees many chunk boundaries.
    for (std::size_t offset = 0; offset < capture.size(); offset += 4000) {
        const auto end = capture.begin() + std::ptrdiff_t(std::min(offset + 4000, capture.size()));
        ASSERT_TRUE(pty.Write(std::vector<std::uint8_t>(capture.begin() + std::ptrdiff_t(offset), end)));
        std::this_thread::sleep_for(2ms);
    }
    ASSERT_TRUE(listener.counter.WaitFor(429));
    const std::map<unsigned, unsigned> expected = {{1004, 186}, {1005, 19}, {1012, 186}, {1019, 19}, {1020, 19}};
    EXPECT_EQ(listener.counter.Counts(), expected);

    // The decoder side can talk back through the same port.
    const std::uint8_t hello[] = {0x02, 0x00, 0x6F, 0x00, 0x6F, 0x03};
    EXPECT_TRUE(listener.endpoint.Send(hello, sizeof hello));
    EXPECT_EQ(pty.Read(sizeof hello), std::vector<std::uint8_t>(hello, hello + sizeof hello));
    EXPECT_TRUE(listener.endpoint.ClosePort());
    EXPECT_FALSE(listener.endpoint.IsPortOpen());
}

TEST(EndpointIntegrationTest, ANetworkNameInLowerCaseOpensATcpLink)
{
    testing::CTcpServer server;
    ASSERT_TRUE(server.Listen());
    Listener listener;
    const std::string name = "tcp:127.0.0.1:" + std::to_string(server.Port());
    ASSERT_TRUE(listener.endpoint.OpenPort({name, 38400, 0, 0, 0}));
    ASSERT_TRUE(server.Accept());
    const std::vector<std::uint8_t> capture = testing::ReadCapture("pygpsdata-NTRIP-USCL00CHL0.log");
    ASSERT_TRUE(server.Send(capture));
    ASSERT_TRUE(listener.counter.WaitFor(35));
    EXPECT_EQ(listener.counter.Counts().size(), 35u);
}

}  // namespace
}  // namespace TolvarRT
