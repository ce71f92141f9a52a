// The Windows build has no YAML reader (yaml-cpp is not built for mingw), so
// the monitor refuses its configuration with a message saying where it runs.
#include "cli/monitor_config.h"

namespace cli {
namespace {

bool Refuse(sMonitorConfig& config, std::string& error)
{
    config = {};
    error =
        "tolvar monitor is not part of the Windows build: its configuration file needs yaml-cpp, which has no "
        "Windows build here; run the monitor on Linux";
    return false;
}

}  // namespace

bool ParseMonitorConfig(const std::string&, const std::string&, sMonitorConfig& config, std::string& error)
{
    return Refuse(config, error);
}

bool ReadMonitorConfig(const std::string&, sMonitorConfig& config, std::string& error)
{
    return Refuse(config, error);
}

}  // namespace cli
