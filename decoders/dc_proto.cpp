#include "decoders/dc_proto.h"

#include <chrono>
#include <thread>

namespace TolvarRT {
namespace {

using std::chrono::milliseconds;

void Pause(int ms)
{
    std::this_thread::sleep_for(milliseconds(ms));
}

}  // namespace

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
    if (request) {
        ClearIdentityName();
        RequestIdentity();
        identityEvent.WaitFor(milliseconds(1000));
        identityEvent.Clear();
    }
    return Identity();
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
        answered = identityEvent.WaitFor(milliseconds(1200));
        if (answered) {
            if (Identity().flowFlag && keepSettings && requestAgain) {
                Pause(200);
                RequestIdentity();
                Pause(200);
                RequestIdentity();
            }
        } else {
            Pause(1000);
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
    Pause(300);
    if (mode7799) {
        log.LogBasic("Piping 77/99 radio output from port %d to port %d", source, destination);
        const std::uint8_t ports[2] = {std::uint8_t(source | 0x80), std::uint8_t(destination | 0x80)};
        SendPacket(kPacketPipeRequest, ports, 2, 0);
    } else {
        log.LogBasic("Piping radio output from port %d to port %d", source, destination);
        const std::uint8_t ports[2] = {source, destination};
        SendPacket(kPacketPipeRequest, ports, 2, 0);
        Pause(500);
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
    return !WaitForIdentity(true).productName.empty();
}

}  // namespace TolvarRT
