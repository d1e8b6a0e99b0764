#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "ntfs/MftFile.h"

namespace rekkon {

// Steps through an attribute's runs in VCN order and finds the run that holds a VCN. Reads that
// move forward continue from the current run instead of adding up the lengths from VCN 0 again.
class RunWalker {
  public:
    explicit RunWalker(std::span<const DataRun> runs) : runs_(runs) {}

    // Makes the run that holds `vcn` current; false (nothing current) when no run does.
    bool seek(std::uint64_t vcn);
    // Moves to the following run; false when there is none.
    bool next();

    bool valid() const { return index_ < runs_.size(); }
    const DataRun& run() const { return runs_[index_]; }
    std::uint64_t startVcn() const { return start_; }
    std::uint64_t endVcn() const { return start_ + runs_[index_].length; }

  private:
    std::span<const DataRun> runs_;
    std::size_t index_ = 0;
    std::uint64_t start_ = 0;
};

}  // namespace rekkon
