#include "carve/ZipKind.h"

#include <cstdint>

namespace rekkon {

namespace {

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

std::string decodeEntities(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        const std::size_t semi = text.find(';', i);
        if (semi == std::string_view::npos || semi - i > 10) {
            out += '&';
            continue;
        }
        const std::string_view e = text.substr(i + 1, semi - i - 1);
        std::uint32_t code = 0;
        if (e == "amp")
            code = '&';
        else if (e == "lt")
            code = '<';
        else if (e == "gt")
            code = '>';
        else if (e == "quot")
            code = '"';
        else if (e == "apos")
            code = '\'';
        else if (e.size() > 1 && e[0] == '#') {
            const bool hex = e[1] == 'x';
            for (char c : e.substr(hex ? 2 : 1)) {
                const int d = c >= '0' && c <= '9'          ? c - '0'
                              : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                            : -1;
                if (d < 0 || code > 0x10FFFF) {
                    code = 0;
                    break;
                }
                code = code * (hex ? 16 : 10) + static_cast<std::uint32_t>(d);
            }
        }
        if (code == 0 || code > 0x10FFFF) {
            out += '&';
            continue;
        }
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
        i = semi;
    }
    return out;
}

}  // namespace

std::string xmlTitle(std::string_view xml) {
    const std::size_t open = xml.find("<dc:title");
    if (open == std::string_view::npos) return {};
    const std::size_t start = xml.find('>', open);
    if (start == std::string_view::npos || xml[start - 1] == '/') return {};
    const std::size_t end = xml.find("</dc:title>", start);
    if (end == std::string_view::npos) return {};
    std::string title = decodeEntities(xml.substr(start + 1, end - start - 1));
    for (char& c : title)
        if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    const std::size_t first = title.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    title = title.substr(first, title.find_last_not_of(' ') - first + 1);
    return title.size() > 200 ? title.substr(0, 200) : title;
}

bool ZipKind::wanted(std::string_view name) {
    return name == "mimetype" || name == "docProps/core.xml" || name == "meta.xml";
}

void ZipKind::entry(std::string_view name, std::string_view content) {
    if (name == "mimetype" && mimetype_.empty()) mimetype_ = content.substr(0, 100);
    if ((name == "docProps/core.xml" || name == "meta.xml") && title_.empty())
        title_ = xmlTitle(content);
    word_ = word_ || startsWith(name, "word/");
    excel_ = excel_ || startsWith(name, "xl/");
    powerpoint_ = powerpoint_ || startsWith(name, "ppt/");
    manifest_ = manifest_ || name == "META-INF/MANIFEST.MF";
    androidManifest_ = androidManifest_ || name == "AndroidManifest.xml";
    dex_ = dex_ || name == "classes.dex";
}

std::string ZipKind::extension() const {
    constexpr std::string_view odf = "application/vnd.oasis.opendocument.";
    if (mimetype_ == "application/epub+zip") return "epub";
    if (startsWith(mimetype_, odf)) {
        const std::string_view kind = std::string_view(mimetype_).substr(odf.size());
        if (kind == "text") return "odt";
        if (kind == "spreadsheet") return "ods";
        if (kind == "presentation") return "odp";
        if (kind == "graphics") return "odg";
    }
    if (word_) return "docx";
    if (excel_) return "xlsx";
    if (powerpoint_) return "pptx";
    if (androidManifest_ && dex_) return "apk";
    if (manifest_) return "jar";
    return {};
}

}  // namespace rekkon
