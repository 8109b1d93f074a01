// The host's clock as the captures and the line test read it: the
// performance counter in microseconds, which never goes back, and the time
// of day.
#pragma once

#include <windows.h>

#include <cstdint>

namespace qz6 {

// Microseconds of the performance counter, from an arbitrary origin.
inline uint64_t CounterUs()
{
    LARGE_INTEGER frequency;
    LARGE_INTEGER counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    const uint64_t ticks = static_cast<uint64_t>(counter.QuadPart);
    const uint64_t per_second = static_cast<uint64_t>(frequency.QuadPart);
    return ticks / per_second * 1000000u + ticks % per_second * 1000000u / per_second;
}

// Microseconds since 1970-01-01 00:00 UTC.
inline uint64_t TimeOfDayUs()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const uint64_t units = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    constexpr uint64_t kUnitsFrom1601To1970 = 116444736000000000ull;  // 100 ns units
    return units > kUnitsFrom1601To1970 ? (units - kUnitsFrom1601To1970) / 10u : 0;
}

}  // namespace qz6
