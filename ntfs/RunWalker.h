#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "ntfs/MftFile.h"

namespace rekkon {

// Steps through an attribute's runs in VCN order and finds the run that holds a VCN. Reads that
// move forward continue from the current run instead of adding up the lengths from VCN 0 again;
// a walker may start where an earlier one ended (`from`, checked against the runs).
class RunWalker {
  public:
    explicit RunWalker(std::span<const DataRun> runs, RunPosition from = {})
        : runs_(runs), index_(from.index), start_(from.startVcn) {
        if (index_ >= runs_.size()) {
            index_ = 0;
            start_ = 0;
        }
    }

    // Makes the run that holds `vcn` current; false (nothing current) when no run does.
    bool seek(std::uint64_t vcn);
    // Moves to the following run; false when there is none.
    bool next();

    bool valid() const { return index_ < runs_.size(); }
    const DataRun& run() const { return runs_[index_]; }
    std::uint64_t startVcn() const { return start_; }
    std::uint64_t endVcn() const { return start_ + runs_[index_].length; }
    // The current run, for a later walker to start from.
    RunPosition position() const { return {index_, start_}; }
    // Runs stepped over since the walker was made.
    std::uint64_t steps() const { return steps_; }

  private:
    std::span<const DataRun> runs_;
    std::size_t index_ = 0;
    std::uint64_t start_ = 0;
    std::uint64_t steps_ = 0;
};

}  // namespace rekkon
