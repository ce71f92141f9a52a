// The commands of the desktop program's menus, toolbar and keys: their
// texts, prompts and icons in one table, so the menus, the toolbar, the
// status bar's prompts and the keys all read the same entry.
#pragma once

#include <QString>
#include <vector>

namespace gui {

namespace ShellCommand {
enum : unsigned {
    kLogLevelNone = 32777,
    kLogLevelAll = 32780,
    kResetStatistics = 32792,
    kOpenPositionLog = 32837,
    kClosePositionLog = 32838,
    kCmrSound = 32841,
    kPause = 32844,
    kChartCompanion = 32869,
    kPositionWindow = 32871,  // our own: the position window of the active test
    kContentWindow = 32872,   // our own: the Stream Content window of the active test
    kCopy = 57634,
    kExit = 57665,
    kToolbar = 59392,
    kStatusBar = 59393,
    kSeparator = 0,
};
}  // namespace ShellCommand

struct sCommandInfo {
    unsigned id = 0;
    const char* menuText = "";   // with its "&" and, after a tab, its key
    const char* prompt = "";     // status-bar prompt, a newline, tool tip
    const char* icon = nullptr;  // resource name of its toolbar button
};

// The entry of a command; an entry with id 0 for an unknown one.
const sCommandInfo& CommandInfo(unsigned id);
// The prompt's parts: the status-bar text and the tool tip (the status-bar
// text again when the prompt has no tool tip).
QString StatusTip(const sCommandInfo& info);
QString ToolTip(const sCommandInfo& info);

struct sMenu {
    const char* title;
    std::vector<unsigned> items;  // kSeparator between groups
};
const std::vector<sMenu>& MainMenus();
// The toolbar's buttons in order, kSeparator between groups.
const std::vector<unsigned>& ToolbarButtons();
// The fake CMR generator's toolbar: pause, four schedules, more and fewer
// satellites.
const std::vector<unsigned>& ScheduleToolbarButtons();

struct sAccelerator {
    const char* keys;  // QKeySequence text
    unsigned id;
};
// The keys while a test window is active, and while none is.
const std::vector<sAccelerator>& TestWindowAccelerators();
const std::vector<sAccelerator>& NoWindowAccelerators();

// The file dialog's filter of the document ("Text Files(*.txt)|*.txt|...||")
// in Qt's form ("Text Files(*.txt);;...").
QString QtFileFilter(const char* filter);

}  // namespace gui
