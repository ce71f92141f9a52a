#include "app/about_text.h"

#include "core/string_format.h"

std::string AboutText(const char* buildDate, const char* buildTime)
{
    return TolvarRT::StringPrintf("Tolvar Test Suite v%0.2f\n%s %s", kTolvarVersion, buildDate, buildTime);
}
