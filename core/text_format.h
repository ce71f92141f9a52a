// vsnprintf for the few conversions log texts are made of, without the C
// library's general machinery: a frame's log line is formatted for every
// frame received, and the library's floating-point path alone cost more than
// decoding the frame.
#pragma once

#include <cstdarg>
#include <cstddef>

#include "core/printf_format.h"

namespace TolvarRT {

// The same text and the same return value as std::vsnprintf: the length of
// the whole text, of which at most size - 1 characters and a terminator are
// written. Done here: %s, %c, %d, %i, %u (plain, l, ll, z), %f (any
// precision up to 9) with a width and the flags '-' and '0', and %%. A value
// whose rounding is too close to call in double arithmetic, or any other
// conversion, is left to the C library.
// The magnitude of value in units of its last printed decimal, as %.<precision>f
// prints it (0.125 with precision 2 is never asked: false when the rounding
// is too close to call, or the value too large, or not finite).
bool FixedPointUnits(double value, unsigned precision, unsigned long long& units);

int FormatTextV(char* buffer, std::size_t size, const char* format, va_list arguments);
int FormatText(char* buffer, std::size_t size, const char* format, ...) TOLVAR_PRINTF(3, 4);

}  // namespace TolvarRT
