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
    const std::uint64_t seconds = fileTime / 10'000'000ULL;
    const auto daySeconds = static_cast<int>(seconds % 86400);
    // Civil date from days since 1970-01-01 (proleptic Gregorian), counted in 400-year eras
    // that start on 1 March, so that the leap day ends a year.
    const std::int64_t z = static_cast<std::int64_t>(seconds / 86400) - 134774 + 719468;
    const std::int64_t era = z / 146097;  // z is positive: FILETIME starts in 1601
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;  // 0 = March
    const std::int64_t day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    const std::int64_t month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    if (year > 30827) return std::nullopt;
    return CalendarTime{static_cast<int>(year), static_cast<int>(month), static_cast<int>(day),
                        daySeconds / 3600,      daySeconds / 60 % 60,    daySeconds % 60};
}

std::string timeText(std::uint64_t fileTime) {
    const auto t = fileTimeToCalendar(fileTime).value_or(CalendarTime{0, 0, 0, 0, 0, 0});
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02u/%02u/%04u at %02u:%02u:%02u", unsigned(t.month),
                  unsigned(t.day), unsigned(t.year), unsigned(t.hour), unsigned(t.minute),
                  unsigned(t.second));
    return buf;
}

bool appendIsoTime(std::string& out, std::uint64_t fileTime) {
    const auto t = fileTimeToCalendar(fileTime);
    if (!t) return false;
    // Formatted by hand, two digits at a time: a long list prints two of these per entry.
    static constexpr char kPairs[] =
        "0001020304050607080910111213141516171819202122232425262728293031323334353637383940414243"
        "4445464748495051525354555657585960616263646566676869707172737475767778798081828384858687"
        "888990919293949596979899";
    char text[] = "0000-00-00T00:00:00";
    const auto pair = [&text](std::size_t at, int value) {  // value in 0..99
        const auto from = static_cast<std::size_t>(value) * 2;
        text[at] = kPairs[from];
        text[at + 1] = kPairs[from + 1];
    };
    pair(0, t->year / 100 % 100);
    pair(2, t->year % 100);
    pair(5, t->month % 100);
    pair(8, t->day % 100);
    pair(11, t->hour % 100);
    pair(14, t->minute % 100);
    pair(17, t->second % 100);
    out.append(text, sizeof text - 1);
    return true;
}

std::optional<std::string> isoTimeText(std::uint64_t fileTime) {
    std::string text;
    if (!appendIsoTime(text, fileTime)) return std::nullopt;
    return text;
}

}  // namespace rekkon
