#include "carve/GifFormat.h"

#include <cstring>

namespace rekkon {
namespace {

constexpr std::uint64_t kMinBytes = 35;

// Skips a chain of data sub-blocks up to and past its zero-length terminator; false at the limit.
bool skipSubBlocks(CarveStream& s) {
    for (;;) {
        const auto size = s.u8();
        if (!size) return false;
        if (*size == 0) return true;
        if (!s.skip(*size)) return false;
    }
}

std::uint64_t colourTableBytes(std::uint8_t packed) {
    return (packed & 0x80) ? 3u << ((packed & 7) + 1) : 0;
}

}  // namespace

bool gifStarts(std::span<const std::uint8_t> head) {
    if (head.size() < 13 || std::memcmp(head.data(), "GIF8", 4) != 0 ||
        (head[4] != '7' && head[4] != '9') || head[5] != 'a')
        return false;
    return (head[6] | head[7]) != 0 && (head[8] | head[9]) != 0;
}

CarveResult checkGif(CarveInput& input) {
    CarveStream s(input);
    CarveResult r;
    std::uint8_t header[13];
    if (!s.bytes(header) || !gifStarts(header)) return r;
    if (!s.skip(colourTableBytes(header[10]))) return r;
    std::uint32_t images = 0;
    auto truncated = [&] {
        if (images == 0 && s.position() < kMinBytes) return CarveResult{};
        CarveResult t;
        t.verdict = CarveVerdict::Truncated;
        t.length = t.validBytes = input.limit();
        t.problem = "cut short at " + std::to_string(input.limit());
        return t;
    };
    for (;;) {
        const std::uint64_t at = s.position();
        const auto block = s.u8();
        if (!block) return truncated();
        if (*block == 0x3B) {
            if (images == 0) return r;
            r.verdict = CarveVerdict::Whole;
            r.length = r.validBytes = s.position();
            return r;
        }
        if (*block == 0x2C) {
            std::uint8_t desc[9];
            if (!s.bytes(desc)) return truncated();
            const bool sized = (desc[4] | desc[5]) != 0 && (desc[6] | desc[7]) != 0;
            if (!s.skip(colourTableBytes(desc[8]))) return truncated();
            const auto codeSize = s.u8();
            if (!codeSize) return truncated();
            if (!sized || *codeSize < 2 || *codeSize > 11) {
                if (images == 0) return r;
                r.verdict = CarveVerdict::Damaged;
                r.length = r.validBytes = at;
                r.problem = "an image descriptor that does not add up at " + std::to_string(at);
                return r;
            }
            if (!skipSubBlocks(s)) return truncated();
            ++images;
        } else if (*block == 0x21) {
            if (!s.u8() || !skipSubBlocks(s)) return truncated();
        } else {
            // Neither a block nor the trailer: chance bytes, or a file broken here.
            if (images == 0) return r;
            r.verdict = CarveVerdict::Damaged;
            r.length = r.validBytes = at;
            r.problem = "a byte that begins no GIF block at " + std::to_string(at);
            return r;
        }
    }
}

}  // namespace rekkon
