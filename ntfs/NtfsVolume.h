#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "ntfs/MftFile.h"
#include "volume/VolumeContext.h"

namespace rekkon {

// Result codes of the NTFS operations: 0 success, -1 failure, and this one for a position that
// no run of the attribute covers.
inline constexpr int kNtfsOk = 0;
inline constexpr int kNtfsFailure = -1;
inline constexpr int NTFS_NOT_AVAILABLE = 0x8000;

// The NTFS part of a mounted volume: the boot-sector geometry, MFT record 0 as read at mount, the
// first 256 entries of the upcase table, the three system files kept open, and the attribute
// type codes through which all NTFS code names attribute types.
struct NtfsVolume {
    NtfsVolume() = default;
    // The open system files point back at the volume, so it stays where it was mounted.
    NtfsVolume(const NtfsVolume&) = delete;
    NtfsVolume& operator=(const NtfsVolume&) = delete;

    VolumeContext* context = nullptr;  // the open source; set by the mount

    std::uint32_t bytesPerSector = 0;
    std::uint32_t sectorsPerCluster = 0;
    std::uint64_t bytesPerCluster = 0;
    std::uint64_t totalSectors = 0;  // as the boot sector records it; 0 when it does not
    std::uint32_t mftRecordSize = 0;
    std::uint64_t mftStartCluster = 0;
    std::uint64_t mftMirrorCluster = 0;  // where $MFTMirr, a copy of the first MFT records, lies

    std::vector<std::uint8_t> mftRecordZero;  // record 0, fixups applied
    std::vector<std::uint16_t> upcaseTable;   // up to 256 entries
    std::uint32_t upcaseTableLength = 0;      // bytes read into upcaseTable

    // Records 0, 1 and 6 in one block, owned by the volume; the three pointers name its members
    // (mftMirrFile and volumeBitmapFile null when their record could not be opened).
    std::unique_ptr<std::array<MftFile, 3>> systemFiles;
    MftFile* mftFile = nullptr;
    MftFile* mftMirrFile = nullptr;
    MftFile* volumeBitmapFile = nullptr;

    // What the mount did without: only the boot sector and the $MFT's own record are needed;
    // a copy or a default stands in for whatever else could not be read.
    bool usedBackupBootSector = false;  // the primary boot sector is damaged
    bool usedMftMirror = false;         // record 0 was taken from $MFTMirr
    bool mftMirrorUnavailable = false;  // record 1 could not be opened: mftMirrFile is null
    bool usedDefaultTypeCodes = false;  // $AttrDef could not be read or is inconsistent
    bool usedDefaultUpcase = false;     // $UpCase could not be read: the built-in table holds
    bool bitmapUnavailable = false;     // $Bitmap could not be opened: volumeBitmapFile is null

    std::uint32_t typeStandardInformation = 0x10;
    std::uint32_t typeAttributeList = 0x20;
    std::uint32_t typeFileName = 0x30;
    std::uint32_t typeSecurityDescriptor = 0x50;
    std::uint32_t typeData = 0x80;
    std::uint32_t typeIndexRoot = 0x90;
    std::uint32_t typeIndexAllocation = 0xA0;
    std::uint32_t typeBitmap = 0xB0;
    std::uint32_t typeReparsePoint = 0xC0;
};

// Fills the geometry and the type-code defaults from the first 512 bytes of the volume. Returns
// false (the volume cannot be read as NTFS) when the sector size, the cluster size or the MFT
// record size is one no NTFS volume has: each is a power of two, sectors 256..4096 bytes,
// clusters up to 2 MiB, records 512..4096 bytes.
bool readNtfsGeometry(NtfsVolume& volume, std::span<const std::uint8_t> bootSector);

// Gives the attribute type-code slots their standard values.
void setDefaultTypeCodes(NtfsVolume& volume);

// Fills the upcase table with the built-in folding of the first 256 characters: 'a'..'z' and
// U+00E0..U+00FE but U+00F7 map to the character 0x20 below, every other one to itself.
void setDefaultUpcase(NtfsVolume& volume);

// Releases everything the NTFS part holds and gives every field its starting value.
void clearNtfsVolume(NtfsVolume& volume);

}  // namespace rekkon
