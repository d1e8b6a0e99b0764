#include "recovery/StoredMove.h"

#include <sys/sendfile.h>

#include <algorithm>
#include <cerrno>
#include <limits>

namespace rekkon {

std::uint64_t moveStoredData(FileDataHandle& data, std::uint64_t size, int source, int out,
                             std::size_t chunkBytes, const MoveProgress& progress) {
    constexpr auto kMaxOffset = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());
    std::uint64_t moved = 0;
    const std::uint64_t chunk = std::max<std::uint64_t>(chunkBytes, 1);
    // Each step moves at least one byte or stops, so the loop ends after size steps at most.
    while (moved < size) {
        const std::optional<StoredExtent> first = data.storedAt(moved);
        if (!first || first->bytes == 0 || first->volumeOffset > kMaxOffset) break;
        // Joined with the pieces that follow it on the source (a cluster each on FAT), up to a
        // chunk; each piece adds at least a byte.
        std::uint64_t run = std::min(first->bytes, size - moved);
        while (run < chunk && moved + run < size) {
            const std::optional<StoredExtent> next = data.storedAt(moved + run);
            if (!next || next->bytes == 0 || next->volumeOffset != first->volumeOffset + run) break;
            run += std::min(next->bytes, size - moved - run);
        }
        const std::uint64_t want = std::min({run, chunk, kMaxOffset - first->volumeOffset});
        if (want == 0) break;
        auto from = static_cast<off_t>(first->volumeOffset);
        ssize_t n = 0;
        do {
            n = ::sendfile(out, source, &from, static_cast<std::size_t>(want));
        } while (n < 0 && errno == EINTR);
        if (n <= 0) break;
        moved += static_cast<std::uint64_t>(n);
        if (!progress(static_cast<std::uint64_t>(n)) || static_cast<std::uint64_t>(n) < want) break;
    }
    return moved;
}

}  // namespace rekkon
