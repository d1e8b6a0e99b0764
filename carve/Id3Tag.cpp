#include "carve/Id3Tag.h"

#include <array>
#include <vector>

namespace rekkon {
namespace {

constexpr std::uint32_t kMaxTitleBytes = 1024;
constexpr int kMaxFrames = 4096;

std::uint32_t syncsafe(std::uint32_t v) {
    return (v & 0x7F) | (v >> 8 & 0x7F) << 7 | (v >> 16 & 0x7F) << 14 | (v >> 24 & 0x7F) << 21;
}

void appendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string utf16(const std::vector<std::uint8_t>& b, std::size_t from, bool bigEndian) {
    std::string out;
    for (std::size_t i = from; i + 1 < b.size(); i += 2) {
        std::uint32_t c = bigEndian ? (b[i] << 8 | b[i + 1]) : (b[i + 1] << 8 | b[i]);
        if (c == 0) break;
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < b.size()) {
            const std::uint32_t low =
                bigEndian ? (b[i + 2] << 8 | b[i + 3]) : (b[i + 3] << 8 | b[i + 2]);
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            } else {
                c = 0xFFFD;
            }
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        appendUtf8(out, c);
    }
    return out;
}

// A text frame's content: an encoding byte, then the text (the first string
// only).
std::string textOf(const std::vector<std::uint8_t>& b) {
    if (b.empty()) return {};
    std::string out;
    switch (b[0]) {
        case 0:  // ISO-8859-1
            for (std::size_t i = 1; i < b.size() && b[i] != 0; ++i)
                appendUtf8(out, b[i]);
            break;
        case 1:  // UTF-16 after a byte-order mark
            if (b.size() >= 3) out = utf16(b, 3, b[1] == 0xFE && b[2] == 0xFF);
            break;
        case 2:
            out = utf16(b, 1, true);
            break;
        case 3:  // UTF-8: taken as it is; front ends make names safe
            for (std::size_t i = 1; i < b.size() && b[i] != 0; ++i)
                out += static_cast<char>(b[i]);
            break;
        default:
            break;
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

}  // namespace

std::optional<Id3Tag> readId3Header(CarveStream& s, std::uint64_t from) {
    std::array<std::uint8_t, 10> h{};
    if (!s.seek(from) || !s.bytes(h)) return std::nullopt;
    if (h[0] != 'I' || h[1] != 'D' || h[2] != '3' || h[3] < 2 || h[3] > 4 || h[4] == 0xFF)
        return std::nullopt;
    if ((h[6] | h[7] | h[8] | h[9]) & 0x80) return std::nullopt;
    const std::uint32_t size =
        syncsafe(std::uint32_t{h[6]} << 24 | h[7] << 16 | h[8] << 8 | std::uint32_t{h[9]});
    Id3Tag tag{h[3], h[5], from + 10 + size};
    if (tag.major == 4 && (tag.flags & 0x10)) tag.end += 10;  // a footer
    return tag;
}

std::string id3Title(CarveStream& s, std::uint64_t from, const Id3Tag& tag) {
    const bool v2 = tag.major == 2;
    if ((tag.flags & 0x80) && tag.major < 4) return {};  // unsynchronised as a whole
    std::uint64_t pos = from + 10;
    if (tag.flags & 0x40) {  // an extended header (compression in version 2)
        if (v2 || !s.seek(pos)) return {};
        const auto size = s.be32();
        if (!size) return {};
        pos += tag.major == 3 ? 4 + std::uint64_t{*size} : syncsafe(*size);
    }
    const std::uint64_t headerBytes = v2 ? 6 : 10;
    const std::uint64_t end = tag.end - (tag.major == 4 && (tag.flags & 0x10) ? 10 : 0);
    for (int n = 0; n < kMaxFrames && pos + headerBytes <= end && s.seek(pos); ++n) {
        std::array<std::uint8_t, 10> h{};
        if (!s.bytes(std::span(h).first(headerBytes))) return {};
        if (h[0] == 0) return {};  // padding
        std::uint32_t size = 0, id = 0, flags = 0;
        if (v2) {
            id = std::uint32_t{h[0]} << 16 | h[1] << 8 | h[2];
            size = std::uint32_t{h[3]} << 16 | h[4] << 8 | h[5];
        } else {
            id = std::uint32_t{h[0]} << 24 | h[1] << 16 | h[2] << 8 | h[3];
            size = std::uint32_t{h[4]} << 24 | h[5] << 16 | h[6] << 8 | h[7];
            if (tag.major == 4) size = syncsafe(size);
            flags = std::uint32_t{h[8]} << 8 | h[9];
        }
        const bool title = v2 ? id == 0x545432 : id == 0x54495432;  // "TT2", "TIT2"
        if (title) {
            std::uint64_t at = pos + headerBytes;
            std::uint32_t bytes = size;
            if (tag.major == 3 && (flags & 0xC0)) return {};  // compressed, encrypted
            if (tag.major == 4 && (flags & 0x0E)) return {};  // compressed, encrypted, unsync
            if (tag.major == 4 && (flags & 0x01)) {           // a data length indicator
                if (bytes < 4) return {};
                at += 4;
                bytes -= 4;
            }
            if (bytes == 0) return {};
            std::vector<std::uint8_t> text(std::min(bytes, kMaxTitleBytes));
            if (at + bytes > end || !s.seek(at) || !s.bytes(text)) return {};
            return textOf(text);
        }
        pos += headerBytes + size;
    }
    return {};
}

}  // namespace rekkon
