#include "carve/ImageMeta.h"

#include <cctype>

namespace rekkon {

std::uint64_t civilFileTime(int year, int month, int day, int hour, int minute, int second) {
    if (year < 1601 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 ||
        hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 60)
        return 0;
    // Days since 1970-01-01 of a proleptic Gregorian date.
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = y / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const std::int64_t days1970 = std::int64_t{era} * 146097 + doe - 719468;
    const std::int64_t days1601 = days1970 + 134774;
    const std::int64_t seconds = days1601 * 86400 + hour * 3600 + minute * 60 + second;
    return static_cast<std::uint64_t>(seconds) * 10000000u;
}

std::uint64_t exifFileTime(std::string_view t) {
    if (t.size() < 19) return 0;
    auto num = [&](std::size_t at, std::size_t n) {
        int v = 0;
        for (std::size_t i = at; i < at + n; ++i) {
            if (!std::isdigit(static_cast<unsigned char>(t[i]))) return -1;
            v = v * 10 + (t[i] - '0');
        }
        return v;
    };
    if (t[4] != ':' || t[7] != ':' || t[10] != ' ' || t[13] != ':' || t[16] != ':') return 0;
    const int year = num(0, 4), month = num(5, 2), day = num(8, 2);
    const int hour = num(11, 2), minute = num(14, 2), second = num(17, 2);
    if (year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0) return 0;
    return civilFileTime(year, month, day, hour, minute, second);
}

std::string exifText(std::string_view raw) {
    std::string out;
    for (char c : raw) {
        if (c == '\0') break;
        if (c >= 0x20 && c < 0x7F) out += c;
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    while (!out.empty() && out.front() == ' ')
        out.erase(out.begin());
    return out;
}

namespace {

std::string firstWord(const std::string& s) {
    const auto space = s.find(' ');
    return space == std::string::npos ? s : s.substr(0, space);
}

bool startsWithNoCase(const std::string& s, const std::string& prefix) {
    if (prefix.empty() || s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

}  // namespace

void nameFromExif(const ExifInfo& exif, CarveResult& result) {
    const std::string& date =
        exifFileTime(exif.dateTimeOriginal) != 0 ? exif.dateTimeOriginal : exif.dateTime;
    const std::uint64_t time = exifFileTime(date);
    std::string camera = exif.model;
    const std::string brand = firstWord(exif.make);
    if (!brand.empty() && !startsWithNoCase(camera, brand))
        camera = camera.empty() ? brand : brand + " " + camera;
    std::string name;
    if (time != 0) {
        result.time = time;
        result.timeUtc = false;
        // "2024:05:01 12:30:05" -> "2024-05-01 12.30.05"
        name = date.substr(0, 19);
        name[4] = name[7] = '-';
        name[13] = name[16] = '.';
    }
    if (!camera.empty()) name = name.empty() ? camera : name + " " + camera;
    if (!name.empty()) result.name = name;
}

}  // namespace rekkon
