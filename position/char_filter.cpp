#include "position/char_filter.h"

#include <cwctype>
#include <string_view>

namespace TolvarRT {
namespace {

// Characters a call sign field never wants; they are dropped without a beep.
bool AlwaysDiscarded(char32_t c)
{
    constexpr std::u32string_view kDiscarded = U" !#%&*<>@[\\]^`{|}~";
    return kDiscarded.find(c) != std::u32string_view::npos;
}

}  // namespace

void CCharFilter::SetFilter(std::uint16_t classes, bool upperCase)
{
    allowedClasses = classes;
    forceUpperCase = upperCase;
}

std::uint16_t CCharFilter::ClassOf(char32_t c)
{
    if (c < 32)
        return kCharAllClasses;
    const auto wide = static_cast<std::wint_t>(c);
    if (std::iswalnum(wide) && !std::iswalpha(wide))
        return kCharDigits;
    if (std::iswalpha(wide))
        return kCharLetters;
    if (AlwaysDiscarded(c))
        return 0;
    return kCharOthers;
}

sCharDecision CCharFilter::Filter(char32_t typed) const
{
    const std::uint16_t charClass = ClassOf(typed);
    if (charClass == 0)
        return {sCharDecision::kDiscard, typed};
    char32_t character = typed;
    // The table's upper case, not a cleared 0x20 bit: that bit turns some
    // letters beyond ASCII into other characters (y with diaeresis into sharp s).
    if (charClass == kCharLetters && forceUpperCase && typed >= U'a')
        character = static_cast<char32_t>(std::towupper(static_cast<std::wint_t>(typed)));
    if ((charClass & allowedClasses) == 0)
        return {sCharDecision::kReject, typed};
    return {sCharDecision::kInsert, character};
}

}  // namespace TolvarRT
