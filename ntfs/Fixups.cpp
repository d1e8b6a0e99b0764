#include "ntfs/Fixups.h"

#include <algorithm>
#include <vector>

#include "ntfs/NtfsVolume.h"
#include "volume/LeReader.h"

namespace rekkon {

namespace {

void storeU16(std::span<std::uint8_t> bytes, std::size_t offset, std::uint16_t value) {
    bytes[offset] = static_cast<std::uint8_t>(value & 0xFF);
    bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

}  // namespace

int applyFixups(const NtfsVolume& volume, std::span<std::uint8_t> record,
                std::string_view signature, std::size_t expectedSize) {
    const std::size_t size = expectedSize != 0 ? expectedSize : record.size();
    if (size > record.size() || signature.size() != 4) return 0;
    const std::span<std::uint8_t> bytes = record.first(size);
    const LeReader r(bytes);

    const auto head = r.slice(0, 4);
    if (!head ||
        !std::equal(head->begin(), head->end(), signature.begin(),
                    [](std::uint8_t b, char c) { return b == static_cast<std::uint8_t>(c); }))
        return 0;
    const auto arrayOffset = r.u16(0x04);
    const auto arrayCount = r.u16(0x06);
    if (!arrayOffset || !arrayCount || *arrayCount < 2) return 0;
    const std::size_t blocks = *arrayCount - 1u;

    std::size_t stride = 0;
    if (blocks * kFixupStride == size)
        stride = kFixupStride;
    else if (volume.bytesPerSector != 0 && blocks * volume.bytesPerSector == size)
        stride = volume.bytesPerSector;
    if (stride < 2) return 0;

    // The array itself must lie inside the structure; keep a copy, since restoring a block's
    // last word could overwrite array entries placed across a block end.
    const auto array = r.slice(*arrayOffset, std::size_t{*arrayCount} * 2);
    if (!array) return 0;
    const std::vector<std::uint8_t> saved(array->begin(), array->end());
    const LeReader savedReader(saved);
    const std::uint16_t sequenceNumber = *savedReader.u16(0);

    for (std::size_t k = 1; k <= blocks; ++k) {
        const std::size_t endWord = k * stride - 2;
        if (r.u16(endWord) != sequenceNumber) return 0;
        storeU16(bytes, endWord, *savedReader.u16(k * 2));
    }
    return 1;
}

bool checkFileRecord(const NtfsVolume& volume, std::span<std::uint8_t> record) {
    return applyFixups(volume, record, "FILE", volume.mftRecordSize) == 1;
}

}  // namespace rekkon
