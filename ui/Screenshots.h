#pragma once

#include <QString>

namespace rekkon::ui {

// Renders the main window scanning `image`, the progress window, the first-character dialog, the
// drive dialog and the About box into PNG files in `folder` (main-window.png,
// progress-window.png, first-char-dialog.png, drive-dialog.png, about-box.png). Returns the exit
// status: 0, or 1 when a picture could not be made.
int writeScreenshots(const QString& folder, const QString& image);

}  // namespace rekkon::ui
