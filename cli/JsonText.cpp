#include "cli/JsonText.h"

#include <array>
#include <cstdint>

namespace rekkon::cli {

namespace {

// The UTF-8 sequence at `text[i]`: its length when it is valid (`valid` set), else the length
// of its longest start that could have begun a valid one (at least 1), which stands for one
// replacement character.
std::size_t sequenceAt(std::string_view text, std::size_t i, bool& valid) {
    const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
    const std::uint8_t lead = byte(i);
    std::size_t length = 0;
    std::uint8_t low = 0x80, high = 0xBF;  // bounds of the second byte
    valid = false;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 1;
    }
    std::size_t k = 1;
    if (i + k < text.size() && byte(i + k) >= low && byte(i + k) <= high) {
        ++k;
        while (k < length && i + k < text.size() && (byte(i + k) & 0xC0) == 0x80)
            ++k;
    }
    valid = k == length;
    return k;
}

void appendHexByte(std::string& out, std::uint8_t b) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += kHex[b >> 4];
    out += kHex[b & 0xF];
}

// "\u00HH" for a control character.
void appendUnitEscape(std::string& out, std::uint8_t c) {
    out += "\\u00";
    appendHexByte(out, c);
}

// Whether the valid sequence at `text[i]` is a C1 control, U+0080..U+009F (0xC2 0x80..0x9F).
bool isC1(std::string_view text, std::size_t i) {
    return static_cast<std::uint8_t>(text[i]) == 0xC2 &&
           static_cast<std::uint8_t>(text[i + 1]) <= 0x9F;
}

// The bytes that stand for themselves in a JSON string: printable ASCII but '"' and '\\'.
constexpr std::array<bool, 256> kPlain = [] {
    std::array<bool, 256> plain{};
    for (int c = 0x20; c < 0x80; ++c)
        plain[static_cast<std::size_t>(c)] = c != '"' && c != '\\';
    return plain;
}();

}  // namespace

void appendJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (std::size_t i = 0; i < text.size();) {
        // A run of characters that stand for themselves is copied at once.
        std::size_t plain = i;
        while (plain < text.size() && kPlain[static_cast<std::uint8_t>(text[plain])])
            ++plain;
        if (plain > i) {
            out.append(text.substr(i, plain - i));
            i = plain;
            continue;
        }
        const auto c = static_cast<std::uint8_t>(text[i]);
        if (c >= 0x80) {
            bool valid = false;
            const std::size_t n = sequenceAt(text, i, valid);
            if (valid)
                out.append(text.substr(i, n));
            else
                out += "\xEF\xBF\xBD";
            i += n;
            continue;
        }
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20)
                    appendUnitEscape(out, c);
                else
                    out += static_cast<char>(c);
        }
        ++i;
    }
    out += '"';
}

std::string terminalText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<std::uint8_t>(text[i]);
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        if (c >= 0x80) {
            bool valid = false;
            const std::size_t n = sequenceAt(text, i, valid);
            if (valid) {
                if (isC1(text, i))
                    appendUnitEscape(out, static_cast<std::uint8_t>(text[i + 1]));
                else
                    out.append(text.substr(i, n));
                i += n;
            } else {
                out += "\\x";
                appendHexByte(out, c);
                ++i;  // each byte of a broken sequence shows as itself
            }
            continue;
        }
        switch (c) {
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                out += "\\x";
                appendHexByte(out, c);
        }
        ++i;
    }
    return out;
}

}  // namespace rekkon::cli
