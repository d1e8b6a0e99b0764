#include "carve/PngFormat.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "carve/ImageMeta.h"
#include "carve/TiffIfd.h"

namespace rekkon {
namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr std::uint32_t kMaxChunk = 0x7FFFFFFF;
constexpr std::uint32_t kMaxExif = 1 << 20;

bool isLetter(std::uint8_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool plausibleHeader(const std::uint8_t* h) {
    const std::uint32_t width = std::uint32_t{h[0]} << 24 | h[1] << 16 | h[2] << 8 | h[3];
    const std::uint32_t height = std::uint32_t{h[4]} << 24 | h[5] << 16 | h[6] << 8 | h[7];
    const std::uint8_t depth = h[8], colour = h[9];
    const bool depthOk = depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    const bool colourOk = colour == 0 || colour == 2 || colour == 3 || colour == 4 || colour == 6;
    return width > 0 && height > 0 && width <= kMaxChunk && height <= kMaxChunk && depthOk &&
           colourOk && h[10] == 0 && h[11] == 0 && h[12] <= 1;
}

}  // namespace

bool pngStarts(std::span<const std::uint8_t> head) {
    return head.size() >= 16 && std::memcmp(head.data(), kSignature, 8) == 0 && head[8] == 0 &&
           head[9] == 0 && head[10] == 0 && head[11] == 13 &&
           std::memcmp(head.data() + 12, "IHDR", 4) == 0;
}

CarveResult checkPng(CarveInput& input) {
    CarveStream s(input);
    CarveResult r;
    std::uint8_t signature[8];
    if (!s.bytes(signature) || std::memcmp(signature, kSignature, 8) != 0) return r;
    std::uint64_t badCrcAt = 0;
    ExifInfo exif;
    auto cut = [&](std::uint64_t at) {
        r.verdict = badCrcAt ? CarveVerdict::Damaged : CarveVerdict::Truncated;
        r.validBytes = badCrcAt ? badCrcAt : input.limit();
        r.length = std::max(r.validBytes, at);
        if (!badCrcAt) r.problem = "cut short at " + std::to_string(input.limit());
        nameFromExif(exif, r);
        return r;
    };
    for (bool first = true;; first = false) {
        const std::uint64_t at = s.position();
        std::uint8_t head[8];
        if (!s.bytes(head)) return first ? CarveResult{} : cut(input.limit());
        const std::uint32_t length =
            std::uint32_t{head[0]} << 24 | head[1] << 16 | head[2] << 8 | head[3];
        const std::uint8_t* type = head + 4;
        const bool known = isLetter(type[0]) && isLetter(type[1]) && isLetter(type[2]) &&
                           isLetter(type[3]) && length <= kMaxChunk;
        if (first && (length != 13 || std::memcmp(type, "IHDR", 4) != 0)) return {};
        if (!known) {
            // The chunk chain breaks here: the file is taken to end where it still held.
            r.verdict = CarveVerdict::Damaged;
            r.validBytes = badCrcAt ? badCrcAt : at;
            r.length = at;
            r.problem = "a chunk that is none at " + std::to_string(at);
            if (r.length < 8 + 25) return {};
            nameFromExif(exif, r);
            return r;
        }
        uLong crc = crc32(0, type, 4);
        std::vector<std::uint8_t> kept;  // the chunks read for their content
        const bool keep =
            (first || std::memcmp(type, "tIME", 4) == 0 || std::memcmp(type, "eXIf", 4) == 0) &&
            length <= kMaxExif;
        std::uint64_t left = length;
        while (left > 0) {
            const auto w = s.window();
            if (w.empty()) return first ? CarveResult{} : cut(input.limit());
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, w.size()));
            crc = crc32(crc, w.data(), static_cast<uInt>(n));
            if (keep) kept.insert(kept.end(), w.begin(), w.begin() + n);
            s.consume(n);
            left -= n;
        }
        const auto stored = s.be32();
        if (!stored) return first ? CarveResult{} : cut(input.limit());
        if (first && !plausibleHeader(kept.data())) return {};
        if (*stored != crc) {
            if (first) return {};
            if (!badCrcAt) {
                badCrcAt = at;
                r.problem = "a PNG chunk's CRC does not match at " + std::to_string(at);
            }
        }
        if (std::memcmp(type, "tIME", 4) == 0 && kept.size() == 7 && !r.time) {
            r.time =
                civilFileTime(kept[0] << 8 | kept[1], kept[2], kept[3], kept[4], kept[5], kept[6]);
            r.timeUtc = r.time != 0;
        } else if (std::memcmp(type, "eXIf", 4) == 0 && !kept.empty()) {
            MemoryCarveInput tiff(kept);
            exif = walkTiff(tiff).exif;
        } else if (std::memcmp(type, "IEND", 4) == 0) {
            r.length = s.position();
            r.verdict = badCrcAt ? CarveVerdict::Damaged : CarveVerdict::Whole;
            r.validBytes = badCrcAt ? badCrcAt : r.length;
            const std::uint64_t pngTime = r.time;
            const bool pngUtc = r.timeUtc;
            nameFromExif(exif, r);
            if (pngTime) {  // tIME says when the picture was last changed, in UTC
                if (exifFileTime(exif.dateTimeOriginal) == 0) {
                    r.time = pngTime;
                    r.timeUtc = pngUtc;
                }
            }
            return r;
        }
    }
}

}  // namespace rekkon
