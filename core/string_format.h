// printf-style formatting into a std::string of whatever length it takes.
#pragma once

#include <string>

#include "core/printf_format.h"

namespace TolvarRT {

std::string StringPrintf(const char* format, ...) TOLVAR_PRINTF(1, 2);

}  // namespace TolvarRT
