#pragma once

#include "carve/CarveInput.h"
#include "volume/SectorReader.h"

namespace rekkon {

// A candidate's bytes read from the source: from `start` (bytes from the reader's sector 0) for
// at most `limit` bytes.
class SourceCarveInput final : public CarveInput {
  public:
    SourceCarveInput(SectorReader& reader, std::uint64_t start, std::uint64_t limit)
        : reader_(reader), start_(start), limit_(limit) {}
    std::size_t read(std::uint64_t offset, std::span<std::uint8_t> out) override;
    std::uint64_t limit() const override { return limit_; }

  private:
    SectorReader& reader_;
    std::uint64_t start_;
    std::uint64_t limit_;
};

}  // namespace rekkon
