#include "carve/CarveScan.h"

#include <algorithm>
#include <map>

#include "carve/CarveFragments.h"
#include "volume/BulkReader.h"
#include "volume/SectorDevice.h"

namespace rekkon {

class CarvePass {
  public:
    CarvePass(const CarveSpace& space, std::span<const CarveFormat* const> formats,
              const CarveHooks& hooks, std::uint64_t unitBytes, std::uint64_t totalUnits)
        : space_(space),
          formats_(formats),
          hooks_(hooks),
          unitBytes_(unitBytes),
          totalUnits_(totalUnits) {
        fragments_.unitBytes = unitBytes;
        fragments_.sourceBytes = space.sourceBytes;
        if (space.free) fragments_.usable = freeClusterTest(*space.free);
    }

    // Searches `units` units from byte `first` on, `passed` units of the whole having been passed
    // before them (for progress); false when cancelled.
    bool searchStretch(std::uint64_t first, std::uint64_t units, std::uint64_t passed) {
        std::uint64_t done = 0;
        while (done < units) {
            if (hooks_.cancelled && hooks_.cancelled()) {
                stats_.cancelled = true;
                return false;
            }
            const std::uint64_t at = first + done * unitBytes_;
            std::uint64_t n = 0;
            if (at < skipTo_) {  // inside a file found already: not read again
                n = std::min(units - done, (skipTo_ - at + unitBytes_ - 1) / unitBytes_);
            } else {
                n = bulk_
                        .read(space_.reader, at / kSectorSize, units - done, unitBytes_,
                              [&](std::uint64_t i, std::span<const std::uint8_t> bytes) {
                                  look(at + i * unitBytes_, bytes);
                              })
                        .units;
            }
            done += n;
            stats_.unitsSearched += n;
            if (hooks_.progress) hooks_.progress(std::min(passed + done, totalUnits_), totalUnits_);
        }
        return true;
    }

    CarveStats stats() const { return stats_; }

    // One unit handed by another pass.
    void lookAt(std::uint64_t offset, std::span<const std::uint8_t> unit) {
        ++stats_.unitsSearched;
        look(offset, unit);
    }

  private:
    // Whether `offset` lies in the rest of a file found in two fragments.
    bool inRest(std::uint64_t offset) const {
        auto it = rests_.upper_bound(offset);
        return it != rests_.begin() && offset < (--it)->second;
    }

    void look(std::uint64_t offset, std::span<const std::uint8_t> unit) {
        if (offset < skipTo_ || offset >= space_.sourceBytes || inRest(offset)) return;
        if (unit.empty()) {
            ++stats_.unitsUnreadable;
            return;
        }
        const auto head = unit.first(std::min(unit.size(), kCarveHeadBytes));
        for (const CarveFormat* format : formats_) {
            if (!format->starts(head)) continue;
            ++stats_.candidates;
            const std::uint64_t limit = std::min(format->maxBytes, space_.sourceBytes - offset);
            SourceCarveInput input(space_.reader, offset, limit);
            CarveResult result = format->check(input);
            if (result.verdict == CarveVerdict::NotFormat || result.length == 0) continue;
            result.length = std::min(result.length, limit);
            result.validBytes = std::min(result.validBytes, result.length);
            CarvedFile file{offset, format, {}, {}, {}};
            file.result = settleCandidate(fragments_, offset, *format, std::move(result),
                                          file.split, &file.onePiece);
            const CarveSplit& split = file.split;
            if (split.split())
                rests_[offset + split.gapBytes + split.firstBytes] =
                    offset + split.gapBytes + file.result.length;
            // What checks out belongs to this file: no other file starts inside it. A damaged
            // one's unit where the damage was found is searched again.
            const std::uint64_t covered = split.split() ? split.firstBytes
                                          : file.result.verdict == CarveVerdict::Whole
                                              ? file.result.length
                                              : file.result.validBytes / unitBytes_ * unitBytes_;
            skipTo_ = std::max(skipTo_, offset + std::max<std::uint64_t>(covered, 1));
            if (hooks_.found) hooks_.found(std::move(file));
            return;
        }
    }

    const CarveSpace& space_;
    std::span<const CarveFormat* const> formats_;
    const CarveHooks& hooks_;
    std::uint64_t unitBytes_;
    std::uint64_t totalUnits_;
    BulkReader bulk_;
    FragmentSpace fragments_{space_.reader, 0, 0, {}};
    std::map<std::uint64_t, std::uint64_t> rests_;  // start -> end of files' second fragments
    std::uint64_t skipTo_ = 0;                      // no candidate starts before this byte
    CarveStats stats_;
};

CarveUnitSearch::CarveUnitSearch(const CarveSpace& space,
                                 std::span<const CarveFormat* const> formats,
                                 const CarveHooks& hooks)
    : pass_(std::make_unique<CarvePass>(
          space, formats, hooks, space.free ? space.free->clusterBytes() : space.unitBytes, 0)) {}

CarveUnitSearch::~CarveUnitSearch() = default;

void CarveUnitSearch::look(std::uint64_t offset, std::span<const std::uint8_t> unit) {
    pass_->lookAt(offset, unit);
}

CarveStats CarveUnitSearch::stats() const {
    return pass_->stats();
}

CarveStats carveSpace(const CarveSpace& space, std::span<const CarveFormat* const> formats,
                      const CarveHooks& hooks) {
    const std::uint64_t unitBytes = space.free ? space.free->clusterBytes() : space.unitBytes;
    if (unitBytes == 0 || unitBytes % kSectorSize != 0 || formats.empty()) return {};
    if (!space.free) {
        const std::uint64_t units = space.sourceBytes / unitBytes;
        CarvePass pass(space, formats, hooks, unitBytes, units);
        pass.searchStretch(0, units, 0);
        return pass.stats();
    }
    FreeSpaceMap& free = *space.free;
    CarvePass pass(space, formats, hooks, unitBytes, free.clusterCount());
    const std::uint64_t windowClusters = BulkReader().windowUnits(unitBytes);
    const std::uint64_t end = free.firstCluster() + free.clusterCount();
    std::uint64_t cluster = free.firstCluster();
    while (cluster < end) {
        const auto run = free.nextFreeRun(cluster, windowClusters);
        if (!run) break;
        const std::uint64_t offset = free.clusterOffset(run->first);
        if (offset >= space.sourceBytes) break;
        const std::uint64_t room = (space.sourceBytes - offset) / unitBytes;
        if (!pass.searchStretch(offset, std::min(run->count, room),
                                run->first - free.firstCluster()))
            break;
        cluster = run->end();
    }
    if (hooks.progress && !pass.stats().cancelled)
        hooks.progress(free.clusterCount(), free.clusterCount());
    return pass.stats();
}

}  // namespace rekkon
