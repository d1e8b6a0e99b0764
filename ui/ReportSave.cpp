#include "ui/ReportSave.h"

#include <cerrno>
#include <cstring>

#include "recovery/RecoveryReport.h"

namespace rekkon::ui {

QString saveReportFile(const QString& path, const std::string& text) {
    int error = 0;
    const std::unique_ptr<ReportFile> file = ReportFile::create(path.toStdString(), error);
    if (!file) {
        if (error == EEXIST)
            return QStringLiteral(
                       "The recovery report was not saved: \"%1\" exists already, and an "
                       "existing file is never replaced. Save it again under a new name.")
                .arg(path);
        return QStringLiteral(
                   "The recovery report was not saved: \"%1\" cannot be created: %2. Save it "
                   "again in a folder you can write to.")
            .arg(path, QString::fromLocal8Bit(std::strerror(error)));
    }
    if (!file->write(text, error))
        return QStringLiteral(
                   "The recovery report could not be written whole into \"%1\": %2. Nothing "
                   "was left under that name; save it again on a disk with room to spare.")
            .arg(path, QString::fromLocal8Bit(std::strerror(error)));
    return {};
}

QString reportOnScannedDeviceMessage(const QString& path, const QString& sourcePath) {
    return QStringLiteral(
               "The recovery report was not saved: \"%1\" lies on %2, the device being scanned, "
               "and writing there may overwrite deleted data. Save it on another disk.")
        .arg(path, sourcePath);
}

}  // namespace rekkon::ui
