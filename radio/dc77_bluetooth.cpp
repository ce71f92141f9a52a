// Bluetooth operations through the radio: each sends one operation and waits
// for that operation's reply, whose fields depend on the operation.
#include <algorithm>

#include "radio/dc77_codes.h"

namespace TolvarRT {

using namespace dc77;

namespace {

// The shortest reply of each Bluetooth operation 1..12.
constexpr std::uint8_t kBluetoothReplyLength[13] = {0, 3, 3, 3, 3, 8, 7, 7, 10, 3, 2, 2, 4};
constexpr unsigned kBtLongWait = 10000;
constexpr unsigned kBtShortWait = 2500;
constexpr unsigned kBtRecordWait = 1000;
constexpr auto AnyReply = [](const sBluetoothReply&) { return true; };

}  // namespace

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

}  // namespace TolvarRT
