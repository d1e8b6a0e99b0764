#include "recovery/ByteRuns.h"

#include <algorithm>

namespace rekkon {

ByteRunList byteRunsOf(FileDataHandle& data, std::uint64_t size, std::size_t maxRuns) {
    ByteRunList list;
    size = std::min(size, data.size());
    std::uint64_t position = 0;
    // Every step moves on by at least one byte and at most `size` steps are taken; runs that
    // merge with the one before cost nothing, so the steps are also bounded by the pieces.
    while (position < size) {
        ByteRun run;
        run.fileOffset = position;
        if (const std::optional<StoredExtent> stored = data.storedAt(position);
            stored && stored->bytes != 0) {
            run.volumeOffset = stored->volumeOffset;
            run.bytes = std::min(stored->bytes, size - position);
        } else if (const std::uint64_t hole = data.holeBytesAt(position); hole != 0) {
            run.hole = true;
            run.bytes = std::min(hole, size - position);
        } else {
            list.complete = false;
            break;
        }
        position += run.bytes;
        if (!list.runs.empty()) {
            ByteRun& last = list.runs.back();
            const bool follows = last.hole == run.hole &&
                                 (run.hole || last.volumeOffset + last.bytes == run.volumeOffset);
            if (follows) {
                last.bytes += run.bytes;
                continue;
            }
        }
        if (list.runs.size() == maxRuns) {
            list.complete = false;
            break;
        }
        list.runs.push_back(run);
    }
    return list;
}

}  // namespace rekkon
