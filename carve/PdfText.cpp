#include "carve/PdfText.h"

#include <vector>

#include "carve/ArchiveInflate.h"

namespace rekkon {

namespace {

void appendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string literal(std::string_view t) {
    std::string raw;
    int depth = 1;
    for (std::size_t i = 1; i < t.size() && raw.size() < 4096; ++i) {
        const char c = t[i];
        if (c == '(') ++depth;
        if (c == ')' && --depth == 0) return raw;
        if (c != '\\') {
            raw += c;
            continue;
        }
        if (++i >= t.size()) break;
        const char e = t[i];
        switch (e) {
            case 'n':
                raw += '\n';
                break;
            case 'r':
                raw += '\r';
                break;
            case 't':
                raw += '\t';
                break;
            case 'b':
                raw += '\b';
                break;
            case 'f':
                raw += '\f';
                break;
            case '\r':
                if (i + 1 < t.size() && t[i + 1] == '\n') ++i;
                break;
            case '\n':
                break;
            default:
                if (e >= '0' && e <= '7') {
                    int v = 0;
                    for (int n = 0; n < 3 && i < t.size() && t[i] >= '0' && t[i] <= '7'; ++n, ++i)
                        v = v * 8 + (t[i] - '0');
                    --i;
                    raw += static_cast<char>(v & 0xFF);
                } else {
                    raw += e;
                }
        }
    }
    return {};  // unterminated
}

std::string hex(std::string_view t) {
    std::string raw;
    int high = -1;
    for (std::size_t i = 1; i < t.size() && raw.size() < 4096; ++i) {
        if (t[i] == '>') {
            if (high >= 0) raw += static_cast<char>(high << 4);
            return raw;
        }
        const int d = hexDigit(t[i]);
        if (d < 0) continue;
        if (high < 0) {
            high = d;
        } else {
            raw += static_cast<char>(high << 4 | d);
            high = -1;
        }
    }
    return {};
}

}  // namespace

std::string pdfString(std::string_view text) {
    const std::size_t at = text.find_first_not_of(" \t\r\n");
    if (at == std::string_view::npos) return {};
    text = text.substr(at);
    std::string raw;
    if (text[0] == '(')
        raw = literal(text);
    else if (text[0] == '<' && text.substr(0, 2) != "<<")
        raw = hex(text);
    std::string out;
    if (raw.size() >= 2 && static_cast<unsigned char>(raw[0]) == 0xFE &&
        static_cast<unsigned char>(raw[1]) == 0xFF) {
        for (std::size_t i = 2; i + 1 < raw.size(); i += 2) {
            std::uint32_t c =
                static_cast<unsigned char>(raw[i]) << 8 | static_cast<unsigned char>(raw[i + 1]);
            if (c >= 0xD800 && c < 0xDC00 && i + 3 < raw.size()) {
                const std::uint32_t low = static_cast<unsigned char>(raw[i + 2]) << 8 |
                                          static_cast<unsigned char>(raw[i + 3]);
                if (low >= 0xDC00 && low < 0xE000) {
                    c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                    i += 2;
                }
            }
            if (c >= 0xD800 && c < 0xE000) c = 0xFFFD;
            if (c != 0) appendUtf8(out, c);
        }
    } else {
        for (char c : raw)
            if (c != 0) appendUtf8(out, static_cast<unsigned char>(c));
    }
    for (char& c : out)
        if (c == '\r' || c == '\n' || c == '\t') c = ' ';
    return out;
}

std::uint64_t pdfDate(std::string_view text, bool& utc) {
    utc = false;
    const std::size_t at = text.find_first_not_of(" \t\r\n");
    if (at == std::string_view::npos) return 0;
    const std::string s = pdfString(text.substr(at));
    std::string_view d(s);
    if (d.substr(0, 2) == "D:") d.remove_prefix(2);
    int f[6] = {0, 1, 1, 0, 0, 0};
    const int widths[6] = {4, 2, 2, 2, 2, 2};
    std::size_t p = 0;
    for (int k = 0; k < 6; ++k) {
        if (p + widths[k] > d.size() || d[p] < '0' || d[p] > '9') {
            if (k == 0) return 0;
            break;
        }
        int v = 0;
        for (int n = 0; n < widths[k]; ++n, ++p) {
            if (d[p] < '0' || d[p] > '9') return 0;
            v = v * 10 + (d[p] - '0');
        }
        f[k] = v;
    }
    std::uint64_t t = fileTimeOfCivil(f[0], f[1], f[2], f[3], f[4], f[5]);
    if (t == 0 || p >= d.size()) return t;
    if (d[p] == 'Z') {
        utc = true;
    } else if ((d[p] == '+' || d[p] == '-') && p + 3 <= d.size()) {
        const int sign = d[p] == '+' ? 1 : -1;
        int hh = 0, mm = 0;
        if (hexDigit(d[p + 1]) < 0 || hexDigit(d[p + 1]) > 9 || hexDigit(d[p + 2]) < 0 ||
            hexDigit(d[p + 2]) > 9)
            return t;
        hh = (d[p + 1] - '0') * 10 + (d[p + 2] - '0');
        if (p + 6 <= d.size() && d[p + 3] == '\'' && d[p + 4] >= '0' && d[p + 4] <= '9' &&
            d[p + 5] >= '0' && d[p + 5] <= '9')
            mm = (d[p + 4] - '0') * 10 + (d[p + 5] - '0');
        const std::int64_t shift = sign * (std::int64_t{hh} * 3600 + mm * 60) * 10000000;
        if (hh > 23 || mm > 59 || (shift > 0 && static_cast<std::uint64_t>(shift) > t)) return t;
        t = static_cast<std::uint64_t>(static_cast<std::int64_t>(t) - shift);
        utc = true;
    }
    return t;
}

}  // namespace rekkon
