#include "carve/GzipFormat.h"

#include <zlib.h>

#include <array>
#include <string>

#include "carve/ArchiveInflate.h"

namespace rekkon {

namespace {

constexpr unsigned kHeaderCrc = 2, kExtra = 4, kName = 8, kComment = 16;
constexpr std::size_t kMaxName = 1024;
constexpr std::uint64_t kMaxZeroTerminated = 64 * 1024;

// The bytes of a zero-terminated field (without the zero; the first kMaxName kept), nullopt when
// the input ends first or it runs too long.
std::optional<std::string> zeroTerminated(CarveStream& s, bool& cut) {
    std::string out;
    for (std::uint64_t n = 0; n < kMaxZeroTerminated; ++n) {
        const auto c = s.u8();
        if (!c) {
            cut = true;
            return std::nullopt;
        }
        if (*c == 0) return out;
        if (out.size() < kMaxName) out += static_cast<char>(*c);
    }
    return std::nullopt;
}

// A Latin-1 file name as UTF-8, without its folders.
std::string nameOf(const std::string& latin1) {
    std::string out;
    for (unsigned char c : latin1) {
        if (c == '/' || c == '\\') {
            out.clear();
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace

bool gzipStarts(std::span<const std::uint8_t> head) {
    // Magic, deflate, no reserved flag bits, extra flags 0, 2 or 4, a known system.
    return head.size() >= 10 && head[0] == 0x1F && head[1] == 0x8B && head[2] == 8 &&
           (head[3] & 0xE0) == 0 && (head[8] == 0 || head[8] == 2 || head[8] == 4) &&
           (head[9] <= 13 || head[9] == 255);
}

CarveResult checkGzip(CarveInput& input) {
    CarveStream s(input);
    std::array<std::uint8_t, 10> h{};
    if (!s.bytes(h) || !gzipStarts(h)) return {};
    CarveResult r;
    const unsigned flags = h[3];
    bool cut = false;
    if ((flags & kExtra) != 0) {
        const auto length = s.le16();
        if (!length || !s.skip(*length)) cut = true;
    }
    if (!cut && (flags & kName) != 0) {
        const auto name = zeroTerminated(s, cut);
        if (!name && !cut) return {};
        if (name) r.name = nameOf(*name);
    }
    if (!cut && (flags & kComment) != 0 && !zeroTerminated(s, cut) && !cut) return {};
    if (!cut && (flags & kHeaderCrc) != 0) {
        const std::uint64_t headerEnd = s.position();
        std::vector<std::uint8_t> header(static_cast<std::size_t>(headerEnd));
        const auto stored = s.le16();
        if (!stored) {
            cut = true;
        } else if (input.read(0, header) != header.size() ||
                   (crc32(0, header.data(), static_cast<uInt>(header.size())) & 0xFFFF) !=
                       *stored) {
            return {};
        }
    }
    const std::uint32_t mtime = static_cast<std::uint32_t>(h[4] | h[5] << 8 | h[6] << 16) |
                                static_cast<std::uint32_t>(h[7]) << 24;
    if (mtime != 0) {
        r.time = fileTimeOfUnix(mtime);
        r.timeUtc = true;
    }
    if (cut) {
        r.verdict = CarveVerdict::Truncated;
        r.length = input.limit();
        r.problem = "the header cut short";
        return r;
    }
    const std::uint64_t dataStart = s.position();
    const InflateOutcome o = inflateRaw(s, ~0ull, ~0ull);
    r.validBytes = dataStart;
    if (o.end == InflateEnd::Corrupt) {
        // Bytes that do not even start a deflate stream: a signature met by chance.
        if (o.consumed < 16) return {};
        r.verdict = CarveVerdict::Damaged;
        r.length = dataStart + o.consumed;
        r.problem = "a deflate stream that stops decoding at " + std::to_string(r.length);
        return r;
    }
    const auto crc = o.end == InflateEnd::Done ? s.le32() : std::nullopt;
    const auto size = crc ? s.le32() : std::nullopt;
    if (!size) {
        r.verdict = CarveVerdict::Truncated;
        r.length = input.limit();
        r.problem = "the compressed data cut short";
        return r;
    }
    r.length = s.position();
    if (*crc != o.crc || *size != static_cast<std::uint32_t>(o.produced)) {
        r.verdict = CarveVerdict::Damaged;
        r.validBytes = dataStart + o.consumed;
        r.problem = "a CRC or length in the trailer unlike the data";
        return r;
    }
    r.verdict = CarveVerdict::Whole;
    r.validBytes = r.length;
    return r;
}

}  // namespace rekkon
