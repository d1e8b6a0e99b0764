#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "volume/Crc32.h"
#include "volume/DiskTables.h"
#include "volume/LeReader.h"
#include "volume/SectorBytes.h"
#include "volume/SectorPartitionTable.h"

namespace rekkon {

namespace {

constexpr std::array<std::uint8_t, 8> kGptSignature = {'E', 'F', 'I', ' ', 'P', 'A', 'R', 'T'};
constexpr std::uint32_t kMinHeaderBytes = 92;
constexpr std::uint32_t kMinEntryBytes = 128;
constexpr std::size_t kHeaderCrcOffset = 16;
constexpr std::uint64_t kMaxU64 = std::numeric_limits<std::uint64_t>::max();

// What the header says of the entry array, once it has passed its checks.
struct GptHeader {
    std::uint64_t firstUsable = 0;
    std::uint64_t lastUsable = 0;
    std::uint64_t entriesLba = 0;
    std::uint32_t entryCount = 0;
    std::uint32_t entryBytes = 0;
    std::uint32_t entriesCrc = 0;
};

// The GUID in its usual text form: the first three fields little-endian, the rest as stored.
std::string guidText(std::span<const std::uint8_t, 16> g) {
    std::array<char, 40> text{};
    std::snprintf(text.data(), text.size(),
                  "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", g[3],
                  g[2], g[1], g[0], g[5], g[4], g[7], g[6], g[8], g[9], g[10], g[11], g[12], g[13],
                  g[14], g[15]);
    return text.data();
}

// The header at `lba`, which must name `lba` as its own place and pass its CRC32.
std::optional<GptHeader> readHeader(SectorDevice& device, std::uint32_t sectorSize,
                                    std::uint64_t lba) {
    if (lba > kMaxU64 / sectorSize) return std::nullopt;
    const auto bytes = readDeviceBytes(device, lba * sectorSize, sectorSize);
    if (!bytes) return std::nullopt;
    const LeReader r(*bytes);
    const auto signature = r.slice(0, kGptSignature.size());
    if (!signature || !std::equal(signature->begin(), signature->end(), kGptSignature.begin()))
        return std::nullopt;
    const std::uint32_t headerBytes = r.u32(12).value_or(0);
    if (headerBytes < kMinHeaderBytes || headerBytes > sectorSize) return std::nullopt;
    std::vector<std::uint8_t> zeroed(bytes->begin(), bytes->begin() + headerBytes);
    std::fill_n(zeroed.begin() + kHeaderCrcOffset, 4, 0);
    if (crc32(zeroed) != r.u32(kHeaderCrcOffset).value_or(0)) return std::nullopt;
    if (r.u64(24).value_or(0) != lba) return std::nullopt;

    GptHeader h;
    h.firstUsable = r.u64(40).value_or(0);
    h.lastUsable = r.u64(48).value_or(0);
    h.entriesLba = r.u64(72).value_or(0);
    h.entryCount = r.u32(80).value_or(0);
    h.entryBytes = r.u32(84).value_or(0);
    h.entriesCrc = r.u32(88).value_or(0);
    if (h.entryCount > kMaxGptEntries || h.entryBytes < kMinEntryBytes ||
        h.entryBytes > kMaxGptEntryBytes || h.entryBytes % 8 != 0 || h.entriesLba < 2 ||
        h.entriesLba > kMaxU64 / sectorSize || h.firstUsable > h.lastUsable)
        return std::nullopt;
    return h;
}

// The partitions of the entry array `h` names, when it passes its CRC32.
std::optional<PartitionTable> readEntries(SectorDevice& device, std::uint32_t sectorSize,
                                          const GptHeader& h) {
    // At most kMaxGptEntries * kMaxGptEntryBytes (4 MiB): the product fits easily.
    const std::size_t arrayBytes = std::size_t{h.entryCount} * h.entryBytes;
    const std::size_t readBytes = (arrayBytes + sectorSize - 1) / sectorSize * sectorSize;
    const auto bytes = readDeviceBytes(device, h.entriesLba * sectorSize, readBytes);
    if (!bytes) return std::nullopt;
    const LeReader r(*bytes);
    const auto array = r.slice(0, arrayBytes);
    if (!array || crc32(*array) != h.entriesCrc) return std::nullopt;

    PartitionTable table;
    table.scheme = "gpt";
    table.sectorSize = sectorSize;
    for (std::uint32_t i = 0; i < h.entryCount; ++i) {
        const std::size_t at = std::size_t{i} * h.entryBytes;
        const auto type = r.slice(at, 16);
        if (!type || std::all_of(type->begin(), type->end(), [](std::uint8_t b) { return b == 0; }))
            continue;
        const std::uint64_t first = r.u64(at + 32).value_or(0);
        const std::uint64_t last = r.u64(at + 40).value_or(0);
        // Entries outside the usable area are not partitions (the kernel skips them too).
        if (first > last || first < h.firstUsable || last > h.lastUsable) continue;
        const std::uint64_t sectors = last - first + 1;
        if (first > kMaxU64 / sectorSize || sectors > kMaxU64 / sectorSize) continue;
        table.partitions.push_back({static_cast<int>(i) + 1,
                                    first * sectorSize,
                                    sectors * sectorSize,
                                    guidText(std::span<const std::uint8_t, 16>(type->data(), 16)),
                                    {},
                                    {}});
    }
    return table;
}

}  // namespace

std::optional<PartitionTable> readGpt(SectorDevice& device, std::uint32_t sectorSize) {
    if (sectorSize < kSectorSize || sectorSize % kSectorSize != 0) return std::nullopt;
    if (const auto header = readHeader(device, sectorSize, 1))
        if (auto table = readEntries(device, sectorSize, *header)) return table;
    // A damaged primary table: its copy, whose header is the disk's last sector.
    const auto size = device.sizeBytes();
    if (!size || *size / sectorSize < 3) return std::nullopt;
    const auto backup = readHeader(device, sectorSize, *size / sectorSize - 1);
    if (!backup) return std::nullopt;
    return readEntries(device, sectorSize, *backup);
}

}  // namespace rekkon
