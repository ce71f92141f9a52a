// The character filter of edit fields: the call sign field and a digits-only
// field, character by character.
#include <gtest/gtest.h>

#include <string>

#include "position/char_filter.h"

namespace TolvarRT {
namespace {

// What a field ends up holding after typing, and what the user was told.
struct sTyped {
    std::u32string text;
    int rejections = 0;
};

sTyped Type(const CCharFilter& filter, const std::u32string& keys)
{
    sTyped typed;
    for (const char32_t key : keys) {
        const sCharDecision decision = filter.Filter(key);
        if (decision.action == sCharDecision::kInsert)
            typed.text += decision.character;
        else if (decision.action == sCharDecision::kReject)
            ++typed.rejections;
    }
    return typed;
}

TEST(CharFilterTest, CallSignTakesEveryClassInUpperCase)
{
    CCharFilter callSign(15);
    callSign.SetFilter(kCharAllClasses, true);
    EXPECT_EQ(callSign.MaxLength(), 15);

    const sTyped typed = Type(callSign, U"ab1-");
    EXPECT_EQ(typed.text, U"AB1-");
    EXPECT_EQ(typed.rejections, 0);
    EXPECT_EQ(Type(callSign, U"Q/").text, U"Q/") << "upper case and other characters pass as they are";
}

TEST(CharFilterTest, SpaceAndTheFieldUnfriendlySymbolsAreDroppedSilently)
{
    CCharFilter callSign(15);
    callSign.SetFilter(kCharAllClasses, true);
    for (const char32_t c : std::u32string(U" !#%&*<>@[\\]^`{|}~")) {
        EXPECT_EQ(CCharFilter::ClassOf(c), 0) << char(c);
        EXPECT_EQ(callSign.Filter(c).action, sCharDecision::kDiscard) << char(c);
    }
    // Their neighbours in the code table are ordinary characters.
    for (const char32_t c : std::u32string(U"\"$'()+,-./:;=?_")) {
        EXPECT_EQ(CCharFilter::ClassOf(c), kCharOthers) << char(c);
        EXPECT_EQ(callSign.Filter(c).action, sCharDecision::kInsert) << char(c);
    }
}

TEST(CharFilterTest, ClassesNotAllowedAreRejectedButControlCharactersAlwaysPass)
{
    CCharFilter digits(8);
    digits.SetFilter(kCharDigits, false);
    const sTyped typed = Type(digits, U"1a2-3\b");
    EXPECT_EQ(typed.text, U"123\b");
    EXPECT_EQ(typed.rejections, 2);
    EXPECT_EQ(digits.Filter(U'a').action, sCharDecision::kReject);
    EXPECT_EQ(digits.Filter(U'a').character, U'a') << "the rejected character is the typed one";

    // Forcing upper case does not let a letter into a field without letters.
    digits.SetFilter(kCharDigits, true);
    EXPECT_EQ(digits.Filter(U'q').action, sCharDecision::kReject);

    CCharFilter unset(15);
    EXPECT_EQ(unset.AllowedClasses(), 0) << "nothing allowed before SetFilter";
    EXPECT_FALSE(unset.ForcesUpperCase());
}

}  // namespace
}  // namespace TolvarRT
