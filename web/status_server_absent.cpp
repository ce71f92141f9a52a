// Debian's HTTP server library is a Linux shared library, so the Windows
// build serves no status page: asking for one is refused before a test starts.
#include "web/status_server.h"

namespace httplib {
class Server {};
}  // namespace httplib

namespace web {

CStatusServer::CStatusServer(CTolvarTestSuiteDoc& document, std::string linkName)
    : links{{std::move(linkName), &document}}
{
}

CStatusServer::CStatusServer(std::vector<sServedLink> served) : links(std::move(served)) {}

CStatusServer::~CStatusServer() = default;

bool CStatusServer::Start(const std::string& address, std::string& error)
{
    int port = -1;
    if (!ParseServeAddress(address, host, port, error))
        return false;
    error = "--serve " + address + ": the status page is not part of the Windows build";
    return false;
}

void CStatusServer::Stop() {}

}  // namespace web
