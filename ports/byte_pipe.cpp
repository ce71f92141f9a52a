#include "ports/byte_pipe.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "core/time_base.h"
#include "ports/network/socket.h"
#include "ports/port_factory.h"
#include "ports/stream_path.h"

namespace TolvarRT {
namespace {

constexpr std::uint32_t kReadTimeoutMs = 4000;
constexpr auto kSettleTime = std::chrono::milliseconds(100);
constexpr auto kIdentityRetryPause = std::chrono::milliseconds(500);

char ParityLetter(std::uint8_t parity)
{
    switch (parity) {
    case 1: return 'O';
    case 2: return 'E';
    default: return 'N';
    }
}

}  // namespace

CBytePipeSubscription::CBytePipeSubscription(CLogPipe* logPipe) : log(logPipe) {}

CBytePipeSubscription::~CBytePipeSubscription()
{
    // The reader thread must be gone before the decoders are let go.
    ClosePort();
    port.reset();
}

std::unique_ptr<CSerialPortInterface> CBytePipeSubscription::CreatePort(const std::string& portName)
{
    return CreatePortForName(portName, this, &CBytePipeSubscription::OnPortBytes);
}

bool CBytePipeSubscription::OpenPort(const PortRequest& asked)
{
    // A previous port is closed before it is destroyed, and outside the lock:
    // its reader thread may be waiting for the lock to deliver a chunk.
    std::unique_ptr<CSerialPortInterface> previous;
    {
        std::lock_guard<std::recursive_mutex> guard(sharedLock);
        previous = std::move(port);
    }
    if (previous != nullptr) {
        previous->Close();
        previous.reset();
    }

    PortRequest request = asked;
    sStreamPath path;
    if (IsStreamPath(asked.name)) {
        std::string failure;
        if (!ParseStreamPath(asked.name, path, failure))
            return Failed(failure);
        request.name = path.portName;
        if (path.hasBaudRate)
            request.baudRate = path.baudRate;
        if (path.hasFraming)
            request.parity = path.parity;
    }

    {
        std::lock_guard<std::recursive_mutex> guard(sharedLock);
        openFailure.clear();
        port = CreatePort(request.name);
        if (port == nullptr)
            return Failed("unknown port type");
        port->SetStampedCallback(&CBytePipeSubscription::OnStampedPortBytes);
        port->SetLogPipe(log.Pipe());
        port->SetGgaPosition(ggaPosition);
        if (!port->Open(request.name.c_str())) {
            // Nothing but the converter answers its link protocol: a plain
            // UDP sender is never heard on that name.
            if (HasNetPrefix(request.name, "UDP:"))
                return Failed(port->FailureReason() + " (UDP: speaks the converter's link protocol, on port " +
                              std::to_string(kDefaultNetPort) +
                              " when the name gives none; UDPSVR:[addr:]port receives plain UDP)");
            return Failed(port->FailureReason());
        }
        PortSettings settings;
        settings.baudRate = request.baudRate;
        settings.parity = request.parity;
        settings.byteSize = path.hasFraming ? path.byteSize : 8;
        settings.stopBits = path.hasFraming ? path.stopBits : 0;
        settings.flowControl = request.flowControl;
        settings.readTimeout = kReadTimeoutMs;
        ForgetIdentity();
        if (!port->Configure(settings)) {
            // Not left holding an exclusive device that nobody reads.
            const std::string reason = port->FailureReason();
            port->Close();
            return Failed(reason);
        }
        log.LogBasic("Open %s, %d,8%c1", ShownPortName(request.name).c_str(), int(request.baudRate),
                     ParityLetter(request.parity));
        port->StartThread();
        log.LogBasic(" Thread Started");
    }
    // Let the device settle; the reader thread may deliver meanwhile.
    std::this_thread::sleep_for(kSettleTime);

    // The identity reply is parsed on the reader thread, which needs the lock.
    for (unsigned tries = request.identityTries; tries > 0; --tries) {
        if (RequestIdentityAndWait() || tries == 1)
            break;
        log.LogBasic("Waiting for id");
        std::this_thread::sleep_for(kIdentityRetryPause);
    }
    return true;
}

void CBytePipeSubscription::SetGgaPosition(std::optional<sGgaPosition> position)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    ggaPosition = position;
}

bool CBytePipeSubscription::Failed(const std::string& reason)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    // A port of another kind may not say why.
    openFailure = reason.empty() ? "cannot be opened" : reason;
    return false;
}

