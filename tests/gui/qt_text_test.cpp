#include <gtest/gtest.h>

#include "gui/qt_text.h"

namespace {

// The position text's degree sign is the single byte 0xBA; it must arrive as
// one character and come back as the same byte.
TEST(QtTextTest, EightBitTextsCrossBothWaysUnchanged)
{
    const std::string degrees = "Lat:  52\xBA 30.00000'";
    const QString shown = gui::ToQt(degrees);
    EXPECT_EQ(shown.size(), qsizetype(degrees.size()));
    EXPECT_EQ(shown.at(8), QChar(0xBA));
    EXPECT_EQ(gui::FromQt(shown), degrees);
}

}  // namespace
