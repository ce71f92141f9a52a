// The conversation with the radio behind a Listener port: radio commands sent
// as data-collector packets of type 0x77, the wait for their replies, and what
// the replies carry (identity, state, events, pipe data, channels, Bluetooth).
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>

#include "core/event.h"
#include "core/pipes.h"
#include "core/subscription.h"
#include "decoders/dc_identity.h"
#include "decoders/dc_input_handler.h"

namespace TolvarRT {

// The first data byte of a radio reply.
enum : std::uint8_t {
    kRadioReplyData = 0xA0,
    kRadioReplyA1 = 0xA1,
    kRadioReplyAck = 0xA2,
    kRadioReplyA8 = 0xA8,
    kRadioReplyA9 = 0xA9,
};

// SendRadioCommand results besides the reply codes.
enum : int {
    kRadioSentNoWait = 0,  // sent without waiting, or the port refused it
    kRadioNoSender = -1,   // not attached to a packet parser
    kRadioTimedOut = -2,
};

struct sRadioChannelTable {
    static constexpr unsigned kMaxValues = 20;
    std::uint16_t currentChannel = 0;
    std::uint8_t count = 0;  // values stored, never more than kMaxValues
    std::uint8_t extra = 0;
    std::uint16_t values[kMaxValues] = {};
};

// The radio's state as a list of items, each a 16-bit id (most significant
// byte first) whose range fixes the item's size.
struct sRadioStateRecord {
    static constexpr unsigned kMaxItems = 256;
    std::uint8_t valid = 0;
    std::uint16_t length = 0;
    std::uint8_t items[kMaxItems] = {};
};

using BtAddress = std::array<std::uint8_t, 6>;

// What the last Bluetooth reply said; btOp 0 until one arrived.
struct sBluetoothReply {
    std::uint8_t btOp = 0;
    std::uint8_t btIndex = 0;
    std::uint8_t btByte1 = 0;
    std::uint8_t btByte2 = 0;
    std::uint8_t btFlag = 0;
    std::uint8_t btPort = 0;
    std::uint8_t btKind = 0;
    BtAddress btAddress = {};
    std::string btText;  // at most 255 characters
};

// Thread rules: commands are sent from one thread (the user-interface
// thread), which also subscribes and unsubscribes the handler; one command at
// a time may wait. Replies arrive in OnPacket on the port's reader thread,
// which parses them under the shared lock. A waiting command never holds that
// lock, and neither does a send: the parser's lock nests outside ours on the
// reader thread. IPipeOut and IRadioEvents subscribers are called on the
// reader thread without the handler's lock.
class CDC77Handler : public CDCInputHandler, public TSubscription<IPipeOut>, public TSubscription<IRadioEvents> {
public:
    static constexpr unsigned kDefaultTimeoutMs = 2500;
    static constexpr unsigned kMaxCommandData = 254;  // the sub-command takes one byte of 255
    static constexpr unsigned kMaxPipePut = 200;

    explicit CDC77Handler(CLogPipe* logPipe = nullptr) : CDCInputHandler(logPipe) {}
    ~CDC77Handler() override;

    void OnPacket(std::uint8_t type, const std::uint8_t* data, std::uint8_t length, std::uint8_t status,
                  const TimeStamp& timeStamp) override;
    // code is the reply's first byte; data and length are the rest.
    virtual void OnRadioReply(std::uint8_t code, const std::uint8_t* data, std::uint8_t length);
    // The hooks below get the reply after its echoed sub-command and return
    // false when it is too short for what it claims. They run under the lock.
    virtual bool OnChannelTable(const std::uint8_t* data, std::uint8_t length);
    virtual bool OnRadioFlags(const std::uint8_t* data, std::uint8_t length);
    virtual bool OnPipeStatus(const std::uint8_t* data, std::uint8_t length);
    // Pipe output after the "P": four id bytes, the count, one byte skipped,
    // the data. Runs without the lock; publishes and logs the data.
    virtual void OnPipeData(const std::uint8_t* data, std::uint8_t length);

    // Sends sub-command sub with its data and, with wait, blocks until the
    // reply: a data reply echoing sub (whose next byte is expectedSecond,
    // when that is not 0), or any other reply code that ends a wait. Returns
    // that reply's code, or one of kRadioSentNoWait, kRadioNoSender,
    // kRadioTimedOut. timeoutMs 0 is kDefaultTimeoutMs. Data longer than
    // kMaxCommandData is refused: nothing is sent, the result is
    // kRadioSentNoWait.
    // A command that timed out still owes its reply for as long again: a
    // reply that could be its own, arriving in that time, is logged and ends
    // no wait (what it reports is kept), and the next command waiting for a
    // reply is held back until the owed one came or its time ran out, since
    // a radio's replies carry nothing that tells which command they answer.
    int SendRadioCommand(std::uint8_t sub, const std::uint8_t* data, unsigned length, bool wait,
                         std::uint8_t expectedSecond = 0, unsigned timeoutMs = 0);
    // The test is being ended: a command waiting for its reply stops waiting
    // at once, as if it had timed out, and so does every later one; may be
    // called from any thread.
    void CancelWaits();

