#include <cstdio>

#include "decoders/nmea_position.h"
#include "stats/packet_stats.h"

namespace TolvarRT {

std::string FrameName(std::uint32_t key)
{
    const unsigned frameClass = KeyClass(key);
    const int type = int(KeyType(key));
    char text[64];
    switch (frameClass) {
    case kFrameClassCMR: std::snprintf(text, sizeof text, "CMR Type %d", type); break;
    case kFrameClassRTCM2: std::snprintf(text, sizeof text, "RTCM v2 Type %d", type); break;
    case kFrameClassSendTo: std::snprintf(text, sizeof text, "Send To Type %d", type); break;
    case kFrameClassNMEA:
        if (const char* name = NMEASentenceName(unsigned(type)))
            return name;
        std::snprintf(text, sizeof text, "NMEA Type %d", type);
        break;
    case kFrameClassRTCM3: std::snprintf(text, sizeof text, "RTCM v3 Type %d", type); break;
    case kFrameClassCMRW: std::snprintf(text, sizeof text, "CMR-W Type %d", type); break;
    case kFrameClassATS: std::snprintf(text, sizeof text, "ATS Type %d", type); break;
    default: std::snprintf(text, sizeof text, "Unknown Class %d Type %d", int(frameClass), type); break;
    }
    return text;
}

}  // namespace TolvarRT
