#include "carve/SourceCarveInput.h"

#include <algorithm>

#include "volume/SectorDevice.h"

namespace rekkon {

std::size_t SourceCarveInput::read(std::uint64_t offset, std::span<std::uint8_t> out) {
    if (offset >= limit_) return 0;
    out = out.first(static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), limit_ - offset)));
    if (offset >= split_.firstBytes) return readPiece(start_ + split_.gapBytes + offset, out);
    const std::size_t first =
        static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), split_.firstBytes - offset));
    const std::size_t got = readPiece(start_ + offset, out.first(first));
    if (got < first || first == out.size()) return got;
    return got + readPiece(start_ + split_.gapBytes + split_.firstBytes, out.subspan(first));
}

std::optional<StoredExtent> SourceCarveInput::storedAt(std::uint64_t offset) const {
    if (offset >= limit_) return std::nullopt;
    if (offset >= split_.firstBytes)
        return StoredExtent{start_ + split_.gapBytes + offset, limit_ - offset};
    return StoredExtent{start_ + offset, split_.firstBytes - offset};
}

std::size_t SourceCarveInput::readPiece(std::uint64_t at, std::span<std::uint8_t> out) {
    if (reader_.readAt(0, at, out) == out.size()) return out.size();
    // Part of it cannot be read: the bytes before the first sector that cannot.
    std::size_t done = 0;
    while (done < out.size()) {
        const std::uint64_t here = at + done;
        const std::size_t n =
            std::min<std::size_t>(out.size() - done, kSectorSize - here % kSectorSize);
        if (reader_.readAt(0, here, out.subspan(done, n)) != n) break;
        done += n;
    }
    return done;
}

}  // namespace rekkon
