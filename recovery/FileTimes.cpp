#include "recovery/FileTimes.h"

#include <cerrno>
#include <ctime>

namespace rekkon {

namespace {

constexpr std::uint64_t kTicksPerSecond = 10'000'000;
// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kUnixEpochSeconds = 11'644'473'600;

}  // namespace

std::optional<timespec> unixTimeOf(std::uint64_t fileTime, bool local) {
    if (fileTime == 0) return std::nullopt;
    // At most 1.9e12 seconds: far inside a 64-bit time_t.
    const auto seconds = static_cast<std::int64_t>(fileTime / kTicksPerSecond) - kUnixEpochSeconds;
    timespec out{};
    out.tv_nsec = static_cast<long>(fileTime % kTicksPerSecond) * 100;
    out.tv_sec = static_cast<time_t>(seconds);
    if (!local) return out;
    // The stored wall-clock time, read as if it were UTC, then placed in the local zone.
    std::tm wall{};
    if (::gmtime_r(&out.tv_sec, &wall) == nullptr) return std::nullopt;
    wall.tm_isdst = -1;  // the zone's rules decide whether summer time applied then
    errno = 0;
    const time_t placed = std::mktime(&wall);
    if (placed == static_cast<time_t>(-1) && errno != 0) return std::nullopt;
    out.tv_sec = placed;
    return out;
}

bool setRecoveredTimes(int fd, const DeletedFileEntry& entry, bool localTimes, int& error) {
    timespec times[2];
    const auto access = unixTimeOf(entry.lastAccessTime, localTimes);
    const auto write = unixTimeOf(entry.writeTime, localTimes);
    if (!access && !write) return true;
    times[0] = access.value_or(timespec{0, UTIME_OMIT});
    times[1] = write.value_or(timespec{0, UTIME_OMIT});
    if (::futimens(fd, times) == 0) return true;
    error = errno;
    return false;
}

}  // namespace rekkon
