#include "gui/command_table.h"

#include <QStringList>

#include "app/common_nmea_source.h"
#include "app/document_commands.h"

namespace gui {
namespace {

namespace Doc = DocumentCommand;
namespace App = ApplicationCommand;
namespace Shell = ShellCommand;

const std::vector<sCommandInfo>& Table()
{
    static const std::vector<sCommandInfo> table = {
        {Doc::kConnectListener, "&Connect to Radio/NMEA Source\tCtrl+R",
         "Connect Listener port to a Radio\nConnect Listener port to a Radio", ":/toolbar/connect_listener.png"},
        {Doc::kConnectNmeaListener, "Connect Listener port to a NMEA source",
         "Connect Listener port to a NMEA source\nConnect Listener port to a NMEA source"},
        {Doc::kDisconnectListener, "&Disconnect\tCtrl+D", "Disconnect Listener\nDisconnect Listener",
         ":/toolbar/disconnect_listener.png"},
        {Doc::kGetProductId, "Get Product ID String", "Get Product ID String\nGet Product ID String",
         ":/toolbar/product_id.png"},
        {Doc::kConnectSource, "&Connect\tCtrl+G",
         "Connect as/to the source of Corrections\nConnect as/to the source of Corrections",
         ":/toolbar/connect_source.png"},
        {Doc::kDisconnectSource, "&Disconnect \tCtrl+B",
         "Disconnect from the source of Corrections\nDisconnect from the source of Corrections",
         ":/toolbar/disconnect_source.png"},
        {Doc::kCreateLogFile, "C&reate Log File", "Create New Log File\nCreate Log File", ":/toolbar/create_log.png"},
        {Doc::kCloseLogFile, "&Close Log File", "Close Log\nClose Log", ":/toolbar/close_log.png"},
        {Shell::kLogLevelNone, "Log Level &None", "Log No Information to Log Pane\nLog None",
         ":/toolbar/level_none.png"},
        {32778, "Log Level &Basic", "Log Basic Information to Log Pane\nLog Basic", ":/toolbar/level_basic.png"},
        {32779, "Log Level &Most", "Log Most Information to Log Pane\nLog Most", ":/toolbar/level_most.png"},
        {Shell::kLogLevelAll, "Log Level &All", "Log All Information to Log Pane\nLog All", ":/toolbar/level_all.png"},
        {Shell::kPause, "&Pause", "Pause the log pane\nPause", ":/toolbar/pause.png"},
        {Shell::kResetStatistics, "&Reset Statistics", "Reset Statistics\nReset Statistics",
         ":/toolbar/reset_statistics.png"},
        {Shell::kCopy, "&Copy\tCtrl+C", "Copy the selection and put it on the Clipboard\nCopy"},
        {Shell::kExit, "E&xit", "Quit the application\nExit"},
        {Shell::kToolbar, "&Toolbar", "Show or hide the toolbar\nToggle ToolBar"},
        {Shell::kStatusBar, "&Status Bar", "Show or hide the status bar\nToggle StatusBar"},
        {Shell::kPositionWindow, "&Position Window", "Open the position window of this test\nPosition Window"},
        {Shell::kContentWindow, "Stream &Content",
         "Open what this test's streams carry: stations, ages, epochs, satellites\nStream Content"},
        {App::kWebServer, "&Web Server", "Starts / Stops the intergrated Web server\nWeb Server"},
        {App::kConnectCommonNmea, "Connect &Common NMEA Source",
         "Connect to a common source of NMEA Positions\nConnect common NMEA source",
         ":/toolbar/connect_common_nmea.png"},
        {App::kDisconnectCommonNmea, "Disconnect Common NMEA Source",
         "Disconnect from the common source of NMEA Positions\nDisconnect common NMEA source",
         ":/toolbar/disconnect_common_nmea.png"},
        {Doc::kPauseFakeCmrs, "&Pause Fake CMRs", "Pause fake CMRs\nPause", ":/toolbar/pause_fake.png"},
        {Doc::kFakeSchedule0, "Fake &5Hz CMRs", "Generate fake 5Hz CMRs\nGenerate fake 5Hz CMRs ",
         ":/toolbar/schedule_5hz.png"},
        {Doc::kFakeSchedule0 + 1, "Fake 1Hz CMR&+", "Generate fake 1Hz CMR+\nGenerate fake 1Hz CMR+ ",
         ":/toolbar/schedule_1hz_plus.png"},
        {Doc::kFakeSchedule0 + 2, "Fake &1Hz CMRs", "Generate fake 1Hz CMRs\nGenerate fake 1Hz CMRs ",
         ":/toolbar/schedule_1hz.png"},
        {Doc::kFakeSchedule6, "Fake 1Hz CMR-&W", "Generate fake 1Hz CMR-W with CMRs and CMR+\nGenerate fake 1Hz CMR-W",
         ":/toolbar/schedule_cmrw.png"},
        {Doc::kIncreaseSVs, "&Increase SV's", "Increase Number of SV's\nIncrease SV's", ":/toolbar/more_svs.png"},
        {Doc::kDecreaseSVs, "&Decrease SV's", "Decrease number of SV's\nDecrease SV's", ":/toolbar/fewer_svs.png"},
        {Shell::kOpenPositionLog, "&Open Position Log...",
         "Log Position and Performance Data to a file.\nOpen Position Log", ":/toolbar/open_position_log.png"},
        {Shell::kClosePositionLog, "&Close Position Log", "Close Position Log File\nClose Position Log",
         ":/toolbar/close_position_log.png"},
        {Shell::kCmrSound, "&Sound on CMR", "Plays a sound after receiving a CMR\nSound on CMR",
         ":/toolbar/cmr_sound.png"},
        {Doc::kNmeaOutputToListener, "NMEA &Output Config...",
         "Output live (as they arrive) or canned (every 10 seconds) NMEAs to Listener\nNMEA Output Config"},
        {App::kAbout, "&About TolvarTestSuite...", "Display program information, version number and copyright\nAbout",
         ":/toolbar/about.png"},
    };
    return table;
}

QString PromptPart(const sCommandInfo& info, int part)
{
    const QStringList parts = QString::fromLatin1(info.prompt).split(QLatin1Char('\n'));
    return part < parts.size() ? parts[part] : parts[0];
}

}  // namespace

const sCommandInfo& CommandInfo(unsigned id)
{
    static const sCommandInfo unknown{};
    for (const sCommandInfo& info : Table())
        if (info.id == id)
            return info;
    return unknown;
}

QString StatusTip(const sCommandInfo& info)
{
    return PromptPart(info, 0);
}

QString ToolTip(const sCommandInfo& info)
{
    return PromptPart(info, 1);
}

const std::vector<sMenu>& MainMenus()
{
    using namespace ShellCommand;
    static const std::vector<sMenu> menus = {
        {"&Port",
         {Doc::kConnectListener, Doc::kDisconnectListener, kSeparator, Doc::kGetProductId, Doc::kNmeaOutputToListener,
          kSeparator, App::kConnectCommonNmea, App::kDisconnectCommonNmea, kSeparator, kExit}},
        {"&Source", {Doc::kConnectSource, Doc::kDisconnectSource}},
        {"&Log",
         {kCopy, kSeparator, Doc::kCreateLogFile, Doc::kCloseLogFile, kSeparator, kLogLevelNone, 32778, 32779,
          kLogLevelAll, kSeparator, kPause, kSeparator, kResetStatistics}},
        {"&View", {kToolbar, kSeparator, kStatusBar, kSeparator, kPositionWindow, kContentWindow, App::kWebServer}},
        {"&Help", {App::kAbout}},
    };
    return menus;
}

const std::vector<unsigned>& ToolbarButtons()
{
    using namespace ShellCommand;
    static const std::vector<unsigned> buttons = {
        Doc::kConnectListener,
        Doc::kGetProductId,
        Doc::kDisconnectListener,
        kSeparator,
        Doc::kCreateLogFile,
        Doc::kCloseLogFile,
        kSeparator,
        kLogLevelNone,
        32778,
        32779,
        kLogLevelAll,
        kSeparator,
        kPause,
        kSeparator,
        kResetStatistics,
        kSeparator,
        Doc::kConnectSource,
        Doc::kDisconnectSource,
        kSeparator,
        App::kAbout,
    };
    return buttons;
}

const std::vector<unsigned>& ScheduleToolbarButtons()
{
    static const std::vector<unsigned> buttons = {
        Doc::kPauseFakeCmrs,     Doc::kFakeSchedule0, Doc::kFakeSchedule0 + 1, Doc::kFakeSchedule6,
        Doc::kFakeSchedule0 + 2, Doc::kIncreaseSVs,   Doc::kDecreaseSVs,
    };
    return buttons;
}

const std::vector<sAccelerator>& TestWindowAccelerators()
{
    static const std::vector<sAccelerator> keys = {
        {"Ctrl+B", Doc::kDisconnectSource}, {"Ctrl+C", ShellCommand::kCopy},       {"Ctrl+D", Doc::kDisconnectListener},
        {"Ctrl+G", Doc::kConnectSource},    {"Ctrl+N", Doc::kConnectNmeaListener}, {"Ctrl+P", Doc::kRadioPipes},
        {"Ctrl+R", Doc::kConnectListener},
    };
    return keys;
}

const std::vector<sAccelerator>& NoWindowAccelerators()
{
    static const std::vector<sAccelerator> keys = {
        {"Ctrl+B", Doc::kDisconnectSource},
        {"Ctrl+C", Doc::kConnectListener},
        {"Ctrl+D", Doc::kDisconnectListener},
        {"Ctrl+G", Doc::kConnectSource},
        {"Ctrl+K", Doc::kEnabled32864},
        {"Ctrl+P", Doc::kRadioPipes},
        {"Ctrl+Alt+P", 32852},
        {"Ctrl+Alt+S", Doc::kShowRadioState},
        {"Ctrl+T", ShellCommand::kChartCompanion},
    };
    return keys;
}

QString QtFileFilter(const char* filter)
{
    const QStringList parts = QString::fromLatin1(filter).split(QLatin1Char('|'));
    QStringList labels;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        if (!parts[i].isEmpty())
            labels << parts[i];
    return labels.join(QStringLiteral(";;"));
}

}  // namespace gui