std::string CBytePipeSubscription::OpenFailure() const
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    return openFailure;
}

bool CBytePipeSubscription::ClosePort()
{
    CSerialPortInterface* current;
    {
        std::lock_guard<std::recursive_mutex> guard(sharedLock);
        current = port.get();
    }
    // Only the owner's thread replaces the port, so it stays alive here.
    return current != nullptr && current->Close();
}

bool CBytePipeSubscription::IsPortOpen()
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    return port != nullptr && port->IsOpen();
}

bool CBytePipeSubscription::SendBreak(unsigned milliseconds)
{
    CSerialPortInterface* current;
    {
        std::lock_guard<std::recursive_mutex> guard(sharedLock);
        current = port.get();
    }
    if (current == nullptr)
        return false;
    current->SendBreak(milliseconds);
    return true;
}

void CBytePipeSubscription::SetRejectedBytesSink(RejectedBytesSink sink)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    rejectedSink = std::move(sink);
}

std::uint64_t CBytePipeSubscription::RejectedBytes() const
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    return rejectedBytes;
}

std::uint64_t CBytePipeSubscription::ReceivedBytes() const
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    return receivedBytes;
}

int CBytePipeSubscription::MarkLost(std::uint32_t firstIndex, std::uint32_t count)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    const std::uint32_t rejected = lostBytes.MarkLost(firstIndex, count);
    if (rejected == 0)
        return 0;
    rejectedBytes += rejected;
    if (rejectedSink)
        rejectedSink(rejected, deliveryTime);
    return 0;
}

bool CBytePipeSubscription::Send(const std::uint8_t* data, std::uint32_t length)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    if (port == nullptr || !port->IsOpen())
        return false;
    port->QueueWrite(std::make_unique<PortBuffer>(data, data + length));
    if (sentTap != nullptr && length > 0) {
        sentTap->OnBytes(data, length, sentIndex, TimeStampNow());
        sentIndex += length;
    }
    return true;
}

void CBytePipeSubscription::SetSentBytesTap(IIncomingBytePipe* tap)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    sentTap = tap;
}

CSerialPortInterface::ArrivalClock CBytePipeSubscription::ArrivalUtcClock()
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    return port != nullptr && port->IsOpen() ? port->ArrivalUtcClock() : CSerialPortInterface::ArrivalClock{};
}

PortSettings CBytePipeSubscription::CurrentSettings()
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    return port != nullptr && port->IsOpen() ? port->Settings() : PortSettings{};
}

bool CBytePipeSubscription::Reconfigure(const PortSettings& settings)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    return port != nullptr && port->IsOpen() && port->Configure(settings);
}

void CBytePipeSubscription::OnPortBytes(void* owner, const std::uint8_t* data, std::uint32_t length)
{
    static_cast<CBytePipeSubscription*>(owner)->PublishBytes(data, length);
}

void CBytePipeSubscription::OnStampedPortBytes(void* owner, const std::uint8_t* data, std::uint32_t length,
                                               TimeStamp timeStamp)
{
    static_cast<CBytePipeSubscription*>(owner)->PublishStampedBytes(data, length, timeStamp);
}

void CBytePipeSubscription::PublishBytes(const std::uint8_t* data, std::uint32_t length)
{
    if (length == 0)
        return;
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    PublishStampedBytes(data, length, TimeStampNow());
}

void CBytePipeSubscription::PublishStampedBytes(const std::uint8_t* data, std::uint32_t length, TimeStamp timeStamp)
{
    if (length == 0)
        return;
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    const std::uint32_t firstIndex = runningIndex;
    runningIndex += length;
    receivedBytes += length;
    unsigned reporters = 0;
    Publish([&](IIncomingBytePipe& decoder) {
        const auto* subscriber = dynamic_cast<const CBytePipeSubscriber*>(&decoder);
        reporters += subscriber != nullptr && subscriber->ReportsUnusedBytes() ? 1 : 0;
    });
    deliveryTime = timeStamp;
    lostBytes.BeginChunk(firstIndex, data, length, reporters);
    frameCover.BeginChunk(firstIndex);
    DeliverChunk(*this, [&](IIncomingBytePipe& decoder) { decoder.OnBytes(data, length, firstIndex, timeStamp); });
}

}  // namespace TolvarRT
