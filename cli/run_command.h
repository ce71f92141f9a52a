// A link test on real ports: the Listener on a serial device, "TCP:host:port",
// "UDP:host:port", an NTRIP caster or a stream path, optionally a Source port, or fake CMR, RTCM v3 or ATS frames
// generated and sent out of a port towards the base radio.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include <nlohmann/json.hpp>

#include "cli/command_line_ui.h"
#include "cli/link_test.h"
#include "ports/network/ntrip_request.h"
#include "sim/rtcm3_message_builder.h"

namespace cli {

struct sRunOptions {
    sPortChoice listener;
    bool nmea = false;     // the Listener takes NMEA from a receiver: nothing is sent to it
    bool noProbe = false;  // no identity request or radio command on any port
    sPortChoice source;    // no port: no Source
    unsigned schedule = 1;
    unsigned svs = 9;
    TolvarRT::sRTCM3SimSettings rtcm3;  // the fake RTCM v3 generator's
    std::string logFile;
    int logLevel = -1;  // 0 none .. 3 all; -1: the file log's own level
    bool ats = false;
    bool json = false;
    sTestLoop loop;                                     // seconds 0: until Ctrl+C
    std::string ggaText;                                // --gga as given
    std::optional<TolvarRT::sGgaPosition> ggaPosition;  // reported to an NTRIP caster on either side
};

// The --source value: a port, "fake-cmr:PORT", "fake-rtcm3:PORT" or
// "fake-ats:PORT" (generated frames go out of PORT, to the base radio). False
// with a reason otherwise.
bool ParseSourceChoice(const std::string& text, sPortChoice& choice, std::string& error);

struct sRunResult {
    std::string error;  // not empty when the test could not run
    sTestFigures figures;
    bool withSource = false;  // frames were matched against a Source
};

sRunResult RunLinkTest(const sRunOptions& options, std::ostream& progressOut);
std::string RunText(const sRunResult& result);
nlohmann::json RunJson(const sRunResult& result);

}  // namespace cli
