#include "ntfs/RunList.h"

#include <algorithm>
#include <limits>

#include "ntfs/NtfsVolume.h"
#include "volume/LeReader.h"

namespace rekkon {

namespace {

// Non-resident attribute header fields.
constexpr std::size_t kFirstVcnOffset = 0x10;
constexpr std::size_t kLastVcnOffset = 0x18;
constexpr std::size_t kPairsOffsetOffset = 0x20;
constexpr std::size_t kAllocatedSizeOffset = 0x28;

// Appends `runs` (a fragment that starts at the descriptor's current end) to the descriptor.
bool appendRuns(AttributeDescriptor& d, std::uint64_t end, const std::vector<DataRun>& runs) {
    for (const DataRun& run : runs) {
        if (run.length > kMaxAttributeClusters - end) return false;
        if (!insertRun(d.runs, run.lcn, run.length)) return false;
        end += run.length;
    }
    return true;
}

// Joins every waiting fragment that now continues the runs.
void joinPending(AttributeDescriptor& d) {
    bool joined = true;
    while (joined && !d.pendingFragments.empty()) {
        joined = false;
        const std::uint64_t end = d.runClusters();
        auto next = std::find_if(d.pendingFragments.begin(), d.pendingFragments.end(),
                                 [end](const PendingFragment& f) { return f.firstVcn == end; });
        if (next == d.pendingFragments.end()) break;
        PendingFragment fragment = std::move(*next);
        d.pendingFragments.erase(next);
        joined = appendRuns(d, end, fragment.runs);
    }
}

}  // namespace

int decodeRun(std::span<const std::uint8_t> pairs, std::size_t& offset, std::int64_t& lcn,
              DecodedRun& run) {
    const LeReader r(pairs);
    const auto header = r.u8(offset);
    if (!header) return -1;
    const std::size_t lengthBytes = *header & 0x0F;
    const std::size_t offsetBytes = *header >> 4;
    if (lengthBytes == 0 || lengthBytes > 8 || offsetBytes > 8) return -1;

    const auto length = r.uN(offset + 1, lengthBytes);
    if (!length || *length == 0 || *length > kMaxAttributeClusters) return -1;
    std::int64_t next = lcn;
    if (offsetBytes != 0) {
        const auto delta = r.iN(offset + 1 + lengthBytes, offsetBytes);
        if (!delta || __builtin_add_overflow(lcn, *delta, &next) || next < 0) return -1;
    }
    run.length = *length;
    run.sparse = offsetBytes == 0;
    lcn = next;
    offset += 1 + lengthBytes + offsetBytes;
    return 0;
}

bool insertRun(std::vector<DataRun>& runs, std::int64_t lcn, std::uint64_t length) {
    if (runs.size() >= kMaxRunsPerAttribute) return false;
    runs.push_back(DataRun{lcn, length});
    return true;
}

int decodeRunList(const NtfsVolume& volume, AttributeDescriptor& descriptor,
                  std::span<const std::uint8_t> attribute) {
    const LeReader r(attribute);
    const auto firstVcn = r.u64(kFirstVcnOffset);
    auto lastVcn = r.u64(kLastVcnOffset);
    const auto pairsOffset = r.u16(kPairsOffsetOffset);
    const auto allocatedSize = r.u64(kAllocatedSizeOffset);
    if (!firstVcn || !lastVcn || !pairsOffset || !allocatedSize) return -1;
    if (*pairsOffset > attribute.size() || *firstVcn > kMaxAttributeClusters) return -1;
    const std::span<const std::uint8_t> pairs = attribute.subspan(*pairsOffset);

    const std::uint64_t end = descriptor.runClusters();
    if (*firstVcn < end) return -1;  // overlaps the runs already held
    if (*firstVcn > end && descriptor.pendingFragments.size() >= kMaxPendingFragments) return -1;

    // A last VCN of 0 is taken from the allocated size; a last VCN below the first (NTFS writes
    // -1 for an attribute without clusters) describes no runs.
    if (*lastVcn == 0 && *allocatedSize != 0 && volume.bytesPerCluster != 0)
        *lastVcn = (*allocatedSize - 1) / volume.bytesPerCluster;
    if (*lastVcn > std::uint64_t{std::numeric_limits<std::int64_t>::max()}) return 0;

    std::vector<DataRun> fragment;
    int result = 0;
    std::uint64_t vcn = *firstVcn;
    std::int64_t lcn = 0;
    std::size_t cursor = 0;
    while (vcn <= *lastVcn) {
        DecodedRun run;
        if (decodeRun(pairs, cursor, lcn, run) != 0 || run.length > kMaxAttributeClusters - vcn ||
            !insertRun(fragment, run.sparse ? DataRun::kSparseLcn : lcn, run.length)) {
            result = -1;
            break;
        }
        vcn += run.length;
    }

    if (*firstVcn == end) {
        if (!appendRuns(descriptor, end, fragment)) return -1;
        joinPending(descriptor);
    } else if (!fragment.empty()) {
        descriptor.pendingFragments.push_back(PendingFragment{*firstVcn, std::move(fragment)});
    }
    return result;
}

}  // namespace rekkon
