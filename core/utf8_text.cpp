#include "core/utf8_text.h"

#include <cstdint>

namespace TolvarRT {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// How many continuation bytes follow a lead byte, and the range the first of
// them must lie in (which rules out overlong forms, surrogates and code
// points above U+10FFFF); 0 continuations for a byte that leads nothing.
struct sLead {
    unsigned continuations;
    std::uint8_t low;
    std::uint8_t high;
};

sLead LeadOf(std::uint8_t byte)
{
    if (byte >= 0xC2 && byte <= 0xDF)
        return {1, 0x80, 0xBF};
    if (byte == 0xE0)
        return {2, 0xA0, 0xBF};
    if (byte == 0xED)
        return {2, 0x80, 0x9F};
    if (byte >= 0xE1 && byte <= 0xEF)
        return {2, 0x80, 0xBF};
    if (byte == 0xF0)
        return {3, 0x90, 0xBF};
    if (byte >= 0xF1 && byte <= 0xF3)
        return {3, 0x80, 0xBF};
    if (byte == 0xF4)
        return {3, 0x80, 0x8F};
    return {0, 0, 0};
}

}  // namespace

std::string ValidUtf8(std::string_view text)
{
    std::string valid;
    valid.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size()) {
        const auto byte = std::uint8_t(text[at]);
        if (byte < 0x80) {
            valid += char(byte);
            ++at;
            continue;
        }
        const sLead lead = LeadOf(byte);
        std::size_t end = at + 1;
        bool whole = lead.continuations != 0;
        for (unsigned i = 0; whole && i < lead.continuations; ++i, ++end) {
            const std::uint8_t low = i == 0 ? lead.low : 0x80;
            const std::uint8_t high = i == 0 ? lead.high : 0xBF;
            whole = end < text.size() && std::uint8_t(text[end]) >= low && std::uint8_t(text[end]) <= high;
            if (!whole)
                break;
        }
        if (whole)
            valid.append(text.substr(at, end - at));
        else
            valid += kReplacement;
        at = end;
    }
    return valid;
}

}  // namespace TolvarRT
