#include <string>

#include "web/status_server.h"

namespace web {

bool ParseServeAddress(const std::string& address, std::string& host, int& port, std::string& error)
{
    const std::size_t colon = address.rfind(':');
    const std::string portText = colon == std::string::npos ? address : address.substr(colon + 1);
    const std::string hostText = colon == std::string::npos || colon == 0 ? "127.0.0.1" : address.substr(0, colon);
    if (portText.empty() || portText.size() > 5 || portText.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(portText) > 65535) {
        error = "--serve " + address + ": expected ADDR:PORT, the port a number from 0 to 65535";
        return false;
    }
    host = hostText;
    port = std::stoi(portText);
    return true;
}

}  // namespace web
