#include "ntfs/NtfsVolume.h"

#include <bit>

#include "volume/LeReader.h"

namespace rekkon {

namespace {

constexpr std::uint64_t kMaxClusterBytes = 2 * 1024 * 1024;
constexpr std::uint32_t kMinRecordBytes = 512;
// NTFS writes 1024- and 4096-byte records; the limit also bounds what one file can gather.
constexpr std::uint32_t kMaxRecordBytes = 4096;

// Boot sector byte 0x0D: sectors per cluster; values above 0x80 hold a negative power of two
// (2^(256 - value)), the form volumes with clusters beyond 128 sectors use.
std::uint64_t sectorsPerClusterFrom(std::uint8_t value) {
    if (value <= 0x80) return value;
    const unsigned shift = 256u - value;
    return shift < 32 ? std::uint64_t{1} << shift : 0;
}

// Boot sector byte 0x40: clusters per MFT record, or, when negative, 2^(-value) bytes.
std::uint64_t recordBytesFrom(std::int8_t value, std::uint64_t bytesPerCluster) {
    if (value >= 0) return static_cast<std::uint64_t>(value) * bytesPerCluster;
    const int shift = -static_cast<int>(value);
    return shift < 32 ? std::uint64_t{1} << shift : 0;
}

}  // namespace

void setDefaultTypeCodes(NtfsVolume& volume) {
    volume.typeStandardInformation = 0x10;
    volume.typeAttributeList = 0x20;
    volume.typeFileName = 0x30;
    volume.typeSecurityDescriptor = 0x50;
    volume.typeData = 0x80;
    volume.typeIndexRoot = 0x90;
    volume.typeIndexAllocation = 0xA0;
    volume.typeBitmap = 0xB0;
    volume.typeReparsePoint = 0xC0;
}

void setDefaultUpcase(NtfsVolume& volume) {
    constexpr std::uint16_t kEntries = 256;
    volume.upcaseTable.resize(kEntries);
    for (std::uint16_t u = 0; u < kEntries; ++u) {
        const bool lower = (u >= u'a' && u <= u'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7);
        volume.upcaseTable[u] = lower ? static_cast<std::uint16_t>(u - 0x20) : u;
    }
    volume.upcaseTableLength = kEntries * 2;
}

bool readNtfsGeometry(NtfsVolume& volume, std::span<const std::uint8_t> bootSector) {
    setDefaultTypeCodes(volume);
    volume.upcaseTable.clear();
    volume.upcaseTableLength = 0;
    volume.mftFile = nullptr;

    const LeReader boot(bootSector);
    const auto bytesPerSector = boot.u16(0x0B);
    const auto clusterByte = boot.u8(0x0D);
    const auto mftCluster = boot.u64(0x30);
    const auto mirrorCluster = boot.u64(0x38);
    const auto totalSectors = boot.u64(0x28);
    const auto recordByte = boot.i8(0x40);
    if (!bytesPerSector || !clusterByte || !mftCluster || !mirrorCluster || !recordByte)
        return false;

    if (*bytesPerSector < 256 || *bytesPerSector > 4096 || !std::has_single_bit(*bytesPerSector))
        return false;
    const std::uint64_t sectorsPerCluster = sectorsPerClusterFrom(*clusterByte);
    if (sectorsPerCluster == 0 || !std::has_single_bit(sectorsPerCluster)) return false;
    const std::uint64_t bytesPerCluster = sectorsPerCluster * *bytesPerSector;
    if (bytesPerCluster > kMaxClusterBytes) return false;
    const std::uint64_t recordBytes = recordBytesFrom(*recordByte, bytesPerCluster);
    if (recordBytes < kMinRecordBytes || recordBytes > kMaxRecordBytes ||
        !std::has_single_bit(recordBytes))
        return false;

    volume.bytesPerSector = *bytesPerSector;
    volume.sectorsPerCluster = static_cast<std::uint32_t>(sectorsPerCluster);
    volume.bytesPerCluster = bytesPerCluster;
    volume.totalSectors = totalSectors.value_or(0);
    volume.mftRecordSize = static_cast<std::uint32_t>(recordBytes);
    volume.mftStartCluster = *mftCluster;
    volume.mftMirrorCluster = *mirrorCluster;
    return true;
}

void clearNtfsVolume(NtfsVolume& volume) {
    // Close the system files before releasing the block that holds them.
    if (volume.systemFiles) {
        for (MftFile& file : *volume.systemFiles)
            closeMftFile(file);
    }
    volume.systemFiles.reset();
    volume.mftFile = nullptr;
    volume.mftMirrFile = nullptr;
    volume.volumeBitmapFile = nullptr;
    volume.mftRecordZero = {};
    volume.upcaseTable = {};
    volume.upcaseTableLength = 0;
    volume.context = nullptr;
    volume.bytesPerSector = 0;
    volume.sectorsPerCluster = 0;
    volume.bytesPerCluster = 0;
    volume.totalSectors = 0;
    volume.mftRecordSize = 0;
    volume.mftStartCluster = 0;
    volume.mftMirrorCluster = 0;
    volume.usedBackupBootSector = false;
    volume.usedMftMirror = false;
    volume.mftMirrorUnavailable = false;
    volume.usedDefaultTypeCodes = false;
    volume.usedDefaultUpcase = false;
    volume.bitmapUnavailable = false;
    setDefaultTypeCodes(volume);
}

}  // namespace rekkon
