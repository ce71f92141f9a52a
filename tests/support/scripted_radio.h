// A radio played by the test on the master of a pseudo-terminal: it reads the
// radio command packets the tool sends and answers them when, and with what,
// the test says.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "decoders/dc_packet.h"
#include "packet_bytes.h"
#include "pty_pair.h"

namespace TolvarRT::testing {

class ScriptedRadio {
public:
    bool IsValid() const { return pty.IsValid(); }
    const std::string& Path() const { return pty.SlavePath(); }

    // The data of the next radio command packet (sub-command first); empty
    // when none came within timeout. Bytes outside packets are skipped.
    Bytes ReadCommand(std::chrono::milliseconds timeout = std::chrono::seconds(20))
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            Bytes packet;
            while (TakePacket(packet)) {
                if (packet[2] == kPacketRadioCommand)
                    return Bytes(packet.begin() + 4, packet.end() - 2);
            }
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !pty.WaitReadable(left))
                return {};
            std::uint8_t chunk[512];
            const ssize_t got = read(pty.Master(), chunk, sizeof chunk);
            if (got > 0)
                pending.insert(pending.end(), chunk, chunk + got);
        }
    }
    bool Answer(const Bytes& reply) { return pty.Write(Packet(kPacketRadioCommand, reply)); }
    // A data reply with the identity text.
    bool AnswerIdentity(const std::string& text)
    {
        Bytes reply{0xA0};
        reply.insert(reply.end(), text.begin(), text.end());
        return Answer(reply);
    }

private:
    // Cuts the first whole packet off what was read.
    bool TakePacket(Bytes& packet)
    {
        for (;;) {
            std::size_t start = 0;
            while (start < pending.size() && pending[start] != kPacketStx)
                ++start;
            pending.erase(pending.begin(), pending.begin() + std::ptrdiff_t(start));
            if (pending.size() < 4 || pending.size() < std::size_t(pending[3]) + 6)
                return false;
            const std::size_t size = std::size_t(pending[3]) + 6;
            if (pending[size - 1] == kPacketEtx) {
                packet.assign(pending.begin(), pending.begin() + std::ptrdiff_t(size));
                pending.erase(pending.begin(), pending.begin() + std::ptrdiff_t(size));
                return true;
            }
            pending.erase(pending.begin());
        }
    }

    PtyPair pty;
    Bytes pending;
};

}  // namespace TolvarRT::testing
