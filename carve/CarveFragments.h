#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "carve/CarveFormat.h"
#include "carve/SourceCarveInput.h"
#include "volume/FreeSpaceMap.h"
#include "volume/SectorReader.h"

namespace rekkon {

// Gaps of other data tried between a broken file's two fragments: up to this many units.
inline constexpr std::uint64_t kMaxFragmentGapUnits = 1024;

struct RejoinedFile {
    CarveSplit split;
    CarveResult result;  // Whole
};

// Where a space of units (clusters or sectors) may hold a file's rest.
struct FragmentSpace {
    SectorReader& reader;
    std::uint64_t unitBytes = 0;    // a multiple of 512
    std::uint64_t sourceBytes = 0;  // nothing is read past this
    // Whether the unit at this byte offset of the source may hold file data (a free cluster);
    // null: every unit may.
    std::function<bool(std::uint64_t offset)> usable;
};

// What a candidate at `start` is, its format's check having found `checked` (not NotFormat,
// clamped to the source): a Damaged file is cut where a whole file of another format starts
// inside it (one piece cannot reach past that), and one of a format that allows it is tried as two
// fragments. `onePiece` gets the check of the bytes in one piece when the file is rejoined.
CarveResult settleCandidate(const FragmentSpace& space, std::uint64_t start,
                            const CarveFormat& format, CarveResult checked, CarveSplit& split,
                            std::optional<CarveResult>* onePiece = nullptr);

// A test for FragmentSpace::usable: whether the cluster holding a byte offset is free in `free`.
std::function<bool(std::uint64_t offset)> freeClusterTest(FreeSpaceMap& free);

// A file of `format` found at `start` whose structure breaks (`broken` is Damaged) tried as two
// fragments: the first ending at a unit boundary at or shortly before the break, the rest
// starting after a gap of 1 to kMaxFragmentGapUnits units, at a unit the format's continuation
// test accepts. Accepted only when the check of the two together finds the file Whole. Bounded:
// a fixed number of checks at most.
std::optional<RejoinedFile> rejoinFragments(const FragmentSpace& space, std::uint64_t start,
                                            const CarveFormat& format, const CarveResult& broken);

}  // namespace rekkon
