#include "ui/App.h"

#include <QApplication>
#include <QFileDialog>
#include <QStringList>

#include "ui/MainWindow.h"
#include "ui/Screenshots.h"
#include "ui/Texts.h"

namespace rekkon::ui {

int runApp(QApplication& app) {
    app.setApplicationName(kProductTitle);
    QStringList args = app.arguments();
    args.removeFirst();
    // Pictures of the windows for the documentation: --screenshots FOLDER IMAGE.
    if (args.size() == 3 && args[0] == QStringLiteral("--screenshots"))
        return writeScreenshots(args[1], args[2]);
    QString source = args.value(0);
    const QString folder = args.value(1);
    if (source.isEmpty()) {
        // Until drives can be chosen, the program asks for a disk-image file.
        source =
            QFileDialog::getOpenFileName(nullptr, QStringLiteral("Open a disk image"), QString(),
                                         QStringLiteral("Disk images (*.img *.dd *.raw *.bin "
                                                        "*.iso);;All files (*)"));
        if (source.isEmpty()) return 0;
    }
    MainWindow window;
    // The program ends after the message when nothing could be mounted or nothing was found.
    if (!window.openSource(source, folder)) return window.mounted() ? 0 : 1;
    window.exec();
    return 0;
}

}  // namespace rekkon::ui
