#pragma once

#include <QStringList>

#include "ui/MainWindow.h"

class QApplication;

namespace rekkon::ui {

// The desktop program's start-up: reads `rekkon [SOURCE [FOLDER]]` from the application's
// arguments, mounts and scans, shows the main window and runs the event loop. Returns the exit
// status.
int runApp(QApplication& app);

// The same on `arguments` (those after the program's name): 0 when the main window was closed,
// or when the user chose no image or nothing was found (after the message); 1 when the source
// could not be mounted (after the message).
int runProgram(const QStringList& arguments, const MainWindowHooks& hooks = {});

}  // namespace rekkon::ui
