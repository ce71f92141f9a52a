// What a caster is asked: the "NTRIP:[user[:password]@]host[:port]/mountpoint"
// port names, the stream request with its basic authentication, and the GGA
// sentence that tells a caster where the rover is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "ports/network/socket.h"
#include "ports/serial_port_interface.h"

namespace TolvarRT {

constexpr std::uint16_t kDefaultCasterPort = 2101;
// Longer names are no caster's; every text that shows one must fit a log line.
constexpr std::size_t kNtripNameLimit = 1000;

struct sNtripAddress {
    sNetAddress caster{"", kDefaultCasterPort};
    std::string user;
    std::string password;
    std::string mountpoint;  // empty: the caster is asked for its sourcetable
};

// Reads "NTRIP:[user[:password]@]host[:port][/mountpoint]" (prefix in any
// case). The password may hold ':' and '@'; the host part starts after the
// last '@'. False with failure set for an empty host, a bad port, a name
// longer than kNtripNameLimit, or a part the request cannot carry as it is:
// a space or control character in the mountpoint or host, a control
// character in the user name or password (a line break there would add
// lines of its own to the request).
bool ParseNtripPortName(std::string_view name, sNtripAddress& address, std::string* failure = nullptr);

// The name as it may be shown: the password, when there is one, is "****".
// Any other name comes back unchanged.
std::string MaskNtripPassword(std::string_view name);

// One request that both kinds of caster answer: version 2 casters see the
// version header, version 1 casters ignore it and answer "ICY 200 OK".
std::string NtripRequest(const sNtripAddress& address);

std::string Base64(std::string_view bytes);

// "LAT,LON,HEIGHT" in degrees and metres; false for anything else or a
// latitude or longitude out of range.
bool ParseGgaPosition(std::string_view text, sGgaPosition& position);

// "$GPGGA,...*hh\r\n" for the position at the given UTC time of day, with a
// fix of quality 1 from 8 satellites.
std::string GgaSentence(const sGgaPosition& position, unsigned secondsOfDay);

}  // namespace TolvarRT
