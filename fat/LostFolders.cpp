#include "fat/LostFolders.h"

#include <algorithm>
#include <map>
#include <set>
#include <unordered_set>
#include <vector>

#include "fat/DeletedLongName.h"
#include "fat/FatFreeSpace.h"
#include "fat/FatTable.h"
#include "fat/FolderClusterCheck.h"
#include "fs/FileSystem.h"
#include "volume/SectorDevice.h"
#include "volume/TextEncoding.h"

namespace rekkon {

namespace {

// A lost folder's path is worked out through at most this many ".." links (each memoised path
// holds them all); a parent farther up is shown as "<lost folder CLUSTER>".
constexpr int kMaxLostPathDepth = 64;

std::string joinPath(const std::string& parent, const std::string& name) {
    return (parent == "\\" ? "" : parent) + "\\" + name;
}

// The shown name of a short entry: '?' for the deleted mark, 0x05 for a real 0xE5.
std::string entryName(DirEntry e, bool deleted) {
    if (deleted)
        e.name[0] = '?';
    else if (e.name[0] == kKanjiE5Marker)
        e.name[0] = kDeletedMarker;
    return cp437ToUtf8(e.displayBytes());
}

class LostFolderSearch {
  public:
    LostFolderSearch(FatVolume& fat, const FatScanRecord& record, std::size_t maxEntries,
                     BulkReader& bulk)
        : fat_(fat), record_(record), maxEntries_(maxEntries), bulk_(bulk) {
        limits_ = folderClusterLimits(fat);
        noteReached();
    }

    void search(const LostFolderProgress& progress, const ScanCancel* cancel,
                const FreeClusterVisitor* visit);
    void report(const LostFatSink& found);
    const LostFolderStats& stats() const { return stats_; }

  private:
    void noteReached();
    void examine(std::uint32_t cluster, std::span<const std::uint8_t> bytes);
    // Whether the file was kept.
    bool keepFile(std::uint32_t cluster, const FolderSlot& slot);
    // Joins the long names split across two folder clusters, and so the folders of the clusters.
    void joinSplitNames();
    // Whether one more item fits in a collection of `size`; counts it left out when not.
    bool roomFor(std::size_t size) {
        if (size < maxEntries_) return true;
        ++stats_.entriesLeftOut;
        return false;
    }
    // Whether the scan read `cluster` as folder content; asked for in ascending cluster order.
    bool reached(std::uint64_t cluster) {
        while (nextReached_ < reached_.size() && reached_[nextReached_] < cluster)
            ++nextReached_;
        return nextReached_ < reached_.size() && reached_[nextReached_] == cluster;
    }
    const std::string& pathOf(std::uint32_t cluster, int depth = 0);

    // A file found, with the first cluster of the folder cluster it lies in.
    struct KeptFile {
        std::uint32_t folderCluster = 0;
        LostFatFile file;  // folder not yet filled in
    };

