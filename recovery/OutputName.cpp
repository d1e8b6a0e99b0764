#include "recovery/OutputName.h"

namespace rekkon {

std::string cutUtf8(const std::string& text, std::size_t limit) {
    if (text.size() <= limit) return text;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

std::pair<std::string, std::string> splitStreamName(const std::string& name) {
    const auto colon = name.find(':');
    if (colon == std::string::npos) return {name, ""};
    return {name.substr(0, colon), name.substr(colon + 1)};
}

std::string controlsAsUnderscores(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const bool c1 = c == 0xC2 && i + 1 < text.size() &&
                        static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(text[i + 1]) <= 0x9F;
        if (c1) ++i;  // U+0080..U+009F: two bytes, one '_'
        out.push_back(c < 0x20 || c == 0x7F || c1 ? '_' : text[i]);
    }
    return out;
}

std::string safeOutputName(const std::string& name) {
    std::string out = controlsAsUnderscores(name);
    if (const auto colon = out.find(':'); colon != std::string::npos) out[colon] = '-';
    for (char& c : out)
        if (c == '/') c = '_';
    if (out.empty() || out == "." || out == "..") out = "_" + out;
    if (out.size() > kMaxNameBytes) {
        const auto dot = out.rfind('.');
        std::string ext = dot != std::string::npos && out.size() - dot <= 32 ? out.substr(dot) : "";
        out = cutUtf8(out.substr(0, out.size() - ext.size()), kMaxNameBytes - ext.size()) + ext;
    }
    return out;
}

std::string numberedName(const std::string& fileName, int n) {
    const auto dot = fileName.rfind('.');
    const std::string base = dot == std::string::npos ? fileName : fileName.substr(0, dot);
    const std::string ext = dot == std::string::npos ? "" : fileName.substr(dot + 1);
    const std::string suffix = "(" + std::to_string(n) + ")." + ext;
    // Keep the numbered name within the file-name limit too.
    return cutUtf8(base, kMaxNameBytes > suffix.size() ? kMaxNameBytes - suffix.size() : 0) +
           suffix;
}

}  // namespace rekkon
