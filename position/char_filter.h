// What a filtering edit field lets through of what the user types: chosen
// classes of characters, optionally forced to upper case. Made for the
// station call sign of a radio (every class, upper case, 15 characters).
#pragma once

#include <cstdint>

namespace TolvarRT {

// Classes a field may allow; control characters belong to every class.
enum CharClass : std::uint16_t {
    kCharDigits = 1,   // alphanumeric but not alphabetic
    kCharLetters = 2,  // alphabetic
    kCharOthers = 4,   // everything else that is not always discarded
    kCharAllClasses = 0xFFFF,
};

// What becomes of one typed character.
struct sCharDecision {
    enum Action : std::uint8_t {
        kInsert,   // insert `character` (the typed one, or its upper case)
        kDiscard,  // drop it silently: never wanted in such a field
        kReject,   // drop it and tell the user (notification and beep)
    };
    Action action;
    char32_t character;
};

// Thread rules: none needed; a value object.
class CCharFilter {
public:
    explicit CCharFilter(int maxLength) : maxLength(maxLength) {}

    void SetFilter(std::uint16_t allowedClasses, bool forceUpperCase);

    int MaxLength() const { return maxLength; }
    std::uint16_t AllowedClasses() const { return allowedClasses; }
    bool ForcesUpperCase() const { return forceUpperCase; }

    // Letters and digits follow the current C locale's character tables.
    sCharDecision Filter(char32_t typed) const;

    // The class of c; 0 for the characters that are always discarded (space,
    // ! # % & * < > @ [ \ ] ^ ` { | } ~).
    static std::uint16_t ClassOf(char32_t c);

private:
    int maxLength;
    std::uint16_t allowedClasses = 0;  // nothing until SetFilter
    bool forceUpperCase = false;
};

}  // namespace TolvarRT
