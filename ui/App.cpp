#include "ui/App.h"

#include <QApplication>
#include <QFileDialog>

#include "ui/Screenshots.h"
#include "ui/Texts.h"

namespace rekkon::ui {

int runProgram(const QStringList& arguments, const MainWindowHooks& hooks) {
    // Pictures of the windows for the documentation: --screenshots FOLDER IMAGE.
    if (arguments.size() == 3 && arguments[0] == QStringLiteral("--screenshots"))
        return writeScreenshots(arguments[1], arguments[2]);
    QString source = arguments.value(0);
    const QString folder = arguments.value(1);
    if (source.isEmpty()) {
        // Until drives can be chosen, the program asks for a disk-image file.
        source =
            QFileDialog::getOpenFileName(nullptr, QStringLiteral("Open a disk image"), QString(),
                                         QStringLiteral("Disk images (*.img *.dd *.raw *.bin "
                                                        "*.iso);;All files (*)"));
        if (source.isEmpty()) return 0;
    }
    MainWindow window(hooks);
    // The program ends after the message when nothing could be mounted or nothing was found.
    if (!window.openSource(source, folder)) return window.mounted() ? 0 : 1;
    window.exec();
    return 0;
}

int runApp(QApplication& app) {
    app.setApplicationName(kProductTitle);
    QStringList arguments = app.arguments();
    arguments.removeFirst();
    return runProgram(arguments);
}

}  // namespace rekkon::ui
