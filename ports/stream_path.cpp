// Stream paths to port names. The network paths only change their prefix:
// the ports themselves judge host and port, so both spellings fail alike.
#include "ports/stream_path.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "ports/network/ntrip_request.h"
#include "ports/network/socket.h"

namespace TolvarRT {
namespace {

std::string LowerScheme(std::string_view text)
{
    std::string scheme(text.substr(0, text.find("://")));
    for (char& c : scheme)
        c = char(std::tolower((unsigned char)c));
    return scheme;
}

bool ReadUnsigned(std::string_view text, std::uint32_t& value)
{
    if (text.empty() || text.size() > 9 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return std::isdigit((unsigned char)c); }))
        return false;
    value = std::uint32_t(std::stoul(std::string(text)));
    return true;
}

// Other tools read "udp://" as plain datagrams, some to send and some to
// receive, where "UDP:" is the converter's link protocol: any one reading
// would mislead the others' users.
constexpr const char* kUdpPathIsAmbiguous =
    "plain UDP goes either way and the converter has its own protocol: write udpsvr://[addr]:port to receive a "
    "plain UDP stream, udpcli://host:port to send one, or UDP:host[:port] for the converter's link protocol (port "
    "4044 when none is given)";

// The port prefix a network or file stream path becomes; nullptr for others.
const char* PortPrefixOf(const std::string& scheme)
{
    static constexpr std::pair<const char*, const char*> kPrefixes[] = {{"tcpcli", "TCP:"},    {"tcpsvr", "TCPSVR:"},
                                                                        {"udpcli", "UDPCLI:"}, {"udpsvr", "UDPSVR:"},
                                                                        {"ntrip", "NTRIP:"},   {"file", "FILE:"}};
    for (const auto& [name, prefix] : kPrefixes) {
        if (scheme == name)
            return prefix;
    }
    return nullptr;
}

bool ParseSerial(std::string_view rest, sStreamPath& path, std::string& failure)
{
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t colon = rest.find(':', start);
        fields.push_back(rest.substr(start, colon - start));
        if (colon == std::string_view::npos)
            break;
        start = colon + 1;
    }
    if (fields[0].empty() || fields.size() > 5) {
        failure = "expected serial://device[:baud[:bits[:parity[:stop]]]]";
        return false;
    }
    path.portName = std::string(fields[0]);
    if (fields.size() > 1) {
        if (!ReadUnsigned(fields[1], path.baudRate) || path.baudRate == 0) {
            failure = "the baud rate \"" + std::string(fields[1]) + "\" is not a number";
            return false;
        }
        path.hasBaudRate = true;
    }
    if (fields.size() > 2) {
        std::uint32_t bits = 0;
        if (!ReadUnsigned(fields[2], bits) || bits < 5 || bits > 8) {
            failure = "data bits must be 5 to 8, not \"" + std::string(fields[2]) + "\"";
            return false;
        }
        path.byteSize = std::uint8_t(bits);
        path.hasFraming = true;
    }
    if (fields.size() > 3) {
        const std::string letter(fields[3]);
        static constexpr const char* kParities[] = {"n", "o", "e"};
        const auto found = std::find_if(std::begin(kParities), std::end(kParities), [&](const char* p) {
            return letter.size() == 1 && std::tolower((unsigned char)letter[0]) == p[0];
        });
        if (found == std::end(kParities)) {
            failure = "parity must be N, O or E, not \"" + letter + "\"";
            return false;
        }
        path.parity = std::uint8_t(found - std::begin(kParities));
    }
    if (fields.size() > 4) {
        if (fields[4] != "1" && fields[4] != "2") {
            failure = "stop bits must be 1 or 2, not \"" + std::string(fields[4]) + "\"";
            return false;
        }
        path.stopBits = fields[4] == "2" ? 2 : 0;
    }
    return true;
}

}  // namespace

bool IsStreamPath(std::string_view text)
{
    const std::size_t separator = text.find("://");
    return separator != std::string_view::npos && separator > 0 &&
           std::all_of(text.begin(), text.begin() + std::ptrdiff_t(separator),
                       [](char c) { return std::isalpha((unsigned char)c); });
}

bool ParseStreamPath(std::string_view text, sStreamPath& path, std::string& failure)
{
    if (!IsStreamPath(text)) {
        failure = "not a stream path (scheme://...)";
        return false;
    }
    const std::string scheme = LowerScheme(text);
    const std::string_view rest = text.substr(scheme.size() + 3);
    const std::string shown = ShownPortName(text);
    sStreamPath parsed;
    std::string why;
    bool ok = true;
    if (scheme == "serial") {
        ok = ParseSerial(rest, parsed, why);
    } else if (scheme == "udp") {
        ok = false;
        why = kUdpPathIsAmbiguous;
    } else if (const char* prefix = PortPrefixOf(scheme)) {
        parsed.portName = prefix + std::string(rest);
        if (rest.empty()) {
            ok = false;
            why = "nothing after \"" + scheme + "://\"";
        } else if (scheme == "tcpsvr" || scheme == "udpsvr") {
            sNetAddress address;
            ok = ParseListenPortName(parsed.portName, prefix, address, why);
            if (!ok)
                why = "expected " + scheme + "://[addr]:port, " + why;
        } else if (scheme == "ntrip") {
            sNtripAddress address;
            ok = ParseNtripPortName(parsed.portName, address, &why);
        } else if (scheme == "tcpcli" || scheme == "udpcli") {
            sNetAddress address;
            ok = ParseNetPortName(parsed.portName, prefix, address, &why);
        }
    } else {
        ok = false;
        why = "unknown stream type \"" + scheme + "\" (serial, tcpcli, tcpsvr, udpcli, udpsvr, ntrip or file)";
    }
    if (!ok) {
        failure = shown + ": " + why;
        return false;
    }
    path = std::move(parsed);
    return true;
}

std::string ShownPortName(std::string_view name)
{
    if (IsStreamPath(name) && LowerScheme(name) == "ntrip")
        return "ntrip://" + MaskNtripPassword("NTRIP:" + std::string(name.substr(8))).substr(6);
    return MaskNtripPassword(name);
}

}  // namespace TolvarRT
