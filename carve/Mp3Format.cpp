#include "carve/Mp3Format.h"

#include <array>
#include <optional>

#include "carve/Id3Tag.h"

namespace rekkon {
namespace {

constexpr int kMinFrames = 4;                     // in a row, for a file without an ID3v2 tag
constexpr int kMaxFrames = 1 << 26;               // far more than a day of audio
constexpr std::uint64_t kMaxPadding = 64 * 1024;  // zero bytes between the tag and the first frame

struct Frame {
    std::uint32_t length = 0;
    std::uint32_t key = 0;       // version, layer, sample rate and mono: the same in every frame
    std::uint32_t sideInfo = 0;  // bytes of side information after the header (and its CRC)
};

// A layer III frame header, or nullopt for anything else (free-format bit rate
// included).
std::optional<Frame> frameOf(std::uint32_t h) {
    static constexpr std::array<std::uint16_t, 16> kMpeg1 = {0,   32,  40,  48,  56,  64,  80,  96,
                                                             112, 128, 160, 192, 224, 256, 320, 0};
    static constexpr std::array<std::uint16_t, 16> kMpeg2 = {0,  8,  16, 24,  32,  40,  48,  56,
                                                             64, 80, 96, 112, 128, 144, 160, 0};
    static constexpr std::array<std::uint32_t, 3> kRates = {44100, 48000, 32000};
    if ((h >> 21) != 0x7FF) return std::nullopt;
    const std::uint32_t version = h >> 19 & 3;  // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
    const std::uint32_t bitrateIndex = h >> 12 & 15, rateIndex = h >> 10 & 3;
    if (version == 1 || (h >> 17 & 3) != 1 || bitrateIndex == 0 || bitrateIndex == 15 ||
        rateIndex == 3 || (h & 3) == 2)
        return std::nullopt;
    const bool mpeg1 = version == 3;
    const std::uint32_t kbps = mpeg1 ? kMpeg1[bitrateIndex] : kMpeg2[bitrateIndex];
    const std::uint32_t rate = kRates[rateIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    const bool mono = (h >> 6 & 3) == 3;
    Frame f;
    f.length = (mpeg1 ? 144000 : 72000) * kbps / rate + (h >> 9 & 1);
    f.key = (h & 0x001E0C00) | (version << 19) | (mono ? 0xC0 : 0);
    f.sideInfo = (mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17)) + ((h >> 16 & 1) ? 0 : 2);
    return f;
}

std::uint32_t be32At(std::span<const std::uint8_t> b, std::size_t at) {
    return std::uint32_t{b[at]} << 24 | std::uint32_t{b[at + 1]} << 16 |
           std::uint32_t{b[at + 2]} << 8 | b[at + 3];
}

// The frame count of a Xing or Info header in the first frame (at `at`), 0 when
// there is none.
std::uint32_t xingFrames(CarveStream& s, std::uint64_t at, const Frame& first) {
    std::array<std::uint8_t, 12> x{};
    if (!s.seek(at + 4 + first.sideInfo) || 4 + first.sideInfo + 12 > first.length || !s.bytes(x))
        return 0;
    const std::uint32_t tag = be32At(x, 0);
    if (tag != 0x58696E67 && tag != 0x496E666F) return 0;  // "Xing", "Info"
    return (be32At(x, 4) & 1) ? be32At(x, 8) : 0;
}

CarveResult ofVerdict(CarveVerdict v, std::uint64_t valid, std::uint64_t length) {
    CarveResult r;
    r.verdict = v;
    r.validBytes = valid;
    r.length = std::max(valid, length);
    return r;
}

}  // namespace

bool mp3Starts(std::span<const std::uint8_t> head) {
    if (head.size() < 10) return false;
    if (head[0] == 'I' && head[1] == 'D' && head[2] == '3')
        return head[3] >= 2 && head[3] <= 4 && head[4] != 0xFF &&
               ((head[6] | head[7] | head[8] | head[9]) & 0x80) == 0;
    const auto frame = frameOf(be32At(head, 0));
    if (!frame) return false;
    // A second header where the first frame ends, when the head reaches it.
    if (frame->length + 4 > head.size()) return true;
    const auto next = frameOf(be32At(head, frame->length));
    return next && next->key == frame->key;
}

CarveResult checkMp3(CarveInput& input) {
    CarveStream s(input);
    const std::uint64_t limit = s.limit();
    std::uint64_t pos = 0;
    std::string title;
    const auto tag = readId3Header(s, 0);
    if (tag) {
        if (tag->end > limit) return ofVerdict(CarveVerdict::Truncated, 10, limit);
        title = id3Title(s, 0, *tag);
        pos = tag->end;
        for (std::uint64_t n = 0; n < kMaxPadding && s.seek(pos) && s.peek() == 0u; ++n)
            ++pos;
    }
    const std::uint64_t audioStart = pos;

    int frames = 0;
    std::uint32_t key = 0, expected = 0;
    bool cut = false;
    for (; frames < kMaxFrames; ++frames) {
        if (pos == limit || !s.seek(pos)) {
            cut = pos != limit;
            break;
        }
        const auto header = s.be32();
        if (!header) {  // fewer than 4 bytes before the limit
            cut = true;
            break;
        }
        const auto frame = frameOf(*header);
        if (!frame || (frames > 0 && frame->key != key)) break;
        if (frames == 0) {
            key = frame->key;
            expected = xingFrames(s, pos, *frame);
        }
        if (frame->length > limit - pos) {
            cut = true;
            break;
        }
        pos += frame->length;
    }
    const bool atLimit = pos == limit;
    if (frames < (tag ? 1 : kMinFrames)) {
        if (!tag) return {};
        if (cut || atLimit) return ofVerdict(CarveVerdict::Truncated, audioStart, limit);
        CarveResult r = ofVerdict(CarveVerdict::Damaged, audioStart, audioStart);
        r.problem = "no audio frame after the ID3 tag";
        return r;
    }
    if (cut) return ofVerdict(CarveVerdict::Truncated, pos, limit);
    // The Xing or Info header counts the frames after it.
    if (expected != 0 && static_cast<std::uint32_t>(frames - 1) < expected) {
        if (atLimit) return ofVerdict(CarveVerdict::Truncated, pos, limit);
        CarveResult r = ofVerdict(CarveVerdict::Damaged, pos, pos);
        r.problem = "audio frames stop at " + std::to_string(pos) + " before their count";
        return r;
    }
    // An ID3v1 trailer.
    std::array<std::uint8_t, 3> trailer{};
    if (s.seek(pos) && s.bytes(trailer) && trailer[0] == 'T' && trailer[1] == 'A' &&
        trailer[2] == 'G') {
        if (limit - pos < 128) return ofVerdict(CarveVerdict::Truncated, pos, limit);
        pos += 128;
    }
    CarveResult r = ofVerdict(CarveVerdict::Whole, pos, pos);
    r.name = title;
    return r;
}

}  // namespace rekkon
