#include "exfat/ExfatVolume.h"

#include <algorithm>
#include <array>

#include "exfat/ExfatEntries.h"
#include "exfat/ExfatFolder.h"
#include "volume/LeReader.h"
#include "volume/TextEncoding.h"

namespace rekkon {

namespace {

constexpr std::uint32_t kFatBad = 0xFFFFFFF7u;
constexpr std::uint32_t kFatEnd = 0xFFFFFFF8u;  // and above
// The main boot region's sectors checked by the checksum in the twelfth.
constexpr std::size_t kBootRegionSectors = 11;

// The geometry of the boot region that starts `sector` sectors (of its own size) into the
// volume: its boot sector must parse and the region's checksum match.
std::optional<ExfatGeometry> readBootRegion(VolumeContext& volume, std::uint64_t regionSector,
                                            std::optional<std::uint32_t> sectorBytes) {
    std::vector<std::uint8_t> boot(512);
    const std::uint64_t at512 = sectorBytes ? regionSector * *sectorBytes : 0;
    if (volume.reader.readAt(0, at512, boot) != boot.size()) return std::nullopt;
    auto g = parseExfatBootSector(boot);
    if (!g || (sectorBytes && g->bytesPerSector != *sectorBytes)) return std::nullopt;
    std::vector<std::uint8_t> region((kBootRegionSectors + 1) * g->bytesPerSector);
    if (volume.reader.readAt(0, regionSector * g->bytesPerSector, region) != region.size())
        return std::nullopt;
    const std::span<const std::uint8_t> bytes(region);
    const std::uint32_t sum =
        exfatBootChecksum(bytes.first(kBootRegionSectors * g->bytesPerSector));
    const LeReader r(bytes.subspan(kBootRegionSectors * g->bytesPerSector));
    for (std::size_t i = 0; i < g->bytesPerSector; i += 4)
        if (r.u32(i).value_or(~sum) != sum) return std::nullopt;
    return g;
}

}  // namespace

ExfatBitmap::ExfatBitmap(VolumeContext& volume, const ExfatGeometry& geometry,
                         std::vector<ExfatRun> runs, std::uint64_t bytes)
    : volume_(&volume), geometry_(geometry), runs_(std::move(runs)), bytes_(bytes) {}

const std::vector<std::uint8_t>* ExfatBitmap::page(std::uint64_t index) {
    if (auto it = pages_.find(index); it != pages_.end()) return &it->second;
    if (pages_.size() >= kMaxPages) pages_.clear();
    const std::uint64_t start = index * kPageBytes;
    if (start >= bytes_) return nullptr;
    std::vector<std::uint8_t> bytes(
        static_cast<std::size_t>(std::min<std::uint64_t>(kPageBytes, bytes_ - start)));
    // The page's bytes, run by run: a page may cross from one cluster of the bitmap to another.
    std::size_t filled = 0;
    std::uint64_t runStart = 0;
    for (const ExfatRun& run : runs_) {
        const std::uint64_t runBytes = run.count * geometry_.bytesPerCluster;
        const std::uint64_t want = start + filled;
        if (want < runStart + runBytes) {
            const std::uint64_t inRun = want - runStart;
            const auto n = static_cast<std::size_t>(
                std::min<std::uint64_t>(bytes.size() - filled, runBytes - inRun));
            const std::uint64_t offset = geometry_.clusterOffset(run.first) + inRun;
            if (volume_->reader.readAt(0, offset, std::span(bytes).subspan(filled, n)) != n)
                return nullptr;
            filled += n;
            if (filled == bytes.size()) break;
        }
        runStart += runBytes;
    }
    if (filled != bytes.size()) return nullptr;
    return &pages_.emplace(index, std::move(bytes)).first->second;
}

bool ExfatBitmap::isFree(std::uint32_t cluster) {
    if (!geometry_.isCluster(cluster)) return false;
    const std::uint64_t bit = cluster - 2;
    const auto* p = page(bit / 8 / kPageBytes);
    if (p == nullptr) return false;
    const std::size_t byte = static_cast<std::size_t>(bit / 8 % kPageBytes);
    return byte < p->size() && ((*p)[byte] >> (bit % 8) & 1) == 0;
}

std::uint64_t ExfatBitmap::countFree(std::uint32_t first, std::uint64_t count) {
    std::uint64_t free = 0;
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t c = std::uint64_t{first} + i;
        if (c > geometry_.lastCluster()) break;
        free += isFree(static_cast<std::uint32_t>(c)) ? 1 : 0;
    }
    return free;
}

