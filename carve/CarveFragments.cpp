#include "carve/CarveFragments.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace rekkon {

namespace {

// Units before the one holding the break where the first fragment may end: a structure check
// may find a break a little after the data stops being the file's.
constexpr std::uint64_t kBackUnits = 16;
// Checks of a first fragment's end and a rest tried at most, per broken file.
constexpr int kMaxChecks = 64;
// How far into a damaged file other files are looked for.
constexpr std::uint64_t kMaxInsideBytes = 64 * 1024 * 1024;

// The first unit after the first, within `bytes` from `start`, where a whole file of any format
// starts (in bytes from `start`); nullopt when none does.
std::optional<std::uint64_t> wholeFileInside(const FragmentSpace& space, std::uint64_t start,
                                             std::uint64_t bytes) {
    bytes = std::min({bytes, kMaxInsideBytes, space.sourceBytes - start});
    std::array<std::uint8_t, kCarveHeadBytes> head{};
    SourceCarveInput source(space.reader, start, bytes);
    for (std::uint64_t at = space.unitBytes; at < bytes; at += space.unitBytes) {
        const std::size_t got = source.read(at, head);
        if (got == 0) continue;
        const auto first = std::span<const std::uint8_t>(head).first(got);
        for (const CarveFormat& other : carveFormats()) {
            if (!other.starts(first)) continue;
            SourceCarveInput input(space.reader, start + at,
                                   std::min(other.maxBytes, space.sourceBytes - start - at));
            if (other.check(input).verdict == CarveVerdict::Whole) return at;
        }
    }
    return std::nullopt;
}

enum class UnitState : std::uint8_t { Other, Continues, Taken };

// What each unit from `from` on (in units from the file's start) holds: data the format's
// continuation test accepts, a file of its own (a whole file of any format starts there or covers
// it) or clusters in use, or other data.
std::vector<UnitState> unitStates(const FragmentSpace& space, std::uint64_t start,
                                  const CarveFormat& format, std::uint64_t from,
                                  std::uint64_t count) {
    std::vector<UnitState> states(static_cast<std::size_t>(count), UnitState::Other);
    std::vector<std::uint8_t> unit(static_cast<std::size_t>(space.unitBytes));
    SourceCarveInput source(space.reader, start, space.sourceBytes - start);
    const std::size_t headBytes = std::min<std::size_t>(kCarveHeadBytes, unit.size());
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t offset = (from + i) * space.unitBytes;
        if (offset >= space.sourceBytes - start) {
            states.resize(static_cast<std::size_t>(i));
            break;
        }
        if (states[i] == UnitState::Taken) continue;
        if (space.usable && !space.usable(start + offset)) {
            states[i] = UnitState::Taken;
            continue;
        }
        if (source.read(offset, unit) != unit.size()) continue;
        const auto head = std::span<const std::uint8_t>(unit).first(headBytes);
        for (const CarveFormat& other : carveFormats()) {
            if (!other.starts(head)) continue;
            SourceCarveInput input(space.reader, start + offset,
                                   std::min(other.maxBytes, space.sourceBytes - start - offset));
            const CarveResult r = other.check(input);
            if (r.verdict != CarveVerdict::Whole) continue;
            const std::uint64_t units = (r.length + space.unitBytes - 1) / space.unitBytes;
            for (std::uint64_t k = i; k < count && k - i < units; ++k)
                states[k] = UnitState::Taken;
            break;
        }
        if (states[i] == UnitState::Other && format.continues(unit))
            states[i] = UnitState::Continues;
    }
    return states;
}

}  // namespace

