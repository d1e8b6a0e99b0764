#include "exfat/ExfatScan.h"

#include <unordered_set>
#include <vector>

#include "exfat/ExfatFolder.h"
#include "volume/TextEncoding.h"

namespace rekkon {

namespace {

struct Folder {
    ExfatFolderPlace place;
    std::string path;
    int depth = 0;
};

std::string utf8Name(const std::u16string& name) {
    std::vector<std::uint16_t> units(name.begin(), name.end());
    return utf16ToUtf8(units);
}

std::string joinPath(const std::string& parent, const std::string& name) {
    return parent == "\\" ? "\\" + name : parent + "\\" + name;
}

// Gathers into `set` the set whose file entry is `entry` (`length` entries): its secondaries up to
// the set's length, stopping early at another file entry, which starts the next set. Returns the
// entry after them (null at the folder's end).
const std::uint8_t* gatherSet(ExfatFolderReader& reader, const std::uint8_t* entry, int length,
                              std::vector<std::uint8_t>& set) {
    set.assign(entry, entry + kExfatEntrySize);
    entry = reader.next();
    while (entry != nullptr && set.size() < std::size_t(length) * kExfatEntrySize &&
           (entry[0] | kExfatInUse) != kExfatFileEntry) {
        set.insert(set.end(), entry, entry + kExfatEntrySize);
        entry = reader.next();
    }
    return entry;
}

}  // namespace

std::vector<ExfatRun> exfatDataRuns(ExfatVolume& volume, std::uint32_t firstCluster,
                                    std::uint64_t dataLength, bool noFatChain) {
    const ExfatGeometry& g = volume.geometry;
    if (dataLength == 0 || !g.isCluster(firstCluster)) return {};
    const std::uint64_t clusters = (dataLength + g.bytesPerCluster - 1) / g.bytesPerCluster;
    const std::uint64_t room = std::uint64_t{g.lastCluster()} - firstCluster + 1;
    if (!noFatChain && clusters > 1) {
        // A chain the FAT still holds, whole and through free clusters, is where the data was.
        if (auto runs = volume.chain(firstCluster, clusters)) {
            std::uint64_t total = 0, free = 0;
            for (const ExfatRun& run : *runs) {
                total += run.count;
                free += volume.bitmap.countFree(run.first, run.count);
            }
            if (total == clusters && free == total && runs->size() > 1) return *runs;
        }
    }
    return {{firstCluster, std::min(clusters, room)}};
}

std::uint8_t estimateExfatFile(ExfatVolume& volume, const ExfatEntrySet& set) {
    if (set.dataLength == 0) return 255;
    const auto runs = exfatDataRuns(volume, set.firstCluster, set.dataLength, set.noFatChain);
    if (runs.empty()) return 0;
    const std::uint64_t clusters =
        (set.dataLength + volume.geometry.bytesPerCluster - 1) / volume.geometry.bytesPerCluster;
    std::uint64_t free = 0;
    for (const ExfatRun& run : runs)
        free += volume.bitmap.countFree(run.first, run.count);
    if (free == 0) return 0;
    if (free >= clusters) return 255;
    return static_cast<std::uint8_t>(free * 100 / clusters);
}

ExfatScanStats scanExfat(ExfatVolume& volume, const ExfatFoundSink& found,
                         const std::function<bool()>& cancelled,
                         std::unordered_set<std::uint32_t>* folderClusters,
                         const std::function<void(const std::string&)>& entered) {
    ExfatScanStats stats;
    std::vector<Folder> stack;
    std::unordered_set<std::uint32_t> walked;
    stack.push_back({{volume.geometry.rootCluster, 0, false, false}, "\\", 0});
    walked.insert(volume.geometry.rootCluster);
    std::vector<std::uint8_t> set;
    set.reserve(kExfatMaxSetBytes);
    while (!stack.empty()) {
        const Folder folder = std::move(stack.back());
        stack.pop_back();
        if (entered) entered(folder.path);
        ExfatFolderReader reader(volume, folder.place);
        reader.recordClustersIn(folderClusters);
        std::vector<Folder> children;  // walked after this folder, in the order they appear
        const std::uint8_t* entry = reader.next();
        while (entry != nullptr) {
            if (cancelled && cancelled()) {
                stats.cancelled = true;
                return stats;
            }
            if (entry[0] == kExfatEndOfFolder) break;
            const int length = exfatSetLength(
                std::span<const std::uint8_t, kExfatEntrySize>(entry, kExfatEntrySize));
            if (length == 0) {
                entry = reader.next();
                continue;
            }
            const std::uint64_t index = reader.index();
            entry = gatherSet(reader, entry, length, set);
            if (entry == nullptr && set.size() < std::size_t(length) * kExfatEntrySize) {
                if (folder.place.deleted && stats.cutSets.size() < kMaxExfatCutSets)
                    stats.cutSets.push_back({set, folder.path, folder.place.firstCluster, index});
                break;
            }
            const auto s = parseExfatEntrySet(set);
            if (!s) continue;
            const bool deleted = s->deleted || folder.place.deleted;
            if (s->isFolder()) {
                if (!volume.geometry.isCluster(s->firstCluster) || walked.contains(s->firstCluster))
                    continue;
                if (!s->deleted && folder.place.deleted && !s->checksumOk) continue;
                if (folder.depth >= kMaxExfatDepth) {
                    ++stats.foldersNotEntered;
                    continue;
                }
                walked.insert(s->firstCluster);
                children.push_back({{s->firstCluster, s->dataLength, s->noFatChain, deleted},
                                    joinPath(folder.path, utf8Name(s->name)),
                                    folder.depth + 1});
                continue;
            }
            if (!deleted) continue;
            ExfatFoundFile f;
            f.name = utf8Name(s->name);
            f.folder = folder.path;
            f.slot = std::uint64_t{folder.place.firstCluster} << 23 | (index & 0x7FFFFF);
            f.status = s->checksumOk ? estimateExfatFile(volume, *s) : 0;
            f.set = *s;
            if (found) found(std::move(f));
        }
        stack.insert(stack.end(), std::make_move_iterator(children.rbegin()),
                     std::make_move_iterator(children.rend()));
    }
    return stats;
}

std::vector<ExfatLiveFolder> listExfatFolders(ExfatVolume& volume, const ExfatFolderPlace& place) {
    std::vector<ExfatLiveFolder> folders;
    ExfatFolderReader reader(volume, place);
    std::vector<std::uint8_t> set;
    const std::uint8_t* entry = reader.next();
    while (entry != nullptr && folders.size() < kMaxExfatListedFolders) {
        if (entry[0] == kExfatEndOfFolder) break;
        if (entry[0] != kExfatFileEntry) {
            entry = reader.next();
            continue;
        }
        const int length =
            exfatSetLength(std::span<const std::uint8_t, kExfatEntrySize>(entry, kExfatEntrySize));
        entry = gatherSet(reader, entry, length, set);
        const auto s = parseExfatEntrySet(set);
        if (!s || s->deleted || !s->isFolder() || !volume.geometry.isCluster(s->firstCluster))
            continue;
        folders.push_back(
            {utf8Name(s->name), {s->firstCluster, s->dataLength, s->noFatChain, false}});
    }
    return folders;
}

}  // namespace rekkon
