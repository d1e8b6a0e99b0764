#include <array>
#include <cstdio>
#include <limits>
#include <set>
#include <string>

#include "volume/DiskTables.h"
#include "volume/LeReader.h"
#include "volume/SectorBytes.h"
#include "volume/SectorPartitionTable.h"

namespace rekkon {

namespace {

constexpr std::size_t kEntriesOffset = 446;
constexpr std::size_t kEntryBytes = 16;
constexpr int kEntryCount = 4;
constexpr std::uint16_t kBootSignature = 0xAA55;
constexpr int kFirstLogicalNumber = 5;

// One 16-byte entry of an MBR or EBR; start and length in logical sectors.
struct MbrEntry {
    std::uint8_t bootFlag = 0;
    std::uint8_t type = 0;
    std::uint64_t start = 0;
    std::uint64_t sectors = 0;
};

MbrEntry entryAt(const LeReader& r, int index) {
    const std::size_t at = kEntriesOffset + static_cast<std::size_t>(index) * kEntryBytes;
    return {r.u8(at).value_or(0), r.u8(at + 4).value_or(0), r.u32(at + 8).value_or(0),
            r.u32(at + 12).value_or(0)};
}

bool hasBootSignature(const LeReader& r) {
    return r.u16(510).value_or(0) == kBootSignature;
}

bool isExtended(std::uint8_t type) {
    return type == 0x05 || type == 0x0f || type == 0x85;
}

std::string typeText(std::uint8_t type) {
    std::array<char, 8> text{};
    std::snprintf(text.data(), text.size(), "0x%02x", type);
    return text.data();
}

// Appends the partition of `sectors` logical sectors at `start`; false when its byte offset or
// length does not fit 64 bits.
bool addPartition(PartitionTable& table, int number, std::uint64_t start, std::uint64_t sectors,
                  std::uint8_t type) {
    const std::uint64_t size = table.sectorSize;
    if (start > std::numeric_limits<std::uint64_t>::max() / size ||
        sectors > std::numeric_limits<std::uint64_t>::max() / size)
        return false;
    PartitionInfo partition{number, start * size, sectors * size, typeText(type), {}, {}};
    partition.extended = isExtended(type);
    table.partitions.push_back(std::move(partition));
    return true;
}

bool startTaken(const PartitionTable& table, std::uint64_t start) {
    for (const PartitionInfo& p : table.partitions)
        if (p.offset == start * table.sectorSize) return true;
    return false;
}

// Follows the chain of EBRs of the extended partition [exStart, exStart + exSectors): each EBR
// names a logical partition relative to itself and the next EBR relative to the extended
// partition's start. Ends at a missing or unsigned EBR, a link back to an EBR already read, or
// after `linksLeft` links.
void readExtended(SectorDevice& device, PartitionTable& table, std::uint64_t exStart,
                  std::uint64_t exSectors, int& nextNumber, int& linksLeft) {
    const std::uint64_t sectorSize = table.sectorSize;
    std::uint64_t current = exStart;
    std::uint64_t currentSectors = exSectors;
    std::set<std::uint64_t> visited;
    while (linksLeft > 0) {
        --linksLeft;
        if (!visited.insert(current).second) return;  // the chain loops
        if (current > std::numeric_limits<std::uint64_t>::max() / sectorSize) return;
        const auto ebr = readDeviceBytes(device, current * sectorSize, sectorSize);
        if (!ebr) return;
        const LeReader r(*ebr);
        if (!hasBootSignature(r)) return;
        for (int i = 0; i < kEntryCount; ++i) {
            const MbrEntry e = entryAt(r, i);
            if (e.sectors == 0 || isExtended(e.type)) continue;
            const std::uint64_t start = current + e.start;  // cannot overflow: both < 2^33
            // The third and fourth entries are rarely used: only when they lie inside.
            if (i >= 2 && (e.start + e.sectors > currentSectors || start < exStart ||
                           start + e.sectors > exStart + exSectors))
                continue;
            if (startTaken(table, start)) continue;
            if (addPartition(table, nextNumber, start, e.sectors, e.type)) ++nextNumber;
        }
        // The first extended entry links to the next EBR; an EBR without one ends the chain.
        std::optional<MbrEntry> link;
        for (int i = 0; i < kEntryCount && !link; ++i) {
            const MbrEntry e = entryAt(r, i);
            if (e.sectors != 0 && isExtended(e.type)) link = e;
        }
        if (!link || link->start == 0) return;
        current = exStart + link->start;
        currentSectors = link->sectors;
    }
}

}  // namespace

bool hasProtectiveMbr(std::span<const std::uint8_t> sector0) {
    const LeReader r(sector0);
    if (!hasBootSignature(r)) return false;
    for (int i = 0; i < kEntryCount; ++i)
        if (entryAt(r, i).type == 0xEE) return true;
    return false;
}

std::optional<PartitionTable> readMbr(SectorDevice& device, std::span<const std::uint8_t> sector0,
                                      std::uint32_t sectorSize) {
    const LeReader r(sector0);
    if (!hasBootSignature(r)) return std::nullopt;
    for (int i = 0; i < kEntryCount; ++i) {
        const std::uint8_t flag = entryAt(r, i).bootFlag;
        if (flag != 0x00 && flag != 0x80) return std::nullopt;
    }
    PartitionTable table;
    table.scheme = "dos";
    table.sectorSize = sectorSize;
    for (int i = 0; i < kEntryCount; ++i) {
        const MbrEntry e = entryAt(r, i);
        if (e.sectors != 0) addPartition(table, i + 1, e.start, e.sectors, e.type);
    }
    int nextNumber = kFirstLogicalNumber;
    int linksLeft = kMaxExtendedLinks;
    for (int i = 0; i < kEntryCount; ++i) {
        const MbrEntry e = entryAt(r, i);
        if (e.sectors != 0 && isExtended(e.type))
            readExtended(device, table, e.start, e.sectors, nextNumber, linksLeft);
    }
    return table;
}

}  // namespace rekkon
