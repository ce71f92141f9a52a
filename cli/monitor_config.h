// The links `tolvar monitor` watches, read from a YAML file: each its own
// test with its own ports, match window, requirements, recording and events
// file; what a link leaves out comes from the file's defaults.
#pragma once

#include <string>
#include <vector>

#include "cli/command_line_ui.h"
#include "cli/verdict.h"
#include "sim/rtcm3_message_builder.h"

namespace cli {

struct sMonitorLink {
    std::string name;  // unique; letters, digits, '-', '_' and '.': it names paths and labels
    int line = 0;      // where the link begins in the file
    sPortChoice listener;
    sPortChoice source;                 // no port: no Source
    TolvarRT::sRTCM3SimSettings rtcm3;  // when the Source is fake-rtcm3
    bool nmea = false;
    double matchWindowS = 0.0;
    std::vector<sRequirement> requirements;
    std::string recordFolder;  // empty: not recorded
    std::string eventsFile;    // empty: none
};

struct sMonitorConfig {
    std::vector<sMonitorLink> links;
};

// Reads and judges the whole file; false with "FILE:LINE: reason" (or
// "FILE: reason" where no line applies) at the first fault.
bool ReadMonitorConfig(const std::string& file, sMonitorConfig& config, std::string& error);
// The same from text, named file in the reasons.
bool ParseMonitorConfig(const std::string& text, const std::string& file, sMonitorConfig& config, std::string& error);

}  // namespace cli
