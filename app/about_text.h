// The first line of the About box: the program's version and when it was
// built.
#pragma once

#include <string>

inline constexpr double kTolvarVersion = 0.72;

// "Tolvar Test Suite v%0.2f\n%s %s" with the version, the build date and
// the build time (as the compiler's __DATE__ and __TIME__ give them).
std::string AboutText(const char* buildDate, const char* buildTime);
