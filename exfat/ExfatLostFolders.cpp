#include "exfat/ExfatLostFolders.h"

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
    std::size_t kept = 0;
    // Hands one file found to `found`, up to kMaxExfatLostFiles.
    const auto hand = [&](const ExfatEntrySet& set, const std::string& folder, std::uint64_t slot) {
        if (kept >= kMaxExfatLostFiles) {
            ++stats.filesLeftOut;
            return;
        }
        ++kept;
        ExfatFoundFile f;
        f.set = set;
        f.set.deleted = true;
        f.name = utf8Name(set.name);
        f.folder = folder;
        f.slot = slot;
        f.status = estimateExfatFile(volume, f.set);
        if (found) found(std::move(f));
    };
    const std::uint64_t total = g.clusterCount;
    for (std::uint32_t c = 2; c <= g.lastCluster(); ++c) {
        if ((c & 0xFF) == 0) {
            if (cancelled && cancelled()) {
                stats.cancelled = true;
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
        std::string folder = "<lost folder " + std::to_string(c) + ">";
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
                folder = cut.folder;
                first = whole - cut.start.size();
                if (!s->isFolder())
                    hand(*s, folder,
                         std::uint64_t{cut.folderCluster} << 23 | (cut.index & 0x7FFFFF));
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
            if (!s || s->isFolder() || !verifies(*s, volume)) continue;
            // Within a cut folder's cluster the index is not known: the cluster's own number
            // keeps the slot apart from the folder's first cluster's entries.
            hand(*s, folder, std::uint64_t{c} << 23 | (at / kExfatEntrySize));
            at += bytes - kExfatEntrySize;
        }
    }
    if (progress) progress(total, total);
    stats.searched = true;
    return stats;
}

}  // namespace rekkon
