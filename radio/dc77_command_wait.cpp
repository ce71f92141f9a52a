// The wait for a radio command's reply. A radio's replies carry nothing that
// tells which command they answer, so one command waits at a time, and a
// command that timed out is owed its reply before the next may wait.
#include <chrono>
#include <cstring>

#include "decoders/dc_packet.h"
#include "radio/dc77_codes.h"

namespace TolvarRT {

using namespace dc77;

int CDC77Handler::SendRadioCommand(std::uint8_t sub, const std::uint8_t* data, unsigned length, bool wait,
                                   std::uint8_t expected, unsigned timeoutMs)
{
    IOutgoingDCPipe* sender;
    {
        Guard guard(sharedLock);
        sender = Back();
    }
    if (sender == nullptr)
        return kRadioNoSender;
    if (data == nullptr)
        length = 0;
    if (length > kMaxCommandData)
        return kRadioSentNoWait;

    std::uint8_t packet[1 + kMaxCommandData];
    packet[0] = sub;
    if (length != 0)
        std::memcpy(packet + 1, data, length);
    log.LogMost("Sending Radio Commmand 77 %02x Length %d", sub, int(length + 1));
    if (length != 0)
        log.HexDump(" Commmand 77 Data =", data, length);

    // Armed before the packet leaves, so that a quick reply cannot slip in
    // between, and a late reply to an earlier command cannot end this wait.
    if (wait) {
        AwaitOwedReply();
        Guard guard(sharedLock);
        replyEvent.Clear();
        replyCode = 0;
        waitingSub = sub;
        expectedSecond = expected;
    }
    // Sent without our lock: the parser holds its own lock while it calls us.
    if (!sender->SendPacket(kPacketRadioCommand, packet, std::uint8_t(length + 1), 0)) {
        if (wait) {
            Guard guard(sharedLock);
            if (waitingSub == sub) {
                waitingSub = 0;
                expectedSecond = 0;
            }
        }
        return kRadioSentNoWait;
    }
    if (!wait)
        return kRadioSentNoWait;

    const std::chrono::milliseconds timeout(timeoutMs != 0 ? timeoutMs : kDefaultTimeoutMs);
    // After the arming's Clear: a cancel from then on sets the event again.
    if (cancelled.IsSet() || !replyEvent.WaitFor(timeout) || cancelled.IsSet()) {
        Guard guard(sharedLock);
        // The reply may have come just now: then it is this command's.
        if (waitingSub == sub) {
            waitingSub = 0;
            owedSub = sub;
            owedSecond = expectedSecond;
            expectedSecond = 0;
            owedUntil = Clock::now() + timeout;
            owedEvent.Clear();
            log.LogBasic("No reply to radio command 77 %02x within %lld ms", sub,
                         static_cast<long long>(timeout.count()));
            return kRadioTimedOut;
        }
    }
    std::uint8_t code;
    {
        Guard guard(sharedLock);
        code = replyCode;
    }
    if (code == 0)
        log.LogMost("No Response");
    return code;
}

bool CDC77Handler::TakeOwedReply(std::uint8_t code, const std::uint8_t* data, std::uint8_t length)
{
    if (owedSub == 0)
        return false;
    if (Clock::now() >= owedUntil) {
        owedSub = 0;
        owedEvent.Set();
        return false;
    }
    bool answers = IsEndOfWait(code);
    if (code == kRadioReplyData && length > 0) {
        const bool identity = owedSub == kSubIdentity && IsIdentityText(data, length);
        const bool echo = data[0] == owedSub && (owedSecond == 0 || (length >= 2 && data[1] == owedSecond));
        // Pipe output comes unasked, whatever the pipe commands did.
        const bool pipeOutput = data[0] == kSubPipe && length >= 2 && data[1] == kPipePut;
        answers = identity || (echo && !pipeOutput);
    }
    if (!answers)
        return false;
    log.LogBasic("A reply to radio command 77 %02x came after its time-out; it answers no later command", owedSub);
    owedSub = 0;
    owedEvent.Set();
    return true;
}

void CDC77Handler::AwaitOwedReply()
{
    Clock::time_point until;
    {
        Guard guard(sharedLock);
        if (owedSub == 0)
            return;
        until = owedUntil;
    }
    // A cancel sets the event: a wait begun before it ends too.
    if (!cancelled.IsSet())
        owedEvent.WaitFor(std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()));
    Guard guard(sharedLock);
    owedSub = 0;
}

void CDC77Handler::CancelWaits()
{
    cancelled.Set();
    replyEvent.Set();
    owedEvent.Set();
}

void CDC77Handler::EndWait(std::uint8_t code)
{
    replyCode = code;
    waitingSub = 0;
    expectedSecond = 0;
    replyEvent.Set();
}

}  // namespace TolvarRT
