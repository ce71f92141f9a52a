#include "core/text_format.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace TolvarRT {
namespace {

// Writes what fits and counts everything, as vsnprintf does.
class CTextWriter {
public:
    CTextWriter(char* buffer, std::size_t size) : out(buffer), room(size == 0 ? 0 : size - 1), terminated(size > 0) {}

    void Put(const char* text, std::size_t count)
    {
        if (length < room)
            std::memcpy(out + length, text, std::min(count, room - length));
        length += count;
    }
    void Repeat(char character, std::size_t count)
    {
        if (length < room)
            std::memset(out + length, character, std::min(count, room - length));
        length += count;
    }
    void Terminate()
    {
        if (terminated)
            out[std::min(length, room)] = '\0';
    }

    std::size_t length = 0;

private:
    char* out;
    std::size_t room;
    bool terminated;
};

struct sConversion {
    bool left = false;
    bool zero = false;
    unsigned width = 0;
    int precision = -1;  // none given
};

// Past these the library does it: the text of a fixed-point number is built
// on the stack and must fit there.
constexpr unsigned kMaxWidth = 64;
constexpr int kMaxPrecision = 9;

constexpr double kPowersOfTen[kMaxPrecision + 1] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
// Below 2^40 the product of a double with a power of ten lies within 2^-13 of
// the exact product, so a fraction this far from one half rounds as printf
// rounds the exact value; nearer, the library decides.
constexpr double kExactLimit = 1099511627776.0;
constexpr double kTieMargin = 1e-3;

}  // namespace

bool FixedPointUnits(double value, unsigned precision, unsigned long long& units)
{
    if (!std::isfinite(value) || precision > unsigned(kMaxPrecision))
        return false;
    const double scaled = std::fabs(value) * kPowersOfTen[precision];
    if (!(scaled < kExactLimit))
        return false;
    const double whole = std::floor(scaled);
    const double fraction = scaled - whole;
    if (std::fabs(fraction - 0.5) < kTieMargin)
        return false;
    units = static_cast<unsigned long long>(whole) + (fraction > 0.5 ? 1u : 0u);
    return true;
}

