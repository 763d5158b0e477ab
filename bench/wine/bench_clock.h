// The high-resolution clock the Wine benchmarks time with, in seconds.
#pragma once

#include <windows.h>

inline double BenchSeconds() {
    LARGE_INTEGER f, t;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}
