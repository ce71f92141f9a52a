// The tolvar program as a user runs it: exit statuses, one-line reasons,
// every capture decoded as text and as JSON, and Ctrl+C ending a run.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "capture_manifest.h"
#include "served_stats.h"
#include "sim/emulated_radio_link.h"
#include "tcp_server.h"
#include "temp_folder.h"
#include "tolvar_process.h"
#include "wait_until.h"

namespace {

struct sOutcome {
    int status = -1;  // the exit status; -1 when it did not exit
    std::string out;
    std::string err;
    bool served = false;   // with interruptServed: a statistics row was served before the Ctrl+C
    bool probing = false;  // with interruptProbing: the probe was under way at the Ctrl+C
    // With interruptProbing: the run ended within a few seconds of the Ctrl+C.
    bool endedPromptly = false;
};

enum class eInterrupt { never, served, probing };

// Whether the error stream (the file at fd) holds text, within a minute.
bool ErrorStreamShows(int fd, const std::string& text)
{
    return TolvarRT::testing::WaitUntil(
        [&] {
            char buffer[4096];
            const ssize_t got = pread(fd, buffer, sizeof buffer, 0);
            return std::string(buffer, got > 0 ? std::size_t(got) : 0).find(text) != std::string::npos;
        },
        std::chrono::minutes(1));
}

// The status page's address once the error stream shows it; empty after a minute.
std::string ServedUrl(int fd)
{
    const std::string marker = "tolvar: status page at ";
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (std::chrono::steady_clock::now() < giveUp) {
        char buffer[4096];
        const ssize_t got = pread(fd, buffer, sizeof buffer, 0);
        const std::string text(buffer, got > 0 ? std::size_t(got) : 0);
        const std::size_t at = text.find(marker);
        const std::size_t end = at == std::string::npos ? at : text.find('\n', at);
        if (end != std::string::npos)
            return text.substr(at + marker.size(), end - at - marker.size());
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return {};
}

// Runs tolvar with the arguments. With served: Ctrl+C once the test serves
// its first statistics row at statsPath (or after a minute without one,
// which the outcome tells); with probing: once it says it probes the
// Listener.
sOutcome Tolvar(const std::vector<std::string>& arguments, eInterrupt interrupt = eInterrupt::never,
                const std::string& statsPath = "/api/stats")
{
    const cli::testing::sTolvarChild started = cli::testing::StartTolvar(arguments);
    const pid_t child = started.pid;
    const int err = started.err;
    sOutcome outcome;
    if (interrupt == eInterrupt::served) {
        const std::string url = ServedUrl(err);
        outcome.served = !url.empty() && cli::testing::WaitForServedRows(url, std::chrono::seconds(60), statsPath);
        kill(child, SIGINT);
    }
    int status = 0;
    if (interrupt == eInterrupt::probing) {
        outcome.probing = ErrorStreamShows(err, "tolvar: probing the Listener");
        kill(child, SIGINT);
        // A silent device's probe lasts more than six seconds.
        outcome.endedPromptly = TolvarRT::testing::WaitUntil([&] { return waitpid(child, &status, WNOHANG) == child; },
                                                             std::chrono::seconds(4));
    }
    if (!outcome.endedPromptly)
        waitpid(child, &status, 0);
    outcome.status = cli::testing::ExitStatus(status);
    outcome.out = cli::testing::TakeFile(started.out);
    outcome.err = cli::testing::TakeFile(err);
    return outcome;
}

// The figures after a row's name in a text table, single-spaced; empty when
// no row has that name.
std::string RowFigures(const std::string& table, const std::string& name)
{
    std::istringstream lines(table);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(name + "  ", 0) != 0)
            continue;
        std::istringstream fields(line.substr(name.size()));
        std::string figures;
        for (std::string field; fields >> field;)
            figures += (figures.empty() ? "" : " ") + field;
        return figures;
    }
    return {};
}

std::uint64_t BytesOf(const nlohmann::json& decoded, const std::string& name)
{
    for (const auto& row : decoded["frames"])
        if (row["name"] == name)
            return row["bytes"];
    return 0;
}

int ExitStatus(const std::vector<std::string>& arguments)
{
    return Tolvar(arguments).status;
}

