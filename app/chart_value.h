// The one figure the test window's performance chart plots every ten
// seconds: how often the link delivered the correction stream it carries.
#pragma once

#include <functional>

// Rate in frames per second of one frame type over the current interval.
using IntervalRateLookup = std::function<double(unsigned type, unsigned frameClass)>;

// The largest interval rate among the correction streams a link may carry:
// CMR type 0, CMR-W type 8, RTCM 2 types 1 and 9, RTCM 2 types 18 and 19
// together (four of them make one epoch), RTCM 3 type 1004, and NMEA GGK
// fixes, which count only when no radio is attached: with a radio they are
// the receiver's own output, not the link's. 1 Hz corrections give 1.0.
double ChartValue(const IntervalRateLookup& rate, bool hasRadioHandler);
