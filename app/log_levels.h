// The four levels a user picks for the log pane and the log file, the commands
// that pick them, and the settings that keep them between runs.
#pragma once

#include <string>

inline constexpr int kLogLevelHighest = 3;

// Levels outside None..All are taken as the nearest of them.
constexpr int ClampLogLevel(int level)
{
    return level < 0 ? 0 : (level > kLogLevelHighest ? kLogLevelHighest : level);
}

// The line a sink writes into itself when its level changes.
std::string LogLevelAnnouncement(int level);

// Where the document keeps the levels (settings store) and the last log file
// path (per-user profile strings).
inline constexpr char kLogSettingsSection[] = "Settings";
inline constexpr char kPaneLogLevelKey[] = "LogLevel";
inline constexpr char kFileLogLevelKey[] = "FileLogLevel";
inline constexpr char kLogPathKey[] = "LogPath";
inline constexpr unsigned kLogPathLimit = 500;  // characters read back

// One level's commands: the pane's sets both sinks, the file's only the file.
struct sLogLevelCommand {
    unsigned paneCommand;
    const char* menuText;
    const char* panePrompt;
    unsigned fileCommand;
    const char* filePrompt;
};

inline constexpr sLogLevelCommand kLogLevelCommands[kLogLevelHighest + 1] = {
    {32777, "Log Level &None", "Log No Information to Log Pane", 32782, "Log No Information to File"},
    {32778, "Log Level &Basic", "Log Basic Information to Log Pane", 32783, "Log Basic Information to File"},
    {32779, "Log Level &Most", "Log Most Information to Log Pane", 32784, "Log Most Information to File"},
    {32780, "Log Level &All", "Log All Information to Log Pane", 32785, "Log All Information to File"},
};

// The level a command sets, or -1 when it is not a level command of that kind.
int LevelOfPaneCommand(unsigned command);
int LevelOfFileCommand(unsigned command);
