// A data-collector receiver played by a test on a pseudo-terminal.
#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "decoders/dc_packet.h"
#include "packet_bytes.h"
#include "pty_pair.h"

namespace TolvarRT::testing {

// A receiver on the far end of a pseudo-terminal: answers the identity
// request with its identity and radio commands as its radio would. With a
// radio inside, a pipe request routes that radio to the port: transparently
// (the radio then answers identity requests) or filtered (the radio answers
// its own identity command).
class SimulatedReceiver {
public:
    SimulatedReceiver(const PtyPair& pty, std::string identity, std::string radioIdentity = "", Bytes withIdentity = {})
        : thread([this, &pty, identity, radioIdentity, withIdentity] {
              Serve(pty, identity, radioIdentity, withIdentity);
          })
    {
    }
    ~SimulatedReceiver()
    {
        stop.store(true);
        thread.join();
    }
    unsigned RadioCommands() const { return radioCommands.load(); }

private:
    void Serve(const PtyPair& pty, const std::string& identity, const std::string& radioIdentity,
               const Bytes& withIdentity)
    {
        bool transparent = false;
        Bytes pending;
        while (!stop.load()) {
            if (!pty.WaitReadable(std::chrono::milliseconds(50)))
                continue;
            const Bytes bytes = pty.ReadSome();
            pending.insert(pending.end(), bytes.begin(), bytes.end());
            // Whole packets only; the tool sends nothing else.
            while (pending.size() >= 6 && pending.size() >= std::size_t(pending[3]) + 6) {
                const std::uint8_t type = pending[2];
                const Bytes data(pending.begin() + 4, pending.begin() + 4 + pending[3]);
                pending.erase(pending.begin(), pending.begin() + 6 + pending[3]);
                if (type == kPacketRadioCommand)
                    radioCommands.fetch_add(1);
                if (type == kPacketIdentityRequest) {
                    pty.Write(TextPacket(kPacketIdentityReply, transparent ? radioIdentity : identity));
                    if (!withIdentity.empty())
                        pty.Write(withIdentity);
                } else if (type == kPacketPipeRequest && !radioIdentity.empty())
                    transparent = (data.at(0) & 0x80) == 0;
                else if (type == kPacketRadioCommand && !data.empty() && data[0] == 0x30)
                    pty.Write(TextPacket(kPacketRadioCommand, "\xA0" + radioIdentity));
                else if (type == kPacketRadioCommand)
                    pty.Write(TextPacket(kPacketRadioCommand, "\xA2"));
            }
        }
    }

    std::atomic<bool> stop{false};
    std::atomic<unsigned> radioCommands{0};
    std::thread thread;
};

}  // namespace TolvarRT::testing
