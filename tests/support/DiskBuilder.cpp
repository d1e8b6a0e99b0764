#include "support/DiskBuilder.h"

#include <algorithm>
#include <string>

#include "volume/Crc32.h"
#include "volume/SectorDevice.h"

namespace rekkon::test {

void putLe(std::vector<std::uint8_t>& bytes, std::uint64_t at, std::uint64_t value, int width) {
    for (int i = 0; i < width; ++i)
        bytes.at(at + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

void putMbrEntry(std::vector<std::uint8_t>& disk, std::uint64_t sector, int index,
                 std::uint8_t type, std::uint64_t start, std::uint64_t sectors, std::uint8_t flag) {
    const std::uint64_t at = sector * kSectorSize + 446 + 16 * index;
    disk.at(at) = flag;
    disk.at(at + 4) = type;
    putLe(disk, at + 8, start, 4);
    putLe(disk, at + 12, sectors, 4);
    putLe(disk, sector * kSectorSize + 510, 0xAA55, 2);
}

GptDisk::GptDisk(std::uint32_t sectorSize, std::uint64_t sectors, const std::vector<GptPart>& used)
    : size_(sectorSize), sectors_(sectors), bytes_(sectors * sectorSize) {
    putMbrEntry(bytes_, 0, 0, 0xEE, 1, static_cast<std::uint32_t>(sectors - 1));
    std::vector<std::uint8_t> entries(128 * 128);
    for (const GptPart& p : used) {
        std::copy(kBasicDataGuid.begin(), kBasicDataGuid.end(), entries.begin() + p.index * 128);
        putLe(entries, p.index * 128 + 32, p.first, 8);
        putLe(entries, p.index * 128 + 40, p.last, 8);
    }
    const std::uint64_t entrySectors = entries.size() / sectorSize;
    writeCopy(1, 2, entries, sectors - 1);
    writeCopy(sectors - 1, sectors - 1 - entrySectors, entries, 1);
}

void GptDisk::writeCopy(std::uint64_t headerLba, std::uint64_t entriesLba,
                        const std::vector<std::uint8_t>& entries, std::uint64_t otherLba) {
    std::copy(entries.begin(), entries.end(), bytes_.begin() + entriesLba * size_);
    std::vector<std::uint8_t> h(92);
    const std::string signature = "EFI PART";
    std::copy(signature.begin(), signature.end(), h.begin());
    putLe(h, 8, 0x00010000, 4);
    putLe(h, 12, 92, 4);
    putLe(h, 24, headerLba, 8);
    putLe(h, 32, otherLba, 8);
    putLe(h, 40, 34, 8);
    putLe(h, 48, sectors_ - 34, 8);
    putLe(h, 72, entriesLba, 8);
    putLe(h, 80, 128, 4);
    putLe(h, 84, 128, 4);
    putLe(h, 88, crc32(entries), 4);
    putLe(h, 16, crc32(h), 4);
    std::copy(h.begin(), h.end(), bytes_.begin() + headerLba * size_);
}

}  // namespace rekkon::test