    FatVolume& fat_;
    const FatScanRecord& record_;
    std::size_t maxEntries_;
    BulkReader& bulk_;
    FolderClusterLimits limits_;
    LostFolderStats stats_;
    // Clusters the scan read as folder content, ascending; they are not searched again.
    std::vector<std::uint32_t> reached_;
    std::size_t nextReached_ = 0;
    // The scan's folders by first cluster, with their paths (0: the root, as ".." names it).
    std::map<std::uint32_t, std::string> known_;
    // Files found, in disk order, and (first cluster, name) of each, so that a file is kept once.
    std::vector<KeptFile> files_;
    std::set<std::pair<std::uint32_t, std::string>> kept_;
    // The first clusters of lost folders (they open with "." and ".."), with what ".." names.
    std::map<std::uint32_t, std::uint32_t> parents_;
    // Names of lost folders, from a folder entry pointing at their first cluster.
    std::map<std::uint32_t, std::string> names_;
    // Long names cut at a cluster's end (by cluster), and the first entries of clusters that may
    // end such a name (with the kept file they are, if one is): joined once the search is done.
    struct Head {
        std::uint32_t cluster = 0;
        std::size_t file = 0;  // in files_
        NameHead name;
    };
    std::map<std::uint32_t, NamePart> tails_;
    std::vector<Head> heads_;
    // Folder clusters that continue the folder of another cluster (its name goes on there).
    std::map<std::uint32_t, std::uint32_t> continues_;
    std::map<std::uint32_t, std::string> paths_;   // paths worked out so far
    std::unordered_set<std::uint32_t> resolving_;  // guards against ".." cycles
};

void LostFolderSearch::noteReached() {
    known_[0] = "\\";
    known_[fat_.geometry.rootCluster] = "\\";
    const std::uint64_t clusterBytes = fat_.geometry.clusterBytes();
    FatTableWindow table(fat_);
    for (const ScannedFolder& folder : record_.folders) {
        known_.emplace(folder.cluster, folder.path);
        // A live folder's chain is in use, so never among the free clusters searched. A deleted
        // one was read from its first cluster on through the free clusters above it.
        if (!folder.deleted || clusterBytes == 0) continue;
        const std::uint64_t members =
            std::max<std::uint64_t>(1, (folder.examinedBytes + clusterBytes - 1) / clusterBytes);
        std::uint32_t member = folder.cluster;
        for (std::uint64_t i = 0; i < members && member != 0; ++i) {
            reached_.push_back(member);
            member =
                member >= limits_.maxCluster ? 0 : table.nextFree(member + 1, limits_.maxCluster);
        }
    }
    std::sort(reached_.begin(), reached_.end());
}

void LostFolderSearch::search(const LostFolderProgress& progress, const ScanCancel* cancel,
                              const FreeClusterVisitor* visit) {
    FatFreeSpace space(fat_);
    const std::uint64_t clusterBytes = space.clusterBytes();
    if (clusterBytes == 0 || space.clusterCount() == 0) return;
    const std::uint64_t last = space.clusterCount() + 1;
    const std::uint64_t windowClusters = bulk_.windowUnits(clusterBytes);
    const std::uint64_t total = last - 1;
    const auto each = [this, visit](std::uint64_t first) {
        return [this, visit, first](std::uint64_t i, std::span<const std::uint8_t> bytes) {
            const auto cluster = static_cast<std::uint32_t>(first + i);
            ++stats_.freeClusters;
            if (bytes.empty())
                ++stats_.unreadableClusters;
            else
                examine(cluster, bytes);
            if (visit && *visit)
                (*visit)(fat_.geometry.clusterSector(cluster) * kSectorSize, bytes);
        };
    };
    std::uint64_t cluster = 2;
    while (cluster <= last) {
        const auto run = space.nextFreeRun(cluster, windowClusters);
        if (!run) break;
        // The run's clusters the scan did not read as folder content, each stretch read at once.
        std::uint64_t c = run->first;
        while (c < run->end()) {
            if (reached(c)) {
                ++c;
                continue;
            }
            if (cancel != nullptr && cancel->requested()) {
                stats_.cancelled = true;
                return;
            }
            const std::uint64_t start = c;
            while (c < run->end() && !reached(c))
                ++c;
            const std::uint64_t sector =
                fat_.geometry.clusterSector(static_cast<std::uint32_t>(start));
            bulk_.read(fat_.volume.reader, sector, c - start, clusterBytes, each(start));
            if (progress) progress(c - 2, total);
        }
        cluster = run->end();
    }
    if (progress) progress(total, total);
}

void LostFolderSearch::examine(std::uint32_t cluster, std::span<const std::uint8_t> bytes) {
    auto folder = readFolderCluster(bytes, cluster, limits_);
    if (!folder) return;
    ++stats_.folderClusters;
    if (folder->first && roomFor(parents_.size())) parents_.emplace(cluster, folder->parentCluster);
    if (folder->tail && roomFor(tails_.size())) tails_.emplace(cluster, *folder->tail);
    for (std::size_t i = 0; i < folder->entries.size(); ++i) {
        const FolderSlot& slot = folder->entries[i];
        const std::uint32_t child = slot.entry.firstCluster(limits_.kind);
        if (!slot.entry.isFolder()) {
            const std::size_t at = files_.size();
            if (keepFile(cluster, slot) && folder->head && folder->head->entry == i &&
                roomFor(heads_.size()))
                heads_.push_back({cluster, at, *folder->head});
            continue;
        }
        if (names_.contains(child) || !roomFor(names_.size())) continue;
        names_.emplace(child, slot.longName ? *slot.longName : entryName(slot.entry, slot.deleted));
    }
}

bool LostFolderSearch::keepFile(std::uint32_t cluster, const FolderSlot& slot) {
    const DirEntry& e = slot.entry;
    const std::uint32_t first = e.firstCluster(limits_.kind);
    if (first < 2) return false;
    std::string name = entryName(e, slot.deleted);
    if (record_.listed.contains({first, name}) || kept_.contains({first, name})) return false;
    const int status = estimateFatStatus(fat_, e);
    if (status < 0 || !roomFor(files_.size())) return false;
    kept_.emplace(first, name);
    KeptFile kept;
    kept.folderCluster = cluster;
    FatFoundFile& f = kept.file.file;
    f.firstCluster = first;
    f.attributes = e.attributes;
    f.size = e.size;
    f.time = dosDateTimeToFileTime(e.writeDate != 0 ? e.writeDate : e.createDate,
                                   e.writeTime != 0 ? e.writeTime : e.createTime);
    f.createdTime = createdFileTime(e);
    f.name = std::move(name);
    f.score = status;
    kept.file.longName = f.longName = slot.longName;
    f.longNameCut = slot.longNameCut;
    if (slot.firstByte) f.firstChar = firstCharText(*slot.firstByte);
    f.lowerCaseBase = e.lowerCaseBase();
    f.slot = std::uint64_t{cluster} << 16 | (slot.index & 0xFFFF);
    files_.push_back(std::move(kept));
    return true;
}

void LostFolderSearch::joinSplitNames() {
    // Tails by checksum and lowest piece number, each list in ascending cluster order.
    std::map<std::pair<std::uint8_t, std::uint8_t>, std::vector<std::uint32_t>> byKey;
    for (const auto& [cluster, tail] : tails_)
        byKey[{tail.checksum, tail.lowest}].push_back(cluster);
    for (const Head& head : heads_) {
        const NameHead& h = head.name;
        // The tail the name starts in: of the same checksum, numbered to meet this cluster's
        // pieces (or ending with piece 1 where there are none), the nearest before the cluster
        // (else the first after it).
        if (h.rest && h.rest->lowest != 1) continue;
        const auto key =
            std::make_pair(h.checksum, static_cast<std::uint8_t>(h.rest ? h.rest->highest + 1 : 1));
        const auto list = byKey.find(key);
        if (list == byKey.end()) continue;
        const std::vector<std::uint32_t>& clusters = list->second;
        auto at = std::lower_bound(clusters.begin(), clusters.end(), head.cluster);
        std::optional<std::uint32_t> from;
        if (at != clusters.begin())
            from = *std::prev(at);
        else if (at != clusters.end() && *at == head.cluster && std::next(at) != clusters.end())
            from = *std::next(at);
        else if (at != clusters.end() && *at != head.cluster)
            from = *at;
        if (!from) continue;
        std::vector<std::uint16_t> units = tails_.at(*from).units;
        if (h.rest) units.insert(units.end(), h.rest->units.begin(), h.rest->units.end());
        LostFatFile& file = files_[head.file].file;
        file.longName = file.file.longName = utf16ToUtf8(units);
        continues_.emplace(head.cluster, *from);
    }
}

const std::string& LostFolderSearch::pathOf(std::uint32_t cluster, int depth) {
    if (auto it = known_.find(cluster); it != known_.end()) return it->second;
    if (auto it = paths_.find(cluster); it != paths_.end()) return it->second;
    // A later cluster of a folder whose first one is known through a name split between them.
    if (const auto up = continues_.find(cluster); up != continues_.end()) {
        std::string path = lostFolderName(cluster);
        if (depth < kMaxLostPathDepth && resolving_.insert(cluster).second) {
            if (!resolving_.contains(up->second)) path = pathOf(up->second, depth + 1);
            resolving_.erase(cluster);
        }
        return paths_.emplace(cluster, path).first->second;
    }
    const auto parent = parents_.find(cluster);
    std::string path = lostFolderName(cluster);
    // A folder's first cluster: under its parent, by the name an entry gives it. A ".." that
    // leads back to a folder being worked out, or past kMaxLostPathDepth levels, shows that parent
    // as not known.
    if (parent != parents_.end() && resolving_.insert(cluster).second) {
        const std::uint32_t up = parent->second;
        const auto name = names_.find(cluster);
        const std::string parentPath = resolving_.contains(up) || depth >= kMaxLostPathDepth
                                           ? lostFolderName(up)
                                           : pathOf(up, depth + 1);
        path = joinPath(parentPath, name != names_.end() ? name->second : path);
        resolving_.erase(cluster);
    }
    return paths_.emplace(cluster, path).first->second;
}

void LostFolderSearch::report(const LostFatSink& found) {
    joinSplitNames();
    for (KeptFile& kept : files_) {
        kept.file.file.folder = pathOf(kept.folderCluster);
        if (found) found(std::move(kept.file));
    }
    files_.clear();
}

}  // namespace

std::string lostFolderName(std::uint32_t cluster) {
    return "<lost folder " + std::to_string(cluster) + ">";
}

LostFolderStats findLostFolders(FatVolume& fat, const FatScanRecord& record,
                                const LostFatSink& found, const LostFolderProgress& progress,
                                std::size_t maxEntries, BulkReader* bulk, const ScanCancel* cancel,
                                const FreeClusterVisitor* visit) {
    BulkReader own;
    LostFolderSearch search(fat, record, maxEntries, bulk != nullptr ? *bulk : own);
    search.search(progress, cancel, visit);
    search.report(found);
    return search.stats();
}

}  // namespace rekkon
