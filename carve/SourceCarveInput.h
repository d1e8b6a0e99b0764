#pragma once

#include <cstdint>
#include <limits>
#include <optional>

#include "carve/CarveInput.h"
#include "fs/FileDataHandle.h"
#include "volume/SectorReader.h"

namespace rekkon {

// Where a file found by content lies: in one piece from its first byte, or in two fragments, the
// first `firstBytes` long and the rest `gapBytes` of other data further on.
struct CarveSplit {
    std::uint64_t firstBytes = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t gapBytes = 0;
    bool split() const { return gapBytes != 0; }
};

// A candidate's bytes read from the source: from `start` (bytes from the reader's sector 0) for
// at most `limit` bytes of the file, skipping the split's gap.
class SourceCarveInput final : public CarveInput {
  public:
    SourceCarveInput(SectorReader& reader, std::uint64_t start, std::uint64_t limit,
                     CarveSplit split = {})
        : reader_(reader), start_(start), limit_(limit), split_(split) {}
    std::size_t read(std::uint64_t offset, std::span<std::uint8_t> out) override;
    std::uint64_t limit() const override { return limit_; }
    // Where byte `offset` lies on the source, and how many bytes of its piece follow.
    std::optional<StoredExtent> storedAt(std::uint64_t offset) const;

  private:
    // Reads bytes that lie in one piece on the source.
    std::size_t readPiece(std::uint64_t sourceOffset, std::span<std::uint8_t> out);

    SectorReader& reader_;
    std::uint64_t start_;
    std::uint64_t limit_;
    CarveSplit split_;
};

}  // namespace rekkon
