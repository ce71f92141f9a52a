// The main job on a machine without radios: a whole link test on the
// emulated radio link, with what the link did beside what the tool measured.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include <nlohmann/json.hpp>

#include "cli/link_test.h"
#include "sim/emulated_radio_link.h"
#include "sim/rtcm3_message_builder.h"

namespace cli {

struct sDemoOptions {
    sDemoOptions() { loop.seconds = 30; }

    // The traffic the Source generates: fake CMR (schedule, svs) or fake
    // RTCM v3 (rtcm3).
    enum class Traffic { Cmr, Rtcm3 };
    Traffic traffic = Traffic::Cmr;
    unsigned schedule = 1;
    unsigned svs = 9;
    TolvarRT::sRTCM3SimSettings rtcm3;
    TolvarRT::sRadioChannel channel;
    bool json = false;
    sTestLoop loop;
    std::string logFile;  // empty: no log file
    int logLevel = -1;    // 0 none .. 3 all; -1: the file log's own level
    // A log pane's queue drained by a thread of its own, at this level; -1: none.
    int paneLevel = -1;
};

struct sDemoResult {
    std::string error;  // not empty when the test could not run
    sTestFigures figures;
    TolvarRT::sRadioAccount account;
    std::uint64_t paneBytes = 0;  // what reached the log pane, when there was one
};

// "FROM-TO" in seconds (decimals allowed) as a drop window; false unless
// 0 <= FROM < TO.
bool ParseDropWindow(const std::string& text, TolvarRT::sDropWindow& window);

sDemoResult RunDemo(const sDemoOptions& options, std::ostream& progressOut);
std::string DemoText(const sDemoResult& result);
nlohmann::json DemoJson(const sDemoResult& result);

}  // namespace cli
