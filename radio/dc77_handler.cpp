// Radio commands out, radio replies in: the wait for a reply, and the parsing
// and rendering of what the replies carry.
#include "core/string_format.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "decoders/dc_packet.h"
#include "radio/dc77_handler.h"

namespace TolvarRT {
namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

// Sub-commands of a radio command packet.
enum : std::uint8_t {
    kSubReset = 0x09,
    kSubRadioOff = 0x24,
    kSubRadioOn = 0x25,
    kSubChannelTable = 0x28,
    kSubSetChannel = 0x29,
    kSubFlags = 0x2E,
    kSubIdentity = 0x30,
    kSubReport = 0x60,
    kSubPipe = 0x62,
    kSubState = 0x65,
    kSubBluetooth = 0x66,
};

constexpr char kProductKey[] = "PRODUCT";
constexpr unsigned kProductKeyLength = sizeof(kProductKey) - 1;
constexpr std::uint8_t kPipePut = 'P';
// Pipe output: four id bytes, the count and one byte before the data.
constexpr unsigned kPipeDataHeader = 6;
constexpr unsigned kPipeLogSize = 250;
// An event report: kind, 32-bit seconds, then a 16-character name.
constexpr unsigned kSecondsReportLength = 5;
constexpr unsigned kNamedReportLength = 21;
constexpr unsigned kEventNameLength = 16;
// The shortest reply of each Bluetooth operation 1..12.
constexpr std::uint8_t kBluetoothReplyLength[13] = {0, 3, 3, 3, 3, 8, 7, 7, 10, 3, 2, 2, 4};
constexpr unsigned kBtLongWait = 10000;
constexpr unsigned kBtShortWait = 2500;
constexpr unsigned kBtRecordWait = 1000;
constexpr auto AnyReply = [](const sBluetoothReply&) { return true; };

std::uint32_t Read32(const std::uint8_t* bytes)
{
    return std::uint32_t(bytes[0]) << 24 | std::uint32_t(bytes[1]) << 16 | std::uint32_t(bytes[2]) << 8 | bytes[3];
}

std::uint16_t Read16(const std::uint8_t* bytes)
{
    return std::uint16_t(bytes[0] << 8 | bytes[1]);
}

void Put32(std::uint8_t* bytes, std::uint32_t value)
{
    bytes[0] = std::uint8_t(value >> 24);
    bytes[1] = std::uint8_t(value >> 16);
    bytes[2] = std::uint8_t(value >> 8);
    bytes[3] = std::uint8_t(value);
}

// The bytes up to the first zero byte.
std::string TextUpToZero(const std::uint8_t* bytes, unsigned length)
{
    const std::uint8_t* end = std::find(bytes, bytes + length, 0);
    return std::string(bytes, end);
}

// The size of a state item, fixed by its id.
unsigned StateItemSize(std::uint16_t id)
{
    if (id < 0x2000 || id >= 0x8000)
        return 2;
    return id < 0x4000 ? 4 : 6;
}

// Calls item(id, bytes) for each whole item in order; true when the items
// end exactly at length.
template <class Item>
bool WalkStateItems(const std::uint8_t* items, unsigned length, Item&& item)
{
    if (length > sRadioStateRecord::kMaxItems)
        return false;
    unsigned offset = 0;
    while (offset < length) {
        if (length - offset < 2)
            return false;
        const std::uint16_t id = Read16(items + offset);
        const unsigned size = StateItemSize(id);
        if (length - offset < size)
            return false;
        item(id, items + offset);
        offset += size;
    }
    return true;
}

struct sItemName {
    std::uint16_t id;
    const char* name;
};

constexpr sItemName kEventNames[] = {
    {1, "Low Voltage"},
    {2, "Very Low Voltage"},
    {3, "Very Low Voltage Shutdown"},
    {4, "Battery Charging"},
    {16, "High Temperature"},
    {18, "Low Temperature Shutdown"},
    {19, "Low Temperature Shutdown"},
    {20, "No CMRs at Base"},
    {21, "Not Synchronized"},
    {22, "No Easy IP Address"},
};

constexpr sItemName kParameterNames[] = {
    {0x2001, "Signal Strength"},
    {0x2002, "Noise Strength"},
    {0x2003, "Network Number"},
    {0x2004, "Wireless Mode"},
    {0x2006, "Current Cell"},
    {0x2010, "Throughput % last minute"},
    {0x2011, "Throughput % last 5 minutes"},
    {0x2012, "Throughput % last 30 minutes"},
    {0x2013, "Current Power State"},
    {0x2014, "Current Charger State"},
    {0x2015, "Estimate Charge Level"},
    {0x2016, "Current Temperature State"},
    {0x2017, "Current Temperature"},
    {0x3001, "Base Rover Repeater Mode"},
    {0x4001, "Channel"},
    {0x4002, "Channel Spacing"},
    {0x4003, "Subscription State"},
    {0x5001, "Primary IP Address"},
    {0x5002, "Alternative IP Address "},
    {0x5003, "Alternative IP Address "},
    {0x5004, "Alternative IP Address "},
};

// The item's name, or null when the table does not know its id.
template <std::size_t N>
const char* NameOf(const sItemName (&table)[N], std::uint16_t id)
{
    for (const sItemName& entry : table) {
        if (entry.id == id)
            return entry.name;
    }
    return nullptr;
}

bool IsEndOfWait(std::uint8_t code)
{
    return code == kRadioReplyA1 || code == kRadioReplyAck || code == kRadioReplyA8 || code == kRadioReplyA9;
}

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

// ---- Receive side -------------------------------------------------------

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
        if (!late && waitingSub == kSubIdentity && length >= kProductKeyLength &&
            std::memcmp(data, kProductKey, kProductKeyLength) == 0) {
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
        const bool identity = owedSub == kSubIdentity && length >= kProductKeyLength &&
                              std::memcmp(data, kProductKey, kProductKeyLength) == 0;
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

bool CDC77Handler::OnBluetoothReply(const std::uint8_t* data, std::uint8_t length)
{
    if (length < 1)
        return false;
    const std::uint8_t op = data[0];
    if (op < 1 || op > 12 || length < kBluetoothReplyLength[op])
        return false;
    sBluetoothReply& bt = bluetooth;
    bool done = true;
    switch (op) {
    case 1:
    case 2:
        bt.btPort = data[2];
        done = data[1] != 0;
        break;
    case 3:
        done = data[2] != 0;
        if (done)
            bt.btIndex = data[1];
        break;
    case 4:
        bt.btByte1 = data[1];
        bt.btByte2 = data[2];
        break;
    case 5:
        bt.btIndex = data[1];
        std::copy_n(data + 2, 6, bt.btAddress.begin());
        bt.btText = TextUpToZero(data + 8, length - 8u);
        break;
    case 6: std::copy_n(data + 1, 6, bt.btAddress.begin()); break;
    case 7:
        std::copy_n(data + 1, 6, bt.btAddress.begin());
        bt.btText = TextUpToZero(data + 7, length - 7u);
        break;
    case 8:
        bt.btIndex = data[1];
        bt.btFlag = data[2] != 0;
        std::copy_n(data + 3, 6, bt.btAddress.begin());
        bt.btKind = data[9];
        break;
    case 9:
        bt.btIndex = data[1];
        bt.btKind = data[2];
        break;
    case 10:
    case 11: bt.btByte1 = data[1]; break;
    case 12:
        bt.btIndex = data[1];
        bt.btKind = data[2];
        bt.btPort = data[3];
        bt.btText = TextUpToZero(data + 4, length - 4u);
        break;
    default: break;
    }
    if (done)
        bt.btOp = op;
    return true;
}

// ---- Commands ------------------------------------------------------------

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

bool CDC77Handler::IsValidStateList(const std::uint8_t* items, unsigned length)
{
    return WalkStateItems(items, length, [](std::uint16_t, const std::uint8_t*) {});
}

std::string CDC77Handler::FormatRadioState(const sRadioStateRecord& record)
{
    if (record.valid == 0 || record.length > sRadioStateRecord::kMaxItems)
        return "ERROR";
    std::string events;
    std::string parameters;
    WalkStateItems(record.items, record.length, [&](std::uint16_t id, const std::uint8_t* item) {
        if (id >= 0x8000)
            return;
        char unknown[16];
        std::snprintf(unknown, sizeof unknown, "Unknown %x", id);
        if (id < 0x2000) {
            const char* name = NameOf(kEventNames, id);
            events += StringPrintf("EVENT: %s\n", name != nullptr ? name : unknown);
            return;
        }
        const char* name = NameOf(kParameterNames, id);
        if (name == nullptr)
            name = unknown;
        if (id < 0x3000) {
            const int value = std::int16_t(Read16(item + 2));
            // A negative value shows all 32 bits in hexadecimal.
            parameters += StringPrintf("%s = %d (0x%04x)\n", name, value, unsigned(value));
        } else if (id < 0x4000) {
            const unsigned value = Read16(item + 2);
            parameters += StringPrintf("%s = %u (0x%04x)\n", name, value, value);
        } else {
            const unsigned value = Read32(item + 2);
            parameters += StringPrintf("%s = %u (0x%08x)\n", name, value, value);
        }
    });
    return events + parameters;
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

// ---- Bluetooth -------------------------------------------------------------

template <class Check>
bool CDC77Handler::BluetoothCommand(const std::uint8_t* data, unsigned length, unsigned timeoutMs, Check&& check)
{
    const std::uint8_t op = data[0];
    {
        Guard guard(sharedLock);
        bluetooth.btOp = 0;
    }
    const int result = SendRadioCommand(kSubBluetooth, data, length, true, op, timeoutMs);
    Guard guard(sharedLock);
    return result == kRadioReplyData && bluetooth.btOp == op && check(bluetooth);
}

bool CDC77Handler::BtConnect(std::uint8_t device, std::uint8_t channel)
{
    const std::uint8_t data[] = {2, device, channel};
    return BluetoothCommand(data, sizeof data, kBtLongWait, AnyReply);
}

bool CDC77Handler::BtDisconnect(std::uint8_t channel)
{
    const std::uint8_t data[] = {3, channel};
    return BluetoothCommand(data, sizeof data, kBtLongWait,
                            [&](const sBluetoothReply& bt) { return bt.btIndex == channel; });
}

bool CDC77Handler::BtSearch(bool fresh)
{
    const std::uint8_t data[] = {4, std::uint8_t(fresh ? 0 : 1)};
    return BluetoothCommand(data, sizeof data, kBtLongWait, AnyReply);
}

bool CDC77Handler::BtDevice(std::uint8_t index)
{
    const std::uint8_t data[] = {5, index};
    return BluetoothCommand(data, sizeof data, kBtLongWait,
                            [&](const sBluetoothReply& bt) { return bt.btIndex == index; });
}

bool CDC77Handler::BtNameOf(const BtAddress& address)
{
    std::uint8_t data[7] = {7};
    std::copy(address.begin(), address.end(), data + 1);
    return BluetoothCommand(data, sizeof data, kBtShortWait,
                            [&](const sBluetoothReply& bt) { return bt.btAddress == address; });
}

bool CDC77Handler::BtChannelState(std::uint8_t channel)
{
    const std::uint8_t data[] = {8, channel};
    return BluetoothCommand(data, sizeof data, kBtShortWait,
                            [&](const sBluetoothReply& bt) { return bt.btIndex == channel; });
}

bool CDC77Handler::BtSwitchRole(std::uint8_t channel, std::uint8_t role)
{
    {
        // So that a reply without the new role cannot pass for it.
        Guard guard(sharedLock);
        bluetooth.btKind = std::uint8_t(~role);
    }
    const std::uint8_t data[] = {9, channel, role};
    return BluetoothCommand(data, sizeof data, kBtShortWait,
                            [&](const sBluetoothReply& bt) { return bt.btIndex == channel && bt.btKind == role; });
}

bool CDC77Handler::BtServiceQuery(std::uint8_t device, std::uint8_t service)
{
    const std::uint8_t data[] = {11, device, service};
    return BluetoothCommand(data, sizeof data, kBtLongWait, AnyReply);
}

bool CDC77Handler::BtServiceRecord(std::uint8_t index)
{
    const std::uint8_t data[] = {12, index};
    return BluetoothCommand(data, sizeof data, kBtRecordWait,
                            [&](const sBluetoothReply& bt) { return bt.btIndex == index; });
}

sBluetoothReply CDC77Handler::BluetoothReply() const
{
    Guard guard(sharedLock);
    return bluetooth;
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
