#include "ntfs/ClusterBitmap.h"

#include <algorithm>
#include <bit>

#include "ntfs/AttributeData.h"
#include "ntfs/AttributeLookup.h"
#include "ntfs/NtfsEstimate.h"
#include "ntfs/NtfsVolume.h"

namespace rekkon {

namespace {

// The first of bits [from, to) of `bitmap` that is `value`; `to` when none is.
std::uint64_t findBit(std::span<const std::uint8_t> bitmap, std::uint64_t from, std::uint64_t to,
                      bool value) {
    const std::uint8_t other = value ? 0x00 : 0xFF;  // a byte with no such bit
    std::uint64_t k = from;
    while (k < to) {
        if (k % 8 == 0 && to - k >= 8 && bitmap[k / 8] == other) {
            k += 8;
            continue;
        }
        if ((((bitmap[k / 8] >> (k % 8)) & 1u) != 0) == value) return k;
        ++k;
    }
    return to;
}

}  // namespace

std::uint64_t countSetBits(std::span<const std::uint8_t> bitmap, std::uint64_t first,
                           std::uint64_t count) {
    std::uint64_t set = 0;
    std::uint64_t k = first;
    const std::uint64_t end = first + count;
    for (; k < end && k % 8 != 0; ++k)
        set += (bitmap[k / 8] >> (k % 8)) & 1u;
    for (; end - k >= 64; k += 64) {
        std::uint64_t word = 0;
        for (int b = 7; b >= 0; --b)
            word = (word << 8) | bitmap[k / 8 + static_cast<std::uint64_t>(b)];
        set += static_cast<std::uint64_t>(std::popcount(word));
    }
    for (; end - k >= 8; k += 8)
        set += static_cast<std::uint64_t>(std::popcount(bitmap[k / 8]));
    for (; k < end; ++k)
        set += (bitmap[k / 8] >> (k % 8)) & 1u;
    return set;
}

ClusterBitmap::ClusterBitmap(NtfsVolume& volume) {
    if (volume.volumeBitmapFile == nullptr) return;
    file_ = volume.volumeBitmapFile;
    data_ = findAttribute(*file_, volume.typeData);
    if (data_ == nullptr) return;
    std::uint64_t bytes = std::min(data_->dataSize, kMaxClusterBitmapBytes);
    // No more clusters than the source holds, when its size is known.
    if (volume.context != nullptr && volume.bytesPerCluster != 0) {
        if (const auto source = volume.context->reader.sourceBytes()) {
            const std::uint64_t clusters = *source / volume.bytesPerCluster;
            bytes = std::min(bytes, (clusters + 7) / 8);
        }
    }
    bytes_ = bytes;
}

const ClusterBitmap::Page& ClusterBitmap::page(std::uint64_t index) {
    // Neighbouring files mostly ask for the page asked for last, which is the most recent.
    if (last_ != nullptr && lastIndex_ == index) return *last_;
    last_ = &pageLookup(index);
    lastIndex_ = index;
    return *last_;
}

const ClusterBitmap::Page& ClusterBitmap::pageLookup(std::uint64_t index) {
    if (const auto it = pages_.find(index); it != pages_.end()) {
        recency_.splice(recency_.begin(), recency_, it->second.recency);
        return it->second;
    }
    if (pages_.size() >= kMaxPages) {
        pages_.erase(recency_.back());
        recency_.pop_back();
    }
    Page held;
    readPage(index, held);
    ++pagesRead_;
    recency_.push_front(index);
    held.recency = recency_.begin();
    return pages_[index] = std::move(held);
}

std::size_t ClusterBitmap::readBytes(std::uint64_t position, std::span<std::uint8_t> dest) {
    TransferRequest request{true, dest.data(), dest.size()};
    if (readAttributeData(*file_, *data_, position, request) != kNtfsOk) return 0;
    // Past the initialized size the data reads as zeros, which the count leaves out.
    if (request.count < dest.size() && !data_->isResident &&
        position + request.count >= data_->initializedSize)
        return dest.size();
    return request.count;
}

void ClusterBitmap::readPage(std::uint64_t index, Page& held) {
    const std::uint64_t position = index * kPageBytes;
    const auto length =
        static_cast<std::size_t>(std::min<std::uint64_t>(kPageBytes, bytes_ - position));
    held.bytes.assign(length, 0xFF);
    held.unreadBlocks = 0;
    const std::size_t good = readBytes(position, held.bytes);
    if (good == length) return;
    // From the failure on, a block at a time: a bad sector costs the clusters of its block only.
    for (std::size_t at = good / kBlockBytes * kBlockBytes; at < length; at += kBlockBytes) {
        const std::span<std::uint8_t> block =
            std::span(held.bytes).subspan(at, std::min(kBlockBytes, length - at));
        if (readBytes(position + at, block) == block.size()) continue;
        std::fill(block.begin(), block.end(), std::uint8_t{0xFF});
        held.unreadBlocks |= static_cast<std::uint8_t>(1u << (at / kBlockBytes));
    }
}

std::uint64_t ClusterBitmap::countUsed(std::uint64_t first, std::uint64_t count) {
    constexpr std::uint64_t kPageClusters = kPageBytes * 8;
    std::uint64_t used = 0;
    // Each step ends at a page boundary or at the range's end, so the walk moves on every time.
    while (count > 0) {
        const std::uint64_t index = first / kPageClusters;
        const std::uint64_t offset = first % kPageClusters;
        const std::uint64_t n = std::min(count, kPageClusters - offset);
        used += countSetBits(page(index).bytes, offset, n);
        first += n;
        count -= n;
    }
    return used;
}

ClusterBitmap::Stretch ClusterBitmap::stretchAt(std::uint64_t first, std::uint64_t limit) {
    constexpr std::uint64_t kPageClusters = kPageBytes * 8;
    constexpr std::uint64_t kBlockClusters = kBlockBytes * 8;
    const std::uint64_t index = first / kPageClusters;
    const std::uint64_t base = index * kPageClusters;
    const Page& held = page(index);
    // Bits relative to the page.
    const std::uint64_t stop = std::min(limit, base + held.bytes.size() * 8) - base;
    const auto unread = [&](std::uint64_t bit) {
        return ((held.unreadBlocks >> (bit / kBlockClusters)) & 1u) != 0;
    };
    const auto nextBlock = [](std::uint64_t bit) {
        return (bit / kBlockClusters + 1) * kBlockClusters;
    };
    const std::uint64_t k = first - base;
    std::uint64_t end = k;
    if (unread(k)) {
        while (end < stop && unread(end))
            end = nextBlock(end);
        return {BitState::Unknown, base + std::min(end, stop)};
    }
    while (end < stop && !unread(end))
        end = nextBlock(end);
    const bool set = ((held.bytes[k / 8] >> (k % 8)) & 1u) != 0;
    return {set ? BitState::Set : BitState::Clear,
            base + findBit(held.bytes, k, std::min(end, stop), !set)};
}

std::optional<ClusterRun> ClusterBitmap::nextClearRun(std::uint64_t from, std::uint64_t limit,
                                                      std::uint64_t atMost,
                                                      const UnknownSink& unknown) {
    limit = std::min(limit, clusters());
    std::uint64_t k = from;
    // Each stretch ends past where it starts, so both walks move on every time.
    while (k < limit) {
        const Stretch s = stretchAt(k, limit);
        if (s.state == BitState::Clear) break;
        if (s.state == BitState::Unknown && unknown) unknown(k, s.end);
        k = s.end;
    }
    if (k >= limit) return std::nullopt;
    atMost = std::max<std::uint64_t>(atMost, 1);
    const std::uint64_t end = atMost >= limit - k ? limit : k + atMost;
    ClusterRun run{k, 0};
    while (run.end() < end) {
        const Stretch s = stretchAt(run.end(), end);
        if (s.state != BitState::Clear) break;
        run.count = s.end - run.first;
    }
    return run;
}

}  // namespace rekkon
