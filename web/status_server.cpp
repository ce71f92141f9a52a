#include "web/status_server.h"

#include <cerrno>
#include <chrono>
#include <cstring>

#include <httplib.h>

#include "app/status_page.h"
#include "app/tolvar_test_suite_doc.h"
#include "ports/network/socket.h"
#include "ports/recording/replay_session.h"
#include "web/json_text.h"
#include "web/metrics_text.h"
#include "web/stats_output.h"

namespace web {
namespace {

// "Name: value" lines of the page's extra header; a refresh period given to
// the server replaces the page's own.
void AddHeaderLines(const std::string& lines, int refreshSeconds, httplib::Response& response)
{
    std::size_t start = 0;
    while (start < lines.size()) {
        std::size_t end = lines.find('\n', start);
        if (end == std::string::npos)
            end = lines.size();
        const std::string line = lines.substr(start, end - start);
        const std::size_t colon = line.find(':');
        if (colon != std::string::npos) {
            const std::string name = line.substr(0, colon);
            const std::size_t value = line.find_first_not_of(' ', colon + 1);
            if (name == "Refresh" && refreshSeconds > 0)
                response.set_header(name, std::to_string(refreshSeconds));
            else
                response.set_header(name, value == std::string::npos ? "" : line.substr(value));
        }
        start = end + 1;
    }
}

std::string LinkPath(const std::string& name)
{
    return "/link/" + name + "/";
}

}  // namespace

void CStatusServer::ServeLink(const sServedLink& link, const std::string& pagePath, const std::string& statsPath)
{
    CTolvarTestSuiteDoc& document = *link.document;
    server->Get(pagePath, [this, &document](const httplib::Request&, httplib::Response& response) {
        char* page = nullptr;
        std::size_t length = 0;
        std::string extraHeader;
        if (!document.GetPage("", "", &page, &length, &extraHeader)) {
            response.status = 500;
            return;
        }
        response.set_content(std::string(page, length), "text/html; charset=utf-8");
        document.FreePage(page);
        AddHeaderLines(extraHeader, refreshSeconds, response);
        ++pagesServed;
    });
    server->Get(statsPath, [&document](const httplib::Request&, httplib::Response& response) {
        // Read from a snapshot: a client polling here must not take changes
        // away from the table's next refresh. While the test runs, source
        // frames still on the air are in flight, not missed.
        const TolvarRT::sStatsSnapshot snapshot =
            document.ListenerStatistics().Snapshot(TolvarRT::CReplaySession::LinkTimeNow());
        nlohmann::json json = {{"title", document.TitleText()}, {"rows", RowsJson(snapshot)}};
        AddMeasuredJson(TolvarRT::MeasureLink(snapshot, false), json);
        AddContentJson(snapshot.content, &snapshot.sourceContent, json);
        response.set_content(JsonText(json, 2), "application/json");
    });
}

CStatusServer::CStatusServer(CTolvarTestSuiteDoc& document, std::string linkName)
    : links{{std::move(linkName), &document}}
{
}

CStatusServer::CStatusServer(std::vector<sServedLink> served) : links(std::move(served)) {}

CStatusServer::~CStatusServer()
{
    Stop();
}

bool CStatusServer::Start(const std::string& address, std::string& error)
{
    int port = -1;
    if (!ParseServeAddress(address, host, port, error))
        return false;

    server = std::make_unique<httplib::Server>();
    // The library's own options share a port another listener holds.
    server->set_socket_options(TolvarRT::SetListenOptions);
    for (const sServedLink& link : links)
        ServeLink(link, LinkPath(link.name), LinkPath(link.name) + "api/stats");
    // The paths a single test has always had.
    if (links.size() == 1)
        ServeLink(links.front(), links.front().document->PagePath(), "/api/stats");
    server->Get("/", [this](const httplib::Request&, httplib::Response& response) {
        // One link's index goes straight to the page its document names.
        std::string items;
        for (const sServedLink& link : links) {
            const std::string path = links.size() == 1 ? link.document->PagePath() : LinkPath(link.name);
            items += "<LI><A href=\"" + path + "\">" + EscapeHtml(link.name) +
                     "</A>: " + EscapeHtml(link.document->TitleText()) + "</LI>";
        }
        // In the status pages' face, so that "Home" from a page looks like
        // the same site.
        response.set_content(
            "<HTML><HEAD><TITLE>Tolvar Test Suite</TITLE></HEAD><BODY BGCOLOR=\"#99ccff\">"
            "<FONT FACE=\"Verdana\"><H2>Tolvar Test Suite <I>Web</I></H2><H3>Links under test</H3>"
            "<UL>" +
                items + "</UL></FONT></BODY></HTML>",
            "text/html; charset=utf-8");
    });
    server->Get("/metrics", [this](const httplib::Request&, httplib::Response& response) {
        std::vector<sLinkMetrics> metrics;
        for (const sServedLink& link : links)
            metrics.push_back(DocumentMetrics(*link.document, link.name));
        response.set_content(MetricsText(metrics), "text/plain; version=0.0.4; charset=utf-8");
    });
    errno = 0;
    boundPort = port == 0 ? server->bind_to_any_port(host) : (server->bind_to_port(host, port) ? port : -1);
    if (boundPort < 0) {
        // The socket's own failure (a port in use) when the system gave one.
        const int why = errno;
        error = "--serve " + address + ": " + (why != 0 ? std::strerror(why) : "cannot listen there");
        server.reset();
        return false;
    }
    thread = std::thread([this] { server->listen_after_bind(); });
    // The library ignores a stop that comes before its loop runs, and would
    // then serve for ever: a test that fails to open a port stops at once.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!server->is_running() && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

void CStatusServer::Stop()
{
    if (server != nullptr)
        server->stop();
    if (thread.joinable())
        thread.join();
    server.reset();
}

}  // namespace web
