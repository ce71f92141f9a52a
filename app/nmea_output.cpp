#include "app/nmea_output.h"

#include <cstring>

namespace {

constexpr const char* kSection = "Settings";
constexpr const char* kEnabledKey = "NmeaOutputEnabled";
constexpr const char* kLiveKey = "NmeaOutputLive";
constexpr const char* kCannedKey = "CannedNmea";
// "$", the longest sentence the decoder keeps and CR LF.
constexpr std::size_t kMaxLine = 1 + 255 + 2;

}  // namespace

sNmeaOutputSettings ReadNmeaOutputSettings(const ISettingsStore& settings)
{
    sNmeaOutputSettings output;
    output.enabled = settings.ReadInt(kSection, kEnabledKey, 0) != 0;
    output.live = settings.ReadInt(kSection, kLiveKey, 0) != 0;
    output.canned = settings.ReadText(kSection, kCannedKey, sNmeaOutputSettings::kDefaultCanned);
    if (output.canned.empty())
        output.canned = sNmeaOutputSettings::kDefaultCanned;
    return output;
}

void WriteNmeaOutputSettings(ISettingsStore& settings, const sNmeaOutputSettings& output)
{
    settings.WriteInt(kSection, kEnabledKey, output.enabled ? 1 : 0);
    settings.WriteInt(kSection, kLiveKey, output.live ? 1 : 0);
    settings.WriteText(kSection, kCannedKey, output.canned);
}

void CNmeaForwarder::OnNMEASentence(unsigned, const TolvarRT::sNMEAPosition*, const char* text,
                                    const TolvarRT::TimeStamp&)
{
    if (!forwarding.load() || text == nullptr)
        return;
    // One write per sentence, built on the stack: this runs for every
    // sentence of the common source.
    char line[kMaxLine];
    const std::size_t length = strnlen(text, kMaxLine - 3);
    line[0] = '$';
    std::memcpy(line + 1, text, length);
    line[length + 1] = '\r';
    line[length + 2] = '\n';
    if (target.Send(reinterpret_cast<const std::uint8_t*>(line), std::uint32_t(length + 3)))
        forwarded.fetch_add(1);
}
