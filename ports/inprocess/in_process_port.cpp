#include "ports/inprocess/in_process_port.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

namespace TolvarRT {

struct sInProcessWire {
    std::mutex lock;
    std::condition_variable portWake;
    CEvent* deviceWake = nullptr;  // null once the device has gone
    std::vector<std::uint8_t> toDevice;
    std::vector<std::uint8_t> toPort;
    bool portOpen = false;
    bool portStopping = false;
};

namespace {

std::mutex registryLock;
std::map<std::string, std::weak_ptr<sInProcessWire>>& Registry()
{
    static std::map<std::string, std::weak_ptr<sInProcessWire>> devices;
    return devices;
}

// The largest chunk one delivery hands over, as a serial port's read would.
constexpr std::size_t kChunkSize = 4096;

}  // namespace

CInProcessDevice::CInProcessDevice(const std::string& name, CEvent& wake)
    : portName(std::string(CInProcessPort::kPrefix) + name), wire(std::make_shared<sInProcessWire>())
{
    wire->deviceWake = &wake;
    std::lock_guard<std::mutex> guard(registryLock);
    Registry()[portName] = wire;
}

CInProcessDevice::~CInProcessDevice()
{
    {
        std::lock_guard<std::mutex> guard(registryLock);
        Registry().erase(portName);
    }
    std::lock_guard<std::mutex> guard(wire->lock);
    wire->deviceWake = nullptr;
}

std::size_t CInProcessDevice::Read(std::uint8_t* data, std::size_t size)
{
    std::lock_guard<std::mutex> guard(wire->lock);
    const std::size_t count = std::min(size, wire->toDevice.size());
    std::memcpy(data, wire->toDevice.data(), count);
    wire->toDevice.erase(wire->toDevice.begin(), wire->toDevice.begin() + std::ptrdiff_t(count));
    return count;
}

void CInProcessDevice::Write(const std::uint8_t* data, std::size_t size)
{
    {
        std::lock_guard<std::mutex> guard(wire->lock);
        if (!wire->portOpen)
            return;
        wire->toPort.insert(wire->toPort.end(), data, data + size);
    }
    wire->portWake.notify_one();
}

CInProcessPort::~CInProcessPort()
{
    Close();
}

bool CInProcessPort::Open(const char* portName)
{
    ClearFailure();
    if (IsOpen())
        return Fail("already open");
    std::shared_ptr<sInProcessWire> found;
    {
        std::lock_guard<std::mutex> guard(registryLock);
        const auto entry = Registry().find(portName == nullptr ? std::string() : std::string(portName));
        if (entry != Registry().end())
            found = entry->second.lock();
    }
    if (found == nullptr)
        return Fail("no such in-process device");
    std::lock_guard<std::mutex> guard(found->lock);
    if (found->portOpen)
        return Fail("in use by another program");
    found->portOpen = true;
    found->portStopping = false;
    found->toPort.clear();
    wire = std::move(found);
    name = portName;
    return true;
}

bool CInProcessPort::Configure(const PortSettings& newSettings)
{
    settings = newSettings;
    return IsOpen();
}

bool CInProcessPort::Close()
{
    if (!IsOpen())
        return false;
    {
        std::lock_guard<std::mutex> guard(wire->lock);
        wire->portStopping = true;
        wire->portOpen = false;
    }
    wire->portWake.notify_all();
    if (reader.joinable())
        reader.join();
    wire.reset();
    return true;
}

void CInProcessPort::StartThread()
{
    if (IsOpen() && !reader.joinable())
        reader = std::thread([this] { ThreadMain(); });
}

void CInProcessPort::Purge(unsigned flags)
{
    if (!IsOpen() || (flags & (kPurgeRxAbort | kPurgeRxClear)) == 0)
        return;
    std::lock_guard<std::mutex> guard(wire->lock);
    wire->toPort.clear();
}

void CInProcessPort::QueueWrite(OwnedPortBuffer buffer)
{
    if (!IsOpen() || buffer == nullptr)
        return;
    CEvent* wake = nullptr;
    {
        std::lock_guard<std::mutex> guard(wire->lock);
        wake = wire->deviceWake;
        if (wake != nullptr)
            wire->toDevice.insert(wire->toDevice.end(), buffer->begin(), buffer->end());
        // Set under the lock: the device cannot go in between.
        if (wake != nullptr)
            wake->Set();
    }
}

void CInProcessPort::ThreadMain()
{
    std::vector<std::uint8_t> chunk;
    std::unique_lock<std::mutex> guard(wire->lock);
    for (;;) {
        wire->portWake.wait(guard, [this] { return wire->portStopping || !wire->toPort.empty(); });
        if (wire->portStopping)
            return;
        const std::size_t count = std::min(kChunkSize, wire->toPort.size());
        chunk.assign(wire->toPort.begin(), wire->toPort.begin() + std::ptrdiff_t(count));
        wire->toPort.erase(wire->toPort.begin(), wire->toPort.begin() + std::ptrdiff_t(count));
        guard.unlock();
        Deliver(chunk.data(), std::uint32_t(chunk.size()));
        guard.lock();
    }
}

}  // namespace TolvarRT
