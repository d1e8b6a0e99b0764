#pragma once

#include <QString>

namespace rekkon::ui {

// The installed manual's folder as seen from the program's folder (the documentation folder
// relative to the binaries folder, fixed when the build is configured): "../share/doc/rekkon"
// for the usual layout.
QString installedManualDir();

// Where the manual of the program in `programDir` is: MANUAL.html beside the program when it is
// there (a build tree), else the installed copy in installedManualDir(). When neither exists,
// the path beside the program, so whatever reports the missing file names a sensible place.
QString manualPathFor(const QString& programDir);

// manualPathFor the running program's folder.
QString manualPath();

}  // namespace rekkon::ui
