#include "carve/ZipFormat.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "carve/ArchiveInflate.h"
#include "carve/ZipKind.h"

namespace rekkon {

namespace {

constexpr std::uint32_t kLocal = 0x04034b50;
constexpr std::uint32_t kCentral = 0x02014b50;
constexpr std::uint32_t kEnd = 0x06054b50;
constexpr std::uint32_t kEnd64 = 0x06064b50;
constexpr std::uint32_t kLocator64 = 0x07064b50;
constexpr std::uint32_t kDescriptor = 0x08074b50;
constexpr std::uint32_t kDigitalSignature = 0x05054b50;
constexpr std::uint32_t kArchiveExtraData = 0x08064b50;
constexpr std::size_t kMaxEntries = 1u << 20;
constexpr std::size_t kKeepBytes = 64 * 1024;
constexpr std::uint64_t kEndScanBytes = 64ull << 20;  // how far past damage the end is sought
constexpr std::uint32_t k32 = 0xFFFFFFFF;

bool knownMethod(unsigned m) {
    return m <= 9 || m == 12 || m == 14 || m == 18 || m == 19 || m == 20 || (m >= 93 && m <= 99);
}

std::uint16_t le16At(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}
std::uint32_t le32At(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(le16At(b, at) | std::uint32_t{le16At(b, at + 2)} << 16);
}
std::uint64_t le64At(std::span<const std::uint8_t> b, std::size_t at) {
    return le32At(b, at) | std::uint64_t{le32At(b, at + 4)} << 32;
}

std::uint32_t hashOf(const std::string& s) {
    return static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

// Sizes from a ZIP64 extended information field, in place of the 32-bit ones that are all ones.
struct Zip64Sizes {
    bool present = false;
    std::uint64_t usize, csize, offset;
};

Zip64Sizes zip64Of(std::span<const std::uint8_t> extra, std::uint64_t usize, std::uint64_t csize,
                   std::uint64_t offset) {
    Zip64Sizes z{false, usize, csize, offset};
    for (std::size_t at = 0; at + 4 <= extra.size();) {
        const std::uint16_t id = le16At(extra, at), size = le16At(extra, at + 2);
        if (at + 4 + size > extra.size()) break;
        if (id == 0x0001) {
            z.present = true;
            std::size_t f = at + 4;
            const std::size_t end = f + size;
            for (std::uint64_t* v : {&z.usize, &z.csize, &z.offset}) {
                if (*v != k32) continue;
                if (f + 8 > end) break;
                *v = le64At(extra, f);
                f += 8;
            }
            break;
        }
        at += 4 + size;
    }
    return z;
}

struct Entry {
    std::uint64_t offset;
    std::uint32_t nameHash;
    std::uint32_t crc;
    std::uint64_t csize;
};

class ZipWalk {
  public:
    explicit ZipWalk(CarveInput& input) : input_(input), s_(input) {}
    CarveResult run();
    bool plausible() const { return plausible_; }

  private:
    bool local(std::uint64_t at);
    bool descriptorData(std::uint64_t dataStart, unsigned method, bool encrypted, bool zip64,
                        std::uint32_t& crc, std::uint64_t& csize, std::string* keep);
    bool central(std::uint64_t at, std::size_t& seen);
    bool truncated(const char* what);
    bool damaged(const char* what);
    std::uint64_t seekEnd(std::uint64_t from);

    CarveInput& input_;
    CarveStream s_;
    CarveResult r_;
    bool cut_ = false;
    bool plausible_ = false;  // whether the first local header looked like one
    std::uint64_t valid_ = 0;
    std::vector<Entry> entries_;
    ZipKind kind_;
};

bool ZipWalk::truncated(const char* what) {
    cut_ = true;
    r_.problem = what;
    return false;
}

bool ZipWalk::damaged(const char* what) {
    r_.problem = std::string(what) + " at " + std::to_string(valid_);
    return false;
}

bool ZipWalk::local(std::uint64_t at) {
    std::array<std::uint8_t, 26> h{};
    if (!s_.bytes(h)) return truncated("a local header cut short");
    const unsigned version = h[0], flags = le16At(h, 2), method = le16At(h, 4);
    const std::uint16_t dosTime = le16At(h, 6), dosDate = le16At(h, 8);
    std::uint32_t crc = le32At(h, 10);
    const std::uint16_t nameLength = le16At(h, 22), extraLength = le16At(h, 24);
    if (version > 99 || (flags & 0xD780) != 0 || !knownMethod(method) || nameLength == 0)
        return damaged("an implausible local header");
    plausible_ = true;
    std::string name(nameLength, '\0');
    std::vector<std::uint8_t> extra(extraLength);
    if (!s_.bytes(std::span(reinterpret_cast<std::uint8_t*>(name.data()), name.size())) ||
        (!extra.empty() && !s_.bytes(extra)))
        return truncated("a local header cut short");
    const Zip64Sizes z = zip64Of(extra, le32At(h, 18), le32At(h, 14), 0);
    std::uint64_t csize = z.csize;
    const bool encrypted = (flags & 1) != 0;
    const bool keepIt = ZipKind::wanted(name) && !encrypted;
    std::string content;
    std::string* keep = keepIt ? &content : nullptr;
    const std::uint64_t dataStart = s_.position();
    if ((flags & 8) != 0) {
        if (!descriptorData(dataStart, method, encrypted, z.present, crc, csize, keep))
            return false;
        // The header's own CRC and size are zero, or those of the descriptor.
        const std::uint32_t headerCrc = le32At(h, 10), headerSize = le32At(h, 14);
        if ((headerCrc != 0 && headerCrc != crc) ||
            (headerSize != 0 && headerSize != k32 && headerSize != csize))
            return damaged("a local header unlike its data descriptor");
    } else if (!encrypted && method == 0) {
        const auto sum = crcOfStretch(s_, csize, keep, kKeepBytes);
        if (!sum) return truncated("entry data cut short");
        if (*sum != crc || csize != z.usize) return damaged("the CRC of a stored entry");
    } else if (!encrypted && method == 8) {
        const InflateOutcome o = inflateRaw(s_, csize, z.usize, keep, kKeepBytes);
        if (o.end == InflateEnd::Truncated) return truncated("entry data cut short");
        if (o.end != InflateEnd::Done || o.consumed != csize || o.produced != z.usize ||
            o.crc != crc)
            return damaged("an entry that does not inflate to its CRC");
    } else if (!s_.skip(csize)) {
        return truncated("entry data cut short");
    }
    if (entries_.empty() && dosDate != 0)
        r_.time = fileTimeOfCivil(1980 + (dosDate >> 9), (dosDate >> 5) & 15, dosDate & 31,
                                  dosTime >> 11, (dosTime >> 5) & 63, (dosTime & 31) * 2);
    entries_.push_back({at, hashOf(name), crc, csize});
    kind_.entry(name, content);
    return true;
}

// The data of an entry whose sizes follow it in a data descriptor: a deflate stream is inflated
// to its end, other data is sought up to a descriptor whose size matches.
bool ZipWalk::descriptorData(std::uint64_t dataStart, unsigned method, bool encrypted, bool zip64,
                             std::uint32_t& crc, std::uint64_t& csize, std::string* keep) {
    if (!encrypted && method == 8) {
        const InflateOutcome o = inflateRaw(s_, ~0ull, ~0ull, keep, kKeepBytes);
        if (o.end == InflateEnd::Truncated) return truncated("entry data cut short");
        if (o.end != InflateEnd::Done) return damaged("an entry that does not inflate");
        std::array<std::uint8_t, 24> d{};
        std::size_t got = input_.read(s_.position(), d);
        const std::size_t sig = got >= 4 && le32At(d, 0) == kDescriptor ? 4 : 0;
        if (got < sig + 12) return truncated("a data descriptor cut short");
        const bool small = le32At(d, sig + 4) == o.consumed && le32At(d, sig + 8) == o.produced;
        const bool large = !small && zip64 && got >= sig + 20 && le64At(d, sig + 4) == o.consumed &&
                           le64At(d, sig + 12) == o.produced;
        if (le32At(d, sig) != o.crc || (!small && !large))
            return damaged("a data descriptor that does not match its entry");
        crc = o.crc;
        csize = o.consumed;
        return s_.seek(s_.position() + sig + (small ? 12 : 20));
    }
    // Seek a descriptor "PK\7\8" whose compressed size is the distance to it.
    std::vector<std::uint8_t> buffer(64 * 1024);
    for (std::uint64_t at = dataStart; at < input_.limit();) {
        const std::size_t got = input_.read(at, buffer);
        if (got < 4) break;
        const std::span<const std::uint8_t> b(buffer.data(), got);
        for (std::size_t i = 0; i + 4 <= got; ++i) {
            if (b[i] != 'P' || le32At(b, i) != kDescriptor) continue;
            std::array<std::uint8_t, 20> d{};
            const std::size_t n = input_.read(at + i + 4, d);
            const std::uint64_t size = at + i - dataStart;
            const bool small = n >= 12 && le32At(d, 4) == size;
            const bool large = !small && zip64 && n >= 20 && le64At(d, 4) == size;
            if (!small && !large) continue;
            if (!encrypted && method == 0) {
                s_.seek(dataStart);
                const auto sum = crcOfStretch(s_, size, keep, kKeepBytes);
                if (!sum || *sum != le32At(d, 0)) continue;
            }
            crc = le32At(d, 0);
            csize = size;
            return s_.seek(at + i + 4 + (small ? 12 : 20));
        }
        at += got - 3;
    }
    return truncated("entry data without its descriptor");
}

bool ZipWalk::central(std::uint64_t at, std::size_t& seen) {
    std::array<std::uint8_t, 42> h{};
    if (!s_.bytes(h)) return truncated("a central directory entry cut short");
    const std::uint16_t nameLength = le16At(h, 24), extraLength = le16At(h, 26),
                        commentLength = le16At(h, 28);
    std::string name(nameLength, '\0');
    std::vector<std::uint8_t> extra(extraLength);
    if (!s_.bytes(std::span(reinterpret_cast<std::uint8_t*>(name.data()), name.size())) ||
        (!extra.empty() && !s_.bytes(extra)) || !s_.skip(commentLength))
        return truncated("a central directory entry cut short");
    const Zip64Sizes z = zip64Of(extra, le32At(h, 20), le32At(h, 16), le32At(h, 38));
    (void)at;
    auto it = std::lower_bound(entries_.begin(), entries_.end(), z.offset,
                               [](const Entry& e, std::uint64_t o) { return e.offset < o; });
    if (it == entries_.end() || it->offset != z.offset || it->nameHash != hashOf(name) ||
        it->crc != le32At(h, 12) || it->csize != z.csize)
        return damaged("a central directory entry unlike its local header");
    ++seen;
    return true;
}

// Where an end-of-central-directory record that closes the directory before it ends the file,
// sought from `from` on (for a damaged archive); 0 when none is near.
std::uint64_t ZipWalk::seekEnd(std::uint64_t from) {
    std::vector<std::uint8_t> buffer(64 * 1024);
    const std::uint64_t stop = std::min(input_.limit(), from + kEndScanBytes);
    for (std::uint64_t at = from; at < stop;) {
        const std::size_t got = input_.read(at, buffer);
        if (got < 22) break;
        const std::span<const std::uint8_t> b(buffer.data(), got);
        for (std::size_t i = 0; i + 22 <= got; ++i) {
            if (b[i] != 'P' || le32At(b, i) != kEnd) continue;
            const std::uint64_t here = at + i;
            const std::uint64_t end = here + 22 + le16At(b, i + 20);
            if (std::uint64_t{le32At(b, i + 16)} + le32At(b, i + 12) == here &&
                end <= input_.limit())
                return end;
        }
        at += got - 21;
    }
    return 0;
}

CarveResult ZipWalk::run() {
    bool ok = true;
    std::uint32_t sig = 0;
    // Local headers with their data.
    while (ok) {
        valid_ = s_.position();
        const auto v = s_.le32();
        if (!v) {
            ok = truncated("the archive cut short");
            break;
        }
        sig = *v;
        if (sig != kLocal) break;
        if (entries_.size() >= kMaxEntries) {
            ok = damaged("too many entries");
            break;
        }
        ok = local(valid_);
    }
    if (ok && entries_.empty()) return {};
    if (ok && sig == kArchiveExtraData) {
        const auto size = s_.le32();
        ok = size && s_.skip(*size) ? true : truncated("the archive cut short");
        valid_ = s_.position();
        const auto v = s_.le32();
        if (ok && !v) ok = truncated("the archive cut short");
        if (v) sig = *v;
    }
    // The central directory: one entry per local header, alike.
    const std::uint64_t directoryStart = valid_;
    std::size_t seen = 0;
    while (ok && sig == kCentral) {
        if (seen >= entries_.size()) {
            ok = damaged("more central directory entries than local headers");
            break;
        }
        ok = central(valid_, seen);
        valid_ = s_.position();
        const auto v = s_.le32();
        if (ok && !v) ok = truncated("the archive cut short");
        if (v) sig = *v;
    }
    const std::uint64_t directoryEnd = valid_;
    if (ok && sig == kDigitalSignature) {
        const auto size = s_.le16();
        ok = size && s_.skip(*size) ? true : truncated("the archive cut short");
        valid_ = s_.position();
        const auto v = s_.le32();
        if (ok && !v) ok = truncated("the archive cut short");
        if (v) sig = *v;
    }
    std::uint64_t entries64 = 0, size64 = 0, offset64 = 0;
    bool have64 = false;
    if (ok && sig == kEnd64) {
        std::array<std::uint8_t, 52> h{};
        const std::uint64_t record = valid_;
        if (!s_.bytes(h) || le64At(h, 0) < 44 || !s_.skip(le64At(h, 0) - 44)) {
            ok = truncated("the ZIP64 end record cut short");
        } else {
            have64 = true;
            entries64 = le64At(h, 28);
            size64 = le64At(h, 36);
            offset64 = le64At(h, 44);
            valid_ = s_.position();
            std::array<std::uint8_t, 20> locator{};
            if (!s_.bytes(locator))
                ok = truncated("the ZIP64 locator cut short");
            else if (le32At(locator, 0) != kLocator64 || le64At(locator, 8) != record)
                ok = damaged("a ZIP64 locator that does not point at its record");
            valid_ = s_.position();
            const auto v = s_.le32();
            if (ok && !v) ok = truncated("the archive cut short");
            if (v) sig = *v;
        }
    }
    if (ok && sig != kEnd) ok = damaged("no central directory end");
    if (ok) {
        std::array<std::uint8_t, 18> h{};
        if (!s_.bytes(h)) {
            ok = truncated("the central directory end cut short");
        } else {
            const std::uint64_t entries =
                le16At(h, 6) == 0xFFFF && have64 ? entries64 : le16At(h, 6);
            const std::uint64_t size = le32At(h, 8) == k32 && have64 ? size64 : le32At(h, 8);
            const std::uint64_t offset = le32At(h, 12) == k32 && have64 ? offset64 : le32At(h, 12);
            if (le16At(h, 0) != 0 || le16At(h, 2) != 0) {
                ok = damaged("an archive split over disks");
            } else if (entries != seen || seen != entries_.size() ||
                       size != directoryEnd - directoryStart || offset != directoryStart) {
                ok = damaged("a central directory end unlike its directory");
            } else if (!s_.skip(le16At(h, 16))) {
                ok = truncated("the archive comment cut short");
            }
        }
    }
    r_.extension = kind_.extension();
    r_.name = kind_.title();
    if (ok) {
        r_.verdict = CarveVerdict::Whole;
        r_.length = r_.validBytes = s_.position();
        return r_;
    }
    r_.validBytes = valid_;
    if (cut_) {
        r_.verdict = CarveVerdict::Truncated;
        r_.length = input_.limit();
    } else {
        r_.verdict = CarveVerdict::Damaged;
        r_.length = std::max({valid_, s_.position(), seekEnd(valid_)});
    }
    return r_;
}

}  // namespace

bool zipStarts(std::span<const std::uint8_t> head) {
    if (head.size() < 30 || head[0] != 'P' || head[1] != 'K' || head[2] != 3 || head[3] != 4)
        return false;
    const unsigned flags = le16At(head, 6), method = le16At(head, 8), nameLength = le16At(head, 26);
    return head[4] <= 99 && (flags & 0xD780) == 0 && knownMethod(method) && nameLength > 0 &&
           nameLength <= 4096;
}

CarveResult checkZip(CarveInput& input) {
    std::array<std::uint8_t, 30> head{};
    if (input.read(0, head) < head.size() || !zipStarts(head)) return {};
    ZipWalk walk(input);
    CarveResult r = walk.run();
    return walk.plausible() ? r : CarveResult{};
}

}  // namespace rekkon
