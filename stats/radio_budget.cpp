#include "stats/radio_budget.h"

namespace TolvarRT {
namespace {

constexpr unsigned kPacketFraming = 6;  // stx, status, type, length ... checksum, etx
constexpr unsigned kRtcm3Framing = 6;   // 3-byte header, 3-byte CRC
constexpr unsigned kNmeaLineEnd = 2;
constexpr unsigned kAtsFraming = 2;    // start and end byte
constexpr unsigned kRtcm2Header = 10;  // two 30-bit words, 5 bytes each

void Rate(sBudgetFigures& figures, std::uint64_t payload, std::uint64_t air, double seconds, unsigned linkBps)
{
    if (seconds <= 0.0)
        return;
    figures.payloadBytesPerS = double(payload) / seconds;
    figures.airBytesPerS = double(air) / seconds;
    if (linkBps != 0) {
        figures.share = figures.airBytesPerS * kAirBitsPerByte / double(linkBps);
        figures.overBudget = figures.share > kBudgetWarningShare;
    }
}

}  // namespace

std::uint64_t AirBytes(unsigned frameClass, unsigned length)
{
    switch (frameClass) {
    case kFrameClassCMR:
    case kFrameClassCMRW:
    case kFrameClassSendTo: return std::uint64_t(length) + kPacketFraming;
    case kFrameClassRTCM3: return std::uint64_t(length) + kRtcm3Framing;
    case kFrameClassNMEA: return std::uint64_t(length) + kNmeaLineEnd;
    case kFrameClassRTCM2: return std::uint64_t(length) + kRtcm2Header;
    default: return length;
    }
}

std::uint64_t PayloadBytes(unsigned frameClass, unsigned length)
{
    switch (frameClass) {
    case kFrameClassRTCM2: return std::uint64_t(length) / 5 * 3;
    case kFrameClassATS: return length > kAtsFraming ? length - kAtsFraming : 0;
    default: return length;
    }
}

sRadioBudget MeasureBudget(const std::vector<PacketStats>& records, double seconds, unsigned linkBps)
{
    sRadioBudget budget;
    budget.linkBps = linkBps;
    budget.total.name = "All types";
    std::uint64_t payload = 0;
    std::uint64_t air = 0;
    for (const PacketStats& record : records) {
        sBudgetFigures figures;
        figures.key = record.key;
        figures.name = FrameName(record.key);
        Rate(figures, record.payloadBytes, record.airBytes, seconds, linkBps);
        budget.types.push_back(figures);
        payload += record.payloadBytes;
        air += record.airBytes;
    }
    Rate(budget.total, payload, air, seconds, linkBps);
    return budget;
}

}  // namespace TolvarRT
