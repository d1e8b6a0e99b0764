#include "ui/ContentTypeText.h"

#include <array>
#include <string_view>
#include <utility>

#include "carve/CarveFormat.h"
#include "recovery/EntryText.h"

namespace rekkon::ui {

namespace {

QString fromView(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Extensions a file's content gives it beyond the formats' own types.
constexpr std::array<std::pair<std::string_view, std::string_view>, 13> kContentKinds{{
    {"nef", "Nikon raw photo"},
    {"arw", "Sony raw photo"},
    {"dng", "DNG raw photo"},
    {"docx", "Word document"},
    {"xlsx", "Excel workbook"},
    {"pptx", "PowerPoint presentation"},
    {"odt", "OpenDocument text"},
    {"ods", "OpenDocument spreadsheet"},
    {"odp", "OpenDocument presentation"},
    {"odg", "OpenDocument drawing"},
    {"epub", "EPUB book"},
    {"jar", "Java archive"},
    {"apk", "Android package"},
}};

}  // namespace

QString contentTypeText(const DeletedFileEntry& entry) {
    if (entry.contentType.empty()) return {};
    const std::string extension = typeText(entry.name);
    if (const CarveFormat* format = findCarveFormat(extension))
        return fromView(format->description);
    for (const auto& [kind, description] : kContentKinds)
        if (kind == extension) return fromView(description);
    return QString::fromStdString(extension);
}

QString contentCheckText(const DeletedFileEntry& entry) {
    if (entry.contentType.empty()) return {};
    return QStringLiteral("Found by its content: %1")
        .arg(QString::fromStdString(entry.contentCheck));
}

}  // namespace rekkon::ui
