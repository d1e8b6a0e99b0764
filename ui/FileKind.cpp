#include "ui/FileKind.h"

#include <array>
#include <cctype>
#include <optional>
#include <string>

namespace rekkon::ui {

namespace {

struct KindOfExtension {
    std::string_view extension;  // lower case
    FileKind kind;
};

using enum FileKind;

constexpr std::array kExtensions = std::to_array<KindOfExtension>({
    {"jpg", Picture},      {"jpeg", Picture},    {"jpe", Picture},     {"png", Picture},
    {"gif", Picture},      {"bmp", Picture},     {"tif", Picture},     {"tiff", Picture},
    {"webp", Picture},     {"heic", Picture},    {"heif", Picture},    {"avif", Picture},
    {"ico", Picture},      {"cr2", Picture},     {"cr3", Picture},     {"nef", Picture},
    {"arw", Picture},      {"dng", Picture},     {"orf", Picture},     {"raf", Picture},
    {"rw2", Picture},      {"pef", Picture},     {"psd", Picture},     {"svg", Picture},
    {"pcx", Picture},      {"tga", Picture},     {"avi", Video},       {"mp4", Video},
    {"m4v", Video},        {"mov", Video},       {"mkv", Video},       {"webm", Video},
    {"wmv", Video},        {"mpg", Video},       {"mpeg", Video},      {"flv", Video},
    {"3gp", Video},        {"mts", Video},       {"m2ts", Video},      {"vob", Video},
    {"ogv", Video},        {"mp3", Audio},       {"wav", Audio},       {"flac", Audio},
    {"ogg", Audio},        {"oga", Audio},       {"opus", Audio},      {"m4a", Audio},
    {"aac", Audio},        {"wma", Audio},       {"aif", Audio},       {"aiff", Audio},
    {"mid", Audio},        {"midi", Audio},      {"amr", Audio},       {"pdf", Document},
    {"doc", Document},     {"docx", Document},   {"odt", Document},    {"rtf", Document},
    {"ppt", Document},     {"pptx", Document},   {"odp", Document},    {"ps", Document},
    {"epub", Document},    {"wpd", Document},    {"xls", Spreadsheet}, {"xlsx", Spreadsheet},
    {"xlsm", Spreadsheet}, {"ods", Spreadsheet}, {"csv", Spreadsheet}, {"wk1", Spreadsheet},
    {"zip", Archive},      {"rar", Archive},     {"7z", Archive},      {"gz", Archive},
    {"tgz", Archive},      {"bz2", Archive},     {"xz", Archive},      {"zst", Archive},
    {"tar", Archive},      {"cab", Archive},     {"arj", Archive},     {"lzh", Archive},
    {"lha", Archive},      {"iso", Archive},     {"jar", Archive},     {"apk", Archive},
    {"txt", Text},         {"log", Text},        {"ini", Text},        {"cfg", Text},
    {"conf", Text},        {"md", Text},         {"htm", Text},        {"html", Text},
    {"xml", Text},         {"json", Text},       {"c", Text},          {"h", Text},
    {"cpp", Text},         {"py", Text},         {"sh", Text},         {"bat", Text},
    {"me", Text},          {"nfo", Text},        {"srt", Text},
});

// Extensions are short; a longer "extension" is no type at all.
constexpr std::size_t kMaxExtension = 8;

std::optional<FileKind> kindOfExtension(std::string_view extension) {
    if (extension.empty() || extension.size() > kMaxExtension) return std::nullopt;
    std::string lower(extension);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const KindOfExtension& k : kExtensions)
        if (k.extension == lower) return k.kind;
    return std::nullopt;
}

}  // namespace

FileKind fileKindOf(std::string_view name, std::string_view contentType) {
    // An NTFS stream ("file.jpg:thumb") is of its file's kind.
    const auto stream = name.find(':');
    if (stream != std::string_view::npos) name = name.substr(0, stream);
    const auto dot = name.rfind('.');
    if (dot != std::string_view::npos) {
        if (const auto kind = kindOfExtension(name.substr(dot + 1))) return *kind;
    }
    return kindOfExtension(contentType).value_or(Other);
}

const char* fileKindIconPath(FileKind kind) {
    switch (kind) {
        case Picture:
            return ":/kind-picture.svg";
        case Video:
            return ":/kind-video.svg";
        case Audio:
            return ":/kind-audio.svg";
        case Document:
            return ":/kind-document.svg";
        case Spreadsheet:
            return ":/kind-spreadsheet.svg";
        case Archive:
            return ":/kind-archive.svg";
        case Text:
            return ":/kind-text.svg";
        case Other:
            break;
    }
    return ":/kind-other.svg";
}

}  // namespace rekkon::ui
