// printf-style formatting into a std::string of whatever length it takes.
#pragma once

#include <string>

namespace TolvarRT {

std::string StringPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace TolvarRT