    // With request, forgets the name fields and asks the radio again.
    sDeviceIdentity RadioIdentity(bool request);
    // True when the radio answered; the record may still be invalid.
    bool QueryRadioState(sRadioStateRecord& record);
    // Events first, then parameters, one line each; "ERROR" for an invalid record.
    static std::string FormatRadioState(const sRadioStateRecord& record);
    // True when the record holds items that end exactly at its length.
    static bool IsValidStateList(const std::uint8_t* items, unsigned length);
    std::uint32_t RadioSeconds() const;
    bool RequestReport(std::uint8_t kind, bool wait);

    void ResetRadio();
    bool RadioOff(bool wait);
    bool RadioOn(bool wait);

    // A pipe id is four characters, the first in the most significant byte.
    bool OpenRadioPipe(std::uint32_t id);
    bool JoinRadioPipes(std::uint32_t id1, std::uint32_t id2);
    bool PutRadioPipe(std::uint32_t id, const std::uint8_t* bytes, unsigned n);
    bool CloseRadioPipe(std::uint32_t id);

    // Without current the request is only sent. With table, asks for the
    // table too, and falls back to the current channel alone when the radio
    // refuses that.
    bool ReadChannelTable(std::uint16_t* current, sRadioChannelTable* table);
    bool SetChannel(std::uint16_t channel);
    bool QueryRadioFlags(bool wait);
    bool RadioFlag0() const;

    // Each waits for the Bluetooth reply of its operation; read what it
    // answered with BluetoothReply().
    bool BtConnect(std::uint8_t device, std::uint8_t channel);
    bool BtDisconnect(std::uint8_t channel);
    bool BtSearch(bool fresh);
    bool BtDevice(std::uint8_t index);
    bool BtNameOf(const BtAddress& address);
    bool BtChannelState(std::uint8_t channel);
    bool BtSwitchRole(std::uint8_t channel, std::uint8_t role);
    bool BtServiceQuery(std::uint8_t device, std::uint8_t service);
    bool BtServiceRecord(std::uint8_t index);
    sBluetoothReply BluetoothReply() const;

    // Snapshots of the last replies.
    sRadioChannelTable ChannelTable() const;
    sRadioStateRecord StateRecord() const;

private:
    struct sPendingEvent;

    using Clock = std::chrono::steady_clock;

    // Under the lock: a wait is over with code.
    void EndWait(std::uint8_t code);
    // Under the lock: whether a reply could answer the command that timed
    // out; if so it is that command's late reply, and nothing is owed now.
    bool TakeOwedReply(std::uint8_t code, const std::uint8_t* data, std::uint8_t length);
    // Waits until no reply is owed any more.
    void AwaitOwedReply();
    bool ReadEventReport(const std::uint8_t* data, std::uint8_t length, sPendingEvent& event);
    bool OnRadioState(const std::uint8_t* data, std::uint8_t length);
    bool OnBluetoothReply(const std::uint8_t* data, std::uint8_t length);
    bool PipeCommand(const std::uint8_t* data, unsigned length);
    // Sends Bluetooth operation data[0] and waits for its reply; check runs
    // under the lock on the reply's fields.
    template <class Check>
    bool BluetoothCommand(const std::uint8_t* data, unsigned length, unsigned timeoutMs, Check&& check);

    std::uint8_t waitingSub = 0;      // 0: nothing awaited
    std::uint8_t expectedSecond = 0;  // 0: any data reply echoing waitingSub will do
    std::uint8_t replyCode = 0;
    CEvent replyEvent{CEvent::Reset::Manual};
    // The command that timed out and may still answer, until owedUntil.
    std::uint8_t owedSub = 0;  // 0: nothing owed
    std::uint8_t owedSecond = 0;
    Clock::time_point owedUntil;
    CEvent owedEvent{CEvent::Reset::Manual};  // set when the owed reply came
    CEvent cancelled{CEvent::Reset::Manual};
    sDeviceIdentity radioIdentity;
    sRadioChannelTable channelTable;
    std::uint8_t radioFlags = 0;
    std::uint32_t radioSeconds = 0;
    sRadioStateRecord stateRecord;
    sBluetoothReply bluetooth;
};

}  // namespace TolvarRT
