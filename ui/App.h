#pragma once

class QApplication;

namespace rekkon::ui {

// The desktop program's start-up: reads `rekkon [SOURCE [FOLDER]]` from the application's
// arguments, mounts and scans, shows the main window and runs the event loop. Returns the exit
// status.
int runApp(QApplication& app);

}  // namespace rekkon::ui
