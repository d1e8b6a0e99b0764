#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace rekkon {

// The texts of a found file as the results list shows them.

// "Size (kB)": size / 1024, a comma, and the hundredths of a kilobyte left over, (size AND 1023)
// x 100 / 1024, as two digits ("1,50" for 1536 bytes, "0,99" for 1023).
std::string sizeText(std::uint64_t size);
// "Estimated Status": "Poor", "Good" or "Average %02u %".
std::string statusText(std::uint8_t status);
// "Type": the text after the last point of the name; empty without one.
std::string typeText(const std::string& name);

struct CalendarTime {
    int year, month, day, hour, minute, second;
};
// Calendar fields of a FILETIME, as stored; nullopt for 0 (unknown) or out of range values.
std::optional<CalendarTime> fileTimeToCalendar(std::uint64_t fileTime);
// "MM/DD/YYYY at HH:MM:SS"; zeros ("00/00/0000 at 00:00:00") for an unknown time.
std::string timeText(std::uint64_t fileTime);
// "YYYY-MM-DDTHH:MM:SS", or nullopt for an unknown time.
std::optional<std::string> isoTimeText(std::uint64_t fileTime);
// The same appended to `out`; false (nothing appended) for an unknown time.
bool appendIsoTime(std::string& out, std::uint64_t fileTime);

}  // namespace rekkon
