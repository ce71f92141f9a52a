#include "decoders/dc_cmr_handler.h"

#include <algorithm>
#include <mutex>
#include <random>

#include "core/time_base.h"

namespace TolvarRT {
namespace {

constexpr std::uint32_t kEpochTimeStep = 1000;
constexpr std::uint32_t kEpochTimeLast = 239999;

// Bodies are random bytes from a generator per thread, starting from the same
// state in every new generator thread.
std::uint8_t RandomByte()
{
    thread_local std::minstd_rand generator;
    return std::uint8_t(generator());
}

void FillRandom(sFakeFrame& frame, unsigned from)
{
    for (unsigned i = from; i < frame.length; ++i)
        frame.data[i] = RandomByte();
}

}  // namespace

CDCCMRHandler::~CDCCMRHandler()
{
    Unsubscribe();
}

void CDCCMRHandler::OnPacket(std::uint8_t command, const std::uint8_t* data, std::uint8_t length, std::uint8_t status,
                             const TimeStamp& timeStamp)
{
    // A packet too short for the byte its type is read from is not a frame.
    switch (command) {
    case kPacketCMR:
        if (length >= 2)
            PublishCMRFrame(std::uint8_t(data[1] >> 5), data, length, status, timeStamp);
        break;
    case kPacketCMRPlus: PublishCMRFrame(5, data, length, status, timeStamp); break;
    case kPacketCMRW:
        if (length >= 1)
            PublishCMRWFrame(data[0], data, length, status, timeStamp);
        break;
    case kPacketRadioCommand:
        if (length >= 1 && data[0] == kSendToMarker)
            PublishSendToFrame(data, length, status, timeStamp);
        break;
    case kPacketSendTo: PublishSendToFrame(data, length, status, timeStamp); break;
    default: break;
    }
}

void CDCCMRHandler::PublishCMRFrame(std::uint8_t type, const std::uint8_t* data, std::uint8_t length,
                                    std::uint8_t status, const TimeStamp& timeStamp)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    log.LogBasic("%s Receive CMR Frame Length %d, Type %d, Time %0.3f", name.c_str(), length, type,
                 SecondsSinceStart(timeStamp));
    Publish([&](IIncommingCMRPipe& pipe) { pipe.OnCMRFrame(type, data, length, status, timeStamp); });
}

void CDCCMRHandler::PublishCMRWFrame(std::uint8_t type, const std::uint8_t* data, std::uint8_t length,
                                     std::uint8_t status, const TimeStamp& timeStamp)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    log.LogBasic("%s Receive CMR-W Frame Length %d, Type %d, Time %0.3f", name.c_str(), length, type,
                 SecondsSinceStart(timeStamp));
    Publish([&](IIncommingCMRPipe& pipe) { pipe.OnCMRWFrame(type, data, length, status, timeStamp); });
}

void CDCCMRHandler::PublishSendToFrame(const std::uint8_t* data, std::uint8_t length, std::uint8_t status,
                                       const TimeStamp& timeStamp)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    Publish([&](IIncommingCMRPipe& pipe) { pipe.OnSendToFrame(data, length, status, timeStamp); });
}

void CDCCMRHandler::BuildFakeCMR(sFakeFrame& frame, std::uint8_t type, std::uint8_t length)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    frame.type = type;
    frame.command = type == 5 ? kPacketCMRPlus : kPacketCMR;
    frame.length = length;
    frame.epochTime = fakeEpochTime;
    const std::uint8_t header[5] = {0, std::uint8_t(type << 5), std::uint8_t(fakeEpochTime >> 10),
                                    std::uint8_t(fakeEpochTime >> 2), std::uint8_t((fakeEpochTime & 0x3) << 6)};
    std::copy_n(header, std::min<unsigned>(length, 5), frame.data);
    FillRandom(frame, 5);
    if (type == 0) {
        fakeEpochTime += kEpochTimeStep;
        if (fakeEpochTime > kEpochTimeLast)
            fakeEpochTime = 0;
    }
}

void CDCCMRHandler::BuildFakeSendTo(sFakeFrame& frame, std::uint8_t length, std::uint8_t value)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    frame.type = kSendToMarker;
    frame.command = kPacketRadioCommand;
    frame.length = length;
    frame.epochTime = fakeEpochTime;
    const std::uint8_t header[5] = {kSendToMarker, 0xFF, value, 0, 0};
    std::copy_n(header, std::min<unsigned>(length, 5), frame.data);
    FillRandom(frame, 5);
}

void CDCCMRHandler::BuildFakeCMRW(sFakeFrame& frame, std::uint8_t type, std::uint8_t length)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    frame.type = type;
    frame.command = kPacketCMRW;
    frame.length = length;
    frame.epochTime = fakeEpochTime;
    if (length > 0)
        frame.data[0] = type;
    FillRandom(frame, 1);
}

bool CDCCMRHandler::SendFakeFrame(const sFakeFrame& frame, std::uint8_t status)
{
    return SendPacket(frame.command, frame.data, frame.length, status);
}

std::uint32_t CDCCMRHandler::FakeEpochTime() const
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    return fakeEpochTime;
}

}  // namespace TolvarRT
