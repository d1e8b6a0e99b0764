#include "ntfs/NtfsMount.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "ntfs/AttributeLookup.h"
#include "ntfs/Fixups.h"
#include "ntfs/MftRecord.h"
#include "volume/LeReader.h"

namespace rekkon {

namespace {

constexpr std::uint64_t kMftRecord = 0;
constexpr std::uint64_t kMftMirrRecord = 1;
constexpr std::uint64_t kAttrDefRecord = 4;
constexpr std::uint64_t kBitmapRecord = 6;
constexpr std::uint64_t kUpCaseRecord = 10;
constexpr std::size_t kBootSectorBytes = 512;
constexpr std::size_t kUpcaseEntriesHeld = 256;
// Sector sizes an NTFS boot sector may give.
constexpr std::uint64_t kMinSectorBytes = 256;
constexpr std::uint64_t kMaxSectorBytes = 4096;

int failMount(VolumeContext& volume, NtfsVolume& ntfs) {
    clearNtfsVolume(ntfs);
    closeDevice(volume);
    volume.kind = FileSystemKind::None;
    volume.bytesPerCluster = 0;
    return 0;
}

}  // namespace

bool hasNtfsSignature(std::span<const std::uint8_t> bootSector) {
    const auto oem = LeReader(bootSector).slice(3, 4);
    return oem && std::memcmp(oem->data(), "NTFS", 4) == 0;
}

void loadUpcaseTable(NtfsVolume& ntfs, MftFile& upcaseFile) {
    std::array<std::uint8_t, kUpcaseEntriesHeld * 2> bytes{};
    TransferRequest request{true, bytes.data(), bytes.size()};
    const bool read = readAttribute(upcaseFile, ntfs.typeData, {}, 0, request) == kNtfsOk;
    const std::size_t delivered = read ? request.count : 0;
    const LeReader r{std::span<const std::uint8_t>(bytes).first(delivered)};
    ntfs.upcaseTable.clear();
    for (std::size_t i = 0; i + 1 < delivered; i += 2)
        ntfs.upcaseTable.push_back(*r.u16(i));
    ntfs.upcaseTableLength = static_cast<std::uint32_t>(delivered);
}

int openSystemFiles(NtfsVolume& ntfs) {
    // The block is in place before record 0 opens, so the records that record 0's attribute
    // list names are read through the $DATA runs its base record gives.
    ntfs.systemFiles = std::make_unique<std::array<MftFile, 3>>();
    ntfs.mftFile = &(*ntfs.systemFiles)[0];
    if (openMftFile(*ntfs.mftFile, ntfs, kMftRecord) != kNtfsOk) return kNtfsFailure;

    // No file's data needs the others: each that cannot be read leaves a default in its place.
    MftFile& mirror = (*ntfs.systemFiles)[1];
    if (openMftFile(mirror, ntfs, kMftMirrRecord) == kNtfsOk)
        ntfs.mftMirrFile = &mirror;
    else
        ntfs.mftMirrorUnavailable = true;
    MftFile& bitmap = (*ntfs.systemFiles)[2];
    if (openMftFile(bitmap, ntfs, kBitmapRecord) == kNtfsOk &&
        findAttribute(bitmap, ntfs.typeData) != nullptr) {
        ntfs.volumeBitmapFile = &bitmap;
    } else {
        closeMftFile(bitmap);
        ntfs.bitmapUnavailable = true;
    }

    MftFile upcase;
    if (openMftFile(upcase, ntfs, kUpCaseRecord) == kNtfsOk) loadUpcaseTable(ntfs, upcase);
    closeMftFile(upcase);
    if (ntfs.upcaseTableLength == 0) {
        setDefaultUpcase(ntfs);
        ntfs.usedDefaultUpcase = true;
    }

    MftFile attrDef;
    if (openMftFile(attrDef, ntfs, kAttrDefRecord) != kNtfsOk ||
        checkAttributeDefinitions(ntfs, attrDef) != kNtfsOk) {
        setDefaultTypeCodes(ntfs);
        ntfs.usedDefaultTypeCodes = true;
    }
    closeMftFile(attrDef);
    return kNtfsOk;
}

namespace {

// Reads MFT record 0 at `cluster` into the volume's copy; true when it is a valid file record.
bool readRecordZero(VolumeContext& volume, NtfsVolume& ntfs, std::uint64_t cluster) {
    ntfs.mftRecordZero.assign(ntfs.mftRecordSize, 0);
    TransferRequest recordRead{true, ntfs.mftRecordZero.data(), ntfs.mftRecordZero.size()};
    return transferAtCluster(volume, cluster, 0, recordRead) == ntfs.mftRecordSize &&
           checkFileRecord(ntfs, ntfs.mftRecordZero);
}

// Takes the geometry from the boot sector at byte `offset` (whose sector size must be
// `sectorBytes`, when not 0) and reads MFT record 0 where it says, or from $MFTMirr when that
// record is damaged. False, with the volume's cluster size 0, when either cannot be had.
bool readBootAndRecordZero(VolumeContext& volume, NtfsVolume& ntfs, std::uint64_t offset,
                           std::uint64_t sectorBytes) {
    // With no cluster size, cluster 0 and a byte offset address the source by byte.
    volume.bytesPerCluster = 0;
    std::array<std::uint8_t, kBootSectorBytes> boot{};
    TransferRequest bootRead{true, boot.data(), boot.size()};
    if (transferAtCluster(volume, 0, offset, bootRead) != boot.size() || !hasNtfsSignature(boot) ||
        !readNtfsGeometry(ntfs, boot) || (sectorBytes != 0 && ntfs.bytesPerSector != sectorBytes))
        return false;
    volume.bytesPerCluster = ntfs.bytesPerCluster;
    if (readRecordZero(volume, ntfs, ntfs.mftStartCluster)) return true;
    if (readRecordZero(volume, ntfs, ntfs.mftMirrorCluster)) {
        ntfs.usedMftMirror = true;
        return true;
    }
    volume.bytesPerCluster = 0;
    return false;
}

// The boot sector, or when it (or the record 0 it leads to) is damaged its copy, which NTFS keeps
// in the last sector of the volume: the source's last sector, of the size the copy gives.
bool readVolumeStart(VolumeContext& volume, NtfsVolume& ntfs) {
    if (readBootAndRecordZero(volume, ntfs, 0, 0)) return true;
    const std::optional<std::uint64_t> sourceBytes = volume.reader.sourceBytes();
    if (!sourceBytes) return false;
    for (std::uint64_t sectorBytes = kMinSectorBytes; sectorBytes <= kMaxSectorBytes;
         sectorBytes *= 2) {
        if (*sourceBytes < kBootSectorBytes + sectorBytes) break;
        // The boot sector's bytes would reach past the end of the source from a smaller sector.
        if (sectorBytes < kBootSectorBytes) continue;
        if (readBootAndRecordZero(volume, ntfs, *sourceBytes - sectorBytes, sectorBytes)) {
            ntfs.usedBackupBootSector = true;
            return true;
        }
    }
    return false;
}

}  // namespace

int mountNtfsOnOpenDevice(VolumeContext& volume, NtfsVolume& ntfs) {
    clearNtfsVolume(ntfs);
    volume.kind = FileSystemKind::None;
    if (!readVolumeStart(volume, ntfs)) return failMount(volume, ntfs);
    ntfs.context = &volume;
    volume.kind = FileSystemKind::Ntfs;
    if (openSystemFiles(ntfs) != kNtfsOk) return failMount(volume, ntfs);
    return 1;
}

int mountNtfs(VolumeContext& volume, NtfsVolume& ntfs, const std::string& path) {
    if (openDevice(volume, path) != 0) return 0;
    return mountNtfsOnOpenDevice(volume, ntfs);
}

void unmountNtfs(VolumeContext& volume, NtfsVolume& ntfs) {
    clearNtfsVolume(ntfs);
    closeDevice(volume);
}

}  // namespace rekkon
