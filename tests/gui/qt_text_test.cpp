#include <gtest/gtest.h>

#include "gui/qt_text.h"

namespace {

// The position text's degree sign is the single byte 0xBA: it arrives as one
// character.
TEST(QtTextTest, AnEightBitTextOfTheCoreIsShownByItsBytes)
{
    const std::string degrees = "Lat:  52\xBA 30.00000'";
    const QString shown = gui::ToQt(degrees);
    EXPECT_EQ(shown.size(), qsizetype(degrees.size()));
    EXPECT_EQ(shown.at(8), QChar(0xBA));
}

// What the user types goes to the core, and to the system, as UTF-8: a file
// named in Cyrillic and Chinese keeps its letters both ways.
TEST(QtTextTest, TypedTextsCrossAsUtf8)
{
    const QString typed = QStringLiteral("\u0416\u0443\u0440\u043d\u0430\u043b \u65e5\u5fd7 caf\u00e9.txt");
    const std::string bytes = gui::FromQt(typed);
    EXPECT_EQ(bytes, "\xD0\x96\xD1\x83\xD1\x80\xD0\xBD\xD0\xB0\xD0\xBB \xE6\x97\xA5\xE5\xBF\x97 caf\xC3\xA9.txt");
    EXPECT_EQ(gui::ToQt(bytes), typed);
}

}  // namespace
