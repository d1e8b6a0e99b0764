#include "ntfs/NtfsHoles.h"

#include <algorithm>
#include <limits>
#include <optional>

#include "ntfs/AttributeData.h"
#include "ntfs/CompressedData.h"
#include "ntfs/RunWalker.h"

namespace rekkon {

namespace {

constexpr std::uint64_t kNoEnd = std::numeric_limits<std::uint64_t>::max();

std::uint64_t clusterByte(std::uint64_t vcn, std::uint64_t cs) {
    return vcn > kNoEnd / cs ? kNoEnd : vcn * cs;
}

// One step of a walk over the runs below the initialized size. At `position` the data is a hole
// (`hole`) or stored, up to `end`; false when no run covers the position.
struct Stretch {
    bool hole = false;
    std::uint64_t end = 0;
};

// Walks from the run where the previous read ended and leaves the next read a place to start:
// the run of the walk's first position (`Keep::First`, for a read there) or of its last.
class StretchWalker {
  public:
    enum class Keep { First, Last };
    StretchWalker(const AttributeDescriptor& d, std::uint64_t cs, Keep keep)
        : d_(d), cs_(cs), keep_(keep), walker_(d.runs, d.readPosition) {}
    ~StretchWalker() {
        d_.runSteps += walker_.steps();
        if (first_) {
            d_.readPosition = *first_;
        } else if (walker_.valid()) {
            d_.readPosition = walker_.position();
        }
    }
    StretchWalker(const StretchWalker&) = delete;
    StretchWalker& operator=(const StretchWalker&) = delete;

    bool at(std::uint64_t position, Stretch& s) {
        const bool found = find(position, s);
        if (found && keep_ == Keep::First && !first_) first_ = walker_.position();
        return found;
    }

  private:
    bool find(std::uint64_t position, Stretch& s) {
        if (!isCompressed(d_)) {
            if (!walker_.seek(position / cs_)) return false;
            s = {walker_.run().isSparse(), clusterByte(walker_.endVcn(), cs_)};
            return true;
        }
        // A unit is read whole: it is a hole when its first cluster is sparse, and so is the
        // rest of that sparse run (as the reads give it).
        const std::uint64_t unit = position / cs_ / kCompressionUnitClusters;
        const std::uint64_t unitVcn = unit * kCompressionUnitClusters;
        if (!walker_.seek(unitVcn)) return false;
        const std::uint64_t unitEnd = clusterByte(unitVcn + kCompressionUnitClusters, cs_);
        if (!walker_.run().isSparse()) {
            s = {false, unitEnd};
            return true;
        }
        s = {true, std::max(clusterByte(walker_.endVcn(), cs_), unitEnd)};
        return true;
    }

    const AttributeDescriptor& d_;
    std::uint64_t cs_;
    Keep keep_;
    RunWalker walker_;
    std::optional<RunPosition> first_;
};

// Whether holes below the initialized size can be told: the reads there go through the runs.
bool runsReadable(const AttributeDescriptor& d, std::uint64_t cs) {
    return cs != 0 && !(isCompressed(d) && cs > kMaxCompressedClusterBytes);
}

}  // namespace

std::uint64_t attributeHoleBytes(const AttributeDescriptor& d, std::uint64_t cs,
                                 std::uint64_t position) {
    if (d.isResident || position >= d.dataSize) return 0;
    // Past the initialized size the data reads as zeros whatever the runs say.
    if (position >= d.initializedSize) return d.dataSize - position;
    if (!runsReadable(d, cs)) return 0;
    StretchWalker walker(d, cs, StretchWalker::Keep::Last);
    std::uint64_t end = position;
    Stretch s;
    // Every step moves past the current run (or to the end), so the runs bound the walk.
    while (end < d.initializedSize && walker.at(end, s) && s.hole && s.end > end)
        end = s.end;
    if (end >= d.initializedSize) end = d.dataSize;
    return std::min(end, d.dataSize) - position;
}

std::uint64_t bytesBeforeHole(const AttributeDescriptor& d, std::uint64_t cs,
                              std::uint64_t position, std::uint64_t limit) {
    if (d.isResident || position >= d.dataSize) return limit;
    if (position >= d.initializedSize) return 0;
    if (!runsReadable(d, cs)) return limit;
    limit = std::min(limit, d.dataSize - position);
    StretchWalker walker(d, cs, StretchWalker::Keep::First);
    std::uint64_t end = position;
    Stretch s;
    while (end - position < limit) {
        if (end >= d.initializedSize) return d.initializedSize - position;
        if (!walker.at(end, s)) return limit;  // the read tells what is there
        if (s.hole) return end - position;
        if (s.end <= end) return limit;
        end = s.end;
    }
    return limit;
}

}  // namespace rekkon
