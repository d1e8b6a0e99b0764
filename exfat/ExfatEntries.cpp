#include "exfat/ExfatEntries.h"

#include "volume/LeReader.h"

namespace rekkon {

namespace {

// FILETIME of 1980-01-01 and the units per second and per day.
constexpr std::uint64_t kTicksPerSecond = 10'000'000;

bool isLeap(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Days from 1601-01-01 to the date, or -1 when it is not one.
std::int64_t daysSince1601(int year, int month, int day) {
    static constexpr int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1) return -1;
    const int inMonth = kMonthDays[month - 1] + (month == 2 && isLeap(year) ? 1 : 0);
    if (day > inMonth) return -1;
    std::int64_t days = 0;
    const int y = year - 1601;
    days += std::int64_t{y} * 365 + y / 4 - y / 100 + y / 400;
    for (int m = 1; m < month; ++m)
        days += kMonthDays[m - 1] + (m == 2 && isLeap(year) ? 1 : 0);
    return days + day - 1;
}

}  // namespace

std::uint64_t ExfatTime::fileTime(bool& utc) const {
    utc = false;
    const int year = 1980 + static_cast<int>(stamp >> 25);
    const int month = static_cast<int>((stamp >> 21) & 0x0F);
    const int day = static_cast<int>((stamp >> 16) & 0x1F);
    const int hour = static_cast<int>((stamp >> 11) & 0x1F);
    const int minute = static_cast<int>((stamp >> 5) & 0x3F);
    const int second = static_cast<int>(stamp & 0x1F) * 2;
    const std::int64_t days = daysSince1601(year, month, day);
    if (days < 0 || hour > 23 || minute > 59 || second > 59) return 0;
    std::int64_t seconds = days * 86'400 + hour * 3'600 + minute * 60 + second;
    if ((utcOffset & 0x80) != 0) {
        // Seven-bit two's complement, in 15-minute units east of UTC.
        int quarters = utcOffset & 0x7F;
        if (quarters >= 64) quarters -= 128;
        seconds -= std::int64_t{quarters} * 15 * 60;
        utc = true;
    }
    const std::uint64_t extra = tenMs <= 199 ? std::uint64_t{tenMs} * 100'000 : 0;
    return static_cast<std::uint64_t>(seconds) * kTicksPerSecond + extra;
}

std::uint16_t exfatSetChecksum(std::span<const std::uint8_t> set) {
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < set.size(); ++i) {
        if (i == 2 || i == 3) continue;
        std::uint8_t byte = set[i];
        if (i % kExfatEntrySize == 0) byte |= kExfatInUse;
        sum = static_cast<std::uint16_t>(((sum & 1) != 0 ? 0x8000 : 0) + (sum >> 1) + byte);
    }
    return sum;
}

int exfatSetLength(std::span<const std::uint8_t, kExfatEntrySize> first) {
    if ((first[0] | kExfatInUse) != kExfatFileEntry) return 0;
    const int secondaries = first[1];
    if (secondaries < 2 || secondaries > kExfatMaxSecondaries) return 0;
    return secondaries + 1;
}

std::optional<ExfatEntrySet> parseExfatEntrySet(std::span<const std::uint8_t> set) {
    if (set.size() < kExfatEntrySize) return std::nullopt;
    const int entries = exfatSetLength(set.first<kExfatEntrySize>());
    if (entries == 0 || set.size() < static_cast<std::size_t>(entries) * kExfatEntrySize)
        return std::nullopt;
    set = set.first(static_cast<std::size_t>(entries) * kExfatEntrySize);
    const LeReader r(set);
    ExfatEntrySet s;
    s.entries = entries;
    const std::uint8_t state = set[0] & kExfatInUse;
    s.deleted = state == 0;
    s.attributes = r.u16(4).value_or(0);
    s.created = {r.u32(8).value_or(0), set[20], set[22]};
    s.modified = {r.u32(12).value_or(0), set[21], set[23]};
    s.accessed = {r.u32(16).value_or(0), 0, set[24]};
    // The stream entry, in the file entry's state.
    const std::size_t st = kExfatEntrySize;
    if (set[st] != ((kExfatStreamEntry & ~kExfatInUse) | state)) return std::nullopt;
    const std::uint8_t flags = set[st + 1];
    s.allocationPossible = (flags & 1) != 0;
    s.noFatChain = (flags & 2) != 0;
    s.nameLength = set[st + 3];
    s.nameHash = r.u16(st + 4).value_or(0);
    s.validDataLength = r.u64(st + 8).value_or(0);
    s.firstCluster = r.u32(st + 20).value_or(0);
    s.dataLength = r.u64(st + 24).value_or(0);
    const int nameEntries = entries - 2;
    if (s.nameLength == 0 || s.nameLength > nameEntries * 15) return std::nullopt;
    for (int e = 0; e < nameEntries && s.name.size() < s.nameLength; ++e) {
        const std::size_t at = (2 + static_cast<std::size_t>(e)) * kExfatEntrySize;
        if (set[at] != ((kExfatNameEntry & ~kExfatInUse) | state)) return std::nullopt;
        for (std::size_t c = 0; c < 15 && s.name.size() < s.nameLength; ++c) {
            const char16_t unit = r.u16(at + 2 + c * 2).value_or(0);
            if (unit == 0) return std::nullopt;
            s.name.push_back(unit);
        }
    }
    s.checksumOk = exfatSetChecksum(set) == r.u16(2).value_or(0);
    return s;
}

}  // namespace rekkon
