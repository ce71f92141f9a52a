// The receive side of the radio handler: replies to radio commands are
// parsed as they arrive on the reader thread, what they carry is kept for the
// commands' callers, and events and pipe output go to their subscribers.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "decoders/dc_packet.h"
#include "radio/dc77_codes.h"

namespace TolvarRT {

using namespace dc77;

namespace {

// Pipe output: four id bytes, the count and one byte before the data.
constexpr unsigned kPipeDataHeader = 6;
constexpr unsigned kPipeLogSize = 250;
// An event report: kind, 32-bit seconds, then a 16-character name.
constexpr unsigned kSecondsReportLength = 5;
constexpr unsigned kNamedReportLength = 21;
constexpr unsigned kEventNameLength = 16;

}  // namespace

// An event report to publish once the lock is released.
struct CDC77Handler::sPendingEvent {
    bool due = false;
    std::uint8_t kind = 0;
    char name[kEventNameLength + 1] = {};
    char value[24] = {};
};

CDC77Handler::~CDC77Handler()
{
    // Stop the reader thread calling in before the members go.
    Unsubscribe();
}

void CDC77Handler::OnPacket(std::uint8_t type, const std::uint8_t* data, std::uint8_t length, std::uint8_t,
                            const TimeStamp&)
{
    if (type == kPacketRadioCommand) {
        if (length >= 1)
            OnRadioReply(data[0], data + 1, std::uint8_t(length - 1));
    } else if (type == kPacketIdentityReply) {
        Guard guard(sharedLock);
        if (waitingSub == kPacketIdentityRequest)
            EndWait(kPacketIdentityReply);
    }
}

void CDC77Handler::OnRadioReply(std::uint8_t code, const std::uint8_t* data, std::uint8_t length)
{
    sPendingEvent event;
    const std::uint8_t* pipeData = nullptr;
    std::uint8_t pipeLength = 0;
    {
        Guard guard(sharedLock);
        // A late reply ends no wait, but what it reports (events, pipe
        // output, tables) is still the radio's.
        const bool late = TakeOwedReply(code, data, length);
        if (IsEndOfWait(code)) {
            if (waitingSub != 0 && !late)
                EndWait(code);
            return;
        }
        // A data reply without its echoed sub-command says nothing.
        if (code != kRadioReplyData || length == 0)
            return;

        bool matched = false;
        if (!late && waitingSub == kSubIdentity && IsIdentityText(data, length)) {
            radioIdentity = ParseIdentityText(reinterpret_cast<const char*>(data), length);
            log.LogBasic("Received Radio Id String\r\n\t%s\r\n", radioIdentity.text.c_str());
            matched = true;
        }

        const std::uint8_t echo = data[0];
        const std::uint8_t* rest = data + 1;
        const auto restLength = std::uint8_t(length - 1);
        // A reply too short for what it claims is ignored and ends no wait,
        // except an event report: the radio answers the report command with
        // nothing else, so its echo alone ends the wait, without a code.
        bool whole = true;
        bool malformed = false;
        switch (echo) {
        case kSubChannelTable: whole = OnChannelTable(rest, restLength); break;
        case kSubFlags: whole = OnRadioFlags(rest, restLength); break;
        case kSubReport:
            malformed = !ReadEventReport(rest, restLength, event);
            if (malformed) {
                log.LogBasic("Malformed radio event report, %d bytes", int(restLength));
                log.HexDump(" Event Report =", rest, restLength);
            }
            break;
        case kSubPipe:
            if (restLength >= 1 && rest[0] == kPipePut) {
                whole = restLength - 1u >= kPipeDataHeader;
                if (whole) {
                    pipeData = rest + 1;
                    pipeLength = std::uint8_t(restLength - 1);
                }
            } else {
                whole = OnPipeStatus(rest, restLength);
            }
            break;
        case kSubState: whole = OnRadioState(rest, restLength); break;
        case kSubBluetooth: whole = OnBluetoothReply(rest, restLength); break;
        default: break;
        }

        const bool echoMatches = !late && waitingSub != 0 && waitingSub == echo &&
                                 (expectedSecond == 0 || (length >= 2 && data[1] == expectedSecond));
        if (malformed && echoMatches)
            EndWait(0);
        else if (matched || (whole && echoMatches))
            EndWait(kRadioReplyData);
    }

    // Subscribers are called without the lock, so they may call back in.
    if (pipeData != nullptr)
        OnPipeData(pipeData, pipeLength);
    if (event.due) {
        TSubscription<IRadioEvents>::Publish(
            [&](IRadioEvents& events) { events.OnRadioEvent(event.kind, event.name, event.value); });
    }
}

bool CDC77Handler::OnChannelTable(const std::uint8_t* data, std::uint8_t length)
{
    if (length < 2)
        return false;
    Guard guard(sharedLock);
    channelTable.currentChannel = Read16(data);
    if (length >= 5 && length >= 2u * data[2] + 4) {
        channelTable.count = std::min<std::uint8_t>(data[2], sRadioChannelTable::kMaxValues);
        channelTable.extra = data[3];
        for (unsigned i = 0; i < channelTable.count; ++i)
            channelTable.values[i] = Read16(data + 4 + 2 * i);
    }
    return true;
}

bool CDC77Handler::OnRadioFlags(const std::uint8_t* data, std::uint8_t length)
{
    if (length < 1)
        return false;
    Guard guard(sharedLock);
    radioFlags = data[0];
    return true;
}

bool CDC77Handler::OnPipeStatus(const std::uint8_t* data, std::uint8_t length)
{
    // Open, join and close are answered with an acknowledgement; a status
    // reply is only worth a look in the log.
    if (length < 1)
        return false;
    log.HexDump(" Radio Pipe Status =", data, length);
    return true;
}

void CDC77Handler::OnPipeData(const std::uint8_t* data, std::uint8_t length)
{
    if (length < kPipeDataHeader)
        return;
    const std::uint32_t id = Read32(data);
    const auto count = std::uint8_t(std::min<unsigned>(data[4], length - kPipeDataHeader));
    const std::uint8_t* bytes = data + kPipeDataHeader;
    TSubscription<IPipeOut>::Publish([&](IPipeOut& out) { out.OnPipeData(id, bytes, count); });

    // Logged as it came: the radio's bytes are never a format.
    std::string text = "Got pipe data \"";
    text.append(reinterpret_cast<const char*>(data), 4);
    text += " = ";
    text += TextUpToZero(bytes, count);
    text += '"';
    text.resize(std::min<std::size_t>(text.size(), kPipeLogSize - 1));
    log.LogAlways("%s", text.c_str());
}

bool CDC77Handler::ReadEventReport(const std::uint8_t* data, std::uint8_t length, sPendingEvent& event)
{
    if (length < 1)
        return false;
    const std::uint8_t kind = data[0];
    if (length < (kind == 0 ? kSecondsReportLength : kNamedReportLength))
        return false;
    const std::uint32_t seconds = Read32(data + 1);
    if (kind == 0) {
        radioSeconds = seconds;
        return true;
    }
    if (TSubscription<IRadioEvents>::SubscriberCount() == 0)
        return true;

    unsigned nameLength = 0;
    while (nameLength < kEventNameLength && data[5 + nameLength] != 0) {
        event.name[nameLength] = char(data[5 + nameLength]);
        ++nameLength;
    }
    while (nameLength > 0 && std::isspace(static_cast<unsigned char>(event.name[nameLength - 1])))
        --nameLength;
    event.name[nameLength] = '\0';
    if (kind == 1) {
        std::snprintf(event.value, sizeof event.value, "%d:%02d:%02d", int(seconds / 3600), int(seconds / 60 % 60),
                      int(seconds % 60));
    } else {
        std::snprintf(event.value, sizeof event.value, "%d", std::int32_t(seconds));
    }
    event.kind = kind;
    event.due = true;
    return true;
}

bool CDC77Handler::OnRadioState(const std::uint8_t* data, std::uint8_t length)
{
    if (length < 1)
        return false;
    // An invalid list still answers the query; the record then stays invalid.
    if (length > 3 && IsValidStateList(data + 1, length - 1u)) {
        std::memcpy(stateRecord.items, data + 1, length - 1u);
        stateRecord.length = std::uint16_t(length - 1);
        stateRecord.valid = 1;
    }
    return true;
}

}  // namespace TolvarRT
