#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>

#include "carve/CarveFormat.h"
#include "carve/SourceCarveInput.h"
#include "volume/FreeSpaceMap.h"
#include "volume/SectorReader.h"

namespace rekkon {

// Where a carving pass looks: the free clusters of a mounted volume (`free` set), or every
// `unitBytes` of the source from its start to `sourceBytes` (no volume that mounts, or a whole
// disk). Candidates start only at a unit's first byte.
struct CarveSpace {
    SectorReader& reader;            // reads the volume (or the whole source) from byte 0
    FreeSpaceMap* free = nullptr;    // null: every unit of the source
    std::uint64_t sourceBytes = 0;   // the volume's (source's) bytes: no candidate reads past
    std::uint64_t unitBytes = 4096;  // with no free map: a multiple of 512
};

// One file found by its content: at `offset` bytes from the volume's (source's) start.
struct CarvedFile {
    std::uint64_t offset = 0;
    const CarveFormat* format = nullptr;
    CarveResult result;
    CarveSplit split;  // where a file found in two fragments is split
    // For a file found in two fragments: what the check of its first byte on in one piece found.
    std::optional<CarveResult> onePiece;
};

struct CarveStats {
    std::uint64_t unitsSearched = 0;
    std::uint64_t unitsUnreadable = 0;  // a sector of them could not be read
    std::uint64_t candidates = 0;       // start tests passed, checks run
    bool cancelled = false;
};

struct CarveHooks {
    // Each file found, in the order of their offsets.
    std::function<void(CarvedFile)> found;
    // How far the pass has come (units done of total), at each read window.
    std::function<void(std::uint64_t done, std::uint64_t total)> progress;
    // Asked at each read window: true stops the pass.
    std::function<bool()> cancelled;
};

class CarvePass;

// A search by content of units another pass reads (the lost-folder search's pass over free
// clusters): look() at each unit as read, in ascending order of offset. Found files go to the
// hooks' `found`; progress and cancel are the other pass's. `space`, `formats` and `hooks` outlive
// it.
class CarveUnitSearch {
  public:
    CarveUnitSearch(const CarveSpace& space, std::span<const CarveFormat* const> formats,
                    const CarveHooks& hooks);
    ~CarveUnitSearch();
    CarveUnitSearch(const CarveUnitSearch&) = delete;
    CarveUnitSearch& operator=(const CarveUnitSearch&) = delete;
    // The unit at byte `offset` of the volume; no bytes: it could not be read.
    void look(std::uint64_t offset, std::span<const std::uint8_t> unit);
    CarveStats stats() const;

  private:
    std::unique_ptr<CarvePass> pass_;
};

// One pass over `space` in large aligned reads: at each unit the start tests of `formats`, at a
// candidate its format's check (the file taken to lie contiguous from there; a broken file of a
// format that allows it is tried as two fragments). The units a found file covers are not
// searched again.
CarveStats carveSpace(const CarveSpace& space, std::span<const CarveFormat* const> formats,
                      const CarveHooks& hooks);

}  // namespace rekkon
