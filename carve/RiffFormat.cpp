#include "carve/RiffFormat.h"

#include <algorithm>
#include <array>
#include <string>

namespace rekkon {
namespace {

constexpr std::uint32_t fourcc(const char (&s)[5]) {  // as read little-endian
    return std::uint32_t(std::uint8_t(s[0])) | std::uint32_t(std::uint8_t(s[1])) << 8 |
           std::uint32_t(std::uint8_t(s[2])) << 16 | std::uint32_t(std::uint8_t(s[3])) << 24;
}

constexpr int kMaxDepth = 4;
constexpr int kMaxChunks = 1 << 22;   // in one list
constexpr int kMaxExtensions = 1024;  // AVIX parts after the first RIFF chunk of an AVI
constexpr std::uint32_t kMaxTitle = 1024;

std::uint32_t le32At(std::span<const std::uint8_t> b, std::size_t at) {
    return std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 | std::uint32_t{b[at + 2]} << 16 |
           std::uint32_t{b[at + 3]} << 24;
}

bool printable(std::uint32_t code) {
    for (int shift = 0; shift < 32; shift += 8) {
        const std::uint8_t c = std::uint8_t(code >> shift);
        if (c < 0x20 || c > 0x7E) return false;
    }
    return true;
}

// The first chunk after a RIFF header at the start of `head`: its id is text
// and it fits.
bool startsWithForm(std::span<const std::uint8_t> head, std::uint32_t form) {
    if (head.size() < 20 || le32At(head, 0) != fourcc("RIFF") || le32At(head, 8) != form)
        return false;
    const std::uint32_t size = le32At(head, 4);
    return size >= 12 && printable(le32At(head, 12)) && le32At(head, 16) <= size - 12;
}

struct Walk {
    std::uint32_t form = 0;
    std::uint64_t limit = 0;
    bool formatChunk = false, data = false, header = false, movie = false;
    std::uint64_t brokenAt = 0;  // where a chunk does not fit (0: none)
    std::string problem;
    std::string title;
};

void readTitle(CarveStream& s, std::uint64_t at, std::uint32_t size, Walk& w) {
    if (!w.title.empty() || size == 0 || !s.seek(at)) return;
    std::string text(std::min(size, kMaxTitle), '\0');
    if (!s.bytes(std::span(reinterpret_cast<std::uint8_t*>(text.data()), text.size()))) return;
    text.resize(std::find(text.begin(), text.end(), '\0') - text.begin());
    w.title = text;
}

// The form's own tests of a chunk's first bytes.
bool chunkContentFits(CarveStream& s, std::uint32_t id, std::uint64_t at, std::uint32_t size,
                      Walk& w) {
    if (!s.seek(at)) return true;  // past the limit: the file is cut there, not broken
    if (w.form == fourcc("WAVE") && id == fourcc("fmt ")) {
        s.skip(2);
        const auto channels = s.le16();
        const auto rate = s.le32();
        w.formatChunk = true;
        return size >= 14 && (!channels || (*channels > 0 && rate && *rate > 0));
    }
    if (w.form == fourcc("WEBP")) {
        if (id == fourcc("VP8 ")) {
            std::array<std::uint8_t, 6> tag{};
            if (size < 10 || !s.bytes(tag)) return size >= 10;
            return tag[3] == 0x9D && tag[4] == 0x01 && tag[5] == 0x2A;
        }
        if (id == fourcc("VP8L")) return size >= 5 && s.peek().value_or(0x2F) == 0x2F;
    }
    return true;
}

// The chunks in [from, to) of a list of type `list` (0: the RIFF chunk itself).
void walkChunks(CarveStream& s, std::uint64_t from, std::uint64_t to, std::uint32_t list, int depth,
                Walk& w) {
    std::uint64_t pos = from;
    for (int n = 0; pos < to && n < kMaxChunks && w.brokenAt == 0; ++n) {
        if (pos >= w.limit || !s.seek(pos)) return;
        const auto id = s.le32();
        const auto size = s.le32();
        if (!id || !size) return;  // cut by the limit
        const std::uint64_t end = pos + 8 + *size;
        if (!printable(*id) || end > to) {
            w.brokenAt = pos;
            w.problem = "chunk at " + std::to_string(pos) + " does not fit";
            return;
        }
        if (list == 0 && n == 0) {
            const bool fits =
                w.form == fourcc("WEBP")
                    ? (*id == fourcc("VP8 ") || *id == fourcc("VP8L") || *id == fourcc("VP8X"))
                    : w.form != fourcc("AVI ") || *id == fourcc("LIST");
            if (!fits) {
                w.brokenAt = pos;
                w.problem = "unexpected first chunk";
                return;
            }
        }
        if (w.form == fourcc("WAVE") && *id == fourcc("data")) w.data = true;
        if (!chunkContentFits(s, *id, pos + 8, *size, w)) {
            w.brokenAt = pos;
            w.problem = "chunk at " + std::to_string(pos) + " holds no valid header";
            return;
        }
        if (*id == fourcc("LIST") && *size >= 4 && depth < kMaxDepth && s.seek(pos + 8)) {
            const auto type = s.le32();
            if (!type) return;
            if (*type == fourcc("hdrl")) w.header = true;
            if (*type == fourcc("movi")) w.movie = true;
            walkChunks(s, pos + 12, end, *type, depth + 1, w);
        } else if (list == fourcc("INFO") && *id == fourcc("INAM")) {
            readTitle(s, pos + 8, *size, w);
        }
        pos = end + (*size & 1);
        if (pos == to + 1) pos = to;  // a last odd chunk without its pad byte
    }
}

}  // namespace

bool aviStarts(std::span<const std::uint8_t> head) {
    return startsWithForm(head, fourcc("AVI "));
}
bool wavStarts(std::span<const std::uint8_t> head) {
    return startsWithForm(head, fourcc("WAVE"));
}
bool webpStarts(std::span<const std::uint8_t> head) {
    return startsWithForm(head, fourcc("WEBP"));
}

CarveResult checkRiff(CarveInput& input) {
    CarveStream s(input);
    Walk w;
    w.limit = s.limit();
    const auto riff = s.le32();
    const auto size = s.le32();
    const auto form = s.le32();
    if (riff != fourcc("RIFF") || !size || !form || *size < 12) return {};
    w.form = *form;
    const char* extension = *form == fourcc("AVI ")   ? "avi"
                            : *form == fourcc("WAVE") ? "wav"
                            : *form == fourcc("WEBP") ? "webp"
                                                      : nullptr;
    if (extension == nullptr) return {};
    std::uint64_t extent = std::uint64_t{*size} + 8;
    walkChunks(s, 12, extent, 0, 1, w);
    if (w.brokenAt == 12) return {};  // a RIFF header met by chance
    // An AVI past 1 GiB goes on in RIFF chunks of type AVIX.
    for (int n = 0; w.form == fourcc("AVI ") && w.brokenAt == 0 && n < kMaxExtensions; ++n) {
        if (!s.seek(extent)) break;
        const auto next = s.le32();
        const auto nextSize = s.le32();
        const auto nextForm = s.le32();
        if (next != fourcc("RIFF") || !nextSize || nextForm != fourcc("AVIX") || *nextSize < 4)
            break;
        const std::uint64_t from = extent + 12;
        extent += std::uint64_t{*nextSize} + 8;
        walkChunks(s, from, extent, fourcc("AVIX"), 1, w);
    }

    CarveResult r;
    if (w.brokenAt != 0) {
        r.verdict = CarveVerdict::Damaged;
        r.validBytes = w.brokenAt;
        r.length = std::max(w.brokenAt, std::min(extent, w.limit));
        r.problem = w.problem;
        return r;
    }
    if (extent > w.limit) {
        r.verdict = CarveVerdict::Truncated;
        r.length = r.validBytes = w.limit;
        return r;
    }
    const bool complete = w.form == fourcc("WAVE")   ? w.formatChunk && w.data
                          : w.form == fourcc("AVI ") ? w.header && w.movie
                                                     : true;
    r.length = r.validBytes = extent;
    if (!complete) {
        r.verdict = CarveVerdict::Damaged;
        r.problem =
            w.form == fourcc("WAVE") ? "no format or data chunk" : "no header or movie list";
        return r;
    }
    r.verdict = CarveVerdict::Whole;
    r.extension = extension;
    r.name = w.title;
    return r;
}

}  // namespace rekkon
