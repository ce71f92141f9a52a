// The monitor's configuration file: what each link takes from the defaults,
// and every fault named with the file and the line it is on.
#include <gtest/gtest.h>

#include "cli/monitor_config.h"

namespace {

TEST(MonitorConfigTest, LinksTakeTheDefaultsTheyDoNotSetThemselves)
{
    const std::string text =
        "defaults:\n"
        "  match-window: 10\n"
        "  require: [\"All types:99%\", \"RTCM3 1005:90\"]\n"
        "  record: /var/rec\n"
        "  events: /var/ev\n"
        "links:\n"
        "  - name: north\n"
        "    listener: NTRIP:me:pw@caster:2101/NORTH\n"
        "  - name: south-2\n"
        "    listener: TCP:10.0.0.7:5017\n"
        "    source: fake-cmr:TCP:10.0.0.8:5018\n"
        "    require: \"All types:50%\"\n"
        "    max-latency: 1500\n"
        "    max-age: 2.5\n"
        "    match-window: 2.5\n"
        "    events: /tmp/south.jsonl\n"
        "    probe: true\n";
    cli::sMonitorConfig config;
    std::string error;
    ASSERT_TRUE(cli::ParseMonitorConfig(text, "links.yaml", config, error)) << error;
    ASSERT_EQ(config.links.size(), 2u);

    const cli::sMonitorLink& north = config.links[0];
    EXPECT_EQ(north.line, 7);
    EXPECT_EQ(north.listener.port, "NTRIP:me:pw@caster:2101/NORTH");
    EXPECT_FALSE(north.listener.probe) << "a monitor probes no device unless told";
    EXPECT_TRUE(north.source.port.empty());
    EXPECT_DOUBLE_EQ(north.matchWindowS, 10.0);
    ASSERT_EQ(north.requirements.size(), 2u);
    EXPECT_EQ(north.requirements[1].type, "RTCM3 1005");
    EXPECT_DOUBLE_EQ(north.requirements[1].limit, 90.0);
    EXPECT_EQ(north.recordFolder, "/var/rec/north");
    EXPECT_EQ(north.eventsFile, "/var/ev/north.jsonl");

    const cli::sMonitorLink& south = config.links[1];
    EXPECT_TRUE(south.source.fakeCmr);
    EXPECT_EQ(south.source.port, "TCP:10.0.0.8:5018");
    EXPECT_TRUE(south.listener.probe && south.source.probe);
    EXPECT_DOUBLE_EQ(south.matchWindowS, 2.5);
    ASSERT_EQ(south.requirements.size(), 3u) << "its own requirement replaces the defaults', the latency, the age";
    EXPECT_DOUBLE_EQ(south.requirements[0].limit, 50.0);
    EXPECT_EQ(south.requirements[1].kind, cli::sRequirement::eKind::MaxLatency);
    EXPECT_EQ(south.requirements[2].kind, cli::sRequirement::eKind::MaxAge);
    EXPECT_DOUBLE_EQ(south.requirements[2].limit, 2.5);
    EXPECT_EQ(south.recordFolder, "/var/rec/south-2");
    EXPECT_EQ(south.eventsFile, "/tmp/south.jsonl");
}

TEST(MonitorConfigTest, EveryFaultIsNamedWithTheFileAndItsLine)
{
    const std::string link = "links:\n  - name: a\n    listener: TCP:127.0.0.1:5000\n";
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {"links: [\n", "links.yaml:2: "},
        {"", "links.yaml:1: expected \"defaults:\" and \"links:\""},
        {"defaults:\n  match-window: 10\n", "links.yaml:1: links: expected a list of links"},
        {"defaults:\n  colour: red\n" + link, "links.yaml:2: defaults: unknown key \"colour\""},
        {"defaults:\n  match-window: 0\n" + link, "links.yaml:2: match-window: expected 0.1 to"},
        {link + "    require: \"RTCM3 1005:150%\"\n", "links.yaml:4: require: "},
        {link + "    max-latency: soon\n", "links.yaml:4: max-latency: expected milliseconds"},
        {link + "    max-age: -2\n", "links.yaml:4: max-age: expected seconds, not negative"},
        {link + "  - name: a\n    listener: TCP:127.0.0.1:5001\n", "links.yaml:4: name \"a\" is given to two links"},
        {"links:\n  - name: b\n    source: TCP:127.0.0.1:5000\n", "links.yaml:2: link b: no listener"},
        {"links:\n  - listener: TCP:127.0.0.1:5000\n", "links.yaml:2: link: no name"},
        {"links:\n  - name: a/b\n    listener: TCP:127.0.0.1:5000\n", "links.yaml:2: name \"a/b\": letters"},
        {"links:\n  - name: a\n    listener: TCP:127.0.0.1:99999\n",
         "links.yaml:3: listener TCP:127.0.0.1:99999: the port"},
        {link + "    source: fake-cmr\n", "links.yaml:4: --source fake-cmr: generated frames need the port"},
        {link + "    nmea: maybe\n", "links.yaml:4: nmea: expected true or false"},
        {link + "    source: fake-rtcm:/dev/ttyS1\n", "links.yaml:4: --source fake-rtcm:/dev/ttyS1: no such generator"},
        {link + "    source: fake-cmr:/dev/ttyS1\n    rate: 5\n",
         "links.yaml:5: rate sets the fake RTCM v3 generator: source fake-rtcm3:PORT"},
        {link + "    msm: 7\n", "links.yaml:4: msm sets the fake RTCM v3 generator"},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.text);
        cli::sMonitorConfig config;
        std::string error;
        EXPECT_FALSE(cli::ParseMonitorConfig(each.text, "links.yaml", config, error));
        EXPECT_EQ(error.rfind(each.error, 0), 0u) << error;
    }
    cli::sMonitorConfig config;
    std::string error;
    EXPECT_FALSE(cli::ReadMonitorConfig("/nonexistent/links.yaml", config, error));
    EXPECT_EQ(error, "/nonexistent/links.yaml: No such file or directory");
}

}  // namespace
