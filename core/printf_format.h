// The format check of printf-like functions. mingw-w64 builds use its own
// C99 printf (__USE_MINGW_ANSI_STDIO), which takes %zu and %lld as glibc's
// does; GCC checks those against "gnu_printf" there, "printf" being
// Microsoft's older dialect on Windows.
#pragma once

#if defined(__MINGW32__)
#define TOLVAR_PRINTF(formatIndex, firstArgument) __attribute__((format(gnu_printf, formatIndex, firstArgument)))
#else
#define TOLVAR_PRINTF(formatIndex, firstArgument) __attribute__((format(printf, formatIndex, firstArgument)))
#endif
