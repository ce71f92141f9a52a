// What every system's implementation of the platform seams must do alike:
// the wake-up events, the socket waits on loopback (with a stop event in the
// same wait), and loading a library that is not there. The same suite runs on
// Linux and, as a Windows program, under wine.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>

#include "ports/network/socket.h"
#include "ports/platform/event_fd.h"
#include "ports/platform/shared_library.h"
#include "ports/platform/thread_priority.h"

namespace TolvarRT {
namespace {

TEST(EventFd, ASignalIsConsumedOnceAndSignalsCoalesce)
{
    CEventFd event;
    ASSERT_TRUE(event.IsValid());
    EXPECT_FALSE(event.Consume());
    event.Signal();
    event.Signal();
    EXPECT_TRUE(event.Consume());
    EXPECT_FALSE(event.Consume()) << "two signals before a consume are one";
}

TEST(EventFd, ASignalEndsAWaitAtOnceAndTheStopWins)
{
    CEventFd stop;
    EXPECT_EQ(WaitReadable(-1, stop.Fd(), 0), WaitResult::Timeout);
    // Signalled from another thread while the wait has no time limit.
    std::thread signaller([&stop] { stop.Signal(); });
    EXPECT_EQ(WaitReadable(-1, stop.Fd(), -1), WaitResult::Stopped);
    signaller.join();
    // A wait does not consume: the owner does.
    EXPECT_EQ(WaitReadable(-1, stop.Fd(), 0), WaitResult::Stopped);
    EXPECT_TRUE(stop.Consume());
}

// A connected pair on loopback: a listening socket, a client, the accepted end.
struct sLoopbackPair {
    int listener = -1;
    int client = -1;
    int accepted = -1;

    sLoopbackPair()
    {
        std::string failure;
        listener = ListenSocket("127.0.0.1", 0, &failure);
        EXPECT_GE(listener, 0) << failure;
        const std::uint16_t port = SocketPort(listener);
        EXPECT_NE(port, 0);
        client = ConnectSocket({"127.0.0.1", port}, SocketKind::Stream, -1, 5000, &failure);
        EXPECT_GE(client, 0) << failure;
        CEventFd none;
        const sServerReadiness ready = WaitServer(listener, -1, false, none.Fd(), -1);
        EXPECT_TRUE(ready.incoming);
        accepted = AcceptSocket(listener);
        EXPECT_GE(accepted, 0);
    }
    ~sLoopbackPair()
    {
        CloseSocket(accepted);
        CloseSocket(client);
        CloseSocket(listener);
    }
};

TEST(Sockets, BytesWakeTheReaderAndAClosedPeerReadsAsTheEnd)
{
    sLoopbackPair pair;
    CEventFd stop, wake;
    EXPECT_EQ(WaitReadable(pair.accepted, stop.Fd(), 0), WaitResult::Timeout);
    std::uint8_t buffer[16];
    EXPECT_LT(SocketReceive(pair.accepted, SocketKind::Stream, buffer, sizeof buffer), 0) << "nothing there";

    const char hello[] = "hello";
    ASSERT_EQ(SocketSendAll(pair.client, hello, 5), 5u);
    sSocketReadiness ready = WaitSocket(pair.accepted, true, stop.Fd(), wake.Fd(), 5000);
    EXPECT_TRUE(ready.readable);
    EXPECT_TRUE(ready.writable);
    EXPECT_FALSE(ready.stopped);
    EXPECT_FALSE(ready.woken);
    EXPECT_EQ(SocketReceive(pair.accepted, SocketKind::Stream, buffer, sizeof buffer), 5);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 5), "hello");

    // The wake event shares the wait with the socket.
    wake.Signal();
    ready = WaitSocket(pair.accepted, false, stop.Fd(), wake.Fd(), 5000);
    EXPECT_TRUE(ready.woken);
    EXPECT_FALSE(ready.readable);
    wake.Consume();

    ShutdownSocket(pair.client);
    EXPECT_EQ(WaitReadable(pair.accepted, stop.Fd(), 5000), WaitResult::Readable);
    EXPECT_EQ(SocketReceive(pair.accepted, SocketKind::Stream, buffer, sizeof buffer), 0);
}

TEST(SharedLibrary, AMissingLibraryIsNoLibrary)
{
    EXPECT_EQ(OpenSharedLibrary("tolvar-no-such-library-here"), nullptr);
}

TEST(ThreadPriority, LoweringAndRestoringComeBackToNormal)
{
    CThreadPriority priority;
    if (priority.LowerToLowest()) {
        EXPECT_TRUE(priority.IsLowered());
        priority.RestoreNormal();
    }
    EXPECT_FALSE(priority.IsLowered());
    EXPECT_FALSE(priority.IsRaised());
}

}  // namespace
}  // namespace TolvarRT
