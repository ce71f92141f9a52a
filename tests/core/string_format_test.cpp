// Formatting into strings longer than the stack buffer, and empty results.
#include <gtest/gtest.h>

#include <string>

#include "core/string_format.h"

TEST(StringPrintfTest, ResultsOfAnyLengthComeBackWhole)
{
    EXPECT_EQ(TolvarRT::StringPrintf("%s = %u (0x%04x)", "Channel", 5u, 5u), "Channel = 5 (0x0005)");
    const std::string longText(1000, 'x');
    EXPECT_EQ(TolvarRT::StringPrintf("[%s]", longText.c_str()), "[" + longText + "]");
    EXPECT_EQ(TolvarRT::StringPrintf("%s", ""), "");
}
