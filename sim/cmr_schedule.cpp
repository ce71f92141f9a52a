// The schedule table and the prompts of the generator's commands.
#include "sim/cmr_schedule.h"

#include <algorithm>

#include "decoders/dc_cmr_handler.h"
#include "decoders/dc_packet.h"

namespace TolvarRT {
namespace {

// The frames every schedule is built from.
constexpr sScheduleEntry kCMR0Epoch{kPacketCMR, 0, 12, 15, true};
constexpr sScheduleEntry kCMR0Follow{kPacketCMR, 0, 12, 15, false};
constexpr sScheduleEntry kCMRPlus{kPacketCMRPlus, 5, 12, 0, false};
constexpr sScheduleEntry kCMR4Epoch{kPacketCMR, 4, 12, 3, true};
constexpr sScheduleEntry kCMR1Follow{kPacketCMR, 1, 25, 0, false};
constexpr sScheduleEntry kCMR2Follow{kPacketCMR, 2, 33, 0, false};
constexpr sScheduleEntry kSendToEpoch{kPacketRadioCommand, kSendToMarker, 100, 0, true};
constexpr sScheduleEntry kSendToFollow{kPacketRadioCommand, kSendToMarker, 100, 0, false};
constexpr sScheduleEntry kCMRW0Epoch{kPacketCMRW, 0, 12, 14, true};

// 5 Hz: a CMR with CMR+ once a second, CMR type 4 in the four epochs between.
constexpr sScheduleEntry kSchedule0[] = {kCMR0Epoch, kCMRPlus, kCMR4Epoch, kCMR4Epoch, kCMR4Epoch, kCMR4Epoch};
constexpr sScheduleEntry kSchedule1[] = {kCMR0Epoch, kCMRPlus};
// 1 Hz observables; reference position and description every nine seconds.
constexpr sScheduleEntry kSchedule2[] = {kCMR0Epoch,  kCMR1Follow, kCMR0Epoch, kCMR0Epoch, kCMR0Epoch, kCMR0Epoch,
                                         kCMR2Follow, kCMR0Epoch,  kCMR0Epoch, kCMR0Epoch, kCMR0Epoch};
constexpr sScheduleEntry kSchedule3[] = {kCMR0Epoch};
constexpr sScheduleEntry kSchedule4[] = {kSendToEpoch, kSendToFollow};
constexpr sScheduleEntry kSchedule5[] = {kCMR0Epoch, kCMRPlus, kSendToFollow, kSendToFollow};
constexpr sScheduleEntry kSchedule6[] = {kCMRW0Epoch, kCMR0Follow, kCMRPlus};

constexpr sFakeSchedule kSchedules[kFakeScheduleCount] = {
    {200, kSchedule0},  {1000, kSchedule1}, {1000, kSchedule2}, {500, kSchedule3},
    {1000, kSchedule4}, {1000, kSchedule5}, {1000, kSchedule6},
};

struct sCommandPrompt {
    unsigned command;
    std::string_view prompt;
};

constexpr sCommandPrompt kPrompts[] = {
    {32800, "Generate fake 5Hz CMRs\nGenerate fake 5Hz CMRs "},
    {32801, "Generate fake 1Hz CMR+\nGenerate fake 1Hz CMR+ "},
    {32802, "Generate fake 1Hz CMRs\nGenerate fake 1Hz CMRs "},
    {32803, "Generates 1Hz Send To's\nGenerate 1Hz Send To's"},
    {kCmdIncreaseSVs, "Increase Number of SV's\nIncrease SV's"},
    {kCmdDecreaseSVs, "Decrease number of SV's\nDecrease SV's"},
    {kCmdPauseFakeCMRs, "Pause fake CMRs\nPause"},
};

}  // namespace

const sFakeSchedule& FakeSchedule(unsigned n)
{
    return kSchedules[std::min(n, kFakeScheduleCount - 1)];
}

std::uint8_t FakeEntryLength(const sScheduleEntry& entry, unsigned svCount, unsigned secondCount)
{
    const unsigned count = entry.command == kPacketCMRW ? secondCount : svCount;
    return std::uint8_t(entry.baseLength + entry.perSatellite * count);
}

std::string_view FakeCommandPrompt(unsigned command)
{
    for (const sCommandPrompt& entry : kPrompts)
        if (entry.command == command)
            return entry.prompt;
    return {};
}

std::string_view FakeCommandHelp(unsigned command)
{
    const std::string_view prompt = FakeCommandPrompt(command);
    return prompt.substr(0, prompt.find('\n'));
}

std::string_view FakeCommandTooltip(unsigned command)
{
    const std::string_view prompt = FakeCommandPrompt(command);
    const std::size_t lineBreak = prompt.find('\n');
    return lineBreak == std::string_view::npos ? std::string_view() : prompt.substr(lineBreak + 1);
}

}  // namespace TolvarRT
