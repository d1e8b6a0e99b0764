#include "ntfs/AttributeData.h"

#include <algorithm>
#include <cstring>

#include "ntfs/CompressedData.h"
#include "ntfs/NtfsVolume.h"
#include "ntfs/RunWalker.h"

namespace rekkon {

namespace {

// Reads `count` bytes at `position` from the runs of an uncompressed attribute, one cluster
// transfer per run touched. Returns 0 or NTFS_NOT_AVAILABLE; `delivered` counts the bytes put.
int readPlainRuns(MftFile& file, const AttributeDescriptor& d, std::uint64_t position,
                  std::size_t count, TransferRequest& request, std::size_t& delivered) {
    delivered = 0;
    const NtfsVolume& volume = *file.volume;
    const std::uint64_t cs = volume.bytesPerCluster;
    if (cs == 0 || volume.context == nullptr) return kNtfsFailure;

    RunWalker walker(d.runs, d.readPosition);
    if (!walker.seek(position / cs)) {
        d.runSteps += walker.steps();
        return NTFS_NOT_AVAILABLE;
    }
    std::uint64_t p = position;
    std::size_t remaining = count;
    while (remaining > 0) {
        const DataRun& run = walker.run();
        const std::uint64_t runEndBytes = walker.endVcn() * cs;
        const std::size_t chunk =
            static_cast<std::size_t>(std::min<std::uint64_t>(remaining, runEndBytes - p));
        if (run.isSparse()) {
            deliverZeros(request, chunk);
        } else {
            const std::uint64_t cluster =
                static_cast<std::uint64_t>(run.lcn) + (p / cs - walker.startVcn());
            TransferRequest part{true, request.cursor, chunk};
            if (transferAtCluster(*volume.context, cluster, p % cs, part) != chunk) break;
            request.cursor = part.cursor;
        }
        delivered += chunk;
        remaining -= chunk;
        p += chunk;
        if (remaining > 0 && p == runEndBytes && !walker.next()) break;
    }
    d.readPosition = walker.position();
    d.runSteps += walker.steps();
    return kNtfsOk;
}

// Reads below the initialized size: through the compression units or straight from the runs.
int readStoredData(MftFile& file, const AttributeDescriptor& d, std::uint64_t position,
                   std::size_t count, TransferRequest& request, std::size_t& delivered) {
    if (isCompressed(d)) {
        TransferRequest part{true, request.cursor, count};
        const int result = readCompressedData(file, d, position, part);
        delivered = part.count;
        request.cursor = part.cursor;
        return result;
    }
    return readPlainRuns(file, d, position, count, request, delivered);
}

}  // namespace

void putBytes(TransferRequest& request, std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return;
    std::memcpy(request.cursor, bytes.data(), bytes.size());
    request.cursor += bytes.size();
}

int deliverZeros(TransferRequest& request, std::size_t count) {
    if (count == 0) return kNtfsOk;
    std::memset(request.cursor, 0, count);
    request.cursor += count;
    return kNtfsOk;
}

int readAttributeData(MftFile& file, const AttributeDescriptor& d, std::uint64_t position,
                      TransferRequest& request) {
    std::size_t n = request.count;
    if (n == 0) return kNtfsOk;
    if (position >= d.dataSize) {
        request.count = 0;
        return kNtfsOk;
    }
    if (n > d.dataSize - position) {
        n = static_cast<std::size_t>(d.dataSize - position);
        request.count = n;
    }

    if (d.isResident) {
        // A resident value's size is its data size; the table keeps them equal.
        const std::size_t at = static_cast<std::size_t>(position);
        if (at > d.content.size() || n > d.content.size() - at) return kNtfsFailure;
        putBytes(request, std::span(d.content).subspan(at, n));
        return kNtfsOk;
    }

    if (position >= d.initializedSize) return deliverZeros(request, n);

    const std::size_t stored =
        static_cast<std::size_t>(std::min<std::uint64_t>(n, d.initializedSize - position));
    std::size_t delivered = 0;
    const int result = readStoredData(file, d, position, stored, request, delivered);
    request.count = delivered;
    if (result != kNtfsOk || delivered < stored) return result;
    // Past the initialized size the data reads as zeros; they are not counted.
    return deliverZeros(request, n - stored);
}

}  // namespace rekkon
