#include "app/log_levels.h"

#include <cstdio>

namespace {

int LevelOf(unsigned sLogLevelCommand::*kind, unsigned command)
{
    for (int level = 0; level <= kLogLevelHighest; ++level)
        if (kLogLevelCommands[level].*kind == command)
            return level;
    return -1;
}

}  // namespace

std::string LogLevelAnnouncement(int level)
{
    char text[48];
    const int length = std::snprintf(text, sizeof text, "\r\nNew Logging Level %d", level);
    return std::string(text, length > 0 ? std::size_t(length) : 0);
}

int LevelOfPaneCommand(unsigned command)
{
    return LevelOf(&sLogLevelCommand::paneCommand, command);
}

int LevelOfFileCommand(unsigned command)
{
    return LevelOf(&sLogLevelCommand::fileCommand, command);
}
