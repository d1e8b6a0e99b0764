#include "fat/FatTable.h"

#include <algorithm>
#include <array>

#include "volume/LeReader.h"

namespace rekkon {

namespace {

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
std::uint32_t normaliseEntry(const FatGeometry& g, std::uint32_t cluster,
                             std::span<const std::uint8_t> raw) {
    const LeReader r(raw);
    if (g.fatBits == 12) {
        std::uint32_t v = r.u16(0).value_or(0xFFFF);
        v = (cluster & 1) ? (v >> 4) : (v & 0x0FFF);
        return (v & 0xFF0) == 0xFF0 ? (v | 0xFFFFF000) : v;
    }
    if (g.fatBits == 16) {
        const std::uint32_t v = r.u16(0).value_or(0xFFFF);
        return (v & 0xFFF0) == 0xFFF0 ? (v | 0xFFFF0000) : v;
    }
    // The top four bits of a FAT32 entry are reserved and not part of the cluster number.
    const std::uint32_t v = r.u32(0).value_or(0x0FFFFFFF) & 0x0FFFFFFF;
    if (v == 0x0FFFFFFF) return kFatLastCluster;
    if (v > g.maxCluster()) return kFatEndOfChain;
    return v;
}

}  // namespace

std::uint32_t fatEntry(FatVolume& fat, std::uint32_t cluster) {
    const FatGeometry& g = fat.geometry;
    std::uint64_t byte = 0;
    std::size_t width = 0;
    if (cluster > g.maxCluster() || !entryPosition(g, cluster, byte, width)) return kFatEndOfChain;
    std::array<std::uint8_t, 4> raw{};
    // An entry may straddle two table sectors; readAt copes with that.
    if (fat.volume.reader.readAt(g.reservedSectors, byte, std::span(raw).first(width)) != width)
        return kFatEndOfChain;
    return normaliseEntry(g, cluster, std::span(raw).first(width));
}

std::uint32_t FatTableWindow::entry(std::uint32_t cluster) {
    const FatGeometry& g = fat_.geometry;
    std::uint64_t byte = 0;
    std::size_t width = 0;
    if (cluster > g.maxCluster() || !entryPosition(g, cluster, byte, width)) return kFatEndOfChain;
    if (byte < start_ || byte - start_ + width > valid_) {
        // Load a window that starts at the entry; near the table's end it may be shorter.
        const std::uint64_t tableBytes = g.sectorsPerFat * kSectorSize;
        if (byte + width > tableBytes) return kFatEndOfChain;
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(window_.size(), tableBytes - byte));
        start_ = byte;
        valid_ = fat_.volume.reader.readAt(g.reservedSectors, byte, std::span(window_).first(n));
        if (valid_ < width) return kFatEndOfChain;
    }
    return normaliseEntry(
        g, cluster, std::span(window_).subspan(static_cast<std::size_t>(byte - start_), width));
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

std::size_t readClusterChain(FatVolume& fat, std::uint32_t startCluster, std::uint64_t offset,
                             std::span<std::uint8_t> dest) {
    const FatGeometry& g = fat.geometry;
    if (g.fatBits != 32 && startCluster == 1) return readRootArea(fat, offset, dest);
    const std::uint64_t clusterBytes = g.clusterBytes();
    if (clusterBytes == 0 || startCluster < 2 || startCluster > g.maxCluster()) return 0;

    // A chain never has more links than the volume has clusters; a longer one loops.
    std::uint64_t stepsLeft = g.clusterCount();
    std::uint32_t cluster = startCluster;
    while (offset >= clusterBytes) {
        cluster = fatEntry(fat, cluster);
        if (!isNextCluster(cluster) || stepsLeft-- == 0) return 0;
        offset -= clusterBytes;
    }
    std::size_t delivered = 0;
    while (delivered < dest.size()) {
        const std::size_t n = static_cast<std::size_t>(
            std::min<std::uint64_t>(dest.size() - delivered, clusterBytes - offset));
        if (fat.volume.reader.readAt(g.clusterSector(cluster), offset,
                                     dest.subspan(delivered, n)) != n)
            return delivered;
        delivered += n;
        if (delivered == dest.size()) break;
        cluster = fatEntry(fat, cluster);
        offset = 0;
        if (!isNextCluster(cluster) || stepsLeft-- == 0) break;
    }
    return delivered;
}

FreeClusterWalk::FreeClusterWalk(FatVolume& fat, std::uint32_t startCluster)
    : fat_(fat), table_(fat), start_(startCluster), member_(startCluster) {
    if (startCluster < 2 || startCluster > fat.geometry.maxCluster()) member_ = 0;
}

std::uint32_t FreeClusterWalk::nextFree(std::uint32_t cluster) {
    const std::uint32_t last = fat_.geometry.maxCluster();
    // The walk ends at the volume's last cluster instead of running on through numbers that
    // have no table entry.
    for (std::uint32_t c = cluster + 1; c > cluster && c <= last; ++c)
        if (fatEntry(fat_, c) == 0) return c;
    return 0;
}

bool FreeClusterWalk::seekMember(std::uint64_t index) {
    if (index < memberIndex_) {  // a step back: start over from the first member
        memberIndex_ = 0;
        member_ = start_;
        if (start_ < 2 || start_ > fat_.geometry.maxCluster()) member_ = 0;
    }
    while (member_ != 0 && memberIndex_ < index) {
        member_ = nextFree(member_);
        ++memberIndex_;
    }
    return member_ != 0;
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

std::size_t readFreeClusters(FatVolume& fat, std::uint32_t startCluster, std::uint64_t offset,
                             std::span<std::uint8_t> dest) {
    FreeClusterWalk walk(fat, startCluster);
    return walk.read(offset, dest);
}

}  // namespace rekkon
