#include "app/chart_value.h"

#include <algorithm>
#include <initializer_list>

#include "core/pipes.h"
#include "decoders/nmea_position.h"

namespace {

using namespace TolvarRT;

struct sRatedType {
    unsigned frameClass;
    unsigned type;
};

constexpr sRatedType kSingleStreams[] = {
    {kFrameClassCMR, 0}, {kFrameClassCMRW, 8}, {kFrameClassRTCM2, 1}, {kFrameClassRTCM2, 9}, {kFrameClassRTCM3, 1004},
};

constexpr double kRtcm2RawShare = 0.25;

}  // namespace

double ChartValue(const IntervalRateLookup& rate, bool hasRadioHandler)
{
    double value = 0.0;
    for (const sRatedType& stream : kSingleStreams)
        value = std::max(value, rate(stream.type, stream.frameClass));
    value = std::max(value, (rate(18, kFrameClassRTCM2) + rate(19, kFrameClassRTCM2)) * kRtcm2RawShare);
    if (!hasRadioHandler)
        value = std::max(value, rate(kNMEAGGKFix, kFrameClassNMEA));
    return value;
}
