// The main job on a machine without radios: a whole link test on the
// emulated radio link, with what the link did beside what the tool measured.
#pragma once

#include <ostream>
#include <string>

#include <nlohmann/json.hpp>

#include "cli/link_test.h"
#include "sim/emulated_radio_link.h"

namespace cli {

struct sDemoOptions {
    sDemoOptions() { loop.seconds = 30; }

    unsigned schedule = 1;
    unsigned svs = 9;
    TolvarRT::sRadioChannel channel;
    bool json = false;
    sTestLoop loop;
};

struct sDemoResult {
    std::string error;  // not empty when the test could not run
    sTestFigures figures;
    TolvarRT::sRadioAccount account;
};

// "FROM-TO" in seconds (decimals allowed) as a drop window; false unless
// 0 <= FROM < TO.
bool ParseDropWindow(const std::string& text, TolvarRT::sDropWindow& window);

sDemoResult RunDemo(const sDemoOptions& options, std::ostream& progressOut);
std::string DemoText(const sDemoResult& result);
nlohmann::json DemoJson(const sDemoResult& result);

}  // namespace cli
