#include "exfat/ExfatLostFolders.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

#include "exfat/ExfatFolder.h"
#include "exfat/ExfatUpcase.h"
#include "volume/TextEncoding.h"

namespace rekkon {

namespace {

bool verifies(const ExfatEntrySet& s, const ExfatVolume& volume) {
    return s.checksumOk && s.nameHash == exfatNameHash(s.name, volume.upcase);
}

std::string utf8Name(const std::u16string& name) {
    std::vector<std::uint16_t> units(name.begin(), name.end());
    return utf16ToUtf8(units);
}

// A lost folder's path is worked out through at most this many parents; one farther up is shown
// as "<lost folder CLUSTER>".
constexpr std::size_t kMaxLostPathDepth = 64;

// The paths of lost folder clusters: a cluster is a folder's first cluster where a folder entry
// set found in another lost cluster points at it (that cluster is then its parent), or continues
// a folder the walk knows.
class LostPaths {
  public:
    void folderIn(std::uint32_t parent, const ExfatEntrySet& set) {
        folders_.try_emplace(set.firstCluster, Folder{parent, utf8Name(set.name)});
    }
    void known(std::uint32_t cluster, const std::string& path) { paths_[cluster] = path; }

    const std::string& pathOf(std::uint32_t cluster) {
        if (const auto it = paths_.find(cluster); it != paths_.end()) return it->second;
        std::vector<const std::string*> names;  // the folder names from `cluster` upwards
        std::vector<std::uint32_t> seen;        // the clusters met on the way
        std::uint32_t top = cluster;
        std::string base;
        for (;;) {
            if (const auto it = paths_.find(top); it != paths_.end()) {
                base = it->second;
                break;
            }
            const auto up = folders_.find(top);
            if (up == folders_.end() || names.size() >= kMaxLostPathDepth ||
                std::find(seen.begin(), seen.end(), top) != seen.end()) {
                base = "<lost folder " + std::to_string(top) + ">";
                break;
            }
            seen.push_back(top);
            names.push_back(&up->second.name);
            top = up->second.parent;
        }
        for (auto it = names.rbegin(); it != names.rend(); ++it)
            base = (base == "\\" ? "" : base) + "\\" + **it;
        return paths_.emplace(cluster, std::move(base)).first->second;
    }

  private:
    struct Folder {
        std::uint32_t parent;
        std::string name;
    };
    std::unordered_map<std::uint32_t, Folder> folders_;
    std::unordered_map<std::uint32_t, std::string> paths_;
};

}  // namespace

ExfatLostStats findExfatLostFolders(
    ExfatVolume& volume, const std::unordered_set<std::uint32_t>& walked,
    std::vector<ExfatCutSet> cutSets, const ExfatFoundSink& found,
    const std::function<void(std::uint64_t, std::uint64_t)>& progress,
    const std::function<bool()>& cancelled,
    const std::function<void(std::uint64_t, std::span<const std::uint8_t>)>* visit) {
    ExfatLostStats stats;
    const ExfatGeometry& g = volume.geometry;
    if (!volume.bitmap.available() || g.bytesPerCluster > (std::uint64_t{1} << 25)) return stats;
    std::vector<std::uint8_t> cluster(static_cast<std::size_t>(g.bytesPerCluster));
    // The files found, with the cluster that holds their set: they are handed to `found` at the
    // end, when every lost folder's name has been met.
    std::vector<std::pair<ExfatFoundFile, std::uint32_t>> kept;
    LostPaths paths;
    // Keeps one file found, up to kMaxExfatLostFiles.
    const auto hand = [&](const ExfatEntrySet& set, std::uint32_t where, std::uint64_t slot) {
        if (kept.size() >= kMaxExfatLostFiles) {
            ++stats.filesLeftOut;
            return;
        }
        ExfatFoundFile f;
        f.set = set;
        f.set.deleted = true;
        f.name = utf8Name(set.name);
        f.slot = slot;
        f.status = estimateExfatFile(volume, f.set);
        kept.emplace_back(std::move(f), where);
    };
    // Hands the files kept to `found`, each with its folder's path (a cancelled search too).
    const auto report = [&] {
        for (auto& [file, folderCluster] : kept) {
            file.folder = paths.pathOf(folderCluster);
            if (found) found(std::move(file));
        }
    };
    const std::uint64_t total = g.clusterCount;
    for (std::uint32_t c = 2; c <= g.lastCluster(); ++c) {
        if ((c & 0xFF) == 0) {
            if (cancelled && cancelled()) {
                stats.cancelled = true;
                report();
                return stats;
            }
            if (progress) progress(c - 2, total);
        }
        if (walked.contains(c) || !volume.bitmap.isFree(c)) continue;
        ++stats.clustersExamined;
        const bool read =
            volume.volume.reader.readAt(0, g.clusterOffset(c), cluster) == cluster.size();
        if (visit && *visit)
            (*visit)(g.clusterOffset(c), read ? std::span<const std::uint8_t>(cluster)
                                              : std::span<const std::uint8_t>());
        if (!read || !readsAsExfatFolder(cluster)) continue;
        ++stats.folderClusters;
        std::size_t first = 0;  // where the sets that start in this cluster begin
        // The rest of a set a deleted folder's last readable cluster ended in.
        if ((cluster[0] | kExfatInUse) == kExfatStreamEntry ||
            (cluster[0] | kExfatInUse) == kExfatNameEntry) {
            for (ExfatCutSet& cut : cutSets) {
                const int length = exfatSetLength(std::span<const std::uint8_t, kExfatEntrySize>(
                    cut.start.data(), kExfatEntrySize));
                const std::size_t whole = std::size_t(length) * kExfatEntrySize;
                if (cut.start.empty() || whole <= cut.start.size() ||
                    whole - cut.start.size() > cluster.size())
                    continue;
                std::vector<std::uint8_t> joined = cut.start;
                joined.insert(
                    joined.end(), cluster.begin(),
                    cluster.begin() + static_cast<std::ptrdiff_t>(whole - cut.start.size()));
                const auto s = parseExfatEntrySet(joined);
                if (!s || !verifies(*s, volume)) continue;
                paths.known(c, cut.folder);
                first = whole - cut.start.size();
                if (s->isFolder())
                    paths.folderIn(c, *s);
                else
                    hand(*s, c, std::uint64_t{cut.folderCluster} << 23 | (cut.index & 0x7FFFFF));
                cut.start.clear();  // joined once
                break;
            }
        }
        // The sets that start and end in this cluster.
        for (std::size_t at = first; at + kExfatEntrySize <= cluster.size();
             at += kExfatEntrySize) {
            const int length = exfatSetLength(std::span<const std::uint8_t, kExfatEntrySize>(
                cluster.data() + at, kExfatEntrySize));
            const std::size_t bytes = std::size_t(length) * kExfatEntrySize;
            if (length == 0 || at + bytes > cluster.size()) continue;
            const auto s = parseExfatEntrySet(std::span(cluster).subspan(at, bytes));
            if (!s || !verifies(*s, volume)) continue;
            // Within a cut folder's cluster the index is not known: the cluster's own number
            // keeps the slot apart from the folder's first cluster's entries.
            if (s->isFolder())
                paths.folderIn(c, *s);
            else
                hand(*s, c, std::uint64_t{c} << 23 | (at / kExfatEntrySize));
            at += bytes - kExfatEntrySize;
        }
    }
    report();
    if (progress) progress(total, total);
    stats.searched = true;
    return stats;
}

}  // namespace rekkon