std::optional<std::uint32_t> ExfatVolume::fatEntry(std::uint32_t cluster) {
    std::array<std::uint8_t, 4> bytes{};
    if (std::uint64_t{cluster} * 4 + 4 > geometry.fatBytes) return std::nullopt;
    if (volume.reader.readAt(0, geometry.fatOffset + std::uint64_t{cluster} * 4, bytes) != 4)
        return std::nullopt;
    return LeReader(bytes).u32(0).value_or(0);
}

std::optional<std::vector<ExfatRun>> ExfatVolume::chain(std::uint32_t first,
                                                        std::uint64_t maxClusters) {
    std::vector<ExfatRun> runs;
    std::uint32_t cluster = first;
    for (std::uint64_t n = 0; n < maxClusters; ++n) {
        if (!geometry.isCluster(cluster)) return std::nullopt;
        if (!runs.empty() && runs.back().first + runs.back().count == cluster)
            ++runs.back().count;
        else
            runs.push_back({cluster, 1});
        const auto link = fatEntry(cluster);
        if (!link || *link == kFatBad || *link == 0) return std::nullopt;
        if (*link >= kFatEnd) return runs;
        cluster = *link;
    }
    // A chain longer than asked for: the runs hold what was asked.
    return runs;
}

std::unique_ptr<ExfatVolume> mountExfat(VolumeContext& volume) {
    auto v = std::make_unique<ExfatVolume>(volume);
    auto g = readBootRegion(volume, 0, std::nullopt);
    if (!g) {
        // The backup region starts at sector 12, of a size the damaged sector no longer says.
        for (std::uint32_t bytes = 512; bytes <= 4096 && !g; bytes *= 2)
            g = readBootRegion(volume, 12, bytes);
        if (!g) return nullptr;
        g->usedBackupBootRegion = true;
    }
    v->geometry = *g;
    volume.bytesPerCluster = g->bytesPerCluster;
    // The root's bitmap, up-case table and label entries.
    ExfatFolderReader root(*v, {g->rootCluster, 0, false, false});
    bool rootRead = false;
    while (const std::uint8_t* e = root.next()) {
        rootRead = true;
        const LeReader r(std::span(e, kExfatEntrySize));
        if (e[0] == kExfatEndOfFolder) break;
        if (e[0] == kExfatBitmapEntry && v->bitmapCluster == 0 && (e[1] & 1) == 0) {
            v->bitmapCluster = r.u32(20).value_or(0);
            v->bitmapBytes = r.u64(24).value_or(0);
        } else if (e[0] == kExfatUpcaseEntry && v->upcaseCluster == 0) {
            v->upcaseChecksum = r.u32(4).value_or(0);
            v->upcaseCluster = r.u32(20).value_or(0);
            v->upcaseBytes = r.u64(24).value_or(0);
        } else if (e[0] == kExfatLabelEntry && v->label.empty()) {
            const std::size_t chars = std::min<std::size_t>(e[1], 11);
            std::vector<std::uint16_t> units;
            for (std::size_t c = 0; c < chars; ++c)
                units.push_back(r.u16(2 + c * 2).value_or(0));
            v->label = utf16ToUtf8(units);
        }
    }
    if (!rootRead) return nullptr;
    // A bitmap that covers every cluster, where its chain (or its run) can be read.
    const std::uint64_t needed = (std::uint64_t{g->clusterCount} + 7) / 8;
    if (g->isCluster(v->bitmapCluster) && v->bitmapBytes >= needed) {
        const std::uint64_t clusters = (needed + g->bytesPerCluster - 1) / g->bytesPerCluster;
        auto runs = v->chain(v->bitmapCluster, clusters);
        if (!runs) runs = std::vector<ExfatRun>{{v->bitmapCluster, clusters}};
        if (runs->back().first + runs->back().count - 1 <= g->lastCluster())
            v->bitmap = ExfatBitmap(volume, *g, std::move(*runs), needed);
    }
    v->bitmapUnavailable = !v->bitmap.available();
    v->usedDefaultUpcase = !readExfatUpcase(*v, v->upcaseChecksum, v->upcase);
    return v;
}

}  // namespace rekkon
