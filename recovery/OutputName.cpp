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

std::string safeOutputName(const std::string& name) {
    std::string out = name;
    if (const auto colon = out.find(':'); colon != std::string::npos) out[colon] = '-';
    for (char& c : out)
        if (c == '/' || c == '\0') c = '_';
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
