// Serves a running test's status over HTTP: the document's status page at its
// path, an index page at "/" linking to it, and "/api/stats" with the
// statistics table and what the link did so far as JSON, and "/metrics" with
// the figures for a monitoring server to scrape, the link labelled linkName.
#pragma once

#include <memory>
#include <string>
#include <thread>

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
class CStatusServer {
public:
    explicit CStatusServer(CTolvarTestSuiteDoc& document, std::string linkName = "link");
    ~CStatusServer();
    CStatusServer(const CStatusServer&) = delete;
    CStatusServer& operator=(const CStatusServer&) = delete;

    // address: "host:port", ":port" or "port"; the host defaults to
    // 127.0.0.1 and port 0 picks a free one. False (with a reason) when the
    // address is malformed or cannot be bound.
    bool Start(const std::string& address, std::string& error);
    void Stop();
    int Port() const { return boundPort; }
    const std::string& Host() const { return host; }

private:
    CTolvarTestSuiteDoc& document;
    const std::string linkName;
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    std::string host = "127.0.0.1";
    int boundPort = 0;
};

}  // namespace web