// Ctrl+C ends every link of a monitor, each with its figures; a fault in
// its file is exit 2, named by file and line, before anything opens.
TEST(CommandTest, AMonitorEndsEveryLinkOnCtrlCAndABadFileIsNamedByItsLine)
{
    TolvarRT::testing::TempFolder folder;
    const std::string config = folder.File("links.yaml");
    std::ofstream(config) << "links:\n  - name: first\n    listener: FILE:"
                          << TolvarRT::testing::CapturePath("testglo.rtcm3")
                          << "::x1\n  - name: second\n    listener: FILE:"
                          << TolvarRT::testing::CapturePath("rtcm3-1.log") << "::x1\n";
    const sOutcome outcome =
        Tolvar({"monitor", config, "--serve", "0", "--json"}, eInterrupt::served, "/link/second/api/stats");
    EXPECT_TRUE(outcome.served) << outcome.err;
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    const nlohmann::json json = nlohmann::json::parse(outcome.out, nullptr, false);
    ASSERT_TRUE(json.is_object()) << outcome.out;
    ASSERT_EQ(json["links"].size(), 2u);
    for (const auto& link : json["links"]) {
        EXPECT_TRUE(link["ran"].get<bool>()) << link.dump();
        EXPECT_GT(link["figures"]["measuredTotal"]["received"].get<int>(), 0) << link.dump();
    }

    std::ofstream(config) << "links:\n  - name: a\n    listener: TCP:127.0.0.1:5000\n  - name: b\n";
    const sOutcome bad = Tolvar({"monitor", config});
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.err, "tolvar: " + config + ":4: link b: no listener\n");
    EXPECT_EQ(bad.out, "");
}

TEST(CommandTest, ExitStatusesTellSuccessBadArgumentsAndWhatCannotBeOpened)
{
    EXPECT_EQ(ExitStatus({"--help"}), 0);
    EXPECT_EQ(ExitStatus({"run", "--help"}), 0);
    EXPECT_EQ(ExitStatus({}), 2);
    EXPECT_EQ(ExitStatus({"frobnicate"}), 2);
    EXPECT_EQ(ExitStatus({"decode", "--chunk", "0", "x"}), 2);
    EXPECT_EQ(ExitStatus({"decode", "/no/such/capture"}), 1);
    EXPECT_EQ(ExitStatus({"decode", "--frames", "--json", "x"}), 2) << "one output at a time";
    EXPECT_EQ(ExitStatus({"demo", "--schedule", "7"}), 2);
    EXPECT_EQ(ExitStatus({"demo", "--serve", "127.0.0.1:99999"}), 2) << "checked before any port is opened";
    EXPECT_EQ(ExitStatus({"run"}), 2) << "the Listener is required";
    EXPECT_EQ(ExitStatus({"run", "--listener", "/dev/null", "--listener-parity", "Q"}), 2);
    EXPECT_EQ(ExitStatus({"run", "--listener", "/dev/null", "--log", "/dev/null", "--log-level", "loud"}), 2);
    EXPECT_EQ(ExitStatus({"run", "--listener", "/dev/null", "--log-level", "all"}), 2) << "no log file";
    EXPECT_EQ(ExitStatus({"run", "--listener", "/dev/null", "--source-baud", "9600"}), 2) << "no Source";
    EXPECT_EQ(ExitStatus({"run", "--listener", "/dev/null", "--source", "/dev/null", "--schedule", "2"}), 2)
        << "a schedule needs the fake CMR generator";
    EXPECT_EQ(ExitStatus({"run", "--listener", "/dev/null", "--source", "fake-cmr"}), 2) << "no port to send on";
}

// A dry run judges the arguments as a run does and stops there: neither the
// device that is not there nor the files a run would write are touched.
TEST(CommandTest, ADryRunJudgesTheArgumentsAndOpensNothing)
{
    TolvarRT::testing::TempFolder folder;
    const sOutcome good = Tolvar({"run", "--dry-run", "--listener", "/no/such/device", "--source",
                                  "fake-cmr:TCPSVR:6200", "--log", folder.File("log.txt"), "--record",
                                  folder.File("rec"), "--events", folder.File("events.jsonl"), "--seconds", "600"});
    EXPECT_EQ(good.status, 0) << good.err;
    EXPECT_EQ(good.out + good.err, "");
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));
    EXPECT_EQ(ExitStatus({"run", "--dry-run", "--listener", "/no/such/device", "--gga", "abc"}), 2);
    EXPECT_EQ(ExitStatus({"run", "--dry-run", "--listener", "TCP:127.0.0.1:99999"}), 2);
    EXPECT_EQ(ExitStatus({"run", "--dry-run", "--listener", "/dev/null", "--require", "CMR Type 0"}), 2);
}

