#include "ntfs/RunWalker.h"

namespace rekkon {

bool RunWalker::seek(std::uint64_t vcn) {
    if (!valid() || vcn < start_) {
        index_ = 0;
        start_ = 0;
    }
    // At most one step per run: the walk ends with the runs.
    while (valid()) {
        if (vcn < endVcn()) return true;
        start_ = endVcn();
        ++index_;
        ++steps_;
    }
    return false;
}

bool RunWalker::next() {
    if (!valid()) return false;
    start_ = endVcn();
    ++index_;
    ++steps_;
    return valid();
}

}  // namespace rekkon
