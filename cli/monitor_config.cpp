#include "cli/monitor_config.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include <yaml-cpp/yaml.h>

#include "app/tolvar_test_suite_doc.h"
#include "cli/run_command.h"
#include "ports/port_factory.h"
#include "stats/stats_collection.h"

namespace cli {
namespace {

const std::set<std::string> kDefaultKeys = {"listener-baud", "source-baud", "match-window", "require", "max-latency",
                                            "max-age",       "probe",       "nmea",         "record",  "events",
                                            "msm",           "rate",        "gnss"};
const std::set<std::string> kLinkKeys = {
    "name",         "listener", "source", "listener-baud", "source-baud", "require", "max-latency", "max-age",
    "match-window", "probe",    "nmea",   "record",        "events",      "msm",     "rate",        "gnss"};

// A fault at a node: thrown as far as the reader, which names the file.
struct sFault {
    int line;
    std::string reason;
};

[[noreturn]] void Fail(const YAML::Node& node, const std::string& reason)
{
    // An empty document has no mark: its fault is on the first line.
    throw sFault{std::max(node.Mark().line + 1, 1), reason};
}

template <typename T>
T As(const YAML::Node& node, const std::string& key, const char* expected)
{
    try {
        return node.as<T>();
    } catch (const YAML::Exception&) {
        Fail(node, key + ": expected " + expected);
    }
}

bool ValidName(const std::string& name)
{
    return !name.empty() &&
           name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_.") ==
               std::string::npos &&
           name != "." && name != "..";
}

void CheckKeys(const YAML::Node& map, const std::set<std::string>& allowed, const char* where)
{
    if (!map.IsMap())
        Fail(map, std::string(where) + ": expected KEY: VALUE lines");
    for (const auto& entry : map)
        if (allowed.count(entry.first.Scalar()) == 0)
            Fail(entry.first, std::string(where) + ": unknown key \"" + entry.first.Scalar() + "\"");
}

// What a link takes from the defaults and may set for itself.
struct sSettings {
    unsigned listenerBaud = 38400;
    unsigned sourceBaud = 38400;
    double matchWindowS = TolvarRT::CStatsCollection::kDefaultMatchWindowS;
    std::vector<sRequirement> received;
    double maxLatencyMs = -1.0;
    double maxAgeS = -1.0;
    bool probe = false;
    bool nmea = false;
    std::string record;                 // in the defaults a folder that holds one per link
    std::string events;                 // in the defaults a folder that holds one per link
    TolvarRT::sRTCM3SimSettings rtcm3;  // a fake-rtcm3 Source's generator
};

void ReadSettings(const YAML::Node& map, sSettings& settings)
{
    if (const YAML::Node node = map["listener-baud"])
        settings.listenerBaud = As<unsigned>(node, "listener-baud", "a baud rate");
    if (const YAML::Node node = map["source-baud"])
        settings.sourceBaud = As<unsigned>(node, "source-baud", "a baud rate");
    if (const YAML::Node node = map["match-window"]) {
        settings.matchWindowS = As<double>(node, "match-window", "seconds");
        if (!(settings.matchWindowS >= 0.1 && settings.matchWindowS <= CTolvarTestSuiteDoc::kMaxMatchWindowS))
            Fail(node,
                 "match-window: expected 0.1 to " + std::to_string(CTolvarTestSuiteDoc::kMaxMatchWindowS) + " seconds");
    }
    if (const YAML::Node node = map["require"]) {
        settings.received.clear();
        const auto add = [&settings](const YAML::Node& item) {
            sRequirement requirement;
            std::string error;
            if (!ParseReceivedRequirement(As<std::string>(item, "require", "TYPE:MIN%"), requirement, error))
                Fail(item, "require: " + error);
            settings.received.push_back(requirement);
        };
        if (node.IsSequence())
            for (const YAML::Node& item : node)
                add(item);
        else
            add(node);
    }
    if (const YAML::Node node = map["max-latency"]) {
        settings.maxLatencyMs = As<double>(node, "max-latency", "milliseconds");
        if (settings.maxLatencyMs < 0.0)
            Fail(node, "max-latency: expected milliseconds, not negative");
    }
    if (const YAML::Node node = map["max-age"]) {
        settings.maxAgeS = As<double>(node, "max-age", "seconds");
        if (settings.maxAgeS < 0.0)
            Fail(node, "max-age: expected seconds, not negative");
    }
    if (const YAML::Node node = map["probe"])
        settings.probe = As<bool>(node, "probe", "true or false");
    if (const YAML::Node node = map["nmea"])
        settings.nmea = As<bool>(node, "nmea", "true or false");
    if (const YAML::Node node = map["record"])
        settings.record = As<std::string>(node, "record", "a folder");
    if (const YAML::Node node = map["events"])
        settings.events = As<std::string>(node, "events", "a file");
    if (const YAML::Node node = map["msm"])
        settings.rtcm3.msm = As<unsigned>(node, "msm", "4 or 7");
    if (const YAML::Node node = map["rate"])
        settings.rtcm3.epochsPerSecond = As<unsigned>(node, "rate", "epochs a second");
    if (const YAML::Node node = map["gnss"]) {
        std::string error;
        if (!TolvarRT::ParseSimSatellites(As<std::string>(node, "gnss", "satellites, e.g. G10,R7"),
                                          settings.rtcm3.satellites, error))
            Fail(node, "gnss: " + error);
    }
    std::string error;
    if ((map["msm"] || map["rate"] || map["gnss"]) && !TolvarRT::CheckRTCM3SimSettings(settings.rtcm3, error))
        Fail(map["msm"] ? map["msm"] : map["rate"] ? map["rate"] : map["gnss"], error);
}

sPortChoice Port(const YAML::Node& node, const char* key, unsigned baud, bool probe)
{
    sPortChoice choice;
    choice.port = As<std::string>(node, key, "a port");
    std::string error;
    if (!TolvarRT::CheckPortName(choice.port, error))
        Fail(node, std::string(key) + " " + error);
    choice.baudRate = baud;
    choice.probe = probe;
    return choice;
}

sMonitorLink ReadLink(const YAML::Node& map, const sSettings& defaults)
{
    CheckKeys(map, kLinkKeys, "link");
    sMonitorLink link;
    link.line = map.Mark().line + 1;
    const YAML::Node name = map["name"];
    if (!name)
        Fail(map, "link: no name");
    link.name = As<std::string>(name, "name", "a name");
    if (!ValidName(link.name))
        Fail(name, "name \"" + link.name + "\": letters, digits, '-', '_' and '.' only");
    const YAML::Node listener = map["listener"];
    if (!listener)
        Fail(map, "link " + link.name + ": no listener");
    sSettings settings = defaults;
    // A folder or file in the defaults is shared: each link takes its own in it.
    settings.record = defaults.record.empty() ? "" : defaults.record + "/" + link.name;
    settings.events = defaults.events.empty() ? "" : defaults.events + "/" + link.name + ".jsonl";
    ReadSettings(map, settings);
    link.listener = Port(listener, "listener", settings.listenerBaud, settings.probe);
    if (const YAML::Node source = map["source"]) {
        const std::string text = As<std::string>(source, "source", "a port");
        std::string error;
        if (!ParseSourceChoice(text, link.source, error))
            Fail(source, error);
        if (!link.source.Generated())
            link.source = Port(source, "source", settings.sourceBaud, settings.probe);
        link.source.baudRate = settings.sourceBaud;
        link.source.probe = settings.probe;
    }
    // The defaults may set them for the links that generate RTCM v3; a link's
    // own keys must belong to it.
    for (const char* key : {"msm", "rate", "gnss"})
        if (const YAML::Node node = map[key]; node && !link.source.fakeRtcm3)
            Fail(node, std::string(key) + " sets the fake RTCM v3 generator: source fake-rtcm3:PORT");
    link.nmea = settings.nmea;
    link.rtcm3 = settings.rtcm3;
    link.matchWindowS = settings.matchWindowS;
    link.requirements = settings.received;
    if (settings.maxLatencyMs >= 0.0)
        link.requirements.push_back(MaxLatencyRequirement(settings.maxLatencyMs));
    if (settings.maxAgeS >= 0.0)
        link.requirements.push_back(MaxAgeRequirement(settings.maxAgeS));
    link.recordFolder = settings.record;
    link.eventsFile = settings.events;
    return link;
}

}  // namespace

bool ParseMonitorConfig(const std::string& text, const std::string& file, sMonitorConfig& config, std::string& error)
{
    config = {};
    try {
        const YAML::Node root = YAML::Load(text);
        if (!root.IsMap())
            Fail(root, "expected \"defaults:\" and \"links:\"");
        CheckKeys(root, {"defaults", "links"}, "the file");
        sSettings defaults;
        if (const YAML::Node node = root["defaults"]) {
            CheckKeys(node, kDefaultKeys, "defaults");
            ReadSettings(node, defaults);
        }
        const YAML::Node links = root["links"];
        if (!links || !links.IsSequence() || links.size() == 0)
            Fail(links ? links : root, "links: expected a list of links, each with a name and a listener");
        std::set<std::string> names;
        for (const YAML::Node& node : links) {
            config.links.push_back(ReadLink(node, defaults));
            if (!names.insert(config.links.back().name).second)
                Fail(node["name"], "name \"" + config.links.back().name + "\" is given to two links");
        }
    } catch (const sFault& fault) {
        error = file + ":" + std::to_string(fault.line) + ": " + fault.reason;
        return false;
    } catch (const YAML::Exception& exception) {
        error = file + ":" + std::to_string(std::max(exception.mark.line + 1, 1)) + ": " + exception.msg;
        return false;
    }
    return true;
}

bool ReadMonitorConfig(const std::string& file, sMonitorConfig& config, std::string& error)
{
    std::ifstream in(file);
    if (!in) {
        error = file + ": " + std::strerror(errno);
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return ParseMonitorConfig(text.str(), file, config, error);
}

}  // namespace cli
