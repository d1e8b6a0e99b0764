#include "exfat/ExfatFileSystem.h"

#include <algorithm>

#include "exfat/ExfatFreeSpace.h"
#include "exfat/ExfatLostFolders.h"
#include "exfat/ExfatScan.h"

namespace rekkon {

namespace {

BootSectorProbe probeExfat(std::span<const std::uint8_t> boot) {
    if (!parseExfatBootSector(boot)) return {};
    return {"exFAT", true};
}

bool namesExfat(const std::string& platformName) {
    return platformName == "exFAT" || platformName == "exfat";
}

std::unique_ptr<FileSystem> mountExfatVolume(VolumeContext& volume) {
    auto exfat = mountExfat(volume);
    if (!exfat) return nullptr;
    return std::make_unique<ExfatFileSystem>(std::move(exfat));
}

}  // namespace

FileSystemType exfatFileSystemType() {
    return {"exFAT", probeExfat, namesExfat, mountExfatVolume};
}

FileSystemCapabilities ExfatFileSystem::capabilities() const {
    FileSystemCapabilities can;
    can.foldersChoosable = true;
    can.lostFolderSearch = true;
    return can;
}

std::uint64_t ExfatFileSystem::rootFolder() const {
    return volume_->geometry.rootCluster;
}

std::vector<LiveFolder> ExfatFileSystem::liveFolders(std::uint64_t id) {
    ExfatFolderPlace place{volume_->geometry.rootCluster, 0, false, false};
    if (id != place.firstCluster) {
        const auto known = folders_.find(id);
        if (known == folders_.end()) return {};
        place = known->second;
    }
    std::vector<LiveFolder> folders;
    for (ExfatLiveFolder& f : listExfatFolders(*volume_, place)) {
        folders_.emplace(f.place.firstCluster, f.place);
        folders.push_back({f.name, std::move(f.name), f.place.firstCluster});
    }
    return folders;
}

std::vector<GeometryLine> ExfatFileSystem::geometry() {
    const ExfatGeometry& g = volume_->geometry;
    const std::uint64_t sector = g.bytesPerSector;
    const auto n = [](std::uint64_t value) { return std::to_string(value); };
    std::vector<GeometryLine> lines = {
        {"Bytes per sector", n(g.bytesPerSector)},
        {"Total sectors", n(g.volumeBytes / sector)},
        {"Sectors per cluster", n(g.bytesPerCluster / sector)},
        {"Cluster size", n(g.bytesPerCluster)},
        {"FAT offset", n(g.fatOffset / sector)},
        {"Sectors per FAT", n(g.fatBytes / sector)},
        {"FAT count", n(g.fatCount)},
        {"Cluster heap offset", n(g.heapOffset / sector)},
        {"Data clusters", n(g.clusterCount)},
        {"Root cluster", n(g.rootCluster)},
        {"Allocation bitmap cluster", n(volume_->bitmapCluster)},
        {"Up-case table cluster", n(volume_->upcaseCluster)},
    };
    if (g.usedBackupBootRegion)
        lines.emplace_back("Damage", "the boot region is damaged; its backup (sector 12) was used");
    if (volume_->bitmapUnavailable)
        lines.emplace_back("Damage",
                           "the allocation bitmap cannot be read; every cluster counts as in use "
                           "when data is estimated");
    if (volume_->usedDefaultUpcase)
        lines.emplace_back("Damage",
                           "the up-case table cannot be read; names are compared with the "
                           "built-in table of the ASCII letters");
    return lines;
}

ScanOutcome ExfatFileSystem::scan(const ScanRequest& request, FoundListBuilder& builder) {
    places_.clear();
    ScanOutcome outcome;
    outcome.folderDepthLimit = kMaxExfatDepth;
    const std::string& folder = request.folder;
    std::string_view origin = kExfatEntryOrigin;
    const ExfatFoundSink found = [&](ExfatFoundFile f) {
        if (!folder.empty() && !folderWithin(f.folder, folder)) return;
        // With locations asked for, no other entry is built (recover --only on a large volume).
        const auto& only = request.only;
        if (!only.empty() && std::find(only.begin(), only.end(), f.set.firstCluster) == only.end())
            return;
        DeletedFileEntry e;
        e.origin = origin;
        e.location = f.set.firstCluster;
        e.slot = f.slot;
        e.attributes = f.set.attributes;
        e.size = f.set.dataLength;
        bool utc = false;
        e.birthTime = e.createTime = f.set.created.fileTime(utc);
        e.writeTime = f.set.modified.fileTime(utc);
        e.timesUtc = utc;
        e.lastAccessTime = e.accessTime = f.set.accessed.fileTime(utc);
        e.name = std::move(f.name);
        e.folder = std::move(f.folder);
        e.status = f.status;
        places_[f.slot] = {f.set.noFatChain, f.set.validDataLength};
        builder.addFile(std::move(e));
    };
    const auto cancelled = [&request] { return request.cancelled(); };
    std::unordered_set<std::uint32_t> walked;
    // A folder asked for must be one the walk entered, live or deleted.
    bool folderSeen = folder.empty();
    const auto entered = [&](const std::string& path) {
        folderSeen = folderSeen || folderWithin(path, folder);
    };
    const ExfatScanStats stats = scanExfat(*volume_, found, cancelled, &walked, entered);
    outcome.foldersNotEntered = stats.foldersNotEntered;
    outcome.cancelled = stats.cancelled;
    if (!folderSeen && !stats.cancelled) {  // nothing was listed: no folder lies within it
        outcome.folderNotFound = true;
        return outcome;
    }
    if (!request.deep || stats.cancelled) return outcome;
    // Free clusters that hold folder content: files whose folder entries are gone.
    origin = kExfatLostFolderOrigin;
    int shown = -1;
    const auto progress = [&](std::uint64_t done, std::uint64_t total) {
        const int percent = total == 0 ? 100 : static_cast<int>(done * 100 / total);
        if (percent == shown) return;
        shown = percent;
        request.say(lostFolderProgressText(builder.count(), percent));
    };
    const ExfatLostStats lost = findExfatLostFolders(*volume_, walked, stats.cutSets, found,
                                                     progress, cancelled, &request.freeClusters);
    outcome.lostEntriesLeftOut = lost.filesLeftOut;
    outcome.lostEntryLimit = kMaxExfatLostFiles;
    outcome.cancelled = lost.cancelled;
    outcome.freeClustersHanded = request.freeClusters && lost.searched;
    return outcome;
}

std::unique_ptr<FileDataHandle> ExfatFileSystem::openData(const DeletedFileEntry& entry,
                                                          DataOpenError& why) {
    // An entry of the last scan: as its set said; else contiguous, wholly valid.
    DataPlace place{false, entry.size};
    if (const auto it = places_.find(entry.slot); it != places_.end()) place = it->second;
    auto data = entry.location > 0xFFFFFFFFu
                    ? nullptr
                    : openExfatFileData(*volume_, static_cast<std::uint32_t>(entry.location),
                                        entry.size, place.validDataLength, place.noFatChain);
    why = data ? DataOpenError::None : DataOpenError::CannotLocate;
    return data;
}

std::unique_ptr<FreeSpaceMap> ExfatFileSystem::freeSpace() {
    if (!volume_->bitmap.available()) return nullptr;
    return std::make_unique<ExfatFreeSpace>(*volume_);
}

std::optional<std::uint64_t> ExfatFileSystem::dataOffset(const DeletedFileEntry& entry) const {
    if (!volume_->geometry.isCluster(entry.location)) return std::nullopt;
    return volume_->geometry.clusterOffset(entry.location);
}

int ExfatFileSystem::folderDepthLimit() const {
    return kMaxExfatDepth;
}

}  // namespace rekkon
