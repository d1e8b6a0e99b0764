#include "fat/DirEntry.h"

#include <algorithm>

#include "volume/LeReader.h"

namespace rekkon {

std::optional<DirEntry> parseDirEntry(std::span<const std::uint8_t> bytes) {
    const LeReader r(bytes);
    if (!r.fits(0, kDirEntrySize)) return std::nullopt;
    DirEntry e;
    std::copy_n(bytes.begin(), e.name.size(), e.name.begin());
    e.attributes = *r.u8(0x0B);
    e.caseFlags = *r.u8(0x0C) & (kLowerCaseBase | kLowerCaseExtension);
    e.createTenths = *r.u8(0x0D);
    e.createTime = *r.u16(0x0E);
    e.createDate = *r.u16(0x10);
    e.accessDate = *r.u16(0x12);
    e.clusterHigh = *r.u16(0x14);
    e.writeTime = *r.u16(0x16);
    e.writeDate = *r.u16(0x18);
    e.clusterLow = *r.u16(0x1A);
    e.size = *r.u32(0x1C);
    return e;
}

namespace {

char shownByte(std::uint8_t b, bool lower) {
    return static_cast<char>(lower && b >= 'A' && b <= 'Z' ? b - 'A' + 'a' : b);
}

}  // namespace

std::string DirEntry::displayBytes() const {
    std::string out;
    const bool lowerBase = lowerCaseBase();
    const bool lowerExtension = (caseFlags & kLowerCaseExtension) != 0;
    for (std::size_t i = 0; i < 8 && name[i] != ' '; ++i)
        out.push_back(shownByte(name[i], lowerBase));
    if (name[8] != ' ') {
        out.push_back('.');
        for (std::size_t i = 8; i < 11 && name[i] != ' '; ++i)
            out.push_back(shownByte(name[i], lowerExtension));
    }
    return out;
}

bool isEndOfFolder(std::span<const std::uint8_t, kDirEntrySize> bytes) {
    return bytes[0] == 0x00 || (bytes[1] == 0 && bytes[2] == 0);
}

bool isLongNamePiece(std::span<const std::uint8_t, kDirEntrySize> bytes) {
    if ((bytes[0x0B] & 0x3F) != kAttrLongNamePiece) return false;
    const std::uint8_t sequence = bytes[0];
    if (sequence == kDeletedMarker) return true;  // a piece of a deleted name
    // Piece number 1..20 (a name has at most 255 units, 13 to a piece); beside it only the
    // bit that marks the opening piece.
    const std::uint8_t number = sequence & 0x3F;
    return (sequence & 0x80) == 0 && number >= 1 && number <= kMaxLongNamePieces;
}

std::uint64_t dosDateTimeToFileTime(std::uint16_t date, std::uint16_t time) {
    const int day = date & 0x1F;
    const int month = (date >> 5) & 0x0F;
    const int year = 1980 + (date >> 9);
    const int second = (time & 0x1F) * 2;
    const int minute = (time >> 5) & 0x3F;
    const int hour = time >> 11;
    if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59) return 0;
    static constexpr int kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int monthDays = kDaysInMonth[month - 1] + (month == 2 && leap ? 1 : 0);
    if (day > monthDays) return 0;
    // Days from 1601-01-01 to the date (proleptic Gregorian calendar).
    auto daysBeforeYear = [](std::int64_t y) {
        const std::int64_t n = y - 1601;
        return n * 365 + n / 4 - n / 100 + n / 400;
    };
    std::int64_t days = daysBeforeYear(year);
    for (int m = 1; m < month; ++m)
        days += kDaysInMonth[m - 1] + (m == 2 && leap ? 1 : 0);
    days += day - 1;
    const std::int64_t seconds = days * 86400 + hour * 3600 + minute * 60 + second;
    return static_cast<std::uint64_t>(seconds) * 10'000'000ULL;
}

std::uint64_t createdFileTime(const DirEntry& entry) {
    const std::uint64_t time = dosDateTimeToFileTime(entry.createDate, entry.createTime);
    constexpr std::uint64_t kTenMilliseconds = 100'000;  // in 100 ns units
    return time == 0 || entry.createTenths > 199 ? time
                                                 : time + entry.createTenths * kTenMilliseconds;
}

}  // namespace rekkon
