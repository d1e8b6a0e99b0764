#include "fuzz/CopyCheck.h"

#include <algorithm>
#include <array>

#include "fuzz/FuzzCheck.h"
#include "recovery/DataCopy.h"

namespace rekkon::fuzz {

void copyThroughLoop(FileDataHandle& data, std::uint64_t size) {
    std::uint64_t delivered = 0;
    std::uint64_t holes = 0;
    std::array<std::uint8_t, 4096> start{};
    const CopyStats stats = copyFileData(
        data, size, 64 * 1024,
        [&delivered](std::span<const std::uint8_t> bytes) {
            delivered += bytes.size();
            return true;
        },
        [&](std::uint64_t bytes) {
            // A hole reads as zeros: its start is read back through the handle.
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(bytes, start.size()));
            start.fill(0xEE);
            const std::size_t got =
                std::min(n, data.read(delivered + holes, std::span(start).first(n)));
            fuzzCheck(std::all_of(start.begin(), start.begin() + static_cast<std::ptrdiff_t>(got),
                                  [](std::uint8_t b) { return b == 0; }),
                      "a hole read as other than zeros");
            holes += bytes;
            return true;
        });
    fuzzCheck(stats.bytesDelivered == size && delivered + holes == size,
              "the copy loop delivered other than the size asked for");
    fuzzCheck(stats.holeBytes == holes, "the holes counted are not the holes handed over");
    fuzzCheck(stats.unreadableBytes <= size - holes, "more bytes unreadable than copied");
}

}  // namespace rekkon::fuzz
