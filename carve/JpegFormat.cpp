#include "carve/JpegFormat.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "carve/ImageMeta.h"
#include "carve/JpegDecode.h"
#include "carve/TiffIfd.h"

namespace rekkon {
namespace {

constexpr std::uint64_t kMinBytes = 100;
constexpr std::uint32_t kMaxSegments = 1u << 20;
constexpr std::uint32_t kMaxPictures = 64;

bool isFrame(std::uint8_t m) {
    return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
}

// A marker that may begin a segment with a length in a JPEG file.
bool isSegment(std::uint8_t m) {
    return (m >= 0xC0 && m <= 0xCF && m != 0xC8) || (m >= 0xDA && m <= 0xDF) ||
           (m >= 0xE0 && m <= 0xEF) || (m >= 0xF0 && m <= 0xFE);
}

class JpegWalk {
  public:
    explicit JpegWalk(CarveInput& input) : input_(input), s_(input) {}

    CarveResult run() {
        if (!s_.skip(2)) return {};
        for (std::uint32_t n = 0; n < kMaxSegments; ++n) {
            const std::uint64_t at = s_.position();
            const auto ff = s_.u8();
            if (!ff) return truncated();
            if (*ff != 0xFF) return fault(at, "a byte that begins no segment");
            auto m = s_.u8();
            while (m && *m == 0xFF)  // fill bytes before a marker
                m = s_.u8();
            if (!m) return truncated();
            if (*m == 0xD9) {
                if (!scan_) return fault(at, "EOI before any image data");
                return end(s_.position());
            }
            if (*m == 0x01) continue;  // TEM: no length
            if (!isSegment(*m)) return fault(at, "an unexpected marker");
            const auto length = s_.be16();
            if (!length) return truncated();
            if (*length < 2) return fault(at, "a segment shorter than its length field");
            const std::uint64_t body = s_.position();
            const std::uint32_t bodyBytes = *length - 2u;
            if (isFrame(*m)) {
                if (!frame(bodyBytes)) return fault(at, "a frame header that does not add up");
            } else if (*m == 0xDA) {
                if (!frame_) return fault(at, "a scan before the frame header");
                const auto components = s_.u8();
                if (!components) return truncated();
                if (*components < 1 || *components > 4 || bodyBytes != 4u + 2u * *components)
                    return fault(at, "a scan header that does not add up");
            } else if (*m == 0xDD) {
                if (bodyBytes != 2) return fault(at, "a restart interval of the wrong length");
            } else if (*m == 0xE1 && !exifRead_) {
                exif(bodyBytes);
            } else if (*m == 0xE2 && !mpfRead_) {
                mpf(body, bodyBytes);
            }
            if (!s_.seek(body) || !s_.skip(bodyBytes)) return truncated();
            if (*m == 0xDA) {
                scan_ = true;
                if (const auto r = entropyData()) return *r;
            }
        }
        return fault(s_.position(), "too many segments");
    }

  private:
    bool frame(std::uint32_t bodyBytes) {
        if (frame_ && !scan_) return false;
        const auto precision = s_.u8();
        const auto height = s_.be16();
        const auto width = s_.be16();
        const auto components = s_.u8();
        if (!precision || !height || !width || !components) return true;  // cut: the skip says so
        frame_ = true;
        return *precision >= 2 && *precision <= 16 && *width > 0 && *components >= 1 &&
               *components <= 4 && bodyBytes == 6u + 3u * *components;
    }

    // Walks entropy-coded data up to the marker that ends it; a result when the walk ends here.
    std::optional<CarveResult> entropyData() {
        std::uint8_t nextRestart = 0;
        for (;;) {
            const auto w = s_.window();
            if (w.empty()) return truncated();
            const void* ff = std::memchr(w.data(), 0xFF, w.size());
            if (!ff) {
                s_.consume(w.size());
                continue;
            }
            const std::uint64_t at =
                s_.position() +
                static_cast<std::size_t>(static_cast<const std::uint8_t*>(ff) - w.data());
            s_.consume(static_cast<std::size_t>(at - s_.position()) + 1);
            auto b = s_.u8();
            while (b && *b == 0xFF)
                b = s_.u8();
            if (!b) return truncated();
            if (*b == 0x00) continue;
            if (*b >= 0xD0 && *b <= 0xD7) {
                if (*b - 0xD0 != nextRestart) return fault(at, "a restart marker out of order");
                nextRestart = (nextRestart + 1) & 7;
                continue;
            }
            s_.seek(s_.position() - 2);  // the marker that ends the scan
            return std::nullopt;
        }
    }

    void exif(std::uint32_t bodyBytes) {
        if (bodyBytes < 14) return;
        std::vector<std::uint8_t> payload(bodyBytes);
        if (!s_.bytes(payload) || std::memcmp(payload.data(), "Exif\0\0", 6) != 0) return;
        exifRead_ = true;
        MemoryCarveInput tiff{std::span<const std::uint8_t>(payload).subspan(6)};
        exif_ = walkTiff(tiff).exif;
    }

