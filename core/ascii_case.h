// Comparisons that ignore the case of ASCII letters: port prefixes, NMEA
// sentence names, setting names and model names are matched this way,
// whatever the process locale.
#pragma once

#include <string_view>

namespace TolvarRT {

constexpr char AsciiUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

constexpr bool EqualsIgnoringCase(std::string_view left, std::string_view right)
{
    if (left.size() != right.size())
        return false;
    for (std::size_t i = 0; i < left.size(); ++i) {
        if (AsciiUpper(left[i]) != AsciiUpper(right[i]))
            return false;
    }
    return true;
}

constexpr bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace TolvarRT
