#include "carve/SevenZipFormat.h"

#include <zlib.h>

#include <algorithm>
#include <array>

#include "carve/ArchiveInflate.h"

namespace rekkon {

namespace {

constexpr std::uint8_t kMagic[6] = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C};
constexpr std::uint8_t kHeader = 0x01, kEncodedHeader = 0x17;

std::uint64_t le64At(std::span<const std::uint8_t> b, std::size_t at) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = v << 8 | b[at + static_cast<std::size_t>(i)];
    return v;
}

}  // namespace

bool sevenZipStarts(std::span<const std::uint8_t> head) {
    return head.size() >= 32 && std::equal(std::begin(kMagic), std::end(kMagic), head.begin()) &&
           head[6] == 0 && head[7] <= 9;
}

CarveResult checkSevenZip(CarveInput& input) {
    std::array<std::uint8_t, 32> h{};
    if (input.read(0, h) < h.size() || !sevenZipStarts(h)) return {};
    const std::uint32_t startCrc = static_cast<std::uint32_t>(le64At(h, 8) & 0xFFFFFFFF);
    if (crc32(0, h.data() + 12, 20) != startCrc) return {};
    const std::uint64_t offset = le64At(h, 12), size = le64At(h, 20);
    const std::uint32_t headerCrc = static_cast<std::uint32_t>(le64At(h, 28 - 4) >> 32);
    // An empty archive (no next header) holds nothing worth carving.
    if (size == 0 || offset > (1ull << 50) || size > (1ull << 40)) return {};
    CarveResult r;
    r.validBytes = 32;
    const std::uint64_t start = 32 + offset, end = start + size;
    CarveStream s(input);
    std::uint8_t first = 0;
    if (end > input.limit() || !s.seek(start) || !s.bytes(std::span(&first, 1))) {
        r.verdict = CarveVerdict::Truncated;
        r.length = input.limit();
        r.problem = "the archive cut short";
        return r;
    }
    s.seek(start);
    const auto crc = crcOfStretch(s, size);
    if (!crc) {
        r.verdict = CarveVerdict::Truncated;
        r.length = input.limit();
        r.problem = "the archive's header cut short";
        return r;
    }
    r.length = end;
    if (*crc != headerCrc || (first != kHeader && first != kEncodedHeader)) {
        r.verdict = CarveVerdict::Damaged;
        r.problem = "a header unlike its CRC at " + std::to_string(start);
        return r;
    }
    r.verdict = CarveVerdict::Whole;
    r.validBytes = r.length;
    return r;
}

}  // namespace rekkon
