// The in-process wire that stands in for a pseudo-terminal pair where there
// is none: bytes cross both ways whole and in order, the name is the only
// way in, and either end going away leaves the other safe.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <vector>

#include "core/event.h"
#include "ports/inprocess/in_process_port.h"
#include "ports/port_factory.h"
#include "wait_until.h"

namespace TolvarRT {
namespace {

using namespace std::chrono_literals;
using TolvarRT::testing::WaitUntil;

struct sCollected {
    std::mutex lock;
    std::vector<std::uint8_t> bytes;
    std::size_t chunks = 0;

    static void Take(void* owner, const std::uint8_t* data, std::uint32_t length)
    {
        auto& self = *static_cast<sCollected*>(owner);
        std::lock_guard<std::mutex> guard(self.lock);
        self.bytes.insert(self.bytes.end(), data, data + length);
        ++self.chunks;
    }
    std::size_t Size()
    {
        std::lock_guard<std::mutex> guard(lock);
        return bytes.size();
    }
};

std::vector<std::uint8_t> Pattern(std::size_t size)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = std::uint8_t(i * 7 + i / 251);
    return bytes;
}

TEST(InProcessPort, TheFactoryOpensTheDeviceByItsName)
{
    CEvent wake{CEvent::Reset::Auto};
    CInProcessDevice device("factory", wake);
    EXPECT_EQ(device.PortName(), "LOOP:factory");
    sCollected collected;
    auto port = CreatePortForName(device.PortName(), &collected, &sCollected::Take);
    ASSERT_NE(dynamic_cast<CInProcessPort*>(port.get()), nullptr);
    ASSERT_TRUE(port->Open(device.PortName().c_str())) << port->FailureReason();
    EXPECT_TRUE(port->IsOpen());
    EXPECT_TRUE(port->Close());
    EXPECT_FALSE(port->Close()) << "closed already";
}

TEST(InProcessPort, BytesCrossBothWaysWholeAndInOrder)
{
    CEvent wake{CEvent::Reset::Auto};
    CInProcessDevice device("both-ways", wake);
    sCollected collected;
    CInProcessPort port(&collected, &sCollected::Take, 0, 0);
    ASSERT_TRUE(port.Open(device.PortName().c_str()));
    port.StartThread();

    // More than one delivery's worth, written in pieces of odd sizes.
    const std::vector<std::uint8_t> down = Pattern(10000);
    for (std::size_t at = 0; at < down.size(); at += 777)
        device.Write(down.data() + at, std::min<std::size_t>(777, down.size() - at));
    ASSERT_TRUE(WaitUntil([&] { return collected.Size() >= down.size(); }));
    {
        std::lock_guard<std::mutex> guard(collected.lock);
        EXPECT_EQ(collected.bytes, down);
        EXPECT_GE(collected.chunks, 3u) << "a delivery is at most a read's worth";
    }

    const std::vector<std::uint8_t> up = Pattern(5000);
    port.QueueWrite(std::make_unique<PortBuffer>(up.begin(), up.begin() + 3000));
    port.QueueWriteFirst(std::make_unique<PortBuffer>(up.begin() + 3000, up.end()));
    ASSERT_TRUE(wake.WaitFor(5s)) << "the device is woken by what the port sends";
    std::vector<std::uint8_t> got(8000);
    const std::size_t count = device.Read(got.data(), got.size());
    got.resize(count);
    EXPECT_EQ(got, up) << "nothing is queued: the second write goes after the first";
    EXPECT_EQ(device.Read(got.data(), got.size()), 0u);
    EXPECT_TRUE(port.Close());
}

TEST(InProcessPort, OnlyOnePortAtATimeAndOnlyANameThatExists)
{
    CEvent wake;
    sCollected collected;
    CInProcessPort first(&collected, &sCollected::Take, 0, 0);
    EXPECT_FALSE(first.Open("LOOP:nobody"));
    EXPECT_EQ(first.FailureReason(), "no such in-process device");

    CInProcessDevice device("single", wake);
    CInProcessPort second(&collected, &sCollected::Take, 0, 0);
    ASSERT_TRUE(first.Open("LOOP:single"));
    EXPECT_FALSE(second.Open("LOOP:single"));
    EXPECT_EQ(second.FailureReason(), "in use by another program");
    EXPECT_TRUE(first.Close());
    EXPECT_TRUE(second.Open("LOOP:single")) << "free again once closed";
    second.Close();
}

TEST(InProcessPort, EitherEndGoingAwayLeavesTheOtherSafe)
{
    sCollected collected;
    CInProcessPort port(&collected, &sCollected::Take, 0, 0);
    {
        CEvent wake;
        CInProcessDevice device("short-lived", wake);
        // Bytes written while no port is open are gone, as down a cable.
        const std::uint8_t early[] = {1, 2, 3};
        device.Write(early, sizeof early);
        ASSERT_TRUE(port.Open(device.PortName().c_str()));
        port.StartThread();
        const std::uint8_t late[] = {4, 5};
        device.Write(late, sizeof late);
        ASSERT_TRUE(WaitUntil([&] { return collected.Size() == 2; }));
    }
    // The device has gone: what the port sends is dropped, and the name is free.
    port.QueueWrite(std::make_unique<PortBuffer>(PortBuffer{9, 9}));
    CInProcessPort other(&collected, &sCollected::Take, 0, 0);
    EXPECT_FALSE(other.Open("LOOP:short-lived"));
    EXPECT_TRUE(port.Close());
    std::lock_guard<std::mutex> guard(collected.lock);
    EXPECT_EQ(collected.bytes, (std::vector<std::uint8_t>{4, 5}));
}

}  // namespace
}  // namespace TolvarRT
