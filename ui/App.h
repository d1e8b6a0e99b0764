#pragma once

#include <QStringList>

#include "ui/DriveSelectDialog.h"
#include "ui/MainWindow.h"

class QApplication;

namespace rekkon::ui {

// Names the application after its desktop entry `appId` (so the window class, and the dock
// entry, match "io.github.rekkon.Rekkon.desktop"), shows the product title as its display name,
// and fits every window it shows into the screen.
void setUpApplication(QApplication& app, const QString& appId);

// The desktop program's start-up: reads `rekkon [SOURCE [FOLDER]]` from the application's
// arguments, mounts and scans, shows the main window and runs the event loop. Returns the exit
// status.
int runApp(QApplication& app);

// The same on `arguments` (those after the program's name): 0 when the main window was closed,
// or when no drive, image or folder was chosen, or nothing was found (after the message); 1 when
// the source given could not be mounted (after the message). Without a source the drive dialog
// chooses one.
int runProgram(const QStringList& arguments, const MainWindowHooks& hooks = {},
               const DriveSelectHooks& driveHooks = {});

}  // namespace rekkon::ui
