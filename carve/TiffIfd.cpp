#include "carve/TiffIfd.h"

#include <algorithm>
#include <set>
#include <vector>

namespace rekkon {
namespace {

constexpr std::size_t kMaxIfds = 512;
constexpr std::uint32_t kMaxEntries = 4096;
constexpr int kMaxDepth = 4;
constexpr std::uint32_t kMaxStrips = 1u << 20;
constexpr std::uint64_t kMaxText = 256;

std::uint32_t typeSize(std::uint16_t type) {
    switch (type) {
        case 1:
        case 2:
        case 6:
        case 7:
            return 1;  // BYTE ASCII SBYTE UNDEFINED
        case 3:
        case 8:
            return 2;  // SHORT SSHORT
        case 4:
        case 9:
        case 11:
        case 13:
            return 4;  // LONG SLONG FLOAT IFD
        case 5:
        case 10:
        case 12:
            return 8;  // RATIONAL SRATIONAL DOUBLE
        default:
            return 0;
    }
}

std::optional<std::uint32_t> readU32(CarveStream& s, bool be) {
    return be ? s.be32() : s.le32();
}
std::optional<std::uint16_t> readU16(CarveStream& s, bool be) {
    return be ? s.be16() : s.le16();
}

struct Pending {
    std::uint64_t offset;
    int depth;
    bool chain;  // follows its next-IFD link (IFD0's chain and SubIFDs)
};

class Walker {
  public:
    Walker(CarveInput& input, const TiffVisitor& visit)
        : input_(input), s_(input, 16 * 1024), pairs_(input, 4096), visit_(visit) {}

    TiffWalk run() {
        std::uint8_t head[8];
        if (!s_.bytes(head)) return std::move(w_);
        if (head[0] == 'I' && head[1] == 'I' && head[2] == 42 && head[3] == 0) {
            be_ = false;
        } else if (head[0] == 'M' && head[1] == 'M' && head[2] == 0 && head[3] == 42) {
            be_ = true;
        } else {
            return std::move(w_);
        }
        w_.bigEndian = be_;
        const std::uint32_t first =
            be_ ? (std::uint32_t{head[4]} << 24 | head[5] << 16 | head[6] << 8 | head[7])
                : (std::uint32_t{head[7]} << 24 | head[6] << 16 | head[5] << 8 | head[4]);
        if (first < 8) return std::move(w_);
        w_.extent = 8;
        queue_.push_back({first, 0, true});
        for (std::size_t i = 0; i < queue_.size() && i < kMaxIfds; ++i) {
            if (!ifd(queue_[i], i == 0)) return std::move(w_);
        }
        return std::move(w_);
    }

  private:
    void broken(std::uint64_t at, std::string what) {
        if (w_.brokenAt != 0) return;
        w_.brokenAt = std::max<std::uint64_t>(at, 1);
        w_.problem = std::move(what);
    }
    void reach(std::uint64_t offset, std::uint64_t bytes) {
        if (offset > input_.limit() || bytes > input_.limit() - offset) w_.pastLimit = true;
        w_.extent = std::max(w_.extent, offset + bytes);
    }

    // Reads one IFD; false when the first one shows the bytes are no TIFF after all.
    bool ifd(const Pending p, bool first) {
        if (!seen_.insert(p.offset).second) return true;  // a loop: read once
        if (!s_.seek(p.offset)) {
            if (first) return false;
            w_.pastLimit = true;
            return true;
        }
        const auto count = readU16(s_, be_);
        if (!count || *count == 0 || *count > kMaxEntries) {
            if (first) return false;
            if (!count) {
                w_.pastLimit = true;
            } else {
                broken(p.offset, "an IFD of " + std::to_string(*count) + " entries at " +
                                     std::to_string(p.offset));
            }
            return true;
        }
        std::vector<TiffEntry> entries;
        entries.reserve(*count);
        std::uint32_t unknown = 0, unordered = 0;
        std::uint16_t lastTag = 0;
        for (std::uint32_t i = 0; i < *count; ++i) {
            const std::uint64_t at = s_.position();
            const auto tag = readU16(s_, be_);
            const auto type = readU16(s_, be_);
            const auto n = readU32(s_, be_);
            const auto value = readU32(s_, be_);
            if (!value) {
                if (first) return false;
                w_.pastLimit = true;
                return true;
            }
            if (i > 0 && *tag <= lastTag) ++unordered;
            lastTag = *tag;
            const std::uint32_t size = typeSize(*type);
            if (size == 0) {
                ++unknown;
                continue;
            }
            TiffEntry e{*tag, *type, *n, at + 8, std::uint64_t{*n} * size};
            if (e.bytes > 4) e.valueAt = *value;
            entries.push_back(e);
        }
        const auto next = readU32(s_, be_);
        if (first && (unknown * 4 > *count || unordered * 4 > *count)) return false;
        if (first) w_.plausible = true;
        reach(p.offset, 2 + std::uint64_t{*count} * 12 + 4);
        if (unknown > 0)
            broken(p.offset, "an IFD entry of an unknown type at " + std::to_string(p.offset));
        if (!next) {
            w_.pastLimit = true;
        } else if (*next != 0 && p.chain) {
            queue_.push_back({*next, p.depth, true});
        }
        for (const TiffEntry& e : entries)
            entry(e, p.depth);
        strips(entries, 0x0111, 0x0117);  // StripOffsets, StripByteCounts
        strips(entries, 0x0144, 0x0145);  // TileOffsets, TileByteCounts
        strips(entries, 0x0201, 0x0202);  // JPEGInterchangeFormat and its length
        return true;
    }

