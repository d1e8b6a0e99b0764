#pragma once

#include <string_view>

namespace rekkon::ui {

// What a file holds, as far as its name or the content search tells: chooses its icon where the
// desktop's icon theme has none.
enum class FileKind { Picture, Video, Audio, Document, Spreadsheet, Archive, Text, Other };

// The kind of a file named `name` (by its extension, in any case), else of the type a search by
// content gave it (`contentType`: "jpg", "zip", ...); Other when neither is known.
FileKind fileKindOf(std::string_view name, std::string_view contentType = {});

// The kind's icon among the program's resources (":/kind-picture.svg").
const char* fileKindIconPath(FileKind kind);

}  // namespace rekkon::ui
