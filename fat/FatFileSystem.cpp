#include "fat/FatFileSystem.h"

#include <algorithm>

#include "fat/FatFolders.h"
#include "fat/FatFoundEntry.h"
#include "fat/FatFreeSpace.h"
#include "fat/FatLabel.h"
#include "fat/FatMount.h"
#include "fat/FatScan.h"
#include "fat/LostFolders.h"
#include "volume/LeReader.h"

namespace rekkon {

namespace {

BootSectorProbe probeFat(std::span<const std::uint8_t> boot) {
    const auto fat = parseFatBootSector(boot);
    if (!fat) return {};
    BootSectorProbe found;
    found.name = fat->geometry.fatBits == 12   ? "FAT12"
                 : fat->geometry.fatBits == 16 ? "FAT16"
                                               : "FAT32";
    // A boot sector starts with an x86 jump; a partition table's sector need not.
    const LeReader r(boot);
    const std::uint8_t jump = r.u8(0).value_or(0);
    found.certain = (jump == 0xEB && r.u8(2).value_or(0) == 0x90) || jump == 0xE9;
    return found;
}

bool namesFat(const std::string& platformName) {
    return platformName.find("FAT") != std::string::npos && platformName != "exFAT";
}

std::unique_ptr<FileSystem> mountFatVolume(VolumeContext& volume) {
    FatGeometry geometry;
    if (mountFatOnOpenDevice(volume, geometry) != 1) return nullptr;
    return std::make_unique<FatFileSystem>(volume, geometry);
}

// Whether `folder` (as a scan request gives it, perhaps after "X:") names the root.
bool namesRoot(std::string folder) {
    if (const auto colon = folder.find(':'); colon != std::string::npos) folder.erase(0, colon + 1);
    return std::all_of(folder.begin(), folder.end(),
                       [](char ch) { return ch == '\\' || ch == '/'; });
}

}  // namespace

FileSystemType fatFileSystemType() {
    return {"FAT", probeFat, namesFat, mountFatVolume};
}

std::string FatFileSystem::name() const {
    return fat_.geometry.fatBits == 12 ? "FAT12" : fat_.geometry.fatBits == 16 ? "FAT16" : "FAT32";
}

FileSystemCapabilities FatFileSystem::capabilities() const {
    FileSystemCapabilities can;
    can.foldersChoosable = true;
    can.namesLoseFirstChar = true;
    can.longNames = true;
    can.lostFolderSearch = true;
    return can;
}

std::string FatFileSystem::label() {
    return fatVolumeLabel(fat_);
}

std::vector<GeometryLine> FatFileSystem::geometry() {
    const FatGeometry& g = fat_.geometry;
    // Counts are shown in the volume's own sectors, as its boot sector states them.
    const std::uint64_t scale = std::max<std::uint64_t>(g.bytesPerSector / kSectorSize, 1);
    const auto n = [](std::uint64_t value) { return std::to_string(value); };
    std::vector<GeometryLine> lines = {
        {"Bytes per sector", n(g.bytesPerSector)},
        {"Total sectors", n(g.totalSectors / scale)},
        {"Sectors per cluster", n(g.sectorsPerCluster / scale)},
        {"Cluster size", n(g.clusterBytes())},
        {"Reserved sectors", n(g.reservedSectors / scale)},
        {"FAT count", n(g.fatCount)},
        {"Sectors per FAT", n(g.sectorsPerFat / scale)},
    };
    if (g.fatBits == 32)
        lines.emplace_back("Root cluster", n(g.rootCluster));
    else
        lines.emplace_back("Root cluster", "fixed root area (" + n(g.rootEntryCount) +
                                               " entries, " + n(g.rootDirSectors / scale) +
                                               " sectors)");
    lines.emplace_back("First data sector", n(g.firstDataSector / scale));
    lines.emplace_back("Data clusters", n(g.clusterCount()));
    return lines;
}

ScanOutcome FatFileSystem::scan(const ScanRequest& request, FoundListBuilder& builder) {
    ScanOutcome outcome;
    outcome.folderDepthLimit = kMaxScanDepth;
    outcome.lostEntryLimit = kMaxLostFolderEntries;
    FatVolume& volume = fat_;
    const FatFoundSink found = [&builder](FatFoundFile f) {
        builder.addFile(toDeletedFileEntry(f));
    };
    FatScanRecord record;
    FatScanStats stats;
    if (scanFat(volume, request.folder, found, request.deep ? &record : nullptr, &stats,
                kMaxScanDepth, request.cancel) != 0) {
        outcome.folderNotFound = true;
        return outcome;
    }
    outcome.foldersNotEntered = stats.foldersNotEntered;
    outcome.cancelled = stats.cancelled;
    if (!request.deep || outcome.cancelled) return outcome;

    // A scan of one folder keeps the files of lost folders whose folder is known to lie there.
    const bool wholeVolume = namesRoot(request.folder);
    std::string target = request.folder;
    if (const auto colon = target.find(':'); colon != std::string::npos) target.erase(0, colon + 1);
    int shown = -1;
    const LostFolderProgress progress = [&](std::uint64_t done, std::uint64_t total) {
        const int percent = total == 0 ? 100 : static_cast<int>(done * 100 / total);
        if (percent == shown) return;
        shown = percent;
        request.say(lostFolderProgressText(builder.count(), percent));
    };
    const LostFatSink lost = [&](LostFatFile f) {
        if (!wholeVolume && !folderWithin(f.file.folder, target)) return;
        builder.addFile(toDeletedFileEntry(f.file, kFatLostFolderOrigin));
    };
    // Said before the first window is read, which on a large volume takes a while.
    progress(0, 1);
    const LostFolderStats lostStats =
        findLostFolders(volume, record, lost, progress, kMaxLostFolderEntries, nullptr,
                        request.cancel, &request.freeClusters);
    outcome.lostEntriesLeftOut = lostStats.entriesLeftOut;
    outcome.cancelled = lostStats.cancelled;
    outcome.freeClustersHanded = request.freeClusters && !lostStats.cancelled;
    return outcome;
}

std::unique_ptr<FileDataHandle> FatFileSystem::openData(const DeletedFileEntry& entry,
                                                        DataOpenError& why) {
    auto data = openFatFileData(fat(), entry.location, entry.size);
    why = data ? DataOpenError::None : DataOpenError::CannotLocate;
    return data;
}

std::vector<LiveFolder> FatFileSystem::liveFolders(std::uint64_t id) {
    std::vector<LiveFolder> folders;
    if (id > fat_.geometry.maxCluster()) return folders;
    for (FatFolder& f : listLiveFolders(fat_, static_cast<std::uint32_t>(id)))
        folders.push_back({std::move(f.shortName), std::move(f.longName), f.cluster});
    return folders;
}

std::unique_ptr<FreeSpaceMap> FatFileSystem::freeSpace() {
    return std::make_unique<FatFreeSpace>(fat_);
}

std::optional<std::uint64_t> FatFileSystem::dataOffset(const DeletedFileEntry& entry) const {
    if (entry.location < 2 || entry.location > fat_.geometry.maxCluster()) return std::nullopt;
    return fat_.geometry.clusterSector(static_cast<std::uint32_t>(entry.location)) * kSectorSize;
}

int FatFileSystem::folderDepthLimit() const {
    return kMaxScanDepth;
}

}  // namespace rekkon
