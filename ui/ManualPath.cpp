#include "ui/ManualPath.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

// Set by the build from the install folders (cmake/Install.cmake); this is its usual value.
#ifndef REKKON_MANUAL_DIR_FROM_BINDIR
#define REKKON_MANUAL_DIR_FROM_BINDIR "../share/doc/rekkon"
#endif

namespace rekkon::ui {

namespace {

const char* const kManualName = "MANUAL.html";

}  // namespace

QString installedManualDir() {
    return QStringLiteral(REKKON_MANUAL_DIR_FROM_BINDIR);
}

QString manualPathFor(const QString& programDir) {
    const QDir dir(programDir);
    const QString beside = dir.filePath(QLatin1String(kManualName));
    if (QFileInfo::exists(beside)) return beside;
    const QString installed = QDir::cleanPath(
        dir.filePath(installedManualDir() + QLatin1Char('/') + QLatin1String(kManualName)));
    return QFileInfo::exists(installed) ? installed : beside;
}

QString manualPath() {
    return manualPathFor(QCoreApplication::applicationDirPath());
}

}  // namespace rekkon::ui
