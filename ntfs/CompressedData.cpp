#include "ntfs/CompressedData.h"

#include <algorithm>
#include <memory>
#include <span>
#include <vector>

#include "ntfs/AttributeData.h"
#include "ntfs/Lznt1.h"
#include "ntfs/NtfsVolume.h"
#include "ntfs/RunWalker.h"

namespace rekkon {

// The unit a descriptor's last read ended in. Its bytes follow from the volume, the cluster
// size, the unit's VCN and the runs that cover it; runs only grow at their end, so the count of
// runs when it was read tells whether they still cover it as they did.
struct CompressedUnit {
    const VolumeContext* context = nullptr;
    std::uint64_t cs = 0;
    std::uint64_t unitVcn = 0;
    std::size_t runCount = 0;
    bool valid = false;
    std::span<const std::uint8_t> bytes;  // into raw or out
    std::vector<std::uint8_t> raw;        // the unit's real clusters as stored
    std::vector<std::uint8_t> out;        // a decompressed unit
};

namespace {

struct UnitReader {
    VolumeContext& context;
    std::uint64_t cs;
    CompressedUnit& unit;

    std::uint64_t unitBytes() const { return kCompressionUnitClusters * cs; }

    // The bytes of the unit at `unitVcn` (whose first run `walker` holds), read again only when
    // it is not the one read last; an empty span when a transfer fails.
    std::span<const std::uint8_t> get(const RunWalker& walker, std::uint64_t unitVcn,
                                      std::size_t runCount) {
        if (unit.valid && unit.context == &context && unit.cs == cs && unit.unitVcn == unitVcn &&
            unit.runCount == runCount)
            return unit.bytes;
        unit.bytes = load(walker, unitVcn);
        unit.valid = !unit.bytes.empty();
        unit.context = &context;
        unit.cs = cs;
        unit.unitVcn = unitVcn;
        unit.runCount = runCount;
        return unit.bytes;
    }

    // Gathers the real clusters of the unit at `unitVcn` and gives the unit's bytes, or an
    // empty span when a transfer fails.
    std::span<const std::uint8_t> load(RunWalker walker, std::uint64_t unitVcn) {
        std::vector<std::uint8_t>& raw = unit.raw;
        std::vector<std::uint8_t>& out = unit.out;
        const std::size_t size = static_cast<std::size_t>(unitBytes());
        raw.resize(size);
        std::uint64_t gathered = 0;
        bool reachedSparse = false;
        while (gathered < kCompressionUnitClusters) {
            const DataRun& run = walker.run();
            if (run.isSparse()) {
                reachedSparse = true;
                break;
            }
            const std::uint64_t inRun = unitVcn + gathered - walker.startVcn();
            const std::uint64_t take =
                std::min(kCompressionUnitClusters - gathered, run.length - inRun);
            TransferRequest part{true, raw.data() + gathered * cs,
                                 static_cast<std::size_t>(take * cs)};
            if (transferAtCluster(context, static_cast<std::uint64_t>(run.lcn) + inRun, 0, part) !=
                take * cs)
                return {};
            gathered += take;
            if (gathered < kCompressionUnitClusters && !walker.next()) break;
        }
        const std::size_t realBytes = static_cast<std::size_t>(gathered * cs);
        if (gathered == kCompressionUnitClusters) return raw;
        if (!reachedSparse) {
            // The runs end inside the unit: its missing clusters read as zeros.
            std::fill(raw.begin() + static_cast<std::ptrdiff_t>(realBytes), raw.end(), 0);
            return raw;
        }
        out.assign(size, 0);
        decompressLznt1(out, std::span<const std::uint8_t>(raw).first(realBytes));
        return out;
    }
};

}  // namespace

int readCompressedData(MftFile& file, const AttributeDescriptor& d, std::uint64_t position,
                       TransferRequest& request) {
    const NtfsVolume& volume = *file.volume;
    std::size_t remaining = request.count;
    request.count = 0;
    const std::uint64_t cs = volume.bytesPerCluster;
    if (cs == 0 || cs > kMaxCompressedClusterBytes || volume.context == nullptr)
        return kNtfsFailure;

    if (!d.lastUnit.unit) d.lastUnit.unit = std::make_shared<CompressedUnit>();
    UnitReader units{*volume.context, cs, *d.lastUnit.unit};
    RunWalker walker(d.runs, d.readPosition);
    std::uint64_t p = position;
    std::size_t delivered = 0;
    while (remaining > 0) {
        const std::uint64_t unitVcn = p / cs / kCompressionUnitClusters * kCompressionUnitClusters;
        if (!walker.seek(unitVcn)) break;
        std::size_t z = 0;
        if (walker.run().isSparse()) {
            // A unit that starts sparse is all zeros, and so is the rest of the sparse run.
            const std::uint64_t zeroEnd =
                std::max(walker.endVcn(), unitVcn + kCompressionUnitClusters) * cs;
            z = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, zeroEnd - p));
            deliverZeros(request, z);
        } else {
            const std::span<const std::uint8_t> unit = units.get(walker, unitVcn, d.runs.size());
            if (unit.empty()) {
                request.count = delivered;
                d.runSteps += walker.steps();
                return kNtfsFailure;
            }
            const std::size_t offset = static_cast<std::size_t>(p - unitVcn * cs);
            z = std::min(unit.size() - offset, remaining);
            putBytes(request, unit.subspan(offset, z));
        }
        remaining -= z;
        delivered += z;
        p += z;
    }
    request.count = delivered;
    d.readPosition = walker.position();
    d.runSteps += walker.steps();
    return kNtfsOk;
}

}  // namespace rekkon
