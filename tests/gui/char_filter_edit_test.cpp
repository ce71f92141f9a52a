// The filtering edit typed into: the call sign field and a digits-only field
// whose owner may silence the beep.
#include <gtest/gtest.h>

#include <QTest>

#include "gui/char_filter_edit.h"

namespace {

// Counts the beeps instead of sounding them.
class CountingEdit : public gui::CharFilterEdit {
public:
    using gui::CharFilterEdit::CharFilterEdit;
    int beeps = 0;

protected:
    void Beep() override { ++beeps; }
};

constexpr int kCallSignId = 1201;

TEST(CharFilterEditTest, CallSignFieldTakesUpperCaseUpToFifteenCharacters)
{
    CountingEdit callSign(15);
    callSign.SetFilter(kCallSignId, TolvarRT::kCharAllClasses, true);
    callSign.show();
    QTest::keyClicks(&callSign, "ab1-");
    EXPECT_EQ(callSign.text(), "AB1-");

    QTest::keyClicks(&callSign, " #");
    EXPECT_EQ(callSign.text(), "AB1-") << "space and number sign change nothing";
    EXPECT_EQ(callSign.beeps, 0) << "and do not beep";

    QTest::keyClicks(&callSign, "cdefghijklm");
    EXPECT_EQ(callSign.text(), "AB1-CDEFGHIJKLM");
    QTest::keyClicks(&callSign, "n");
    EXPECT_EQ(callSign.text().size(), 15) << "a sixteenth character is refused";

    QTest::keyClick(&callSign, Qt::Key_Backspace);
    EXPECT_EQ(callSign.text(), "AB1-CDEFGHIJKL") << "editing keys still work";
}

TEST(CharFilterEditTest, ARejectedLetterNotifiesWithTheIdAndBeepsUnlessSilenced)
{
    CountingEdit digits(8);
    digits.SetFilter(77, TolvarRT::kCharDigits, false);
    digits.show();

    std::vector<std::pair<int, QChar>> notified;
    int reply = 0;
    QObject::connect(&digits, &gui::CharFilterEdit::CharacterRejected, [&](int id, QChar c, int* answer) {
        notified.emplace_back(id, c);
        *answer = reply;
    });
    QTest::keyClicks(&digits, "1x2");
    EXPECT_EQ(digits.text(), "12");
    ASSERT_EQ(notified.size(), 1u);
    EXPECT_EQ(notified[0].first, 77);
    EXPECT_EQ(notified[0].second, QChar('x'));
    EXPECT_EQ(digits.beeps, 1);

    reply = gui::CharFilterEdit::kSilent;
    QTest::keyClicks(&digits, "y");
    EXPECT_EQ(notified.size(), 2u);
    EXPECT_EQ(digits.beeps, 1) << "the owner answered -1";
}

TEST(CharFilterEditTest, WithoutAFilterTheFieldTakesWhatIsTyped)
{
    CountingEdit plain(15);
    plain.show();
    QTest::keyClicks(&plain, "a #");
    EXPECT_EQ(plain.text(), "a #");
}

}  // namespace
