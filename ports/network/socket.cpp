// The "TCP:host:port" names of the network ports: the same on every system.
#include "ports/network/socket.h"

#include <string>
#include <utility>

#include "core/ascii_case.h"

namespace TolvarRT {
namespace {

// Only plain decimal 1..65535: "0", "", "+5", "12ab" and "70000" fail.
bool ParsePortNumber(std::string_view text, std::uint16_t& port)
{
    if (text.empty() || text.size() > 5)
        return false;
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + unsigned(c - '0');
    }
    if (value == 0 || value > 65535)
        return false;
    port = std::uint16_t(value);
    return true;
}

bool Refuse(std::string* failure, std::string reason)
{
    if (failure != nullptr)
        *failure = std::move(reason);
    return false;
}

}  // namespace

bool HasNetPrefix(std::string_view name, std::string_view prefix)
{
    return StartsWithIgnoringCase(name, prefix);
}

bool ParseNetPortName(std::string_view name, std::string_view prefix, sNetAddress& address, std::string* failure)
{
    constexpr char kNotAnAddress[] = "not a host:port address";
    if (!HasNetPrefix(name, prefix))
        return Refuse(failure, "does not start with " + std::string(prefix));
    std::string_view rest = name.substr(prefix.size());
    std::string_view host = rest;
    std::string_view portText;
    bool hasPort = false;
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string_view::npos)
            return Refuse(failure, kNotAnAddress);
        host = rest.substr(1, close - 1);
        const std::string_view after = rest.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':')
                return Refuse(failure, kNotAnAddress);
            portText = after.substr(1);
            hasPort = true;
        }
    } else if (const std::size_t colon = rest.find(':');
               colon != std::string_view::npos && rest.find(':', colon + 1) == std::string_view::npos) {
        host = rest.substr(0, colon);
        portText = rest.substr(colon + 1);
        hasPort = true;
    }
    std::uint16_t port = kDefaultNetPort;
    if (host.empty())
        return Refuse(failure, kNotAnAddress);
    if (hasPort && !ParsePortNumber(portText, port))
        return Refuse(failure, "the port is not a number from 1 to 65535");
    address.host.assign(host);
    address.port = port;
    return true;
}

bool ParseListenPortName(std::string_view name, std::string_view prefix, sNetAddress& address, std::string& failure)
{
    if (!HasNetPrefix(name, prefix)) {
        failure = "not a " + std::string(prefix) + "[addr:]port name";
        return false;
    }
    std::string_view rest = name.substr(prefix.size());
    // "scheme://:port" paths and the connection dialog ("TCPSVR::" before
    // whatever was typed) put a colon in front, address or not.
    if (rest.size() > 1 && rest.front() == ':')
        rest.remove_prefix(1);
    const std::size_t colon = rest.rfind(':');
    std::string_view host = colon == std::string_view::npos ? std::string_view() : rest.substr(0, colon);
    const std::string_view portText = colon == std::string_view::npos ? rest : rest.substr(colon + 1);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (colon != std::string_view::npos && (host.empty() || host.find_first_of("[]") != std::string_view::npos)) {
        failure = "expected " + std::string(prefix) + "[addr:]port";
        return false;
    }
    if (portText.empty() || portText.size() > 5 || portText.find_first_not_of("0123456789") != std::string_view::npos ||
        std::stoul(std::string(portText)) > 65535) {
        failure = "the port is not a number from 0 to 65535";
        return false;
    }
    address.host = host.empty() ? std::string("127.0.0.1") : std::string(host);
    address.port = std::uint16_t(std::stoul(std::string(portText)));
    return true;
}
}  // namespace TolvarRT
