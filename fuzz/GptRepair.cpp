#include "fuzz/GptRepair.h"

#include <algorithm>
#include <span>

#include "volume/Crc32.h"
#include "volume/LeReader.h"
#include "volume/SectorPartitionTable.h"

namespace rekkon::fuzz {

namespace {

void putU32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The header at sector `lba` of `sectorSize` bytes: its entries' CRC32, then its own.
void repairHeader(std::vector<std::uint8_t>& disk, std::uint64_t sectorSize, std::uint64_t lba) {
    const std::uint64_t at = lba * sectorSize;
    if (at + sectorSize > disk.size()) return;
    const LeReader r(std::span<const std::uint8_t>(disk).subspan(at, sectorSize));
    const std::uint32_t headerBytes = std::clamp<std::uint32_t>(
        r.u32(12).value_or(0), 92, static_cast<std::uint32_t>(sectorSize));
    const std::uint64_t entriesLba = r.u64(72).value_or(0);
    const std::uint32_t count = r.u32(80).value_or(0);
    const std::uint32_t entryBytes = r.u32(84).value_or(0);
    if (count <= kMaxGptEntries && entryBytes <= kMaxGptEntryBytes &&
        entriesLba < disk.size() / sectorSize) {
        const std::uint64_t first = entriesLba * sectorSize;
        const std::uint64_t length = std::uint64_t{count} * entryBytes;
        if (length <= disk.size() - first)
            putU32(disk, at + 88,
                   crc32(std::span<const std::uint8_t>(disk).subspan(first, length)));
    }
    putU32(disk, at + 16, 0);
    putU32(disk, at + 16, crc32(std::span<const std::uint8_t>(disk).subspan(at, headerBytes)));
}

}  // namespace

void repairGptChecksums(std::vector<std::uint8_t>& disk) {
    for (const std::uint64_t sectorSize : {std::uint64_t{4096}, std::uint64_t{512}}) {
        if (disk.size() / sectorSize < 3) continue;
        repairHeader(disk, sectorSize, disk.size() / sectorSize - 1);
        repairHeader(disk, sectorSize, 1);
    }
}

}  // namespace rekkon::fuzz
