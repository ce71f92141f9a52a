// The radio commands other than Bluetooth: identity, state, event reports,
// power, pipes, channels and flags, each a sub-command and its reply.
#include <cstring>

#include "radio/dc77_codes.h"

namespace TolvarRT {

using namespace dc77;

sDeviceIdentity CDC77Handler::RadioIdentity(bool request)
{
    if (request) {
        {
            Guard guard(sharedLock);
            radioIdentity.text.clear();
            radioIdentity.productName.clear();
            radioIdentity.productField.clear();
        }
        SendRadioCommand(kSubIdentity, nullptr, 0, true);
    }
    Guard guard(sharedLock);
    return radioIdentity;
}

bool CDC77Handler::QueryRadioState(sRadioStateRecord& record)
{
    {
        Guard guard(sharedLock);
        stateRecord.valid = 0;
    }
    const std::uint8_t all = 0x00;
    if (SendRadioCommand(kSubState, &all, 1, true) != kRadioReplyData)
        return false;
    Guard guard(sharedLock);
    record = stateRecord;
    return true;
}

std::uint32_t CDC77Handler::RadioSeconds() const
{
    Guard guard(sharedLock);
    return radioSeconds;
}

bool CDC77Handler::RequestReport(std::uint8_t kind, bool wait)
{
    const int result = SendRadioCommand(kSubReport, &kind, 1, wait);
    return wait ? result == kRadioReplyData : result == kRadioSentNoWait;
}

void CDC77Handler::ResetRadio()
{
    log.LogBasic("Reseting Radio");
    SendRadioCommand(kSubReset, nullptr, 0, false);
}

bool CDC77Handler::RadioOff(bool wait)
{
    log.LogMost("Turning Radio Off");
    return SendRadioCommand(kSubRadioOff, nullptr, 0, wait) == kRadioReplyAck;
}

bool CDC77Handler::RadioOn(bool wait)
{
    log.LogMost("Turning Radio On");
    return SendRadioCommand(kSubRadioOn, nullptr, 0, wait) == kRadioReplyAck;
}

bool CDC77Handler::PipeCommand(const std::uint8_t* data, unsigned length)
{
    return SendRadioCommand(kSubPipe, data, length, true) == kRadioReplyAck;
}

bool CDC77Handler::OpenRadioPipe(std::uint32_t id)
{
    std::uint8_t data[5] = {'O'};
    Put32(data + 1, id);
    return PipeCommand(data, sizeof data);
}

bool CDC77Handler::JoinRadioPipes(std::uint32_t id1, std::uint32_t id2)
{
    std::uint8_t data[9] = {'J'};
    Put32(data + 1, id1);
    Put32(data + 5, id2);
    return PipeCommand(data, sizeof data);
}

bool CDC77Handler::PutRadioPipe(std::uint32_t id, const std::uint8_t* bytes, unsigned n)
{
    if (n > kMaxPipePut || (bytes == nullptr && n != 0))
        return false;
    std::uint8_t data[6 + kMaxPipePut] = {kPipePut};
    Put32(data + 1, id);
    data[5] = std::uint8_t(n);
    if (n != 0)
        std::memcpy(data + 6, bytes, n);
    return PipeCommand(data, 6 + n);
}

bool CDC77Handler::CloseRadioPipe(std::uint32_t id)
{
    std::uint8_t data[5] = {'C'};
    Put32(data + 1, id);
    return PipeCommand(data, sizeof data);
}

bool CDC77Handler::ReadChannelTable(std::uint16_t* current, sRadioChannelTable* table)
{
    const std::uint8_t withTable = 0x01;
    if (table != nullptr) {
        // A reply without a table must not hand out the previous one.
        Guard guard(sharedLock);
        channelTable.count = 0;
    }
    const int result = SendRadioCommand(kSubChannelTable, table != nullptr ? &withTable : nullptr,
                                        table != nullptr ? 1 : 0, current != nullptr);
    if (current == nullptr)
        return true;
    if (result == kRadioReplyData) {
        Guard guard(sharedLock);
        *current = channelTable.currentChannel;
        if (table != nullptr)
            *table = channelTable;
        return true;
    }
    // Radios without a table still tell their current channel.
    if (table == nullptr || SendRadioCommand(kSubChannelTable, nullptr, 0, true) != kRadioReplyData)
        return false;
    Guard guard(sharedLock);
    *current = channelTable.currentChannel;
    return true;
}

bool CDC77Handler::SetChannel(std::uint16_t channel)
{
    const std::uint8_t data[2] = {std::uint8_t(channel >> 8), std::uint8_t(channel)};
    if (SendRadioCommand(kSubSetChannel, data, 2, true) != kRadioReplyAck)
        return false;
    SendRadioCommand(kSubChannelTable, nullptr, 0, false);
    return true;
}

bool CDC77Handler::QueryRadioFlags(bool wait)
{
    const int result = SendRadioCommand(kSubFlags, nullptr, 0, wait);
    return wait ? result == kRadioReplyData : result == kRadioSentNoWait;
}

bool CDC77Handler::RadioFlag0() const
{
    Guard guard(sharedLock);
    return (radioFlags & 1) != 0;
}
sRadioChannelTable CDC77Handler::ChannelTable() const
{
    Guard guard(sharedLock);
    return channelTable;
}

sRadioStateRecord CDC77Handler::StateRecord() const
{
    Guard guard(sharedLock);
    return stateRecord;
}

}  // namespace TolvarRT
