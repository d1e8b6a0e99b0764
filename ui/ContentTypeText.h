#pragma once

#include <QString>

#include "fs/FoundEntry.h"

namespace rekkon::ui {

// What a file found by its content is, for the list's Type column: the description of the
// format its name's extension stands for ("JPEG image", "Word document" for a .docx found as a
// ZIP archive), else that extension; empty for entries not found by content.
QString contentTypeText(const DeletedFileEntry& entry);

// What the check of a file found by its content found, for its row's tooltip ("Found by its
// content: whole", "... damaged: <what broke>"); empty for other entries.
QString contentCheckText(const DeletedFileEntry& entry);

}  // namespace rekkon::ui
