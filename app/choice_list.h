// The content and selection of one drop-down list of the port settings, so
// that the selection rules hold whichever front end draws the list.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct sChoice {
    std::string text;
    std::uint32_t value = 0;
};

// Thread rules: one thread (the user-interface thread).
class CChoiceList {
public:
    static constexpr int kNone = -1;

    void Add(std::string text, std::uint32_t value);
    void Insert(int index, std::string text, std::uint32_t value);
    void Clear();

    const std::vector<sChoice>& Entries() const { return entries; }
    int Selection() const { return selection; }
    // Null when nothing is selected.
    const sChoice* Selected() const;

    // False (selection unchanged) when index is not an entry.
    bool Select(int index);
    // Picks the first entry that begins with text, ignoring case, so a stored
    // "COM1" picks COM1 rather than COM10 when COM1 comes first; when no entry
    // begins with it the selection stays as it was.
    bool SelectByPrefix(std::string_view text);
    // The first entry with the value; the selection stays when there is none.
    bool SelectByValue(std::uint32_t value);
    // Index of the entry equal to text ignoring case, or kNone.
    int FindText(std::string_view text) const;

private:
    std::vector<sChoice> entries;
    int selection = kNone;
};
