// The RTCM v3 decoder of one port: slices each chunk for the scanner, publishes
// every frame it finds and keeps the lost-byte accounting exact.
#include "decoders/rtcm3_input_handler.h"

#include <algorithm>
#include <mutex>

namespace TolvarRT {

// A scan that finds nothing leaves at most an unfinished longest frame in the
// ring, so there is always room for the next slice and OnBytes cannot stall.
static_assert(CRTCM3Parser::kRingCapacity >= CRTCM3Parser::kMaxFrame - 1 + CRTCM3InputHandler::kSliceSize);

CRTCM3InputHandler::CRTCM3InputHandler(CLogPipe* logPipe) : log(logPipe), parser(std::make_unique<CRTCM3Parser>()) {}

CRTCM3InputHandler::~CRTCM3InputHandler()
{
    Unsubscribe();
}

void CRTCM3InputHandler::SetEnabled(bool flag)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    enabled = flag ? 1 : 0;
}

bool CRTCM3InputHandler::IsEnabled() const
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    return enabled != 0;
}

void CRTCM3InputHandler::SetName(const std::string& newName)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    name = newName;
}

void CRTCM3InputHandler::ReportLost(std::uint32_t firstIndex, std::uint32_t count)
{
    if (count > 0)
        MarkLostBytes(firstIndex, count);
}

void CRTCM3InputHandler::DiscardPending()
{
    ReportLost(pendingIndex, parser->Pending());
    parser->Reset();
}

void CRTCM3InputHandler::Deliver(unsigned messageNumber, const std::uint8_t* payload, std::uint16_t length,
                                 const TimeStamp& timeStamp)
{
    Publish(
        [&](IIncommingRTCM3Pipe& subscriber) { subscriber.OnRTCM3Frame(messageNumber, payload, length, timeStamp); });
    // The time conversion is an argument: test first so that nobody pays for it unheard.
    if (log.Wants(kLogBasic))
        log.LogBasic("%s Receive RTCM v3 Frame Length %d, Type %d, Time %0.3f", name.c_str(), int(length),
                     int(messageNumber), SecondsSinceStart(timeStamp));
    if (log.Wants(kLogAll))
        log.HexDump("RTCM v3 Data =", payload, length);
}

int CRTCM3InputHandler::OnBytes(const std::uint8_t* data, std::uint32_t length, std::uint32_t firstIndex,
                                const TimeStamp& timeStamp)
{
    std::lock_guard<std::recursive_mutex> guard(sharedLock);
    // A new stream, or a gap (decoding was off, or another pipe feeds us): a
    // frame still arriving can never be completed, so its bytes are lost.
    if (firstIndex == 0 || firstIndex != nextIndex || enabled == 0) {
        DiscardPending();
        pendingIndex = firstIndex;
    }
    nextIndex = firstIndex + length;
    if (enabled == 0) {
        ReportLost(firstIndex, length);
        pendingIndex = nextIndex;
        return 0;
    }

    // Lost bytes are gathered into one report that ends at pendingIndex and
    // goes out before the next frame, so reports and frames come in stream order.
    std::uint32_t lostRun = 0;
    std::uint32_t offset = 0;
    bool found = false;
    // After a frame the scanner is called again, with or without new bytes,
    // until it finds nothing: every frame in the ring is out before we return.
    while (offset < length || found) {
        const std::uint32_t slice = std::min({length - offset, kSliceSize, std::uint32_t(parser->FreeSpace())});
        const unsigned waitingBefore = parser->Pending();
        std::uint32_t consumed = 0;
        const std::uint8_t* payload = nullptr;
        std::uint16_t payloadLength = 0;
        unsigned messageNumber = 0;
        // A frame still arriving may hold a whole one: looked for once the
        // chunk is in, as the next slice may settle it anyway.
        const bool lastSlice = offset + slice == length;
        found = parser->Parse(data + offset, slice, consumed, payload, payloadLength, messageNumber, lastSlice);
        offset += consumed;

        const std::uint32_t removed = waitingBefore + consumed - parser->Pending();
        const std::uint32_t framed = found ? CRTCM3Parser::kHeaderSize + payloadLength + CRTCM3Parser::kCrcSize : 0;
        // The frame is the last thing the scan removed; all before it was skipped.
        lostRun += removed - framed;
        pendingIndex += removed - framed;
        if (found) {
            ReportLost(pendingIndex - lostRun, lostRun);
            lostRun = 0;
            pendingIndex += framed;
            publishedSpan = {pendingIndex - framed, framed};
            if (CFrameCover* cover = Cover())
                cover->Claim(publishedSpan.firstIndex, publishedSpan.count, true);
            Deliver(messageNumber, payload, payloadLength, timeStamp);
        }
    }
    ReportLost(pendingIndex - lostRun, lostRun);
    if (parser->Pending() > 0)
        if (CFrameCover* cover = Cover())
            parser->ForEachPendingStart(
                [&](unsigned offset, unsigned end) { cover->Pending(pendingIndex + offset, pendingIndex + end); });
    return 0;
}

}  // namespace TolvarRT
