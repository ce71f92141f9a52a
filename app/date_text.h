// Local dates as the status page and the statistics summary print them:
// "%I:%M:%S %p %A, %B %d, %Y", in English whatever the process locale.
#pragma once

#include <string>

// date: days since 30 December 1899 00:00 with the time of day as fraction
// (TimeStampToDate). Rounded to the nearest second. Thread-safe.
std::string DateText(double date);
