#include "fat/FatTable.h"

#include <algorithm>
#include <array>

#include "volume/LeReader.h"

namespace rekkon {

namespace {

// Copies of the table read at most for an entry the first copy cannot give.
constexpr unsigned kFatCopiesRead = 2;

// Byte position of a cluster's entry in the table, and how many bytes to read for it.
bool entryPosition(const FatGeometry& g, std::uint32_t cluster, std::uint64_t& byte,
                   std::size_t& width) {
    switch (g.fatBits) {
        case 12:
            byte = std::uint64_t{cluster} + cluster / 2;
            width = 2;
            return true;  // packed pairs
        case 16:
            byte = std::uint64_t{cluster} * 2;
            width = 2;
            return true;
        case 32:
            byte = std::uint64_t{cluster} * 4;
            width = 4;
            return true;
        default:
            return false;
    }
}

// Normalises the raw little-endian entry bytes of `cluster`.
std::uint32_t normaliseEntry(const FatGeometry& g, std::uint32_t maxCluster, std::uint32_t cluster,
                             std::span<const std::uint8_t> raw) {
    const LeReader r(raw);
    // A next-cluster value past the volume's last cluster ends the chain, as on FAT32.
    if (g.fatBits == 12) {
        std::uint32_t v = r.u16(0).value_or(0xFFFF);
        v = (cluster & 1) ? (v >> 4) : (v & 0x0FFF);
        if ((v & 0xFF0) == 0xFF0) return v | 0xFFFFF000;
        return v > maxCluster ? kFatEndOfChain : v;
    }
    if (g.fatBits == 16) {
        const std::uint32_t v = r.u16(0).value_or(0xFFFF);
        if ((v & 0xFFF0) == 0xFFF0) return v | 0xFFFF0000;
        return v > maxCluster ? kFatEndOfChain : v;
    }
    // The top four bits of a FAT32 entry are reserved and not part of the cluster number.
    const std::uint32_t v = r.u32(0).value_or(0x0FFFFFFF) & 0x0FFFFFFF;
    if (v == 0x0FFFFFFF) return kFatLastCluster;
    if (v > maxCluster) return kFatEndOfChain;
    return v;
}

}  // namespace

bool FatTableWindow::load(std::uint64_t byte, std::size_t width) {
    const FatGeometry& g = fat_.geometry;
    const std::uint64_t tableBytes = g.sectorsPerFat * kSectorSize;
    valid_ = 0;
    if (byte + width > tableBytes) return false;
    if (window_.empty()) window_.resize(kWindowBytes);
    // Windows start at a table sector, so an entry that straddles two sectors always fits.
    start_ = byte - byte % kSectorSize;
    auto& reader = fat_.volume.reader;
    std::size_t n =
        static_cast<std::size_t>(std::min<std::uint64_t>(window_.size(), tableBytes - start_));
    if (reader.readAt(g.reservedSectors, start_, std::span(window_).first(n)) == n) {
        valid_ = n;
        return true;
    }
    // Part of the window is unreadable: take just the sectors that hold the entry, from the
    // first copy of the table or, where a failing disk cannot read it, from the second, which
    // is written alongside it.
    n = byte % kSectorSize + width <= kSectorSize ? kSectorSize : 2 * kSectorSize;
    n = static_cast<std::size_t>(std::min<std::uint64_t>(n, tableBytes - start_));
    const unsigned copies = std::min<unsigned>(std::max<unsigned>(g.fatCount, 1), kFatCopiesRead);
    for (unsigned copy = 0; copy < copies; ++copy) {
        if (reader.readAt(g.reservedSectors + copy * g.sectorsPerFat, start_,
                          std::span(window_).first(n)) == n) {
            valid_ = n;
            return true;
        }
    }
    return false;
}

std::uint32_t FatTableWindow::entry(std::uint32_t cluster) {
    const FatGeometry& g = fat_.geometry;
    unreadable_ = false;
    std::uint64_t byte = 0;
    std::size_t width = 0;
    if (cluster > maxCluster_ || !entryPosition(g, cluster, byte, width)) return kFatEndOfChain;
    if (valid_ == 0 || byte < start_ || byte - start_ + width > valid_) {
        if (!load(byte, width)) {
            unreadable_ = true;
            return kFatEndOfChain;
        }
    }
    return normaliseEntry(
        g, maxCluster_, cluster,
        std::span(window_).subspan(static_cast<std::size_t>(byte - start_), width));
}

std::uint32_t FatTableWindow::nextFree(std::uint32_t from, std::uint32_t to) {
    for (std::uint64_t c = from; c <= to; ++c) {
        const std::uint32_t value = entry(static_cast<std::uint32_t>(c));
        if (unreadable_) return 0;
        if (value == 0) return static_cast<std::uint32_t>(c);
    }
    return 0;
}

std::uint64_t FatTableWindow::countFree(std::uint32_t from, std::uint32_t to) {
    std::uint64_t count = 0;
    for (std::uint64_t c = from; c <= to; ++c) {
        const std::uint32_t value = entry(static_cast<std::uint32_t>(c));
        if (unreadable_) break;
        if (value == 0) ++count;
    }
    return count;
}

namespace {

// A table value that names a cluster a chain may continue into.
bool isNextCluster(std::uint32_t value) {
    return value >= 2 && !isEndOfChain(value);
}

std::size_t readRootArea(FatVolume& fat, std::uint64_t offset, std::span<std::uint8_t> dest) {
    const FatGeometry& g = fat.geometry;
    const std::uint64_t areaBytes = std::uint64_t{g.rootDirSectors} * kSectorSize;
    if (offset >= areaBytes) return 0;
    const std::size_t n =
        static_cast<std::size_t>(std::min<std::uint64_t>(dest.size(), areaBytes - offset));
    if (n == 0) return 0;
    const std::uint64_t base = g.firstDataSector - g.rootDirSectors;
    return fat.volume.reader.readAt(base, offset, dest.first(n)) == n ? n : 0;
}

}  // namespace

ClusterChain::ClusterChain(FatVolume& fat, std::uint32_t startCluster)
    : fat_(fat), table_(fat), start_(startCluster) {
    restart();
}

void ClusterChain::restart() {
    visited_.clear();
    index_ = 0;
    current_ = 0;
    freeEnd_ = 0;
    freeEndIndex_ = 0;
    if (start_ >= 2 && start_ <= fat_.geometry.maxCluster()) {
        current_ = start_;
        visit(start_);
    }
}

bool ClusterChain::visit(std::uint32_t cluster) {
    std::unique_ptr<Page>& page = visited_[cluster / kPageClusters];
    if (!page) page = std::make_unique<Page>();
    const std::uint32_t bit = cluster % kPageClusters;
    std::uint64_t& word = (*page)[bit / 64];
    const std::uint64_t mask = std::uint64_t{1} << (bit % 64);
    if ((word & mask) != 0) return false;
    word |= mask;
    return true;
}

bool ClusterChain::seek(std::uint64_t index) {
    if (index < index_) restart();
    while (current_ != 0 && index_ < index) {
        const std::uint32_t next = table_.entry(current_);
        if (!isNextCluster(next) || !visit(next)) {
            if (next == 0 && !table_.unreadable()) {
                freeEnd_ = current_;
                freeEndIndex_ = index_;
            }
            current_ = 0;
            break;
        }
        current_ = next;
        ++index_;
    }
    return current_ != 0;
}

std::size_t ChainReader::read(std::uint64_t offset, std::span<std::uint8_t> dest) {
    const FatGeometry& g = fat_.geometry;
    if (g.fatBits != 32 && start_ == 1) return readRootArea(fat_, offset, dest);
    const std::uint64_t clusterBytes = g.clusterBytes();
    if (clusterBytes == 0 || dest.empty() || !chain_.seek(offset / clusterBytes)) return 0;
    std::uint64_t inCluster = offset % clusterBytes;
    std::size_t delivered = 0;
    while (true) {
        const std::size_t n = static_cast<std::size_t>(
            std::min<std::uint64_t>(dest.size() - delivered, clusterBytes - inCluster));
        if (fat_.volume.reader.readAt(g.clusterSector(chain_.current()), inCluster,
                                      dest.subspan(delivered, n)) != n)
            return delivered;
        delivered += n;
        if (delivered == dest.size()) break;
        offset += n;
        inCluster = 0;
        if (!chain_.seek(offset / clusterBytes)) break;
    }
    return delivered;
}

FreeClusterWalk::FreeClusterWalk(FatVolume& fat, std::uint32_t startCluster)
    : fat_(fat), table_(fat), start_(startCluster), member_(startCluster) {
    if (startCluster < 2 || startCluster > fat.geometry.maxCluster()) member_ = 0;
}

bool FreeClusterWalk::seekMember(std::uint64_t index) {
    if (index < memberIndex_) {  // a step back: start over from the first member
        memberIndex_ = 0;
        member_ = start_;
        if (start_ < 2 || start_ > fat_.geometry.maxCluster()) member_ = 0;
    }
    // Members ascend, so no cluster is taken twice; the walk ends at the volume's last
    // cluster instead of running on through numbers that have no table entry.
    const std::uint32_t last = fat_.geometry.maxCluster();
    while (member_ != 0 && memberIndex_ < index) {
        member_ = member_ >= last ? 0 : table_.nextFree(member_ + 1, last);
        ++memberIndex_;
    }
    return member_ != 0;
}

std::optional<std::uint32_t> FreeClusterWalk::clusterAt(std::uint64_t offset) {
    const std::uint64_t clusterBytes = fat_.geometry.clusterBytes();
    if (clusterBytes == 0 || !seekMember(offset / clusterBytes)) return std::nullopt;
    return member_;
}

std::size_t FreeClusterWalk::read(std::uint64_t offset, std::span<std::uint8_t> dest) {
    const FatGeometry& g = fat_.geometry;
    const std::uint64_t clusterBytes = g.clusterBytes();
    if (clusterBytes == 0 || dest.empty()) return 0;
    if (!seekMember(offset / clusterBytes)) return 0;
    std::uint64_t inCluster = offset % clusterBytes;

    // Members that follow each other on the volume are read as one extent.
    std::size_t delivered = 0;    // bytes already in dest
    std::size_t extentBytes = 0;  // bytes of the pending extent, which ends at member_
    std::uint32_t extentFirst = member_;
    std::uint64_t extentOffset = inCluster;
    auto flush = [&]() {
        if (extentBytes == 0) return true;
        auto& reader = fat_.volume.reader;
        const std::uint64_t base = g.clusterSector(extentFirst);
        if (reader.readAt(base, extentOffset, dest.subspan(delivered, extentBytes)) ==
            extentBytes) {
            delivered += extentBytes;
            extentBytes = 0;
            return true;
        }
        // Part of the extent is unreadable: keep every whole cluster before the bad one.
        std::uint64_t at = extentOffset;
        while (extentBytes > 0) {
            const std::size_t n = static_cast<std::size_t>(
                std::min<std::uint64_t>(extentBytes, clusterBytes - at % clusterBytes));
            if (reader.readAt(base, at, dest.subspan(delivered, n)) != n) return false;
            delivered += n;
            extentBytes -= n;
            at += n;
        }
        return true;
    };
    while (true) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(
            dest.size() - delivered - extentBytes, clusterBytes - inCluster));
        extentBytes += n;
        if (delivered + extentBytes == dest.size()) break;
        const std::uint32_t previous = member_;
        inCluster = 0;
        if (!seekMember(memberIndex_ + 1)) break;
        if (member_ != previous + 1) {
            if (!flush()) return delivered;
            extentFirst = member_;
            extentOffset = 0;
        }
    }
    flush();
    return delivered;
}

}  // namespace rekkon