    void entry(const TiffEntry& e, int depth) {
        if (e.bytes > 4) reach(e.valueAt, e.bytes);
        switch (e.tag) {
            case 0x010F:
                w_.exif.make = text(e);
                break;
            case 0x0110:
                w_.exif.model = text(e);
                break;
            case 0x0132:
                w_.exif.dateTime = text(e);
                break;
            case 0x9003:
                w_.exif.dateTimeOriginal = text(e);
                break;
            case 0xC612:
                w_.dng = true;
                break;
            case 0x014A:  // SubIFDs
                for (std::uint32_t i = 0; i < e.count && i < 64; ++i)
                    child(e, i, depth, true);
                break;
            case 0x8769:  // Exif IFD
            case 0x8825:  // GPS IFD
            case 0xA005:  // interoperability IFD
                child(e, 0, depth, false);
                break;
            default:
                break;
        }
        if (visit_) visit_(s_, e, be_);
    }

    void child(const TiffEntry& e, std::uint32_t index, int depth, bool chain) {
        if (depth + 1 > kMaxDepth) return;
        const auto at = tiffValue(s_, e, be_, index);
        if (!at) return;
        if (*at < 8) {
            broken(e.valueAt, "an IFD link to " + std::to_string(*at));
            return;
        }
        queue_.push_back({*at, depth + 1, chain});
    }

    std::string text(const TiffEntry& e) {
        if (e.type != 2) return {};
        std::string raw(static_cast<std::size_t>(std::min(e.bytes, kMaxText)), '\0');
        if (!s_.seek(e.valueAt) ||
            !s_.bytes(std::span(reinterpret_cast<std::uint8_t*>(raw.data()), raw.size())))
            return {};
        return exifText(raw);
    }

    // The data an offsets entry and its byte-counts entry point to.
    void strips(const std::vector<TiffEntry>& entries, std::uint16_t offsetsTag,
                std::uint16_t countsTag) {
        const auto find = [&](std::uint16_t tag) -> const TiffEntry* {
            for (const TiffEntry& e : entries)
                if (e.tag == tag) return &e;
            return nullptr;
        };
        const TiffEntry* offsets = find(offsetsTag);
        const TiffEntry* counts = find(countsTag);
        if (!offsets || !counts) return;
        const std::uint32_t n = std::min({offsets->count, counts->count, kMaxStrips});
        for (std::uint32_t i = 0; i < n; ++i) {
            const auto off = tiffValue(s_, *offsets, be_, i);
            const auto len = tiffValue(pairs_, *counts, be_, i);
            if (!off || !len) {
                w_.pastLimit = true;
                return;
            }
            if (*len > 0) reach(*off, *len);
        }
    }

    CarveInput& input_;
    CarveStream s_;
    CarveStream pairs_;  // the byte counts beside the offsets, without refilling s_ each time
    const TiffVisitor& visit_;
    bool be_ = false;
    TiffWalk w_;
    std::vector<Pending> queue_;
    std::set<std::uint64_t> seen_;
};

}  // namespace

std::optional<std::uint32_t> tiffValue(CarveStream& s, const TiffEntry& e, bool be,
                                       std::uint32_t index) {
    if (index >= e.count) return std::nullopt;
    const std::uint32_t size = typeSize(e.type);
    if (!s.seek(e.valueAt + std::uint64_t{index} * size)) return std::nullopt;
    switch (e.type) {
        case 1:
        case 7: {
            const auto v = s.u8();
            if (!v) return std::nullopt;
            return *v;
        }
        case 3: {
            const auto v = readU16(s, be);
            if (!v) return std::nullopt;
            return *v;
        }
        case 4:
        case 13:
            return readU32(s, be);
        default:
            return std::nullopt;
    }
}

TiffWalk walkTiff(CarveInput& input, const TiffVisitor& visit) {
    return Walker(input, visit).run();
}

}  // namespace rekkon
