#include "volume/PartitionTable.h"

#include <blkid/blkid.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <memory>
#include <type_traits>

#include "volume/BlkidProbe.h"

#include "volume/SectorPartitionTable.h"

namespace rekkon {

namespace {

// libblkid gives partition starts and sizes in 512-byte units whatever the table's sector size.
constexpr std::uint64_t kBlkidUnit = 512;
// More entries than any table of a known scheme holds (GPT's usual maximum is 128; a DOS chain
// of logical partitions is bounded by libblkid itself).
constexpr int kMaxPartitions = 1024;

struct ProbeFree {
    void operator()(blkid_probe probe) const { blkid_free_probe(probe); }
};
using ProbeHandle = std::unique_ptr<std::remove_pointer_t<blkid_probe>, ProbeFree>;

std::string lowerCase(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string partitionType(blkid_partition part, bool gpt) {
    if (gpt) {
        const char* guid = blkid_partition_get_type_string(part);
        return guid ? lowerCase(guid) : std::string();
    }
    std::array<char, 8> text{};
    std::snprintf(text.data(), text.size(), "0x%02x", blkid_partition_get_type(part) & 0xff);
    return text.data();
}

// The table libblkid finds on `fd` when it takes `sectorSize` as the logical sector size;
// nullopt when it finds no DOS or GPT table that way (a protective MBR alone is none).
std::optional<PartitionTable> probeTable(int fd, std::uint64_t size, std::uint32_t sectorSize) {
    ProbeHandle probe(blkid_new_probe());
    if (!probe) return std::nullopt;
    if (blkid_probe_set_device(probe.get(), fd, 0, static_cast<blkid_loff_t>(size)) != 0)
        return std::nullopt;
    if (blkid_probe_set_sectorsize(probe.get(), sectorSize) != 0) return std::nullopt;
    blkid_probe_enable_superblocks(probe.get(), 0);
    blkid_probe_enable_partitions(probe.get(), 1);
    blkid_partlist list = blkid_probe_get_partitions(probe.get());
    if (list == nullptr) return std::nullopt;
    blkid_parttable table = blkid_partlist_get_table(list);
    const char* scheme = table ? blkid_parttable_get_type(table) : nullptr;
    if (scheme == nullptr) return std::nullopt;
    PartitionTable found;
    found.scheme = scheme;
    if (found.scheme != "dos" && found.scheme != "gpt") return std::nullopt;
    found.sectorSize = sectorSize;
    const bool gpt = found.scheme == "gpt";
    const int count = blkid_partlist_numof_partitions(list);
    for (int i = 0; i < count && i < kMaxPartitions; ++i) {
        blkid_partition part = blkid_partlist_get_partition(list, i);
        if (part == nullptr) continue;
        const blkid_loff_t start = blkid_partition_get_start(part);
        const blkid_loff_t length = blkid_partition_get_size(part);
        if (start < 0 || length < 0) continue;
        PartitionInfo info;
        info.number = blkid_partition_get_partno(part);
        info.offset = static_cast<std::uint64_t>(start) * kBlkidUnit;
        info.length = static_cast<std::uint64_t>(length) * kBlkidUnit;
        info.type = partitionType(part, gpt);
        info.extended = blkid_partition_is_extended(part) != 0;
        // A container of logical partitions holds no file system of its own. A partition that
        // runs past the end of a cut-short image is probed as far as the image goes.
        if (!info.extended && info.length != 0 && info.offset < size) {
            const std::uint64_t inside = std::min(info.length, size - info.offset);
            if (auto fs = probeFileSystem(fd, info.offset, inside)) {
                info.fileSystem = fs->name;
                info.label = fs->label;
            }
        }
        found.partitions.push_back(std::move(info));
    }
    return found;
}

}  // namespace

std::optional<PartitionTable> findPartitions(SectorDevice& device) {
    const std::optional<int> fd = device.descriptor();
    const std::optional<std::uint64_t> size = device.sizeBytes();
    // A source without a descriptor of its own (an evidence file set) has its table read
    // through its sectors.
    if (!fd) return readPartitionTable(device);
    if (!size) return std::nullopt;
    std::vector<std::uint32_t> sizes;
    if (const auto own = device.logicalSectorSize())
        sizes.push_back(*own);
    else
        sizes = {512, 4096};
    for (const std::uint32_t sectorSize : sizes) {
        // libblkid's DOS reader refuses a FAT or NTFS boot sector, whose last two bytes are an
        // MBR's signature too: a bare volume has no table.
        if (auto table = probeTable(*fd, *size, sectorSize)) return table;
    }
    return std::nullopt;
}

}  // namespace rekkon
