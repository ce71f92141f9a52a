#include "decoders/dc_proto.h"

#include <chrono>

namespace TolvarRT {

using std::chrono::milliseconds;

CDCProto::CDCProto(CLogPipe* logPipe) : CBytePipeSubscription(logPipe), CDataCollectorParser(CBytePipeSubscription::log)
{
    // The parser is always the first to see every chunk.
    CBytePipeSubscriber::Subscribe(this);
}

CDCProto::~CDCProto()
{
    // No chunk may reach the parser while the object is taken apart.
    ClosePort();
}

void CDCProto::RequestIdentity()
{
    log.LogMost("Requesting ID");
    SendPacket(kPacketIdentityRequest, nullptr, 0, 0);
}

sDeviceIdentity CDCProto::WaitForIdentity(bool request)
{
    identityEvent.Clear();
    if (request && !WaitsCancelled()) {
        ClearIdentityName();
        RequestIdentity();
        WaitForIdentityEvent(milliseconds(1000));
        identityEvent.Clear();
    }
    return Identity();
}

bool CDCProto::ProbeIdentity(unsigned tries)
{
    for (unsigned left = tries; left > 0; --left) {
        if (!WaitForIdentity(true).productName.empty())
            return true;
        if (left > 1)
            log.LogBasic("Waiting for id");
        if (left == 1 || !Pause(milliseconds(500)))
            break;
    }
    return false;
}

void CDCProto::CancelWaits()
{
    cancelled.Set();
    // Ends an identity wait in progress; a later one looks at the flag first.
    identityEvent.Set();
}

bool CDCProto::WaitForIdentityEvent(milliseconds timeout)
{
    // After the caller's Clear: a cancel from now on sets the event again.
    if (WaitsCancelled())
        return false;
    return identityEvent.WaitFor(timeout) && !WaitsCancelled();
}

bool CDCProto::Pause(milliseconds time)
{
    return !cancelled.WaitFor(time);
}

bool CDCProto::DetectIdentity(bool keepSettings, bool requestAgain)
{
    std::unique_lock<std::recursive_mutex> lock(sharedLock);
    if (!IsPortOpen())
        return false;
    const PortSettings original = CurrentSettings();
    PortSettings probe;
    probe.baudRate = 9600;
    probe.parity = 0;
    probe.byteSize = 8;
    probe.stopBits = 0;
    probe.flowControl = 0;
    probe.readTimeout = 4000;
    const bool applied = Reconfigure(probe);
    ClearIdentity();
    log.LogMost(" Configuring Port @ 9600, 8,N,1");

    bool answered = false;
    if (applied) {
        identityEvent.Clear();
        SendBreak(300);
        lock.unlock();
        answered = WaitForIdentityEvent(milliseconds(1200));
        if (answered) {
            if (Identity().flowFlag && keepSettings && requestAgain && Pause(milliseconds(200))) {
                RequestIdentity();
                if (Pause(milliseconds(200)))
                    RequestIdentity();
            }
        } else {
            Pause(milliseconds(1000));
        }
        lock.lock();
        identityEvent.Clear();
    }
    if (!keepSettings || !answered) {
        Reconfigure(original);
        log.LogMost("Returning port to original settings.");
    }
    return answered;
}

bool CDCProto::OpenPipe(bool mode7799)
{
    const sDeviceIdentity current = WaitForIdentity(false);
    const std::uint8_t source = 4;
    const auto destination = std::uint8_t(current.portIndex + 1);
    if (!Pause(milliseconds(300)))
        return false;
    if (mode7799) {
        log.LogBasic("Piping 77/99 radio output from port %d to port %d", source, destination);
        const std::uint8_t ports[2] = {std::uint8_t(source | 0x80), std::uint8_t(destination | 0x80)};
        SendPacket(kPacketPipeRequest, ports, 2, 0);
    } else {
        log.LogBasic("Piping radio output from port %d to port %d", source, destination);
        const std::uint8_t ports[2] = {source, destination};
        SendPacket(kPacketPipeRequest, ports, 2, 0);
        if (!Pause(milliseconds(500)))
            return false;
        const sDeviceIdentity piped = WaitForIdentity(true);
        log.LogBasic("Opened Pipe to %s", piped.productName.c_str());
    }
    return true;
}

void CDCProto::ForgetIdentity()
{
    ClearIdentity();
}

bool CDCProto::RequestIdentityAndWait()
{
    return !WaitForIdentity(true).productName.empty() || WaitsCancelled();
}

}  // namespace TolvarRT