namespace {

void PutPadded(CTextWriter& writer, const sConversion& conversion, bool negative, const char* body,
               std::size_t bodyLength)
{
    const std::size_t used = bodyLength + (negative ? 1 : 0);
    const std::size_t padding = conversion.width > used ? conversion.width - used : 0;
    if (!conversion.left && !conversion.zero)
        writer.Repeat(' ', padding);
    if (negative)
        writer.Put("-", 1);
    if (!conversion.left && conversion.zero)
        writer.Repeat('0', padding);
    writer.Put(body, bodyLength);
    if (conversion.left)
        writer.Repeat(' ', padding);
}

// Writes the decimal digits of value so that they end at end; returns their start.
char* DigitsBefore(char* end, unsigned long long value)
{
    do {
        *--end = char('0' + value % 10);
        value /= 10;
    } while (value != 0);
    return end;
}

void PutInteger(CTextWriter& writer, const sConversion& conversion, bool negative, unsigned long long magnitude)
{
    char digits[24];
    char* const end = digits + sizeof digits;
    const char* start = DigitsBefore(end, magnitude);
    PutPadded(writer, conversion, negative, start, std::size_t(end - start));
}

// False when the value is left to the library.
bool PutFixed(CTextWriter& writer, const sConversion& conversion, double value)
{
    const unsigned precision = conversion.precision < 0 ? 6u : unsigned(conversion.precision);
    unsigned long long units = 0;
    if (!FixedPointUnits(value, precision, units))
        return false;

    // Decimals first, by tens like the integer part: no division by a power
    // of ten that is not a constant.
    char digits[48];
    char* const end = digits + sizeof digits;
    char* start = end;
    unsigned long long rest = units;
    if (precision > 0) {
        for (unsigned i = 0; i < precision; ++i) {
            *--start = char('0' + rest % 10);
            rest /= 10;
        }
        *--start = '.';
    }
    start = DigitsBefore(start, rest);
    // printf shows the sign of whatever it was given, -0.000 included.
    PutPadded(writer, conversion, std::signbit(value), start, std::size_t(end - start));
    return true;
}

void PutFixedByLibrary(CTextWriter& writer, const sConversion& conversion, double value)
{
    // The widest: 309 digits of DBL_MAX, a sign, a point and 9 decimals, or kMaxWidth.
    char text[400];
    const int width = int(conversion.width);
    const int precision = conversion.precision < 0 ? 6 : conversion.precision;
    const int length = conversion.left   ? std::snprintf(text, sizeof text, "%-*.*f", width, precision, value)
                       : conversion.zero ? std::snprintf(text, sizeof text, "%0*.*f", width, precision, value)
                                         : std::snprintf(text, sizeof text, "%*.*f", width, precision, value);
    if (length > 0)
        writer.Put(text, std::min(std::size_t(length), sizeof text - 1));
}

enum eLength { kPlain, kLong, kLongLong, kSize };

// Formats the whole text; false at the first conversion it leaves to the
// library (arguments are then partly consumed).
bool Format(CTextWriter& writer, const char* format, va_list arguments)
{
    const char* at = format;
    while (*at != '\0') {
        if (*at != '%') {
            const char* next = std::strchr(at, '%');
            const std::size_t count = next != nullptr ? std::size_t(next - at) : std::strlen(at);
            writer.Put(at, count);
            at += count;
            continue;
        }
        ++at;
        sConversion conversion;
        for (;; ++at) {
            if (*at == '-')
                conversion.left = true;
            else if (*at == '0')
                conversion.zero = true;
            else
                break;
        }
        for (; *at >= '0' && *at <= '9'; ++at) {
            conversion.width = conversion.width * 10 + unsigned(*at - '0');
            if (conversion.width > kMaxWidth)
                return false;
        }
        if (*at == '.') {
            conversion.precision = 0;
            for (++at; *at >= '0' && *at <= '9'; ++at) {
                conversion.precision = conversion.precision * 10 + (*at - '0');
                if (conversion.precision > kMaxPrecision)
                    return false;
            }
        }
        eLength length = kPlain;
        if (*at == 'l') {
            ++at;
            length = kLong;
            if (*at == 'l') {
                ++at;
                length = kLongLong;
            }
        } else if (*at == 'z') {
            ++at;
            length = kSize;
        }
        const char conversionCharacter = *at++;
        switch (conversionCharacter) {
        case 'd':
        case 'i': {
            if (conversion.precision >= 0)
                return false;
            const long long value = length == kPlain      ? va_arg(arguments, int)
                                    : length == kLong     ? va_arg(arguments, long)
                                    : length == kLongLong ? va_arg(arguments, long long)
                                                          : va_arg(arguments, std::ptrdiff_t);
            const unsigned long long magnitude =
                value < 0 ? 0ull - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
            PutInteger(writer, conversion, value < 0, magnitude);
            break;
        }
        case 'u': {
            if (conversion.precision >= 0)
                return false;
            const unsigned long long value = length == kPlain      ? va_arg(arguments, unsigned)
                                             : length == kLong     ? va_arg(arguments, unsigned long)
                                             : length == kLongLong ? va_arg(arguments, unsigned long long)
                                                                   : va_arg(arguments, std::size_t);
            PutInteger(writer, conversion, false, value);
            break;
        }
        case 'f': {
            if (length != kPlain && length != kLong)
                return false;
            const double value = va_arg(arguments, double);
            if (!PutFixed(writer, conversion, value))
                PutFixedByLibrary(writer, conversion, value);
            break;
        }
        case 's': {
            if (length != kPlain || conversion.zero)
                return false;
            const char* text = va_arg(arguments, const char*);
            if (text == nullptr)
                return false;
            const std::size_t count =
                conversion.precision < 0 ? std::strlen(text) : strnlen(text, std::size_t(conversion.precision));
            PutPadded(writer, conversion, false, text, count);
            break;
        }
        case 'c': {
            if (length != kPlain || conversion.zero || conversion.precision >= 0)
                return false;
            const char character = char(va_arg(arguments, int));
            PutPadded(writer, conversion, false, &character, 1);
            break;
        }
        case '%':
            if (conversion.left || conversion.zero || conversion.width != 0 || conversion.precision >= 0 ||
                length != kPlain)
                return false;
            writer.Put("%", 1);
            break;
        default: return false;
        }
    }
    return true;
}

}  // namespace

int FormatTextV(char* buffer, std::size_t size, const char* format, va_list arguments)
{
    va_list again;
    va_copy(again, arguments);
    CTextWriter writer(buffer, size);
    int result = -1;
    if (Format(writer, format, arguments)) {
        writer.Terminate();
        result = writer.length > std::size_t(INT_MAX) ? -1 : int(writer.length);
    } else {
        result = std::vsnprintf(buffer, size, format, again);
    }
    va_end(again);
    return result;
}

int FormatText(char* buffer, std::size_t size, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    const int result = FormatTextV(buffer, size, format, arguments);
    va_end(arguments);
    return result;
}

}  // namespace TolvarRT
