// The data-collector protocol endpoint of one port: the byte pipe with the
// packet parser as its permanent first subscriber, and the device identity
// operations built on them.
#pragma once

#include <chrono>
#include <cstdint>

#include "decoders/data_collector_parser.h"
#include "ports/byte_pipe.h"

namespace TolvarRT {

// Thread rules: the identity operations (WaitForIdentity, DetectIdentity,
// OpenPipe) and the port operations belong to the owner's thread; they wait
// without the shared lock, because the reply is parsed on the reader thread.
// RequestIdentity, SendPacket and CancelWaits may be called from any thread.
class CDCProto : public CBytePipeSubscription, public CDataCollectorParser {
public:
    explicit CDCProto(CLogPipe* logPipe = nullptr);
    ~CDCProto() override;

    void RequestIdentity();
    // Asks for the identity up to tries times, a second each with half a
    // second between; true once the device has answered.
    bool ProbeIdentity(unsigned tries);
    // With request, clears the name fields, asks and waits up to a second.
    // An identity has arrived when its productName is not empty.
    sDeviceIdentity WaitForIdentity(bool request);
    // Finds out what sits on a serial line: 9600 8N1, a break, and the
    // identity it answers with. Keeps 9600 8N1 only with keepSettings and an
    // answer.
    bool DetectIdentity(bool keepSettings, bool requestAgain);
    // Asks the radio to copy its output to the next port.
    bool OpenPipe(bool mode7799);
    // The test is being ended: every identity wait and pause of the
    // operations above ends at once, now and from now on, and the identity
    // tries of an opening stop.
    void CancelWaits();
    bool WaitsCancelled() const { return cancelled.IsSet(); }

protected:
    void ForgetIdentity() override;
    // True when the device answered, or when the waits are cancelled: either
    // way no more tries.
    bool RequestIdentityAndWait() override;

private:
    // Waits for the identity event up to timeout; false when it did not come
    // or the waits are cancelled. The event is cleared by the caller first.
    bool WaitForIdentityEvent(std::chrono::milliseconds timeout);
    // Sleeps; false at once when the waits are cancelled.
    bool Pause(std::chrono::milliseconds time);

    CEvent cancelled{CEvent::Reset::Manual};
};

}  // namespace TolvarRT
