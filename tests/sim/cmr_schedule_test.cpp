// The schedule commands and their prompts, and the length arithmetic.
#include <gtest/gtest.h>

#include "sim/cmr_schedule.h"

namespace TolvarRT {
namespace {

TEST(CMRScheduleTest, CommandsSelectSchedulesByOffset)
{
    EXPECT_EQ(FakeScheduleCommand(0), 32800u);
    EXPECT_EQ(FakeScheduleCommand(6), 32806u);
    EXPECT_EQ(FakeScheduleOfCommand(32806), 6);
    EXPECT_EQ(FakeScheduleOfCommand(32807), -1);
    EXPECT_EQ(FakeScheduleOfCommand(32799), -1);
}

TEST(CMRScheduleTest, PromptsSplitIntoHelpAndTooltip)
{
    struct Case {
        unsigned command;
        const char* help;
        const char* tooltip;
    };
    for (const Case& c : {
             Case{32800, "Generate fake 5Hz CMRs", "Generate fake 5Hz CMRs "},
             Case{32801, "Generate fake 1Hz CMR+", "Generate fake 1Hz CMR+ "},
             Case{32802, "Generate fake 1Hz CMRs", "Generate fake 1Hz CMRs "},
             Case{32803, "Generates 1Hz Send To's", "Generate 1Hz Send To's"},
             Case{32815, "Increase Number of SV's", "Increase SV's"},
             Case{32816, "Decrease number of SV's", "Decrease SV's"},
             Case{32819, "Pause fake CMRs", "Pause"},
             Case{32806, "", ""},
         }) {
        EXPECT_EQ(FakeCommandHelp(c.command), c.help) << c.command;
        EXPECT_EQ(FakeCommandTooltip(c.command), c.tooltip) << c.command;
    }
}

TEST(CMRScheduleTest, LengthsUseEightBitArithmetic)
{
    const sScheduleEntry cmr{0x93, 0, 12, 15, true};
    const sScheduleEntry cmrw{0x98, 0, 12, 14, true};
    EXPECT_EQ(FakeEntryLength(cmr, 15, 0), 237);
    EXPECT_EQ(FakeEntryLength(cmrw, 15, 7), 110) << "CMR-W counts the secondary satellites";
    EXPECT_EQ(FakeEntryLength(cmr, 17, 0), std::uint8_t(12 + 15 * 17));
    EXPECT_EQ(FakeSchedule(99).intervalMs, FakeSchedule(6).intervalMs);
}

}  // namespace
}  // namespace TolvarRT
