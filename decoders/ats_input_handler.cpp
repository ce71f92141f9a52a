// ATS decoder and the frame builder of the fake ATS generator.
#include "decoders/ats_input_handler.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace TolvarRT {
namespace {

constexpr unsigned kPackedDigits = 7;

// The first seven decimal digits of value, zero-padded on the left.
void DigitsOf(std::uint32_t value, std::uint8_t (&digits)[kPackedDigits])
{
    char text[16];
    std::snprintf(text, sizeof text, "%07u", unsigned(value));
    for (unsigned i = 0; i < kPackedDigits; ++i)
        digits[i] = std::uint8_t(text[i] - '0');
}

std::uint8_t Nibbles(std::uint8_t high, std::uint8_t low)
{
    return std::uint8_t((high << 4) | low);
}

}  // namespace

CATSInputHandler::CATSInputHandler(CLogPipe* logPipe) : log(logPipe) {}

CATSInputHandler::~CATSInputHandler()
{
    Unsubscribe();
}

void CATSInputHandler::SetEnabled(bool flag)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    if (enabled == flag)
        return;
    enabled = flag;
    DropOpenFrame();
}

bool CATSInputHandler::IsEnabled() const
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    return enabled;
}

void CATSInputHandler::DropOpenFrame()
{
    if (searching)
        return;
    droppedStart = frameStart;
    droppedCount = count;
    searching = true;
    count = 0;
}

int CATSInputHandler::OnBytes(const std::uint8_t* data, std::uint32_t length, std::uint32_t firstIndex,
                              const TimeStamp& timeStamp)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    const bool gap = firstIndex != nextIndex;
    // Held frames are decided first: the strong decoders have taken this
    // chunk already. After a change of the switch or a gap nothing more can
    // be learnt about them.
    SettleHeld(gap || droppedCount != 0 || !enabled ? Gate::kAll : 0);
    if (droppedCount != 0) {
        ReportLostUpTo(droppedStart + droppedCount);
        droppedCount = 0;
    }
    if (gap) {
        // A frame open before the gap cannot go on with these bytes.
        if (!searching)
            ReportLostUpTo(nextIndex);
        searching = true;
        count = 0;
        gate.RestartAt(firstIndex);
    }
    nextIndex = firstIndex + length;
    if (!enabled) {
        ReportLostUpTo(firstIndex + length);
        return 0;
    }
    std::uint32_t i = 0;
    while (i < length) {
        if (searching) {
            const void* start = std::memchr(data + i, kFrameStart, length - i);
            if (start == nullptr)
                break;
            i = std::uint32_t(static_cast<const std::uint8_t*>(start) - data);
            ReportLostUpTo(firstIndex + i);
            searching = false;
            frameStart = firstIndex + i;
            frame[0] = kFrameStart;
            count = 1;
            ++i;
            continue;
        }
        // Collect up to the end byte or the length limit, whichever comes first.
        const std::uint32_t span = std::min(kMaxFrameLength - count, length - i);
        const void* end = std::memchr(data + i, kFrameEnd, span);
        const std::uint32_t taken =
            end != nullptr ? std::uint32_t(static_cast<const std::uint8_t*>(end) - (data + i)) + 1 : span;
        std::memcpy(frame + count, data + i, taken);
        count += taken;
        i += taken;
        if (end != nullptr || count == kMaxFrameLength)
            CloseFrame(timeStamp);
    }
    if (searching)
        ReportLostUpTo(firstIndex + length);
    return 0;
}

void CATSInputHandler::ReportLostUpTo(std::uint32_t index)
{
    gate.LostUpTo(index, Lost());
}

void CATSInputHandler::SettleHeld(unsigned giveUp)
{
    gate.Settle(Cover(), giveUp, Lost(), PublishHeld());
}

void CATSInputHandler::CloseFrame(const TimeStamp& timeStamp)
{
    searching = true;
    frame[count] = 0;
    CFrameCover* cover = Cover();
    switch (gate.Weigh(cover, frameStart, count)) {
    case Gate::eVerdict::Clear:
        gate.Publishing(cover, frameStart, count, Lost());
        publishedSpan = {frameStart, count};
        PublishATSFrame(0, frame, std::uint16_t(count), timeStamp);
        break;
    case Gate::eVerdict::Covered: break;
    case Gate::eVerdict::Open: {
        Gate::sFrame& held = gate.Hold(cover, frameStart, count, timeStamp, Lost(), PublishHeld());
        std::memcpy(held.bytes.data(), frame, count + 1);
        held.length = std::uint16_t(count);
        break;
    }
    }
    count = 0;
}

void CATSInputHandler::PublishATSFrame(unsigned type, const std::uint8_t* data, std::uint16_t length,
                                       const TimeStamp& timeStamp)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    Publish([&](IIncommingATSPipe& subscriber) { subscriber.OnATSFrame(type, data, length, timeStamp); });
}

void CATSInputHandler::PackFakeATS(FakeATSFrame& frame, std::uint32_t valueA, std::uint32_t valueB,
                                   std::uint32_t valueC)
{
    std::uint8_t a[kPackedDigits];
    std::uint8_t b[kPackedDigits];
    std::uint8_t c[kPackedDigits];
    DigitsOf(valueA, a);
    DigitsOf(valueB, b);
    DigitsOf(valueC, c);
    frame = {kFrameStart,
             0x06,
             Nibbles(0x9, a[0]),
             Nibbles(a[1], a[2]),
             Nibbles(a[3], a[4]),
             Nibbles(a[5], a[6]),
             Nibbles(b[0], b[1]),
             Nibbles(b[2], b[3]),
             Nibbles(b[4], b[5]),
             Nibbles(b[6], c[0]),
             Nibbles(c[1], c[2]),
             Nibbles(c[3], c[4]),
             Nibbles(c[5], c[6]),
             0x99,
             kFrameEnd};
    // The end byte must be the only 0x04, or a decoder would cut the frame short.
    std::replace(frame.begin(), frame.end() - 1, kFrameEnd, std::uint8_t(0xF4));
}

void CATSInputHandler::BuildFakeATS(FakeATSFrame& frame)
{
    std::uint32_t a;
    std::uint32_t b;
    std::uint32_t c;
    {
        std::lock_guard<std::recursive_mutex> guard(sharedLock);
        a = std::uint32_t(random() % 6280001u);
        b = std::uint32_t(random() % 6280001u);
        c = std::uint32_t(random() % 1000001u);
    }
    PackFakeATS(frame, a, b, c);
}

bool CATSInputHandler::SendFakeATS(const FakeATSFrame& frame)
{
    ILostBytePipe* pipe;
    {
        std::lock_guard<std::recursive_mutex> guard(sharedLock);
        pipe = Back();
    }
    return pipe != nullptr && pipe->Send(frame.data(), std::uint32_t(frame.size()));
}

}  // namespace TolvarRT
