// Texts of the core keep the bytes they came with (a port's name as the user
// typed it, a device's identity as it sent it); JSON and HTML take UTF-8.
// One rule turns the first into the second, wherever such a text leaves.
#pragma once

#include <string>
#include <string_view>

namespace TolvarRT {

// The text with every ill-formed sequence replaced by U+FFFD, one for each
// maximal part of a sequence that could have been well formed (so "caf\xE9"
// becomes "caf\uFFFD", and the three bytes of an encoded surrogate three).
// Well-formed UTF-8 comes back unchanged.
std::string ValidUtf8(std::string_view text);

}  // namespace TolvarRT
