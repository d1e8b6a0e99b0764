#include "ntfs/NameCompare.h"

#include <algorithm>

#include "ntfs/NtfsVolume.h"
#include "volume/TextEncoding.h"

namespace rekkon {

std::uint16_t upcaseChar(const NtfsVolume& volume, std::uint16_t unit) {
    const std::size_t entries =
        std::min<std::size_t>(volume.upcaseTableLength / 2, volume.upcaseTable.size());
    if (unit < entries) return volume.upcaseTable[unit];
    if (unit >= u'a' && unit <= u'z') return static_cast<std::uint16_t>(unit - 0x20);
    return unit;
}

int compareWideNames(const NtfsVolume& volume, std::span<const std::uint16_t> first,
                     std::span<const std::uint16_t> second, std::size_t length) {
    for (std::size_t i = 0; i < length && i < first.size() && i < second.size(); ++i) {
        const std::uint16_t a = upcaseChar(volume, first[i]);
        const std::uint16_t b = upcaseChar(volume, second[i]);
        if (a < b) return -1;
        if (a > b) return 1;
    }
    return 0;
}

std::vector<std::uint16_t> utf8ToUtf16(std::string_view utf8) {
    std::vector<std::uint16_t> units;
    for (char32_t c : utf8ToCodePoints(utf8)) {
        if (c >= 0x10000 && c <= 0x10FFFF) {
            const char32_t v = c - 0x10000;
            units.push_back(static_cast<std::uint16_t>(0xD800 + (v >> 10)));
            units.push_back(static_cast<std::uint16_t>(0xDC00 + (v & 0x3FF)));
        } else {
            units.push_back(static_cast<std::uint16_t>(c <= 0xFFFF ? c : 0xFFFD));
        }
    }
    return units;
}

}  // namespace rekkon
