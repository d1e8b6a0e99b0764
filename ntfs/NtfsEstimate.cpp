#include "ntfs/NtfsEstimate.h"

#include <algorithm>
#include <bit>

#include "ntfs/AttributeData.h"
#include "ntfs/AttributeLookup.h"
#include "ntfs/NtfsVolume.h"

namespace rekkon {

namespace {

// Set bits among bits [first, first + count) of `bitmap`, which covers them.
std::uint64_t countSetBits(std::span<const std::uint8_t> bitmap, std::uint64_t first,
                           std::uint64_t count) {
    std::uint64_t set = 0;
    std::uint64_t k = first;
    const std::uint64_t end = first + count;
    for (; k < end && k % 8 != 0; ++k)
        set += (bitmap[k / 8] >> (k % 8)) & 1u;
    for (; end - k >= 8; k += 8)
        set += static_cast<std::uint64_t>(std::popcount(bitmap[k / 8]));
    for (; k < end; ++k)
        set += (bitmap[k / 8] >> (k % 8)) & 1u;
    return set;
}

// Pieces in which the bitmap is read.
constexpr std::size_t kBitmapPieceBytes = 64 * 1024;

}  // namespace

std::uint8_t estimateFromBitmap(std::span<const std::uint8_t> bitmap,
                                std::span<const DataRun> runs) {
    std::uint64_t freeCount = 0;
    std::uint64_t usedCount = 0;
    const std::uint64_t covered = std::uint64_t{bitmap.size()} * 8;
    for (const DataRun& run : runs) {
        if (run.isSparse()) continue;  // nothing on the volume to examine
        const auto first = static_cast<std::uint64_t>(run.lcn);
        if (first >= covered) break;
        const std::uint64_t examined = std::min(run.length, covered - first);
        const std::uint64_t used = countSetBits(bitmap, first, examined);
        usedCount += used;
        freeCount += examined - used;
        if (examined < run.length) break;
    }
    if (freeCount == 0) return kEstimatePoor;
    if (usedCount == 0) return kEstimateGood;
    return static_cast<std::uint8_t>(freeCount * 100 / (freeCount + usedCount));
}

std::uint8_t estimateAttribute(const AttributeDescriptor& attribute,
                               std::span<const std::uint8_t> clusterBitmap) {
    if (attribute.isResident) return kEstimateGood;
    const std::uint8_t estimate = estimateFromBitmap(clusterBitmap, attribute.runs);
    if (attribute.sizeBeyondRuns) return std::min(estimate, kEstimateSizeBeyondRuns);
    return estimate;
}

std::vector<std::uint8_t> readClusterBitmap(NtfsVolume& volume) {
    if (volume.volumeBitmapFile == nullptr) return {};
    MftFile& file = *volume.volumeBitmapFile;
    const AttributeDescriptor* data = findAttribute(file, volume.typeData);
    if (data == nullptr) return {};
    std::uint64_t bytes = std::min(data->dataSize, kMaxClusterBitmapBytes);
    if (volume.context != nullptr && volume.bytesPerCluster != 0) {
        if (const auto source = volume.context->reader.sourceBytes()) {
            const std::uint64_t clusters = *source / volume.bytesPerCluster;
            bytes = std::min(bytes, (clusters + 7) / 8);
        }
    }
    std::vector<std::uint8_t> bitmap(static_cast<std::size_t>(bytes), 0xFF);
    for (std::uint64_t position = 0; position < bytes;) {
        const std::size_t piece =
            static_cast<std::size_t>(std::min<std::uint64_t>(kBitmapPieceBytes, bytes - position));
        TransferRequest request{true, bitmap.data() + position, piece};
        // A piece that cannot be read keeps its 0xFF; the next one is tried.
        readAttributeData(file, *data, position, request);
        position += piece;
    }
    return bitmap;
}

}  // namespace rekkon
