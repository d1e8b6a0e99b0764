#include "ntfs/NtfsFileSystem.h"

#include <algorithm>
#include <cstdint>

#include "ntfs/NtfsFoundEntry.h"
#include "ntfs/NtfsFreeSpace.h"
#include "ntfs/NtfsInfo.h"
#include "ntfs/NtfsLabel.h"
#include "ntfs/NtfsMount.h"
#include "ntfs/NtfsScan.h"

namespace rekkon {

namespace {

// Entries reserved at most before a whole-MFT scan.
constexpr std::uint64_t kReservedEntries = 1 << 20;

BootSectorProbe probeNtfs(std::span<const std::uint8_t> boot) {
    if (!hasNtfsSignature(boot)) return {};
    return {"NTFS", true};
}

bool namesNtfs(const std::string& platformName) {
    return platformName.find("NTFS") != std::string::npos;
}

std::unique_ptr<FileSystem> mountNtfsVolume(VolumeContext& volume) {
    auto ntfs = std::make_unique<NtfsVolume>();
    if (mountNtfsOnOpenDevice(volume, *ntfs) != 1) return nullptr;
    return std::make_unique<NtfsFileSystem>(volume, std::move(ntfs));
}

}  // namespace

FileSystemType ntfsFileSystemType() {
    return {"NTFS", probeNtfs, namesNtfs, mountNtfsVolume};
}

NtfsFileSystem::~NtfsFileSystem() {
    clearNtfsVolume(*ntfs_);
}

FileSystemCapabilities NtfsFileSystem::capabilities() const {
    FileSystemCapabilities can;
    can.numberedRecords = true;
    return can;
}

std::string NtfsFileSystem::label() {
    return ntfsVolumeLabel(*ntfs_);
}

std::vector<GeometryLine> NtfsFileSystem::geometry() {
    return ntfsGeometry(*ntfs_);
}

ScanOutcome NtfsFileSystem::scan(const ScanRequest& request, FoundListBuilder& builder) {
    // The whole MFT is walked; a folder keeps the files deleted in it and below it.
    const std::string& folder = request.folder;
    const NtfsFoundSink found = [&](const NtfsFoundFile& f) {
        if (folder.empty() || folderWithin(f.folder, folder)) addNtfsFoundFile(builder, f);
    };
    NtfsScanStats stats;
    if (request.only.empty()) {
        builder.reserve(static_cast<std::size_t>(
            std::min<std::uint64_t>(mftRecordCount(*ntfs_), kReservedEntries)));
        scanNtfs(*ntfs_, found, &stats, request.cancel);
    } else {
        scanNtfsRecords(*ntfs_, request.only, found, &stats, request.cancel);
    }
    ScanOutcome outcome;
    outcome.cancelled = stats.cancelled;
    return outcome;
}

std::unique_ptr<FileDataHandle> NtfsFileSystem::openData(const DeletedFileEntry& entry,
                                                         DataOpenError& why) {
    return openNtfsFileData(*ntfs_, entry.location, entry.stream, why);
}

std::unique_ptr<FreeSpaceMap> NtfsFileSystem::freeSpace() {
    return std::make_unique<NtfsFreeSpace>(*ntfs_);
}

}  // namespace rekkon