// Malformed, whichever check finds it: exit 2 with the argument named, before
// anything is opened (a port that could be opened would have been, and the
// run would wait for it).
TEST(CommandTest, EveryMalformedArgumentIsExit2AndNamed)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"demo", "--serve", "127.0.0.1:80800"}, "tolvar: --serve 127.0.0.1:80800: expected ADDR:PORT"},
        {{"run", "--listener", "/dev/null", "--serve", "127.0.0.1:x"}, "tolvar: --serve 127.0.0.1:x: expected"},
        {{"run", "--listener", "TCP:127.0.0.1:99999"}, "tolvar: --listener TCP:127.0.0.1:99999: the port is"},
        {{"run", "--listener", "foo://bar"}, "tolvar: --listener foo://bar: unknown stream type"},
        {{"run", "--listener", "serial://ttyS0:115200:9:N:1"}, "tolvar: --listener serial://ttyS0:115200:9:N:1: data"},
        {{"run", "--listener", "/dev/null", "--source", "fake-cmr:TCPSVR:127.0.0.1:x"},
         "tolvar: --source TCPSVR:127.0.0.1:x: the port is"},
        {{"run", "--listener", "/dev/null", "--gga", "abc"}, "tolvar: --gga abc: expected"},
        {{"demo", "--drop", "30-20"}, "--drop"},
    };
    for (const auto& [arguments, message] : cases) {
        const sOutcome outcome = Tolvar(arguments);
        EXPECT_EQ(outcome.status, 2) << arguments.back() << ": " << outcome.err;
        EXPECT_NE(outcome.err.find(message), std::string::npos) << outcome.err;
        EXPECT_EQ(outcome.out, "") << "nothing ran";
    }

    // Well formed but taken: the system's reason, as for a port.
    const int taken = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(taken, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(taken, 1), 0);
    socklen_t size = sizeof address;
    getsockname(taken, reinterpret_cast<sockaddr*>(&address), &size);
    const std::string serve = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    const sOutcome busy = Tolvar({"demo", "--seconds", "1", "--serve", serve});
    close(taken);
    EXPECT_EQ(busy.status, 1);
    EXPECT_EQ(busy.err, "tolvar: --serve " + serve + ": Address already in use\n");
}

TEST(CommandTest, APortThatCannotBeOpenedIsNamedWithTheSystemsReason)
{
    sOutcome missing = Tolvar({"run", "--listener", "/no/such/tty", "--seconds", "1"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "tolvar: /no/such/tty: No such file or directory\n");

    // A loopback port nobody listens on: bound, then closed again.
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t size = sizeof address;
    getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size);
    close(probe);
    const std::string port = "TCP:127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    sOutcome refused = Tolvar({"run", "--listener", port, "--seconds", "1"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "tolvar: " + port + ": Connection refused\n");
}

TEST(CommandTest, EveryCaptureDecodesToTheManifestsCountsAsTextAndAsJson)
{
    for (const TolvarRT::testing::sManifestEntry& capture : TolvarRT::testing::CaptureManifest()) {
        const std::string path = TolvarRT::testing::CapturePath(capture.file);
        const sOutcome json = Tolvar({"decode", "--json", path});
        ASSERT_EQ(json.status, 0) << capture.file << json.err;
        std::map<std::string, std::uint64_t> counts;
        const nlohmann::json decoded = nlohmann::json::parse(json.out);
        for (const auto& row : decoded["frames"])
            counts[row["name"]] = row["count"];
        EXPECT_EQ(counts, capture.frames) << capture.file;

        const sOutcome text = Tolvar({"decode", path});
        ASSERT_EQ(text.status, 0) << capture.file << text.err;
        std::uint64_t total = 0;
        for (const auto& [name, count] : capture.frames) {
            EXPECT_EQ(RowFigures(text.out, name), std::to_string(count) + " " + std::to_string(BytesOf(decoded, name)))
                << capture.file << ": " << name << "\n"
                << text.out;
            total += count;
        }
        EXPECT_EQ(RowFigures(text.out, "Frames"), std::to_string(total)) << capture.file;

        const sOutcome lines = Tolvar({"decode", "--frames", "--chunk", "64", path});
        ASSERT_EQ(lines.status, 0) << capture.file << lines.err;
        std::map<std::string, std::uint64_t> listed;
        std::istringstream listing(lines.out);
        for (std::string line; std::getline(listing, line);) {
            const nlohmann::json entry = nlohmann::json::parse(line);
            if (entry["name"] != "lost")
                ++listed[entry["name"]];
        }
        EXPECT_EQ(listed, capture.frames) << capture.file;
    }
}

