// Serves running tests' status over HTTP: an index page at "/" linking to
// every link's page, each link's status page at "/link/NAME/" and its
// statistics table and what the link did so far as JSON at
// "/link/NAME/api/stats", and "/metrics" with every link's figures for a
// monitoring server to scrape, each labelled by its name. A server of one
// link also serves its page at the document's own path and its statistics
// at "/api/stats".
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class CTolvarTestSuiteDoc;

namespace httplib {
class Server;
}

namespace web {

// "--serve" as given: "host:port", ":port" or "port", the host 127.0.0.1
// unless given, port 0 for any free one. False with "--serve ADDRESS: reason".
bool ParseServeAddress(const std::string& address, std::string& host, int& port, std::string& error);

// Thread rules: Start and Stop belong to the owner; requests are served on
// the server's own threads and read the document through its locked page
// operations and the statistics table model.
struct sServedLink {
    std::string name;
    CTolvarTestSuiteDoc* document = nullptr;
};

class CStatusServer {
public:
    explicit CStatusServer(CTolvarTestSuiteDoc& document, std::string linkName = "link");
    // Names are path segments: letters, digits, '-', '_' and '.'.
    explicit CStatusServer(std::vector<sServedLink> links);
    ~CStatusServer();
    CStatusServer(const CStatusServer&) = delete;
    CStatusServer& operator=(const CStatusServer&) = delete;

    // address: "host:port", ":port" or "port"; the host defaults to
    // 127.0.0.1 and port 0 picks a free one. False (with a reason) when the
    // address is malformed or cannot be bound.
    bool Start(const std::string& address, std::string& error);
    // Seconds after which a browser reloads a status page; 0 keeps the
    // page's own period. Set before Start.
    void SetRefreshSeconds(int seconds) { refreshSeconds = seconds; }
    // Status pages handed out so far (every reload counts).
    unsigned long PagesServed() const { return pagesServed.load(); }
    void Stop();
    int Port() const { return boundPort; }
    const std::string& Host() const { return host; }

private:
    void ServeLink(const sServedLink& link, const std::string& pagePath, const std::string& statsPath);

    const std::vector<sServedLink> links;
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    std::string host = "127.0.0.1";
    int boundPort = 0;
    int refreshSeconds = 0;
    std::atomic<unsigned long> pagesServed{0};
};

}  // namespace web
