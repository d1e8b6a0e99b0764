#include "carve/RarFormat.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "carve/ArchiveInflate.h"

namespace rekkon {

namespace {

constexpr std::uint8_t kMarker[6] = {'R', 'a', 'r', '!', 0x1A, 0x07};
constexpr std::size_t kMaxHeaders = 1u << 22;
constexpr std::uint64_t kMaxHeaderBytes = 2u << 20;

std::uint16_t le16At(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}
std::uint32_t le32At(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(le16At(b, at) | std::uint32_t{le16At(b, at + 2)} << 16);
}
std::uint32_t crcOf(std::span<const std::uint8_t> b) {
    return static_cast<std::uint32_t>(crc32(0, b.data(), static_cast<uInt>(b.size())));
}

// A RAR 5 variable-length integer at `at` (advanced past it); nullopt past the bytes or when
// longer than 10 bytes.
std::optional<std::uint64_t> vint(std::span<const std::uint8_t> b, std::size_t& at) {
    std::uint64_t v = 0;
    for (unsigned shift = 0; shift < 70 && at < b.size(); shift += 7) {
        const std::uint8_t c = b[at++];
        if (shift < 64) v |= std::uint64_t{c & 0x7Fu} << shift;
        if ((c & 0x80) == 0) return v;
    }
    return std::nullopt;
}

struct Walk {
    CarveInput& input;
    CarveResult r;
    std::uint64_t pos;

