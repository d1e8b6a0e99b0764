#pragma once

#include <QString>

#include <string>

namespace rekkon::ui {

// Writes the recovery report `text` into `path`, a file that must not exist yet: an existing
// file is never replaced, and one not written whole is removed (recovery/RecoveryReport.h).
// Returns an empty text when it is written, otherwise the message for the user: what happened
// and what to do.
QString saveReportFile(const QString& path, const std::string& text);

// The message for a report file chosen on the device being scanned.
QString reportOnScannedDeviceMessage(const QString& path, const QString& sourcePath);

}  // namespace rekkon::ui
