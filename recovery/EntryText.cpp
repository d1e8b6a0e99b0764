#include "recovery/EntryText.h"

#include <cstdio>

namespace rekkon {

std::string sizeText(std::uint64_t size) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%llu,%02u", static_cast<unsigned long long>(size / 1024),
                  static_cast<unsigned>((size & 1023) * 100 / 1024));
    return buf;
}

std::string statusText(std::uint8_t status) {
    if (status == 0) return "Poor";
    if (status == 255) return "Good";
    char buf[32];
    std::snprintf(buf, sizeof buf, "Average %02u %c", unsigned{status}, '%');
    return buf;
}

std::string typeText(const std::string& name) {
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

std::optional<CalendarTime> fileTimeToCalendar(std::uint64_t fileTime) {
    if (fileTime == 0) return std::nullopt;
    std::uint64_t seconds = fileTime / 10'000'000ULL;
    std::int64_t days = static_cast<std::int64_t>(seconds / 86400);
    const auto daySeconds = static_cast<int>(seconds % 86400);
    // Civil date from days since 1601-01-01 (a 400-year cycle start, proleptic Gregorian).
    std::int64_t year = 1601 + 400 * (days / 146097);
    days %= 146097;
    auto isLeap = [](std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; };
    while (days >= (isLeap(year) ? 366 : 365)) {
        days -= isLeap(year) ? 366 : 365;
        ++year;
    }
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int month = 0;
    while (true) {
        const int len = kDays[month] + (month == 1 && isLeap(year) ? 1 : 0);
        if (days < len) break;
        days -= len;
        ++month;
    }
    if (year > 30827) return std::nullopt;
    return CalendarTime{static_cast<int>(year),     month + 1,
                        static_cast<int>(days) + 1, daySeconds / 3600,
                        daySeconds / 60 % 60,       daySeconds % 60};
}

std::string timeText(std::uint64_t fileTime) {
    const auto t = fileTimeToCalendar(fileTime).value_or(CalendarTime{0, 0, 0, 0, 0, 0});
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02u/%02u/%04u at %02u:%02u:%02u", unsigned(t.month),
                  unsigned(t.day), unsigned(t.year), unsigned(t.hour), unsigned(t.minute),
                  unsigned(t.second));
    return buf;
}

std::optional<std::string> isoTimeText(std::uint64_t fileTime) {
    const auto t = fileTimeToCalendar(fileTime);
    if (!t) return std::nullopt;
    // Formatted by hand: a long list prints two of these per entry.
    std::string text = "0000-00-00T00:00:00";
    const auto put = [&text](std::size_t at, int value, int digits) {
        for (int i = digits - 1; i >= 0; --i, value /= 10)
            text[at + static_cast<std::size_t>(i)] = static_cast<char>('0' + value % 10);
    };
    put(0, t->year, 4);
    put(5, t->month, 2);
    put(8, t->day, 2);
    put(11, t->hour, 2);
    put(14, t->minute, 2);
    put(17, t->second, 2);
    return text;
}

}  // namespace rekkon
