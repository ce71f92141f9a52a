// A real monitoring server scraping a running test: the figures it stores
// are the test's own, and its checker accepts what the test serves.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "capture_manifest.h"
#include "content_figures.h"
#include "loopback.h"
#include "temp_folder.h"
#include "tolvar_process.h"
#include "wait_until.h"
#include "web/metrics_text.h"

namespace {

using cli::testing::StartProgram;
using cli::testing::StartTolvar;
using cli::testing::TakeFile;

constexpr const char* kPrometheus = "/usr/bin/prometheus";
constexpr const char* kPromtool = "/usr/bin/promtool";

// "host:port" of the status server once the error stream names it.
std::string ServedAddress(int errFd)
{
    std::string address;
    TolvarRT::testing::WaitUntil(
        [&] {
            char buffer[4096];
            const ssize_t got = pread(errFd, buffer, sizeof buffer, 0);
            const std::string text(buffer, got > 0 ? std::size_t(got) : 0);
            const std::string marker = "tolvar: status page at http://";
            const std::size_t at = text.find(marker);
            const std::size_t end = at == std::string::npos ? at : text.find('/', at + marker.size());
            if (end != std::string::npos)
                address = text.substr(at + marker.size(), end - at - marker.size());
            return !address.empty();
        },
        std::chrono::minutes(1));
    return address;
}

// A loopback port nobody listens on just now, for a server that cannot be
// asked for any free one and tell it.
int FreeLoopbackPort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = TolvarRT::testing::Loopback(0);
    bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    const int port = TolvarRT::testing::BoundPort(fd);
    close(fd);
    return port;
}

// The value of the one series the query selects, once the server has it.
std::optional<double> QueryOnce(httplib::Client& server, const std::string& query)
{
    const auto answer = server.Get("/api/v1/query", httplib::Params{{"query", query}}, httplib::Headers{});
    if (!answer || answer->status != 200)
        return std::nullopt;
    const nlohmann::json json = nlohmann::json::parse(answer->body, nullptr, false);
    if (!json.is_object() || json.value("status", "") != "success" || json["data"]["result"].size() != 1)
        return std::nullopt;
    return std::stod(json["data"]["result"][0]["value"][1].get<std::string>());
}

struct sChecked {
    int status = -1;
    std::string output;
};

// promtool check metrics reads the exposition from its standard input.
sChecked CheckMetrics(const std::string& exposition)
{
    TolvarRT::testing::TempFolder folder;
    std::ofstream(folder.File("metrics")) << exposition;
    const auto child = StartProgram(kPromtool, {"check", "metrics"}, {}, folder.File("metrics"));
    int status = 0;
    waitpid(child.pid, &status, 0);
    return {cli::testing::ExitStatus(status), TakeFile(child.out) + TakeFile(child.err)};
}

TEST(MetricsScrapeTest, TheContentFamiliesPassTheMonitoringServersOwnCheck)
{
    ASSERT_EQ(access(kPromtool, X_OK), 0) << "the prometheus package (./dev deps installs it for the tests)";
    web::sLinkMetrics link;
    link.link = "rover \"north\"";
    link.hostClock = {true, true, 0.002, 0.1};
    web::sSideMetrics listener;
    listener.side = "listener";
    listener.correlated = true;
    listener.content = TolvarRT::testing::BaseStationContent();
    // Descriptors are the base's own bytes: a line end and Latin-1 too.
    listener.content.stations[0].antenna = "ANT\\x\n\xE9";
    web::sSideMetrics source = listener;
    source.side = "source";
    source.correlated = false;
    link.sides = {listener, source};
    const std::string exposition = web::MetricsText({link});
    ASSERT_NE(exposition.find("tolvar_station_info{"), std::string::npos);
    const sChecked checked = CheckMetrics(exposition);
    EXPECT_EQ(checked.status, 0) << checked.output << exposition;
}

TEST(MetricsScrapeTest, AMonitoringServerStoresTheFiguresTheRunEndsWith)
{
    ASSERT_EQ(access(kPrometheus, X_OK), 0) << "the prometheus package (./dev deps installs it for the tests)";
    TolvarRT::testing::TempFolder folder;
    // A capture without time tags is counted at once; the figures then hold
    // still while the run goes on, so the scrape and the end agree.
    auto tolvar = StartTolvar({"run", "--listener", "FILE:" + TolvarRT::testing::CapturePath("testglo.rtcm3"),
                               "--seconds", "120", "--serve", "127.0.0.1:0", "--json"});
    const std::string served = ServedAddress(tolvar.err);
    ASSERT_FALSE(served.empty()) << TakeFile(tolvar.err);

    httplib::Client status("http://" + served);
    std::string metrics;
    ASSERT_TRUE(TolvarRT::testing::WaitUntil(
        [&] {
            const auto answer = status.Get("/metrics");
            metrics = answer && answer->status == 200 ? answer->body : "";
            return metrics.find("type=\"RTCM v3 Type 1004\"") != std::string::npos;
        },
        std::chrono::seconds(30)))
        << metrics;
    const sChecked checked = CheckMetrics(metrics);
    EXPECT_EQ(checked.status, 0) << checked.output;

    const int port = FreeLoopbackPort();
    std::ofstream(folder.File("prometheus.yml")) << "global:\n  scrape_interval: 1s\n"
                                                    "scrape_configs:\n  - job_name: tolvar\n    static_configs:\n"
                                                    "      - targets: ['"
                                                 << served << "']\n";
    auto prometheus = StartProgram(
        kPrometheus, {"--config.file=" + folder.File("prometheus.yml"), "--storage.tsdb.path=" + folder.File("data"),
                      "--web.listen-address=127.0.0.1:" + std::to_string(port)});
    httplib::Client server("127.0.0.1", port);
    const std::string query =
        "tolvar_frames_received_total{job=\"tolvar\",link=\"FILE:" + TolvarRT::testing::CapturePath("testglo.rtcm3") +
        "\",side=\"listener\",type=\"RTCM v3 Type 1004\"}";
    std::optional<double> scraped;
    const bool stored = TolvarRT::testing::WaitUntil([&] { return (scraped = QueryOnce(server, query)).has_value(); },
                                                     std::chrono::seconds(60));
    kill(prometheus.pid, SIGTERM);
    int ignored = 0;
    waitpid(prometheus.pid, &ignored, 0);
    const std::string prometheusLog = TakeFile(prometheus.err);
    TakeFile(prometheus.out);

    kill(tolvar.pid, SIGINT);
    int ended = 0;
    waitpid(tolvar.pid, &ended, 0);
    const std::string out = TakeFile(tolvar.out);
    TakeFile(tolvar.err);
    ASSERT_TRUE(stored) << prometheusLog.substr(prometheusLog.size() > 3000 ? prometheusLog.size() - 3000 : 0);
    const nlohmann::json figures = nlohmann::json::parse(out, nullptr, false);
    ASSERT_TRUE(figures.is_object()) << out;
    double ownCount = -1;
    for (const auto& row : figures["rows"])
        if (row["name"] == "RTCM v3 Type 1004")
            ownCount = row["count"].get<double>();
    EXPECT_GT(ownCount, 0);
    EXPECT_EQ(*scraped, ownCount);
}

}  // namespace
