// The canned sentence the test window sends to the Listener every ten
// seconds: a GGA template gets the current time of day and a fresh checksum.
#pragma once

#include <string>

struct sTimeOfDay {
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Only a text that begins with "$GPGGA" (exactly, in upper case) and ends
// with "*" is a template: the six characters after "$GPGGA," (the time
// before its fraction) become the time of day as "%H%M%S" and the checksum
// (exclusive-or of every character between "$" and the final "*") is
// appended as two upper-case hexadecimal digits. Any other text, including
// a template too short to hold a time field, goes out unchanged.
std::string CannedNmeaOutput(const std::string& canned, const sTimeOfDay& time);

// The local time of day now.
sTimeOfDay LocalTimeOfDay();
