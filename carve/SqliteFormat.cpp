#include "carve/SqliteFormat.h"

#include <array>
#include <cstring>
#include <string>

namespace rekkon {

namespace {

constexpr char kMagic[] = "SQLite format 3";  // and its terminating zero: 16 bytes

std::uint32_t be32At(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) << 24 | static_cast<std::uint32_t>(b[at + 1]) << 16 |
           static_cast<std::uint32_t>(b[at + 2]) << 8 | b[at + 3];
}

// The page size the header gives, 0 when it is not one.
std::uint32_t pageSizeOf(std::span<const std::uint8_t> h) {
    const std::uint32_t v = static_cast<std::uint32_t>(h[16]) << 8 | h[17];
    if (v == 1) return 65536;
    if (v < 512 || v > 32768 || (v & (v - 1)) != 0) return 0;
    return v;
}

}  // namespace

bool sqliteStarts(std::span<const std::uint8_t> head) {
    // The magic, then fields whose values are fixed: payload fractions 64, 32, 32.
    return head.size() >= 24 && std::memcmp(head.data(), kMagic, 16) == 0 &&
           pageSizeOf(head) != 0 && head[21] == 64 && head[22] == 32 && head[23] == 32;
}

CarveResult checkSqlite(CarveInput& input) {
    std::array<std::uint8_t, 101> h{};
    if (input.read(0, h) < h.size() || !sqliteStarts(h)) return {};
    const std::uint32_t pageSize = pageSizeOf(h);
    const unsigned write = h[18], read = h[19], reserved = h[20];
    // Page 1's b-tree header follows the database header: a table leaf or interior page.
    if (write < 1 || write > 2 || read < 1 || read > 2 || reserved > pageSize - 480 ||
        (h[100] != 0x0D && h[100] != 0x05))
        return {};
    const std::uint32_t changes = be32At(h, 24), pages = be32At(h, 28), validFor = be32At(h, 92);
    const std::uint32_t freelistTrunk = be32At(h, 32);
    CarveResult r;
    const std::uint64_t length = std::uint64_t{pageSize} * pages;
    r.validBytes = pageSize;
    if (pages == 0 || changes != validFor) {
        r.verdict = CarveVerdict::Damaged;
        r.length =
            std::min<std::uint64_t>(std::max<std::uint64_t>(length, pageSize), input.limit());
        r.validBytes = std::min<std::uint64_t>(r.validBytes, r.length);
        r.problem = "a header whose page count is stale";
        return r;
    }
    if (freelistTrunk > pages) {
        r.verdict = CarveVerdict::Damaged;
        r.length = std::min(length, input.limit());
        r.validBytes = std::min<std::uint64_t>(r.validBytes, r.length);
        r.problem = "a free-list page past the database's end";
        return r;
    }
    std::uint8_t last = 0;
    if (length > input.limit() || input.read(length - 1, std::span(&last, 1)) != 1) {
        r.verdict = CarveVerdict::Truncated;
        r.length = input.limit();
        r.validBytes = std::min<std::uint64_t>(r.validBytes, r.length);
        r.problem = "the database cut short";
        return r;
    }
    r.verdict = CarveVerdict::Whole;
    r.length = r.validBytes = length;
    return r;
}

}  // namespace rekkon
