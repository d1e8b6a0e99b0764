#include "ntfs/NtfsFileSystem.h"

#include <sys/mman.h>

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

// The reserved room of a list is written once, in order, from the start: the kernel may give it
// 2 MiB pages, so that filling it takes one page fault where it would take 512.
void adviseLargePages(const FoundList& list) {
    constexpr std::uintptr_t kLargePage = std::uintptr_t{2} << 20;
    const auto begin = reinterpret_cast<std::uintptr_t>(list.data() + list.size());
    const std::uintptr_t end = begin + (list.capacity() - list.size()) * sizeof(DeletedFileEntry);
    const std::uintptr_t first = (begin + kLargePage - 1) / kLargePage * kLargePage;
    const std::uintptr_t last = end / kLargePage * kLargePage;
    // Advice only: a kernel without large pages fills the list the same way.
    if (list.data() != nullptr && first < last)
        (void)::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

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
        // Room for an entry per record is only reserved, not touched: the list grows in place
        // instead of being copied as it doubles.
        builder.reserve(static_cast<std::size_t>(
            std::min<std::uint64_t>(mftRecordCount(*ntfs_), kReservedEntries)));
        adviseLargePages(builder.entries());
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
