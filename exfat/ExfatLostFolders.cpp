#include "exfat/ExfatLostFolders.h"

#include <vector>

#include "exfat/ExfatFolder.h"
#include "exfat/ExfatUpcase.h"
#include "volume/TextEncoding.h"

namespace rekkon {

ExfatLostStats findExfatLostFolders(
    ExfatVolume& volume, const std::unordered_set<std::uint32_t>& walked,
    const ExfatFoundSink& found, const std::function<void(std::uint64_t, std::uint64_t)>& progress,
    const std::function<bool()>& cancelled) {
    ExfatLostStats stats;
    const ExfatGeometry& g = volume.geometry;
    if (!volume.bitmap.available() || g.bytesPerCluster > (std::uint64_t{1} << 25)) return stats;
    std::vector<std::uint8_t> cluster(static_cast<std::size_t>(g.bytesPerCluster));
    std::size_t kept = 0;
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
        if (volume.volume.reader.readAt(0, g.clusterOffset(c), cluster) != cluster.size() ||
            !readsAsExfatFolder(cluster))
            continue;
        ++stats.folderClusters;
        // The sets that start and end in this cluster.
        for (std::size_t at = 0; at + kExfatEntrySize <= cluster.size(); at += kExfatEntrySize) {
            const int length = exfatSetLength(std::span<const std::uint8_t, kExfatEntrySize>(
                cluster.data() + at, kExfatEntrySize));
            const std::size_t bytes = std::size_t(length) * kExfatEntrySize;
            if (length == 0 || at + bytes > cluster.size()) continue;
            const auto s = parseExfatEntrySet(std::span(cluster).subspan(at, bytes));
            if (!s || s->isFolder() || !s->checksumOk ||
                s->nameHash != exfatNameHash(s->name, volume.upcase))
                continue;
            if (kept >= kMaxExfatLostFiles) {
                ++stats.filesLeftOut;
                continue;
            }
            ++kept;
            ExfatFoundFile f;
            f.set = *s;
            f.set.deleted = true;
            std::vector<std::uint16_t> units(s->name.begin(), s->name.end());
            f.name = utf16ToUtf8(units);
            f.folder = "<lost folder " + std::to_string(c) + ">";
            f.slot = std::uint64_t{c} << 23 | (at / kExfatEntrySize);
            f.status = estimateExfatFile(volume, f.set);
            if (found) found(std::move(f));
            at += bytes - kExfatEntrySize;
        }
    }
    if (progress) progress(total, total);
    return stats;
}

}  // namespace rekkon
