// A count per 20-minute game, as "!stats", "!session" and the History window give it.
#pragma once

#include <cstdint>

// count / seconds * 60 * 20, and 0 without time played.
inline double RatePer20Minutes(std::int64_t count, std::int64_t seconds) {
    if (seconds <= 0)
        return 0.0;
    return static_cast<double>(count) / static_cast<double>(seconds) * 60 * 20;
}
