// FormatText against the C library: the same characters and the same return
// value for every conversion it does itself, for the values where rounding
// is hardest, and for buffers too small.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "core/printf_format.h"
#include "core/text_format.h"

namespace TolvarRT {
namespace {

struct sResult {
    int length;
    std::string text;
};

sResult Ours(std::size_t size, const char* format, ...) TOLVAR_PRINTF(2, 3);
sResult Ours(std::size_t size, const char* format, ...)
{
    char buffer[512];
    std::memset(buffer, '#', sizeof buffer);
    va_list arguments;
    va_start(arguments, format);
    const int length = FormatTextV(size == 0 ? nullptr : buffer, size, format, arguments);
    va_end(arguments);
    return {length, size == 0 ? std::string() : std::string(buffer, std::strlen(buffer))};
}

sResult Library(std::size_t size, const char* format, ...) TOLVAR_PRINTF(2, 3);
sResult Library(std::size_t size, const char* format, ...)
{
    char buffer[512];
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(size == 0 ? nullptr : buffer, size, format, arguments);
    va_end(arguments);
    return {length, size == 0 ? std::string() : std::string(buffer, std::strlen(buffer))};
}

#define EXPECT_LIKE_PRINTF(size, ...)                                           \
    do {                                                                        \
        const sResult ours = Ours(size, __VA_ARGS__);                           \
        const sResult library = Library(size, __VA_ARGS__);                     \
        EXPECT_EQ(ours.length, library.length) << #__VA_ARGS__;                 \
        EXPECT_EQ(ours.text, library.text) << #__VA_ARGS__ << " size " << size; \
    } while (false)

TEST(FormatTextTest, FixedPointRoundsAsPrintfDoes)
{
    // Exact ties (0.125), values a hair either side of a tie, halves that
    // carry into the integer part, signs of zero, and the library's cases.
    const double values[] = {0.0,       -0.0,         0.125,       0.375,   2.5,        0.0005,    0.00049999,
                             1.005,     2.675,        -1.0e-9,     59.9995, 86399.9996, 9.9999999, 123456.78901234,
                             1e11,      1e12 + 0.375, 1e300,       -1e300,  DBL_MAX,    DBL_MIN,   INFINITY,
                             -INFINITY, NAN,          0.999999999, 4.35,    1.45,       -2.5e-3,   7.0 / 3.0};
    for (const double value : values) {
        EXPECT_LIKE_PRINTF(512, "%f", value);
        EXPECT_LIKE_PRINTF(512, "%0.2f", value);
        EXPECT_LIKE_PRINTF(512, "%0.3f", value);
        EXPECT_LIKE_PRINTF(512, "%0.4f", value);
        EXPECT_LIKE_PRINTF(512, "%.0f", value);
        EXPECT_LIKE_PRINTF(512, "%.9f", value);
        EXPECT_LIKE_PRINTF(512, "[%06.3f]", value);
        EXPECT_LIKE_PRINTF(512, "[%-9.1f]", value);
        EXPECT_LIKE_PRINTF(512, "[%12lf]", value);
    }
    std::mt19937_64 random(5);
    std::uniform_real_distribution<double> spread(-100000.0, 100000.0);
    for (int round = 0; round < 20000; ++round) {
        const double value = spread(random) / double(1u << (round % 24));
        EXPECT_LIKE_PRINTF(512, "%0.2f %0.3f %0.4f %06.3f", value, value, value, value);
        // Decimal fractions of milliseconds: the time prefix's seconds.
        const double milliseconds = std::round(std::fabs(value) * 1000.0) / 1000.0;
        EXPECT_LIKE_PRINTF(512, "%06.3f", std::fmod(milliseconds, 60.0));
    }
}

TEST(FormatTextTest, IntegersStringsAndCharactersLikePrintf)
{
    const long long integers[] = {0, 7, -7, 42, -100000, INT_MAX, INT_MIN, LLONG_MAX, LLONG_MIN};
    for (const long long value : integers) {
        const int small = int(value);
        EXPECT_LIKE_PRINTF(512, "%d|%i|%5d|%-5d|%05d|%2i|%02i", small, small, small, small, small, small, small);
        EXPECT_LIKE_PRINTF(512, "%ld|%lld|%zd|%20lld|%-20lld", long(value), value, std::ptrdiff_t(value), value, value);
        EXPECT_LIKE_PRINTF(512, "%u|%lu|%llu|%zu|%08u", unsigned(value), (unsigned long)value,
                           (unsigned long long)value, std::size_t(value), unsigned(value));
    }
    EXPECT_LIKE_PRINTF(512, "%s Receive NMEA Frame %8s, Type %d, Time %0.3f", "Listener", "GPGGA", 3, 12.3456);
    EXPECT_LIKE_PRINTF(512, "[%-8s][%.3s][%5.2s][%s]", "ab", "abcdef", "xyz", "");
    EXPECT_LIKE_PRINTF(512, "Open %s, %d,8%c1 100%% [%3c][%-3c]", "COM1", 115200, 'N', 'x', 'y');
    EXPECT_LIKE_PRINTF(512, "no conversion at all\r\n\t");
}

TEST(FormatTextTest, OtherConversionsGoToTheLibrary)
{
    EXPECT_LIKE_PRINTF(512, "CMD=%x, LEN=%d, CS=%02X, TIME=%0.4f %e %g %p", 0x93u, 5, 0xABu, 1.5, 1.5, 2.5,
                       static_cast<void*>(nullptr));
    EXPECT_LIKE_PRINTF(512, "%+d %+.2f % d %.3d %*d %.*f", 5, 1.25, 7, 4, 6, 9, 2, 3.14159);
    EXPECT_LIKE_PRINTF(512, "%.12f %100f %Lf %hd", 1.0 / 3.0, 2.0, 1.0L, short(4));
}

TEST(FormatTextTest, TruncatesAndCountsLikeVsnprintf)
{
    for (const std::size_t size : {0u, 1u, 2u, 5u, 12u, 13u, 14u, 40u}) {
        EXPECT_LIKE_PRINTF(size, "\r\n%2i:%02i:%06.3f [%0.2f] ", 9, 5, 7.25, 1234.5678);
        EXPECT_LIKE_PRINTF(size, "%s Receive RTCM v3 Frame Length %d", "Listener", 1005);
        EXPECT_LIKE_PRINTF(size, "%x overflows into the library", 255u);
    }
}

}  // namespace
}  // namespace TolvarRT
