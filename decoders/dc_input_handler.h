// The base of every consumer of data-collector packets: the CMR handler and
// the radio command handler.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "core/log_pipe.h"
#include "core/pipes.h"
#include "core/subscription.h"

namespace TolvarRT {

// Thread rules: OnPacket arrives on the port's reader thread. SetName belongs
// to the owner and is called before traffic flows.
class CDCInputHandler : public TBiSubscriber<IIncomingDCPipe, IOutgoingDCPipe> {
public:
    explicit CDCInputHandler(CLogPipe* logPipe = nullptr) : log(logPipe) {}

    void SetName(std::string newName)
    {
        std::lock_guard<std::recursive_mutex> guard(sharedLock);
        name = std::move(newName);
    }
    std::string Name() const
    {
        std::lock_guard<std::recursive_mutex> guard(sharedLock);
        return name;
    }

    CLogNode log;

protected:
    // Frames and writes one packet through the parser this handler is
    // attached to; false when detached or the port refused it. The handler's
    // lock is not held while the parser sends: a delivery takes the parser's
    // lock before the handler's, so a sender on another thread must not take
    // them the other way round.
    bool SendPacket(std::uint8_t command, const std::uint8_t* data, std::uint8_t length, std::uint8_t status)
    {
        IOutgoingDCPipe* parser;
        {
            std::lock_guard<std::recursive_mutex> guard(sharedLock);
            parser = Back();
        }
        return parser != nullptr && parser->SendPacket(command, data, length, status);
    }

    std::string name;  // printed at the start of the handler's log lines
};

}  // namespace TolvarRT
