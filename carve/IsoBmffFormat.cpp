#include "carve/IsoBmffFormat.h"

#include <algorithm>
#include <array>
#include <string>

#include "carve/MediaTime.h"

namespace rekkon {
namespace {

constexpr std::uint32_t fourcc(const char (&s)[5]) {
    return std::uint32_t(std::uint8_t(s[0])) << 24 | std::uint32_t(std::uint8_t(s[1])) << 16 |
           std::uint32_t(std::uint8_t(s[2])) << 8 | std::uint32_t(std::uint8_t(s[3]));
}

constexpr std::uint32_t kFtypMaxBytes = 4096;  // a few hundred compatible brands
constexpr int kMaxBoxes = 1 << 20;             // top-level boxes and boxes in one container
constexpr int kMaxDepth = 8;
constexpr std::uint32_t kMaxEntries = 1u << 24;  // chunk offsets, image items, extents
constexpr std::uint64_t kNoValue = ~0ull;        // a field that could not be read

std::uint32_t be32At(std::span<const std::uint8_t> b, std::size_t at) {
    return std::uint32_t{b[at]} << 24 | std::uint32_t{b[at + 1]} << 16 |
           std::uint32_t{b[at + 2]} << 8 | b[at + 3];
}

bool printable(std::uint32_t code) {
    for (int shift = 0; shift < 32; shift += 8) {
        const std::uint8_t c = std::uint8_t(code >> shift);
        if (c < 0x20 || c > 0x7E) return false;
    }
    return true;
}

bool heicBrand(std::uint32_t b) {
    return b == fourcc("heic") || b == fourcc("heix") || b == fourcc("heim") ||
           b == fourcc("heis") || b == fourcc("hevc") || b == fourcc("hevx");
}
bool avifBrand(std::uint32_t b) {
    return b == fourcc("avif") || b == fourcc("avis");
}

IsoBmffKind kindOfBrands(std::uint32_t major, std::span<const std::uint32_t> compatible) {
    if (major == fourcc("qt  ")) return IsoBmffKind::Mov;
    if ((major >> 16) == ((std::uint32_t{'3'} << 8) | 'g')) return IsoBmffKind::ThreeGp;
    if (major == fourcc("M4A ")) return IsoBmffKind::M4a;
    if (heicBrand(major)) return IsoBmffKind::Heic;
    if (avifBrand(major)) return IsoBmffKind::Avif;
    if (major == fourcc("mif1") || major == fourcc("msf1") || major == fourcc("miaf")) {
        if (std::any_of(compatible.begin(), compatible.end(), avifBrand)) return IsoBmffKind::Avif;
        return IsoBmffKind::Heic;
    }
    return IsoBmffKind::Mp4;
}

const char* extensionOf(IsoBmffKind kind) {
    switch (kind) {
        case IsoBmffKind::Mov:
            return "mov";
        case IsoBmffKind::ThreeGp:
            return "3gp";
        case IsoBmffKind::M4a:
            return "m4a";
        case IsoBmffKind::Heic:
            return "heic";
        case IsoBmffKind::Avif:
            return "avif";
        default:
            return "mp4";
    }
}

// Box types that may follow one another at the top level of a file.
bool topLevel(std::uint32_t type) {
    static constexpr std::array kTypes = {
        fourcc("moov"), fourcc("mdat"), fourcc("free"), fourcc("skip"), fourcc("meta"),
        fourcc("uuid"), fourcc("moof"), fourcc("mfra"), fourcc("wide"), fourcc("pdin"),
        fourcc("styp"), fourcc("sidx"), fourcc("ssix"), fourcc("prft"), fourcc("emsg"),
        fourcc("udta"), fourcc("pnot"), fourcc("meco")};
    return std::find(kTypes.begin(), kTypes.end(), type) != kTypes.end();
}

// Boxes in the movie box that hold only boxes.
bool movieContainer(std::uint32_t type) {
    return type == fourcc("trak") || type == fourcc("mdia") || type == fourcc("minf") ||
           type == fourcc("stbl") || type == fourcc("edts") || type == fourcc("dinf") ||
           type == fourcc("mvex");
}

// Boxes a meta box holds.
bool metaChild(std::uint32_t type) {
    static constexpr std::array kTypes = {
        fourcc("hdlr"), fourcc("pitm"), fourcc("iloc"), fourcc("iinf"), fourcc("iref"),
        fourcc("iprp"), fourcc("idat"), fourcc("dinf"), fourcc("grpl"), fourcc("ipro"),
        fourcc("ipmc"), fourcc("xml "), fourcc("bxml"), fourcc("fiin"), fourcc("uuid"),
        fourcc("free"), fourcc("skip"), fourcc("ilst"), fourcc("keys")};
    return std::find(kTypes.begin(), kTypes.end(), type) != kTypes.end();
}

// What the movie and meta boxes tell about the rest of the file.
struct Contents {
    std::uint64_t createdSeconds = 0;  // mvhd creation time, seconds since 1904
    std::uint64_t dataEnd = 0;         // past the last byte a chunk or item starts at or holds
};

struct Box {
    std::uint64_t start = 0;
    std::uint64_t size = 0;
    std::uint32_t header = 8;
    std::uint32_t type = 0;
};

// The box header at `pos` inside [pos, end); nullopt when it does not fit there.
std::optional<Box> boxAt(CarveStream& s, std::uint64_t pos, std::uint64_t end) {
    if (end - pos < 8 || !s.seek(pos)) return std::nullopt;
    const auto size32 = s.be32();
    const auto type = s.be32();
    if (!size32 || !type) return std::nullopt;
    Box box{pos, *size32, 8, *type};
    if (*size32 == 1) {
        const auto large = s.be64();
        if (!large || end - pos < 16) return std::nullopt;
        box.size = *large;
        box.header = 16;
    } else if (*size32 == 0) {
        box.size = end - pos;
    }
    if (box.size < box.header || box.size > end - pos) return std::nullopt;
    return box;
}

// An unsigned field of 0, 4 or 8 bytes.
std::optional<std::uint64_t> sized(CarveStream& s, unsigned bytes) {
    if (bytes == 0) return 0;
    if (bytes == 4) {
        const auto v = s.be32();
        if (!v) return std::nullopt;
        return *v;
    }
    if (bytes == 8) return s.be64();
    return std::nullopt;
}

void readMovieHeader(CarveStream& s, const Box& box, Contents& out) {
    if (!s.seek(box.start + box.header)) return;
    const auto versionFlags = s.be32();
    if (!versionFlags) return;
    const auto created = sized(s, (*versionFlags >> 24) == 1 ? 8 : 4);
    if (created) out.createdSeconds = *created;
}

// stco (32-bit) and co64 (64-bit) chunk offsets: each chunk's first byte lies in the file.
bool readChunkOffsets(CarveStream& s, const Box& box, bool wide, Contents& out) {
    if (!s.seek(box.start + box.header) || !s.skip(4)) return false;
    const auto count = s.be32();
    const std::uint64_t width = wide ? 8 : 4;
    if (!count || *count > kMaxEntries || box.size - box.header < 8 + *count * width) return false;
    for (std::uint32_t i = 0; i < *count; ++i) {
        const auto offset = sized(s, unsigned(width));
        if (!offset) return false;
        out.dataEnd = std::max(out.dataEnd, *offset + (*offset < UINT64_MAX ? 1 : 0));
    }
    return true;
}

// The boxes in [from, to) chain exactly to `to`; containers are followed `depth` deep.
bool walkMovie(CarveStream& s, std::uint64_t from, std::uint64_t to, int depth, Contents& out) {
    std::uint64_t pos = from;
    for (int n = 0; pos < to && n < kMaxBoxes; ++n) {
        if (to - pos == 4 && s.seek(pos) && s.be32() == 0u) return true;  // a list's terminator
        const auto box = boxAt(s, pos, to);
        if (!box) return false;
        if (movieContainer(box->type)) {
            if (depth >= kMaxDepth ||
                !walkMovie(s, box->start + box->header, box->start + box->size, depth + 1, out))
                return false;
        } else if (box->type == fourcc("mvhd")) {
            readMovieHeader(s, *box, out);
        } else if (box->type == fourcc("stco") || box->type == fourcc("co64")) {
            if (!readChunkOffsets(s, *box, box->type == fourcc("co64"), out)) return false;
        }
        pos += box->size;
    }
    return pos == to;
}

// The item locations of an image file: every extent held in the file itself lies in it.
bool readItemLocations(CarveStream& s, const Box& box, Contents& out) {
    if (!s.seek(box.start + box.header)) return false;
    const auto versionFlags = s.be32();
    const auto sizes = s.be16();
    if (!versionFlags || !sizes) return false;
    const unsigned version = *versionFlags >> 24;
    const unsigned offsetSize = *sizes >> 12, lengthSize = (*sizes >> 8) & 15;
    const unsigned baseSize = (*sizes >> 4) & 15, indexSize = version >= 1 ? *sizes & 15 : 0;
    if (version > 2) return false;
    std::optional<std::uint32_t> items;
    if (version < 2) {
        const auto n = s.be16();
        if (n) items = *n;
    } else {
        items = s.be32();
    }
    if (!items || *items > kMaxEntries) return false;
    const std::uint64_t end = box.start + box.size;
    for (std::uint32_t i = 0; i < *items; ++i) {
        if (!(version < 2 ? s.skip(2) : s.skip(4))) return false;  // item ID
        std::uint16_t method = 0;
        if (version >= 1) {
            const auto m = s.be16();
            if (!m) return false;
            method = *m & 15;
        }
        if (!s.skip(2)) return false;  // data reference
        const std::uint64_t base = sized(s, baseSize).value_or(kNoValue);
        const std::uint32_t extents = s.be16().value_or(0);
        if (base == kNoValue) return false;
        for (std::uint32_t e = 0; e < extents; ++e) {
            const std::uint64_t index = sized(s, indexSize).value_or(kNoValue);
            const std::uint64_t offset = sized(s, offsetSize).value_or(kNoValue);
            const std::uint64_t length = sized(s, lengthSize).value_or(kNoValue);
            if (index == kNoValue || offset == kNoValue || length == kNoValue || s.position() > end)
                return false;
            constexpr std::uint64_t kFar = 1ull << 62;
            if (method == 0 && base <= kFar && offset <= kFar && length <= kFar)
                out.dataEnd = std::max(out.dataEnd, base + offset + length);
        }
    }
    return s.position() <= end;
}

// A meta box (a full box: version and flags, then boxes) whose boxes chain to its end.
bool walkMeta(CarveStream& s, const Box& meta, Contents& out) {
    std::uint64_t pos = meta.start + meta.header + 4;
    const std::uint64_t to = meta.start + meta.size;
    if (pos > to) return false;
    for (int n = 0; pos < to && n < kMaxBoxes; ++n) {
        const auto box = boxAt(s, pos, to);
        if (!box || !metaChild(box->type)) return false;
        if (box->type == fourcc("iloc") && !readItemLocations(s, *box, out)) return false;
        pos += box->size;
    }
    return pos == to;
}

CarveResult damaged(std::uint64_t valid, std::uint64_t length, std::string problem) {
    CarveResult r;
    r.verdict = CarveVerdict::Damaged;
    r.validBytes = valid;
    r.length = std::max(valid, length);
    r.problem = std::move(problem);
    return r;
}

CarveResult truncated(std::uint64_t valid, std::uint64_t limit) {
    CarveResult r;
    r.verdict = CarveVerdict::Truncated;
    r.validBytes = valid;
    r.length = limit;
    return r;
}

}  // namespace

IsoBmffKind isoBmffKind(std::span<const std::uint8_t> head) {
    if (head.size() < 16 || be32At(head, 4) != fourcc("ftyp")) return IsoBmffKind::None;
    const std::uint32_t size = be32At(head, 0);
    const std::uint32_t major = be32At(head, 8);
    if (size < 16 || size > kFtypMaxBytes || size % 4 != 0 || !printable(major))
        return IsoBmffKind::None;
    std::array<std::uint32_t, 12> compatible{};
    std::size_t n = 0;
    for (std::size_t at = 16; at + 4 <= std::min<std::size_t>(size, head.size()); at += 4)
        compatible[n++] = be32At(head, at);
    return kindOfBrands(major, std::span(compatible.data(), n));
}

bool mp4Starts(std::span<const std::uint8_t> head) {
    return isoBmffKind(head) == IsoBmffKind::Mp4;
}
bool movStarts(std::span<const std::uint8_t> head) {
    return isoBmffKind(head) == IsoBmffKind::Mov;
}
bool threeGpStarts(std::span<const std::uint8_t> head) {
    return isoBmffKind(head) == IsoBmffKind::ThreeGp;
}
bool m4aStarts(std::span<const std::uint8_t> head) {
    return isoBmffKind(head) == IsoBmffKind::M4a;
}
bool heicStarts(std::span<const std::uint8_t> head) {
    return isoBmffKind(head) == IsoBmffKind::Heic;
}
bool avifStarts(std::span<const std::uint8_t> head) {
    return isoBmffKind(head) == IsoBmffKind::Avif;
}

CarveResult checkIsoBmff(CarveInput& input) {
    CarveStream s(input);
    const std::uint64_t limit = s.limit();
    const auto ftypSize = s.be32();
    const auto ftyp = s.be32();
    const auto major = s.be32();
    if (!ftypSize || ftyp != fourcc("ftyp") || *ftypSize < 16 || *ftypSize > kFtypMaxBytes ||
        *ftypSize % 4 != 0 || !major || !printable(*major) || !s.skip(4))
        return {};
    std::vector<std::uint32_t> compatible;
    for (std::uint32_t at = 16; at < *ftypSize; at += 4) {
        const auto brand = s.be32();
        if (!brand) return {};  // too short to tell
        if (*brand != 0 && !printable(*brand)) return {};
        compatible.push_back(*brand);
    }
    const IsoBmffKind kind = kindOfBrands(*major, compatible);
    const bool image = kind == IsoBmffKind::Heic || kind == IsoBmffKind::Avif;

    Contents contents;
    std::uint64_t pos = *ftypSize;
    std::uint64_t brokenAt = 0;  // the first top-level box whose inside does not add up
    std::string problem;
    bool movie = false, meta = false, atLimit = false;
    for (int n = 0; n < kMaxBoxes; ++n) {
        if (pos == limit) {
            atLimit = true;
            break;
        }
        if (!s.seek(pos)) break;
        const auto size32 = s.be32();
        const auto type = s.be32();
        if (!size32 || !type) return truncated(pos, limit);
        if (!topLevel(*type)) break;  // not a box: the file ends before it
        if (*size32 == 0) {
            // A last box that runs to the end: where that is, only the lost directory knew.
            CarveResult r = truncated(pos, limit);
            r.problem = "last box without a size at " + std::to_string(pos);
            return r;
        }
        const auto box = boxAt(s, pos, limit);
        if (!box) {
            if (*size32 != 1 && *size32 < 8) break;
            return truncated(pos, limit);
        }
        bool fine = true;
        if (box->type == fourcc("moov")) {
            movie = true;
            fine = walkMovie(s, box->start + box->header, box->start + box->size, 1, contents);
        } else if (box->type == fourcc("meta")) {
            meta = true;
            fine = walkMeta(s, *box, contents);
        }
        if (!fine && brokenAt == 0) {
            brokenAt = pos;
            problem = "boxes inside the box at " + std::to_string(pos) + " do not add up";
        }
        pos += box->size;
    }
    const std::uint64_t end = pos;
    if (end <= *ftypSize) {
        if (atLimit) return truncated(end, limit);
        return {};  // an ftyp box met by chance, or a lone one
    }
    if (brokenAt != 0) return damaged(brokenAt, end, problem);
    if (image ? !meta : !movie) {
        if (atLimit) return truncated(end, limit);
        return damaged(end, end, image ? "no meta box" : "no movie box");
    }
    if (contents.dataEnd > end) {
        if (atLimit) return truncated(end, limit);
        return damaged(end, end, "media data past the last box at " + std::to_string(end));
    }
    CarveResult r;
    r.verdict = CarveVerdict::Whole;
    r.length = r.validBytes = end;
    r.extension = extensionOf(kind);
    if (contents.createdSeconds != 0 && contents.createdSeconds < (1ull << 40)) {
        r.time = fileTimeFromUnix(static_cast<std::int64_t>(contents.createdSeconds) -
                                  kSeconds1904To1970);
        r.timeUtc = r.time != 0;
    }
    return r;
}

}  // namespace rekkon
