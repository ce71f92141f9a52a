#include "core/string_format.h"

#include <cstdarg>
#include <cstdio>

namespace TolvarRT {

std::string StringPrintf(const char* format, ...)
{
    char small[128];
    va_list arguments;
    va_start(arguments, format);
    va_list again;
    va_copy(again, arguments);
    const int length = std::vsnprintf(small, sizeof small, format, arguments);
    va_end(arguments);
    std::string text;
    if (length > 0 && std::size_t(length) < sizeof small) {
        text.assign(small, std::size_t(length));
    } else if (length > 0) {
        text.resize(std::size_t(length));
        std::vsnprintf(text.data(), text.size() + 1, format, again);
    }
    va_end(again);
    return text;
}

}  // namespace TolvarRT