    // A Multi-Picture Format index: the pictures after the first belong to the file.
    void mpf(std::uint64_t body, std::uint32_t bodyBytes) {
        if (bodyBytes < 16) return;
        std::vector<std::uint8_t> payload(bodyBytes);
        if (!s_.bytes(payload) || std::memcmp(payload.data(), "MPF\0", 4) != 0) return;
        mpfRead_ = true;
        const std::uint64_t base = body + 4;  // offsets count from the index's byte-order mark
        MemoryCarveInput tiff{std::span<const std::uint8_t>(payload).subspan(4)};
        walkTiff(tiff, [&](CarveStream& s, const TiffEntry& e, bool be) {
            if (e.tag != 0xB002 || e.type != 7) return;
            for (std::uint32_t i = 1; i < e.count / 16 && i < kMaxPictures; ++i) {
                if (!s.seek(e.valueAt + 16u * i + 4)) return;
                const auto size = be ? s.be32() : s.le32();
                const auto offset = be ? s.be32() : s.le32();
                if (!offset || *offset == 0 || *size == 0) continue;
                pictures_.push_back({base + *offset, *size});
            }
        });
    }

    CarveResult end(std::uint64_t eoi) {
        std::uint64_t length = eoi;
        for (const auto& [offset, size] : pictures_) {
            std::uint8_t soi[3] = {};
            if (offset < eoi || input_.read(offset, soi) != 3 || soi[0] != 0xFF || soi[1] != 0xD8 ||
                soi[2] != 0xFF)
                continue;  // not where the index says: the index is wrong, not the file
            if (size > input_.limit() - offset) return truncated();
            length = std::max(length, offset + size);
        }
        if (length < kMinBytes) return {};
        CarveResult r;
        const JpegDecodeResult decoded = decodeJpeg(input_, eoi);
        if (decoded.outcome == JpegDecodeResult::Outcome::Broken) {
            r.verdict = CarveVerdict::Damaged;
            r.validBytes = std::clamp<std::uint64_t>(decoded.brokenAt, 2, length);
            r.problem = decoded.problem;
        } else {
            r.verdict = CarveVerdict::Whole;
            r.validBytes = length;
        }
        r.length = length;
        nameFromExif(exif_, r);
        return r;
    }

    CarveResult truncated() {
        if (!frame_) return {};
        CarveResult r;
        r.verdict = CarveVerdict::Truncated;
        r.length = r.validBytes = input_.limit();
        r.problem = "cut short at " + std::to_string(input_.limit());
        nameFromExif(exif_, r);
        return r;
    }

    // Before the frame header, bytes met by chance; after it, a damaged file reaching to the next
    // EOI (as far as it can be told).
    CarveResult fault(std::uint64_t at, const std::string& what) {
        if (!frame_ || at < kMinBytes) return {};
        CarveResult r;
        r.verdict = CarveVerdict::Damaged;
        r.validBytes = at;
        r.length = std::max(at, nextEoi(at));
        r.problem = what + " at " + std::to_string(at);
        nameFromExif(exif_, r);
        return r;
    }

    std::uint64_t nextEoi(std::uint64_t from) {
        if (!s_.seek(from)) return from;
        bool afterFF = false;
        for (auto w = s_.window(); !w.empty(); w = s_.window()) {
            for (std::size_t i = 0; i < w.size(); ++i) {
                if (afterFF && w[i] == 0xD9) return s_.position() + i + 1;
                afterFF = w[i] == 0xFF;
            }
            s_.consume(w.size());
        }
        return from;
    }

    CarveInput& input_;
    CarveStream s_;
    bool frame_ = false, scan_ = false, exifRead_ = false, mpfRead_ = false;
    ExifInfo exif_;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> pictures_;
};

}  // namespace

bool jpegStarts(std::span<const std::uint8_t> head) {
    if (head.size() < 6 || head[0] != 0xFF || head[1] != 0xD8 || head[2] != 0xFF) return false;
    const std::uint8_t m = head[3];
    const bool marker = (m >= 0xE0 && m <= 0xEF) || m == 0xDB || m == 0xC4 || m == 0xC0 ||
                        m == 0xC1 || m == 0xC2 || m == 0xFE || m == 0xDD;
    return marker && ((head[4] << 8) | head[5]) >= 2;
}

bool jpegContinues(std::span<const std::uint8_t> unit) {
    if (unit.empty() ||
        std::all_of(unit.begin(), unit.end(), [&](std::uint8_t b) { return b == unit[0]; }))
        return false;
    for (std::size_t i = 0; i + 1 < unit.size(); ++i) {
        if (unit[i] != 0xFF) continue;
        const std::uint8_t next = unit[i + 1];
        if (next == 0xD9) return true;
        if (next == 0xFF) continue;  // a fill byte before a marker
        if (next != 0x00 && (next < 0xD0 || next > 0xD7)) return false;
        ++i;
    }
    return true;
}

CarveResult checkJpeg(CarveInput& input) {
    return JpegWalk(input).run();
}

}  // namespace rekkon
