#include "decoders/dc_identity.h"

#include <cstdio>
#include <string_view>

namespace TolvarRT {
namespace {

// The part of text after the first key found (the short form is tried first);
// false when neither is there.
bool AfterKey(std::string_view& text, std::string_view shortKey, std::string_view longKey)
{
    std::size_t at = text.find(shortKey);
    std::size_t keyLength = shortKey.size();
    if (at == std::string_view::npos) {
        at = text.find(longKey);
        keyLength = longKey.size();
    }
    if (at == std::string_view::npos)
        return false;
    text.remove_prefix(at + keyLength);
    return true;
}

// Text up to (not including) the first stop character; all of it when absent.
std::string_view UpTo(std::string_view text, char stop)
{
    return text.substr(0, text.find(stop));
}

// Text after the first stop character; empty when absent.
std::string_view After(std::string_view text, char stop)
{
    const std::size_t at = text.find(stop);
    return at == std::string_view::npos ? std::string_view() : text.substr(at + 1);
}

bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

sDeviceIdentity ParseIdentityText(const char* data, std::size_t length)
{
    sDeviceIdentity identity;
    identity.text.assign(data, length);
    std::string_view work(identity.text);

    if (AfterKey(work, "PF", "PRODUCT,")) {
        const std::size_t semicolon = work.find(';');
        if (semicolon != std::string_view::npos)
            identity.productField.assign(work.substr(0, semicolon));
        const std::size_t comma = identity.productField.find(',');
        identity.productName =
            comma != std::string::npos && comma >= 1 ? identity.productField.substr(0, comma) : identity.productField;
    }

    unsigned numbers[5] = {0, 0, 0, 0, 0};
    char parityLetter = 0;
    char flowLetter = '0';  // no port key: no flow control
    if (AfterKey(work, ";PT", ";PORT,")) {
        if (StartsWith(work, "BT")) {
            identity.hasBT = true;
            work.remove_prefix(2);
        }
        if (StartsWith(work, "SW")) {
            identity.hasSW = true;
            work.remove_prefix(2);
        }
        // sscanf needs a terminated text; the identity is at most a packet long.
        const std::string ports(work);
        std::sscanf(ports.c_str(), "%u,%u,%u,%u,%u,%c,%c", &numbers[0], &numbers[1], &numbers[2], &numbers[3],
                    &numbers[4], &parityLetter, &flowLetter);
    }
    identity.portIndex = numbers[0];
    identity.secondNumber = std::to_string(numbers[1]);
    identity.thirdNumber = std::to_string(numbers[2]);
    const unsigned dataBits = numbers[3];
    const unsigned stopBits = numbers[4];
    if (dataBits >= 5 && dataBits <= 8 && (stopBits == 1 || stopBits == 2))
        identity.dataStopCode = int(stopBits + 2 * dataBits) - 11;
    identity.parity = (parityLetter == 'E' || parityLetter == 'e')   ? 2
                      : (parityLetter == 'O' || parityLetter == 'o') ? 1
                                                                     : 0;

    if (AfterKey(work, ";VR", ";VERSION,")) {
        identity.version.assign(UpTo(work, ','));
        work = After(work, ',');
        identity.versionField2.assign(UpTo(work, ','));
        work = After(work, ',');
        identity.versionField3.assign(UpTo(work, ','));
        work = After(work, ',');
        identity.versionTail.assign(UpTo(work, ';'));
    }
    identity.flowFlag = !(flowLetter == '0' || flowLetter == 'F' || flowLetter == 'f');
    return identity;
}

}  // namespace TolvarRT
