// Formatting into rotating pools: a result lives until the pool wraps over it, and is never freed.
#pragma once

#include <cstdarg>
#include <cstdint>

constexpr int kPoolSize = 32000;

struct FormatPool {
    char Scratch[kPoolSize]; // the formatter writes here first
    char Pool[kPoolSize];    // results, packed one after the other
    std::int32_t Position;   // where the next result goes
};

extern FormatPool TextPool;
extern FormatPool ResponsePool;

// printf-style into TextPool. Safe on both threads. A result of 32000 characters or more gives "".
const char* FormatText(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
const char* FormatTextV(const char* format, va_list args);

// Fills a user template with exactly one value into ResponsePool: mode 0 takes an int32_t for the
// first "%d", mode 1 a const char* for the first "%s"; every other '%' prints as itself. Any other
// mode gives "". The template is read up to its terminator or its first 512 bytes, whichever comes
// first, since it may be a slot loaded from the data file without a terminator.
const char* FormatResponse(int mode, const char* templ, ...);

// Both pools back to their start, for tests.
void ResetFormatPools();
