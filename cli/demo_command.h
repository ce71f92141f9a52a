// The main job on a machine without radios: a whole link test on the
// emulated radio link, with what the link did beside what the tool measured.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

#include <nlohmann/json.hpp>

#include "sim/emulated_radio_link.h"

namespace cli {

struct sDemoOptions {
    unsigned seconds = 30;
    unsigned schedule = 1;
    unsigned svs = 9;
    TolvarRT::sRadioChannel channel;
    bool json = false;
    bool progress = false;  // redraw the table once a second (on a terminal)
    std::string serve;      // ADDR:PORT of the status web page; empty: none
    std::function<void(const std::string& url)> onServing;  // told where the page is
};

// One row of the final comparison, per frame type.
struct sDemoTypeResult {
    std::string name;
    unsigned frameClass = 0;
    unsigned type = 0;
    std::uint32_t sourceFrames = 0;
    std::uint32_t received = 0;
    std::uint32_t matched = 0;
    std::uint32_t unmatched = 0;
    std::uint32_t lost = 0;
    std::uint32_t late = 0;
    double meanLatencyMs = 0.0;
};

struct sDemoResult {
    std::string error;  // not empty when the test could not run
    std::string title;
    std::string tableText;
    std::string summary;
    std::vector<sDemoTypeResult> types;
    TolvarRT::sRadioAccount account;
    nlohmann::json rows;  // every column of the statistics table, typed
};

sDemoResult RunDemo(const sDemoOptions& options, std::ostream& progressOut);
std::string DemoText(const sDemoResult& result);
nlohmann::json DemoJson(const sDemoResult& result);

}  // namespace cli
