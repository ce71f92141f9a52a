// The fixed frame schedules of the fake CMR generator, and the commands that
// choose a schedule, pause the generator and change its satellite count.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace TolvarRT {

// One frame of a schedule.
struct sScheduleEntry {
    std::uint8_t command;  // packet type: 0x93 CMR, 0x94 CMR+, 0x98 CMR-W, 0x77 "Send To"
    std::uint8_t type;     // CMR or CMR-W type; unused for "Send To"
    std::uint8_t baseLength;
    std::uint8_t perSatellite;  // per simulated satellite; per secondary satellite for CMR-W
    bool startsEpoch;           // waits for the epoch tick; otherwise follows the entry before at once
};

// An epoch interval and the entries it cycles through.
struct sFakeSchedule {
    unsigned intervalMs;
    std::span<const sScheduleEntry> entries;
};

constexpr unsigned kFakeScheduleCount = 7;
constexpr unsigned kFakeSVMax = 15;
// What every generated "Send To" frame carries in its third byte.
constexpr std::uint8_t kFakeSendToValue = 255;

// Schedule n, 0..6; a larger n gives the last schedule.
const sFakeSchedule& FakeSchedule(unsigned n);

// base + per satellite x count, in the 8-bit arithmetic of a frame's length
// byte; CMR-W entries count the secondary satellites.
std::uint8_t FakeEntryLength(const sScheduleEntry& entry, unsigned svCount, unsigned secondCount);

// Command ids: 32800 + n selects schedule n.
enum : unsigned {
    kCmdFakeSchedule0 = 32800,
    kCmdFakeScheduleLast = kCmdFakeSchedule0 + kFakeScheduleCount - 1,
    kCmdIncreaseSVs = 32815,
    kCmdDecreaseSVs = 32816,
    kCmdPauseFakeCMRs = 32819,
};

constexpr unsigned FakeScheduleCommand(unsigned schedule)
{
    return kCmdFakeSchedule0 + schedule;
}
// The schedule a command selects, or -1 for any other command.
constexpr int FakeScheduleOfCommand(unsigned command)
{
    return command >= kCmdFakeSchedule0 && command <= kCmdFakeScheduleLast ? int(command - kCmdFakeSchedule0) : -1;
}

// The schedule toolbar, left to right.
inline constexpr unsigned kFakeScheduleToolbar[] = {
    kCmdPauseFakeCMRs, 32800, 32801, 32806, 32802, kCmdIncreaseSVs, kCmdDecreaseSVs,
};

// A command's prompt as the string table holds it: the status-bar help, a
// line break, the tooltip. Empty for commands without a text.
std::string_view FakeCommandPrompt(unsigned command);
std::string_view FakeCommandHelp(unsigned command);
std::string_view FakeCommandTooltip(unsigned command);

}  // namespace TolvarRT
