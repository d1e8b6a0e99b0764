#include "ui/App.h"

#include <QApplication>

#include "ui/ScreenFit.h"
#include "ui/Screenshots.h"
#include "ui/Texts.h"

namespace rekkon::ui {

int runProgram(const QStringList& arguments, const MainWindowHooks& hooks,
               const DriveSelectHooks& driveHooks) {
    // Pictures of the windows for the documentation: --screenshots FOLDER IMAGE.
    if (arguments.size() == 3 && arguments[0] == QStringLiteral("--screenshots"))
        return writeScreenshots(arguments[1], arguments[2]);
    const QString source = arguments.value(0);
    const QString folder = arguments.value(1);
    MainWindow window(hooks);
    if (source.isEmpty()) {
        // The drive dialog chooses and mounts the volume; a cancelled choice ends the program
        // silently, and one that finds nothing after the message.
        if (!window.openFromDriveDialog(driveHooks)) return 0;
    } else if (!window.openSource(source, folder)) {
        // The program ends after the message when nothing could be mounted or nothing was found.
        return window.mounted() ? 0 : 1;
    }
    window.exec();
    return 0;
}

void setUpApplication(QApplication& app, const QString& appId) {
    // On X11 the window class is the application's name; on Wayland the desktop file name is the
    // only link between the windows and the entry.
    QApplication::setApplicationName(appId);
    QGuiApplication::setDesktopFileName(appId);
    QGuiApplication::setApplicationDisplayName(kProductTitle);
    app.installEventFilter(new ScreenFit(&app));
}

int runApp(QApplication& app) {
    QStringList arguments = app.arguments();
    arguments.removeFirst();
    return runProgram(arguments);
}

}  // namespace rekkon::ui
