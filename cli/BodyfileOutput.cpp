#include "cli/BodyfileOutput.h"

#include <ostream>

#include "cli/JsonText.h"

namespace rekkon::cli {

namespace {

constexpr std::uint64_t kFileTimeOf1970 = 116'444'736'000'000'000ULL;
constexpr std::uint64_t kFileTimePerSecond = 10'000'000ULL;
constexpr std::uint32_t kReadOnlyAttribute = 0x01;

// '|' separates the fields: in a name it is escaped like a control character.
std::string fieldText(const std::string& text) {
    const std::string shown = terminalText(text);
    std::string out;
    out.reserve(shown.size());
    for (const char c : shown) {
        if (c == '|')
            out += "\\x7c";
        else
            out += c;
    }
    return out;
}

}  // namespace

std::int64_t unixSeconds(std::uint64_t fileTime) {
    if (fileTime < kFileTimeOf1970) return 0;
    return static_cast<std::int64_t>((fileTime - kFileTimeOf1970) / kFileTimePerSecond);
}

std::string timelinePath(const DeletedFileEntry& entry) {
    std::string path = "/";
    for (const char c : entry.folder) {
        const char separator = c == '\\' ? '/' : c;
        if (separator != '/' || path.back() != '/') path.push_back(separator);
    }
    if (path.back() != '/') path.push_back('/');
    path += outputNameOf(entry, true);
    return fieldText(path) + " (deleted)";
}

void appendBodyfileLine(std::string& line, const DeletedFileEntry& e) {
    line += "0|";
    line += timelinePath(e);
    line += '|';
    line += std::to_string(e.location);
    if (!e.stream.empty()) line += "-" + fieldText(e.stream);
    line += (e.attributes & kReadOnlyAttribute) != 0 && !e.origin.starts_with("ntfs")
                ? "|r/rr-xr-xr-x|0|0|"
                : "|r/rrwxrwxrwx|0|0|";
    line += std::to_string(e.size);
    for (const std::uint64_t time : {e.lastAccessTime, e.writeTime, e.changeTime, e.birthTime}) {
        line += '|';
        line += std::to_string(unixSeconds(time));
    }
    line += '\n';
}

void printBodyfile(std::ostream& out, const std::vector<const DeletedFileEntry*>& entries) {
    std::string line;
    for (const DeletedFileEntry* e : entries) {
        line.clear();
        appendBodyfileLine(line, *e);
        out << line;
    }
}

}  // namespace rekkon::cli