CarveResult settleCandidate(const FragmentSpace& space, std::uint64_t start,
                            const CarveFormat& format, CarveResult checked, CarveSplit& split,
                            std::optional<CarveResult>* onePiece) {
    split = {};
    if (checked.verdict != CarveVerdict::Damaged || space.unitBytes == 0) return checked;
    if (const auto inside = wholeFileInside(space, start, checked.validBytes)) {
        checked.validBytes = std::min(checked.validBytes, *inside);
        checked.length = std::min(checked.length, *inside);
    }
    if (!format.continues) return checked;
    auto joined = rejoinFragments(space, start, format, checked);
    if (!joined) return checked;
    split = joined->split;
    if (onePiece) *onePiece = std::move(checked);
    return std::move(joined->result);
}

std::function<bool(std::uint64_t offset)> freeClusterTest(FreeSpaceMap& free) {
    return [&free](std::uint64_t offset) {
        const std::uint64_t base = free.clusterOffset(free.firstCluster());
        if (offset < base) return false;
        const std::uint64_t cluster = free.firstCluster() + (offset - base) / free.clusterBytes();
        const auto run = free.nextFreeRun(cluster, 1);
        return run && run->first == cluster;
    };
}

std::optional<RejoinedFile> rejoinFragments(const FragmentSpace& space, std::uint64_t start,
                                            const CarveFormat& format, const CarveResult& broken) {
    if (!format.continues || broken.verdict != CarveVerdict::Damaged || space.unitBytes == 0 ||
        start >= space.sourceBytes)
        return std::nullopt;
    // The first fragment ends at a unit boundary no later than the unit the break lies in.
    const std::uint64_t lastEnd = broken.validBytes / space.unitBytes;
    if (lastEnd == 0) return std::nullopt;
    const std::uint64_t firstEnd = lastEnd > kBackUnits ? lastEnd - kBackUnits : 1;
    // From the unit after the earliest end to the last a rest may start at, and one beyond.
    const std::uint64_t from = firstEnd + 1;
    const std::vector<UnitState> states =
        unitStates(space, start, format, from, lastEnd + kMaxFragmentGapUnits + 2 - from);
    const auto state = [&](std::uint64_t u) {
        return u >= from && u - from < states.size() ? states[u - from] : UnitState::Other;
    };
    // A rest is likelier where a unit of file data follows other data or another file (and more
    // file data follows it), and the first fragment likelier to end in the unit the break was
    // found in: those pairs are tried first.
    std::vector<std::uint64_t> starts, inside;
    for (std::uint64_t u = from; u < from + states.size(); ++u) {
        if (state(u) != UnitState::Continues) continue;
        (state(u - 1) != UnitState::Continues ? starts : inside).push_back(u);
    }
    std::stable_partition(starts.begin(), starts.end(),
                          [&](std::uint64_t u) { return state(u + 1) == UnitState::Continues; });
    int checks = 0;
    std::optional<RejoinedFile> joined;
    const auto tryPair = [&](std::uint64_t end, std::uint64_t rest) {
        if (rest <= end || rest - end > kMaxFragmentGapUnits || ++checks > kMaxChecks) return false;
        const CarveSplit split{end * space.unitBytes, (rest - end) * space.unitBytes};
        const std::uint64_t room = space.sourceBytes - start - split.gapBytes;
        SourceCarveInput input(space.reader, start, std::min(format.maxBytes, room), split);
        CarveResult result = format.check(input);
        // The rest must hold some of the file, else the break was misread.
        if (result.verdict != CarveVerdict::Whole || result.length <= split.firstBytes)
            return false;
        joined = RejoinedFile{split, std::move(result)};
        return true;
    };
    for (const std::uint64_t rest : starts)
        if (tryPair(lastEnd, rest)) return joined;
    for (const auto* rests : {&starts, &inside}) {
        for (const std::uint64_t rest : *rests) {
            if (rests == &inside && tryPair(lastEnd, rest)) return joined;
            for (std::uint64_t end = std::min(lastEnd, rest) - 1; end >= firstEnd; --end)
                if (tryPair(end, rest)) return joined;
        }
    }
    return std::nullopt;
}

}  // namespace rekkon
