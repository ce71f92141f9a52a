// Drop-down list content and its selection rules.
#include "app/choice_list.h"

#include "core/ascii_case.h"

void CChoiceList::Add(std::string text, std::uint32_t value)
{
    entries.push_back(sChoice{std::move(text), value});
}

void CChoiceList::Insert(int index, std::string text, std::uint32_t value)
{
    if (index < 0 || index > static_cast<int>(entries.size()))
        index = static_cast<int>(entries.size());
    entries.insert(entries.begin() + index, sChoice{std::move(text), value});
    if (selection >= index)
        ++selection;
}

void CChoiceList::Clear()
{
    entries.clear();
    selection = kNone;
}

const sChoice* CChoiceList::Selected() const
{
    return selection == kNone ? nullptr : &entries[static_cast<std::size_t>(selection)];
}

bool CChoiceList::Select(int index)
{
    if (index < 0 || index >= static_cast<int>(entries.size()))
        return false;
    selection = index;
    return true;
}

bool CChoiceList::SelectByPrefix(std::string_view text)
{
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (TolvarRT::StartsWithIgnoringCase(entries[i].text, text))
            return Select(static_cast<int>(i));
    }
    return false;
}

bool CChoiceList::SelectByValue(std::uint32_t value)
{
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].value == value)
            return Select(static_cast<int>(i));
    }
    return false;
}

int CChoiceList::FindText(std::string_view text) const
{
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (TolvarRT::EqualsIgnoringCase(entries[i].text, text))
            return static_cast<int>(i);
    }
    return kNone;
}
