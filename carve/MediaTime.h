#pragma once

#include <cstdint>

namespace rekkon {

// Seconds from 1904-01-01 (the epoch of QuickTime and ISO media times) to 1970-01-01.
inline constexpr std::int64_t kSeconds1904To1970 = 2082844800;

// Unix seconds as a FILETIME (100 ns units since 1601-01-01); 0 for a time before 1601 or past
// the year 30000, which no media file means.
inline std::uint64_t fileTimeFromUnix(std::int64_t seconds) {
    constexpr std::int64_t k1601To1970 = 11644473600;
    constexpr std::int64_t kLatest = 884541340800;  // 30000-01-01
    if (seconds < -k1601To1970 || seconds > kLatest) return 0;
    return static_cast<std::uint64_t>(seconds + k1601To1970) * 10000000u;
}

}  // namespace rekkon
