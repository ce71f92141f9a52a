// Each side an in-process wire: the tool opens "LOOP:emulated-N-base" (or
// -rover), and the link's thread sleeps on one event that both wires and the
// stop request set.
#include <atomic>
#include <chrono>

#include "core/event.h"
#include "ports/inprocess/in_process_port.h"
#include "sim/link_devices.h"

namespace TolvarRT {

struct CLinkDevices::sDevices {
    CEvent wake{CEvent::Reset::Auto};
    std::atomic<bool> stop{false};
    std::unique_ptr<CInProcessDevice> side[2];
};

namespace {

// Several links may live at once (tests): each has names of its own.
std::atomic<unsigned> linkCount{0};

}  // namespace

CLinkDevices::CLinkDevices() : devices(std::make_unique<sDevices>()) {}

CLinkDevices::~CLinkDevices() = default;

bool CLinkDevices::Open(std::string&)
{
    const std::string prefix = "emulated-" + std::to_string(++linkCount);
    devices->side[kBase] = std::make_unique<CInProcessDevice>(prefix + "-base", devices->wake);
    devices->side[kRover] = std::make_unique<CInProcessDevice>(prefix + "-rover", devices->wake);
    return true;
}

const std::string& CLinkDevices::PortName(Side side) const
{
    static const std::string none;
    return devices->side[side] != nullptr ? devices->side[side]->PortName() : none;
}

CLinkDevices::sReady CLinkDevices::Wait(int timeoutMs)
{
    if (timeoutMs < 0)
        timeoutMs = 24 * 3600 * 1000;
    sReady ready;
    // The wires keep what came until it is read: after a wake-up both sides
    // are read, and an empty read costs a lock.
    if (devices->wake.WaitFor(std::chrono::milliseconds(timeoutMs)))
        ready.readable[kBase] = ready.readable[kRover] = true;
    ready.stopped = devices->stop.load();
    return ready;
}

void CLinkDevices::RequestStop()
{
    devices->stop.store(true);
    devices->wake.Set();
}

void CLinkDevices::ClearStop()
{
    devices->stop.store(false);
}

std::size_t CLinkDevices::Read(Side side, std::uint8_t* data, std::size_t size)
{
    return devices->side[side]->Read(data, size);
}

void CLinkDevices::Write(Side side, const std::vector<std::uint8_t>& bytes)
{
    devices->side[side]->Write(bytes.data(), bytes.size());
}

}  // namespace TolvarRT
