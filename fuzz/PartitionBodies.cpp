#include <set>
#include <vector>

#include "fuzz/FuzzBodies.h"
#include "fuzz/FuzzCheck.h"
#include "volume/MemorySectorDevice.h"
#include "volume/SectorPartitionTable.h"

namespace rekkon::fuzz {

void fuzzPartitionTable(std::span<const std::uint8_t> data) {
    MemorySectorDevice device(MemorySectorDevice::Borrow{}, data);
    const std::optional<PartitionTable> table = readPartitionTable(device);
    if (!table) return;
    fuzzCheck(table->scheme == "dos" || table->scheme == "gpt", "an unknown table scheme");
    fuzzCheck(table->sectorSize == 512 || table->sectorSize == 4096, "an odd sector size");
    fuzzCheck(table->partitions.size() <= 4 + 4 * std::size_t{kMaxExtendedLinks} + kMaxGptEntries,
              "more partitions than the limits allow");
    std::set<int> numbers;
    for (const PartitionInfo& p : table->partitions) {
        fuzzCheck(numbers.insert(p.number).second, "two partitions with one number");
        fuzzCheck(p.number >= 1, "a partition number below 1");
        fuzzCheck(p.offset % table->sectorSize == 0, "a partition not starting on a sector");
        fuzzCheck(p.offset < data.size() && p.length <= data.size() - p.offset,
                  "a partition reaching past the source");
        fuzzCheck(p.fileSystem.empty() || p.fileSystem == "NTFS" || p.fileSystem.starts_with("FAT"),
                  "a file-system name that was not read");
    }
}

}  // namespace rekkon::fuzz