    CarveResult truncated() {
        r.verdict = CarveVerdict::Truncated;
        r.validBytes = pos;
        r.length = input.limit();
        r.problem = "the archive cut short";
        return r;
    }
    CarveResult damaged(const char* what) {
        r.verdict = CarveVerdict::Damaged;
        r.validBytes = r.length = pos;
        r.problem = std::string(what) + " at " + std::to_string(pos);
        return r;
    }
    CarveResult whole(std::uint64_t end) {
        r.verdict = CarveVerdict::Whole;
        r.validBytes = r.length = end;
        return r;
    }
    // Whether the `size` bytes at `at` have the CRC-32 `crc`; nullopt when they cannot be read.
    std::optional<bool> dataCrc(std::uint64_t at, std::uint64_t size, std::uint32_t crc) {
        CarveStream s(input);
        if (!s.seek(at)) return std::nullopt;
        const auto sum = crcOfStretch(s, size);
        if (!sum) return std::nullopt;
        return *sum == crc;
    }
};

CarveResult checkRar4(CarveInput& input) {
    Walk w{input, {}, 7};
    for (std::size_t n = 0; n < kMaxHeaders; ++n) {
        std::array<std::uint8_t, 7> b{};
        if (input.read(w.pos, b) < b.size()) return n == 0 ? CarveResult{} : w.truncated();
        const unsigned type = b[2], flags = le16At(b, 3), size = le16At(b, 5);
        if (n == 0 && (type != 0x73 || size < 13)) return {};
        if (type < 0x72 || type > 0x7B || size < 7) return w.damaged("an unknown block");
        std::vector<std::uint8_t> h(size);
        if (input.read(w.pos, h) < h.size()) return w.truncated();
        if ((crcOf(std::span(h).subspan(2)) & 0xFFFF) != le16At(h, 0))
            return n == 0 ? CarveResult{} : w.damaged("a block header unlike its CRC");
        std::uint64_t dataSize = 0;
        if (type == 0x74 || type == 0x7A) {
            if (size < 32) return w.damaged("a file header too short");
            dataSize = le32At(h, 7);
            if ((flags & 0x100) != 0) {
                if (size < 40) return w.damaged("a file header too short");
                dataSize |= std::uint64_t{le32At(h, 32)} << 32;
            }
        } else if ((flags & 0x8000) != 0) {
            if (size < 11) return w.damaged("a block header too short");
            dataSize = le32At(h, 7);
        }
        const std::uint64_t data = w.pos + size, next = data + dataSize;
        if (type == 0x74) {
            if (w.r.time == 0) {
                const std::uint32_t dos = le32At(h, 20);
                w.r.time = fileTimeOfCivil(1980 + static_cast<int>(dos >> 25), (dos >> 21) & 15,
                                           (dos >> 16) & 31, (dos >> 11) & 31, (dos >> 5) & 63,
                                           (dos & 31) * 2);
            }
            // Stored, whole, unencrypted: the data's CRC.
            if (h[25] == 0x30 && (flags & 0x07) == 0) {
                const auto same = w.dataCrc(data, dataSize, le32At(h, 16));
                if (!same) return w.truncated();
                if (!*same) return w.damaged("stored data unlike its CRC");
            }
        }
        if (next > input.limit()) return w.truncated();
        w.pos = next;
        if (type == 0x7B) return w.whole(next);
    }
    return w.damaged("too many blocks");
}

CarveResult checkRar5(CarveInput& input) {
    Walk w{input, {}, 8};
    for (std::size_t n = 0; n < kMaxHeaders; ++n) {
        std::array<std::uint8_t, 7> b{};
        const std::size_t got = input.read(w.pos, b);
        std::size_t at = 4;
        const auto size = vint(std::span(b).first(got), at);
        if (!size)
            return got < b.size() ? (n == 0 ? CarveResult{} : w.truncated())
                                  : w.damaged("a header of no size");
        if (*size == 0 || *size > kMaxHeaderBytes)
            return n == 0 ? CarveResult{} : w.damaged("a header of implausible size");
        std::vector<std::uint8_t> h(static_cast<std::size_t>(at + *size));
        if (input.read(w.pos, h) < h.size()) return n == 0 ? CarveResult{} : w.truncated();
        if (crcOf(std::span(h).subspan(4)) != le32At(h, 0))
            return n == 0 ? CarveResult{} : w.damaged("a header unlike its CRC");
        const auto type = vint(h, at), flags = vint(h, at);
        if (!type || !flags || *type < 1 || *type > 5)
            return n == 0 ? CarveResult{} : w.damaged("an unknown header");
        if (n == 0 && *type != 1 && *type != 4) return {};
        std::optional<std::uint64_t> extra = 0, dataSize = 0;
        if ((*flags & 1) != 0) extra = vint(h, at);
        if ((*flags & 2) != 0) dataSize = vint(h, at);
        if (!extra || !dataSize || *dataSize > (1ull << 50))
            return w.damaged("a header with bad sizes");
        const std::uint64_t data = w.pos + h.size(), next = data + *dataSize;
        if (*type == 2) {
            // File flags, unpacked size, attributes, [mtime], [CRC-32], compression.
            const auto fileFlags = vint(h, at), unpacked = vint(h, at), attributes = vint(h, at);
            if (!fileFlags || !unpacked || !attributes) return w.damaged("a bad file header");
            std::uint32_t mtime = 0, crc = 0;
            if ((*fileFlags & 2) != 0 && at + 4 <= h.size()) {
                mtime = le32At(h, at);
                at += 4;
            }
            if ((*fileFlags & 4) != 0 && at + 4 <= h.size()) {
                crc = le32At(h, at);
                at += 4;
            }
            const auto compression = vint(h, at);
            if (w.r.time == 0 && mtime != 0) {
                w.r.time = fileTimeOfUnix(mtime);
                w.r.timeUtc = true;
            }
            // Stored, whole, without extra records (no encryption): the data's CRC.
            if (compression && ((*compression >> 7) & 7) == 0 && (*fileFlags & 4) != 0 &&
                *extra == 0 && (*flags & 0x18) == 0 && *unpacked == *dataSize) {
                const auto same = w.dataCrc(data, *dataSize, crc);
                if (!same) return w.truncated();
                if (!*same) return w.damaged("stored data unlike its CRC");
            }
        }
        if (*type == 4) return w.damaged("encrypted headers that cannot be followed");
        if (next > input.limit()) return w.truncated();
        w.pos = next;
        if (*type == 5) return w.whole(next);
    }
    return w.damaged("too many headers");
}

}  // namespace

bool rarStarts(std::span<const std::uint8_t> head) {
    if (head.size() < 16 || !std::equal(std::begin(kMarker), std::end(kMarker), head.begin()))
        return false;
    if (head[6] == 0) return head[9] == 0x73 && le16At(head, 12) >= 13;  // RAR 4: main header
    // RAR 5: a main (or encryption) header after the header CRC and size.
    const std::uint8_t type = (head[12] & 0x80) != 0 ? head[14] : head[13];
    return head[6] == 1 && head[7] == 0 && head[12] != 0 && (type == 1 || type == 4);
}

CarveResult checkRar(CarveInput& input) {
    std::array<std::uint8_t, 16> head{};
    if (input.read(0, head) < head.size() || !rarStarts(head)) return {};
    return head[6] == 0 ? checkRar4(input) : checkRar5(input);
}

}  // namespace rekkon
