#include "carve/BmpFormat.h"

#include <algorithm>

namespace rekkon {
namespace {

constexpr std::uint32_t kMaxSide = 1u << 17;
constexpr std::uint64_t kSlack = 4;  // some writers count a few padding bytes after the pixels

std::uint32_t le32At(std::span<const std::uint8_t> b, std::size_t at) {
    return std::uint32_t{b[at]} | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t{b[at + 3]} << 24;
}
std::uint16_t le16At(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

bool knownInfoSize(std::uint32_t size) {
    return size == 12 || size == 40 || size == 52 || size == 56 || size == 64 || size == 108 ||
           size == 124;
}

}  // namespace

bool bmpStarts(std::span<const std::uint8_t> head) {
    return head.size() >= 30 && head[0] == 'B' && head[1] == 'M' && le32At(head, 6) == 0 &&
           knownInfoSize(le32At(head, 14)) && le32At(head, 2) >= 26 &&
           le32At(head, 10) >= 14 + le32At(head, 14);
}

CarveResult checkBmp(CarveInput& input) {
    std::uint8_t bytes[14 + 124] = {};
    const std::size_t got = input.read(0, bytes);
    const std::span<const std::uint8_t> h(bytes, got);
    if (got < 30 || !bmpStarts(h)) return {};
    const std::uint32_t fileSize = le32At(h, 2);
    const std::uint32_t pixelOffset = le32At(h, 10);
    const std::uint32_t info = le32At(h, 14);
    if (got < 14 + info) return {};
    std::uint64_t width = 0, height = 0;
    std::uint16_t planes = 0, bpp = 0;
    std::uint32_t compression = 0, imageSize = 0, coloursUsed = 0;
    if (info == 12) {
        width = le16At(h, 18);
        height = le16At(h, 20);
        planes = le16At(h, 22);
        bpp = le16At(h, 24);
    } else {
        const auto w = static_cast<std::int32_t>(le32At(h, 18));
        const auto hh = static_cast<std::int32_t>(le32At(h, 22));
        if (w <= 0 || hh == 0 || hh == INT32_MIN) return {};
        width = static_cast<std::uint64_t>(w);
        height = static_cast<std::uint64_t>(hh < 0 ? -static_cast<std::int64_t>(hh) : hh);
        planes = le16At(h, 26);
        bpp = le16At(h, 28);
        compression = le32At(h, 30);
        imageSize = le32At(h, 34);
        coloursUsed = le32At(h, 46);
    }
    const bool bppOk = bpp == 1 || bpp == 2 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 ||
                       bpp == 32 || bpp == 64;
    if (planes != 1 || !bppOk || width == 0 || height == 0 || width > kMaxSide ||
        height > kMaxSide || compression > 6)
        return {};
    std::uint64_t pixels = 0;
    if (compression == 0 || compression == 3 || compression == 6) {
        pixels = (bpp * width + 31) / 32 * 4 * height;
        if (compression != 0 && bpp != 16 && bpp != 32) return {};
    } else {
        if (imageSize == 0) return {};  // compressed: the header says how much
        if ((compression == 1 && bpp != 8) || (compression == 2 && bpp != 4)) return {};
        pixels = imageSize;
    }
    if (coloursUsed > (1u << 16) || (bpp <= 8 && coloursUsed > (1u << bpp))) return {};
    std::uint64_t end = std::uint64_t{pixelOffset} + pixels;
    if (info == 124 && le32At(h, 14 + 56) == 0x4D424544) {  // 'MBED': a profile in the file
        const std::uint64_t at = 14 + std::uint64_t{le32At(h, 14 + 112)};
        end = std::max(end, at + le32At(h, 14 + 116));
    }
    // The pixels come after the headers (a palette may hold fewer colours than it could), and
    // the file-size field agrees with them; some writers leave it 0.
    if (pixelOffset < 14 + info) return {};
    if (fileSize != 0 && (fileSize < end || fileSize > end + kSlack)) return {};
    CarveResult r;
    const std::uint64_t length = fileSize != 0 ? fileSize : end;
    if (length > input.limit()) {
        r.verdict = CarveVerdict::Truncated;
        r.length = r.validBytes = input.limit();
        r.problem = "cut short at " + std::to_string(input.limit());
        return r;
    }
    r.verdict = CarveVerdict::Whole;
    r.length = r.validBytes = length;
    return r;
}

}  // namespace rekkon