TEST(CommandTest, CtrlCEndsARunWithTheFiguresSoFar)
{
    TolvarRT::sRadioChannel channel;
    channel.lossPercent = 0;
    TolvarRT::CEmulatedRadioLink link(channel);
    std::string error;
    ASSERT_TRUE(link.Start(error)) << error;
    const sOutcome run =
        Tolvar({"run", "--listener", link.RoverPort(), "--listener-baud", "115200", "--source",
                "fake-cmr:" + link.BasePort(), "--source-baud", "115200", "--json", "--serve", "127.0.0.1:0"},
               eInterrupt::served);
    link.Stop();
    ASSERT_TRUE(run.served) << run.err;
    ASSERT_EQ(run.status, 0) << run.err;
    const nlohmann::json figures = nlohmann::json::parse(run.out);
    EXPECT_GE(figures["seconds"].get<unsigned>(), 1u);
    EXPECT_NE(figures["title"].get<std::string>().find("UHF-450"), std::string::npos);
    ASSERT_FALSE(figures["rows"].empty());
    EXPECT_EQ(figures["rows"][0]["name"], "CMR Type 0");
    EXPECT_GT(figures["measured"][0]["received"].get<unsigned>(), 0u);
}

// The probe of a device that never answers is shown, and Ctrl+C ends it as
// at once as it ends the test's seconds.
TEST(CommandTest, CtrlCDuringTheProbeOfASilentDeviceEndsTheRunAtOnce)
{
    TolvarRT::testing::CTcpServer silent;
    ASSERT_TRUE(silent.Listen());
    const sOutcome run =
        Tolvar({"run", "--listener", "TCP:127.0.0.1:" + std::to_string(silent.Port()), "--seconds", "60", "--json"},
               eInterrupt::probing);
    ASSERT_TRUE(run.probing) << run.err;
    EXPECT_TRUE(run.endedPromptly);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(nlohmann::json::parse(run.out)["seconds"], 0);
}

// A Listener alone: the capture's base station comes out of its own frames,
// in the text and in the JSON, and --max-age is judged with no Source.
TEST(CommandTest, ARunWithoutASourceShowsTheStreamsOwnContent)
{
    const std::string capture = "FILE:" + TolvarRT::testing::CapturePath("pygpsdata-NTRIP-USCL00CHL0.log");
    const sOutcome json = Tolvar({"run", "--listener", capture, "--seconds", "1", "--json"});
    ASSERT_EQ(json.status, 0) << json.err;
    const nlohmann::json figures = nlohmann::json::parse(json.out, nullptr, false);
    ASSERT_TRUE(figures.is_object()) << json.out;
    ASSERT_TRUE(figures["content"].contains("listener")) << figures["content"];
    EXPECT_FALSE(figures["content"].contains("source")) << "no Source, no side";
    const nlohmann::json& listener = figures["content"]["listener"];
    ASSERT_FALSE(listener["stations"].empty()) << listener;
    EXPECT_EQ(listener["stations"][0]["station_id"], 0);
    EXPECT_FALSE(listener["stations"][0]["latitude"].is_null()) << "from its 1005 and 1006";
    EXPECT_FALSE(listener["epochs"].empty()) << listener;
    EXPECT_TRUE(listener["clock"].contains("synchronised"));

    const sOutcome text = Tolvar({"run", "--listener", capture, "--seconds", "1", "--max-age", "0"});
    EXPECT_NE(text.out.find("Stream content:\n  Listener:\n    host clock "), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("    station 0 ("), std::string::npos) << text.out;
    // Whatever the capture's old epochs make of the ages, none is 0 s old.
    EXPECT_EQ(text.status, 3) << text.out << text.err;
    EXPECT_NE(text.out.find("Verdict: FAIL: "), std::string::npos) << text.out;
}

