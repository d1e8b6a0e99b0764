#include "fuzz/CopyCheck.h"

#include "fuzz/FuzzCheck.h"
#include "recovery/DataCopy.h"

namespace rekkon::fuzz {

void copyThroughLoop(FileDataHandle& data, std::uint64_t size) {
    std::uint64_t delivered = 0;
    const CopyStats stats =
        copyFileData(data, size, 64 * 1024, [&delivered](std::span<const std::uint8_t> bytes) {
            delivered += bytes.size();
            return true;
        });
    fuzzCheck(stats.bytesDelivered == size && delivered == size,
              "the copy loop delivered other than the size asked for");
    fuzzCheck(stats.unreadableBytes <= size, "more bytes unreadable than copied");
}

}  // namespace rekkon::fuzz
