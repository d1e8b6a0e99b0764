#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "carve/CarveFormat.h"

namespace rekkon {

// What a photo's Exif (or a TIFF's own tags) says about it.
struct ExifInfo {
    std::string make, model;
    std::string dateTimeOriginal;  // "YYYY:MM:DD HH:MM:SS", the camera's local time
    std::string dateTime;          // when the file was last changed, same form
};

// "YYYY:MM:DD HH:MM:SS" as a FILETIME; 0 when the text is not such a date.
std::uint64_t exifFileTime(std::string_view text);

// A year, month, day, hour, minute and second as a FILETIME; 0 when out of range.
std::uint64_t civilFileTime(int year, int month, int day, int hour, int minute, int second);

// The text of an ASCII tag: up to its first NUL, trailing blanks dropped, only printable ASCII.
std::string exifText(std::string_view raw);

// Sets the result's time (DateTimeOriginal, else DateTime) and a name "2024-05-01 12.30.05 Canon
// EOS 5D" from the date and the camera (either may be missing; no name without both empty).
void nameFromExif(const ExifInfo& exif, CarveResult& result);

}  // namespace rekkon