TEST(CommandTest, RequirementsGiveTheVerdictInTheLastLineAndTheExitStatus)
{
    EXPECT_EQ(ExitStatus({"demo", "--require", "CMR Type 0"}), 2) << "no percentage";
    EXPECT_EQ(ExitStatus({"demo", "--require", "CMR Type 0:101"}), 2);
    EXPECT_EQ(ExitStatus({"demo", "--require", ":50"}), 2) << "no type";
    EXPECT_EQ(ExitStatus({"demo", "--max-latency", "-1"}), 2);
    EXPECT_EQ(ExitStatus({"demo", "--max-age", "-1"}), 2);
    // Each mistake is named in words, before anything is opened.
    const struct {
        std::vector<std::string> arguments;
        std::string error;
    } mistakes[] = {
        {{"demo", "--max-age", "-1"}, "--max-age: \"-1\" is not a number of seconds, 0 or more"},
        {{"demo", "--max-latency", "soon"}, "--max-latency: \"soon\" is not a number of milliseconds, 0 or more"},
        {{"demo", "--traffic", "rtcm"}, "--traffic: rtcm not in {cmr,rtcm3}"},
        {{"run", "--listener", "/dev/null", "--source", "fake-rtcm:/dev/null"},
         "tolvar: --source fake-rtcm:/dev/null: no such generator: fake-cmr:PORT, fake-rtcm3:PORT or fake-ats:PORT"},
    };
    for (const auto& mistake : mistakes) {
        const sOutcome outcome = Tolvar(mistake.arguments);
        EXPECT_EQ(outcome.status, 2) << mistake.error;
        EXPECT_NE(outcome.err.find(mistake.error), std::string::npos) << outcome.err;
    }
    EXPECT_EQ(ExitStatus({"run", "--listener", "/dev/null", "--require", "x:y"}), 2) << "judged before any port";

    char eventsName[] = "/tmp/tolvar-events-XXXXXX";
    close(mkstemp(eventsName));
    const std::string events = eventsName;
    const std::string svg = events + ".svg";
    const sOutcome lax = Tolvar({"demo", "--seconds", "2", "--schedule", "0", "--require", "cmr type 0:50", "--require",
                                 "All types:50", "--max-latency", "5000", "--events", events});
    ASSERT_EQ(lax.status, 0) << lax.out << lax.err;
    EXPECT_EQ(lax.out.substr(lax.out.rfind('\n', lax.out.size() - 2) + 1), "Verdict: PASS (3 requirements)\n");

    // Slower than the link can be, and a type the generator never sends.
    const sOutcome impossible = Tolvar({"demo", "--seconds", "2", "--schedule", "0", "--latency", "50", "--max-latency",
                                        "1", "--require", "RTCM v3 Type 1005:1", "--json"});
    ASSERT_EQ(impossible.status, 3) << impossible.out << impossible.err;
    const nlohmann::json verdict = nlohmann::json::parse(impossible.out)["verdict"];
    EXPECT_EQ(verdict["passed"], false);
    ASSERT_EQ(verdict["requirements"].size(), 2u);
    EXPECT_GE(verdict["requirements"][1]["measured"].get<double>(), 50.0);
    EXPECT_EQ(verdict["requirements"][0]["why"], "RTCM v3 Type 1005 never sent");

    // The events of the passing run, summed and drawn.
    const sOutcome report = Tolvar({"report", events, "--svg", svg});
    ASSERT_EQ(report.status, 0) << report.err;
    EXPECT_NE(report.out.find("  CMR Type 0: "), std::string::npos) << report.out;
    EXPECT_EQ(report.out.find("malformed"), std::string::npos) << report.out;
    std::ifstream drawn(svg);
    EXPECT_TRUE(drawn.good()) << "the picture was written";
    EXPECT_EQ(ExitStatus({"report", "/no/such/events"}), 1);
    EXPECT_EQ(ExitStatus({"report", "/tmp"}), 1) << "a folder is no file";
    EXPECT_EQ(ExitStatus({"report", events, "--svg", "/no/such/folder/x.svg"}), 1);
    unlink(events.c_str());
    unlink(svg.c_str());
}

TEST(CommandTest, ATestThatLostItsLogOrEventsEndsWithItsOwnStatus)
{
    for (const char* option : {"--log", "--events"}) {
        const sOutcome lost = Tolvar({"demo", "--seconds", "1", option, "/dev/full"});
        EXPECT_EQ(lost.status, 4) << option << lost.err;
        EXPECT_NE(lost.err.find("/dev/full: "), std::string::npos) << lost.err;
        EXPECT_NE(lost.err.find("tolvar: the test's log file, recording or events file lost data\n"), std::string::npos)
            << lost.err;
    }
    // A requirement that fails says more about the link than the lost file.
    EXPECT_EQ(ExitStatus({"demo", "--seconds", "1", "--log", "/dev/full", "--require", "RTCM v3 Type 1005:1"}), 3);

    // A file that is not an events file has nothing to report.
    char name[] = "/tmp/tolvar-notevents-XXXXXX";
    const int fd = mkstemp(name);
    ASSERT_EQ(write(fd, "root:x:0:0:root:/root:/bin/sh\n", 30), 30);
    close(fd);
    const sOutcome notEvents = Tolvar({"report", name});
    EXPECT_EQ(notEvents.status, 1);
    EXPECT_EQ(notEvents.err, std::string("tolvar: ") + name + " holds no event\n");
    EXPECT_EQ(notEvents.out, "");
    unlink(name);
}

}  // namespace
