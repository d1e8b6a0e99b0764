#pragma once

#include <cstdint>

namespace rekkon {

// A stretch of `count` clusters from cluster `first` on, numbered as the file system numbers
// them.
struct ClusterRun {
    std::uint64_t first = 0;
    std::uint64_t count = 0;

    std::uint64_t end() const { return first + count; }  // one past the last cluster
    bool operator==(const ClusterRun&) const = default;
};

}  // namespace rekkon
