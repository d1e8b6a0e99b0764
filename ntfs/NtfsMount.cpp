#include "ntfs/NtfsMount.h"

#include <array>
#include <cstring>

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

int failMount(VolumeContext& volume, NtfsVolume& ntfs) {
    clearNtfsVolume(ntfs);
    closeDevice(volume);
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
    ntfs.mftMirrFile = &(*ntfs.systemFiles)[1];
    if (openMftFile(*ntfs.mftMirrFile, ntfs, kMftMirrRecord) != kNtfsOk) return kNtfsFailure;
    ntfs.volumeBitmapFile = &(*ntfs.systemFiles)[2];
    if (openMftFile(*ntfs.volumeBitmapFile, ntfs, kBitmapRecord) != kNtfsOk) return kNtfsFailure;

    MftFile upcase;
    if (openMftFile(upcase, ntfs, kUpCaseRecord) != kNtfsOk) return kNtfsFailure;
    loadUpcaseTable(ntfs, upcase);
    closeMftFile(upcase);

    MftFile attrDef;
    if (openMftFile(attrDef, ntfs, kAttrDefRecord) != kNtfsOk) return kNtfsFailure;
    const int checked = checkAttributeDefinitions(ntfs, attrDef);
    closeMftFile(attrDef);
    return checked == kNtfsOk ? kNtfsOk : kNtfsFailure;
}

int mountNtfsOnOpenDevice(VolumeContext& volume, NtfsVolume& ntfs) {
    clearNtfsVolume(ntfs);
    volume.kind = FileSystemKind::None;
    volume.bytesPerCluster = 0;

    // Cluster 0 with no cluster size yet is the first sector.
    std::array<std::uint8_t, kBootSectorBytes> boot{};
    TransferRequest bootRead{true, boot.data(), boot.size()};
    if (transferAtCluster(volume, 0, 0, bootRead) != boot.size() || !hasNtfsSignature(boot) ||
        !readNtfsGeometry(ntfs, boot))
        return failMount(volume, ntfs);
    ntfs.context = &volume;
    volume.kind = FileSystemKind::Ntfs;
    volume.bytesPerCluster = ntfs.bytesPerCluster;

    ntfs.mftRecordZero.assign(ntfs.mftRecordSize, 0);
    TransferRequest recordRead{true, ntfs.mftRecordZero.data(), ntfs.mftRecordZero.size()};
    if (transferAtCluster(volume, ntfs.mftStartCluster, 0, recordRead) != ntfs.mftRecordSize ||
        !checkFileRecord(ntfs, ntfs.mftRecordZero))
        return failMount(volume, ntfs);
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
