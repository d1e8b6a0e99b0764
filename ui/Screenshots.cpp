#include "ui/Screenshots.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPixmap>
#include <QTableView>
#include <QTextStream>

#include "ui/AboutBox.h"
#include "ui/DriveSelectDialog.h"
#include "ui/FirstCharDialog.h"
#include "ui/MainWindow.h"
#include "ui/ProgressWindow.h"

namespace rekkon::ui {

namespace {

bool save(QWidget& widget, const QDir& folder, const QString& name) {
    widget.show();
    QApplication::processEvents();
    const QString path = folder.filePath(name);
    const bool saved = widget.grab().save(path, "PNG");
    QTextStream(stderr) << (saved ? "wrote " : "could not write ") << path << '\n';
    widget.hide();
    return saved;
}

}  // namespace

int writeScreenshots(const QString& folder, const QString& image) {
    const QDir dir(folder);
    if (!dir.exists() && !QDir().mkpath(folder)) return 1;
    bool ok = true;
    {
        MainWindowHooks hooks;
        hooks.warn = [&ok](QWidget*, const QString& text) {
            QTextStream(stderr) << text << '\n';
            ok = false;
        };
        MainWindow window(hooks);
        if (!window.openSource(image)) return 1;
        window.resultsView()->selectRow(1);
        ok = save(window, dir, QStringLiteral("main-window.png")) && ok;
    }
    {
        ProgressWindow progress;
        progress.start(QFileInfo(image).fileName());
        progress.setText(QStringLiteral("Found 12 deleted files. Searching..."));
        QApplication::processEvents();
        ok = save(progress, dir, QStringLiteral("progress-window.png")) && ok;
        progress.stop();
    }
    {
        FirstCharDialog dialog(QStringLiteral("?LDNOTES.TXT"), nullptr, {},
                               {QStringLiteral("\\DOCS"), QString(), 3072});
        ok = save(dialog, dir, QStringLiteral("first-char-dialog.png")) && ok;
    }
    {
        // Two devices as a machine with a memory card and a Windows disk lists them.
        DriveInfo card{"sdb1", "/dev/sdb1", "FAT32", "CARD", 15ULL << 29, true, true};
        DriveInfo disk{"nvme0n1p3", "/dev/nvme0n1p3", "NTFS", "Windows", 500107862016ULL, false,
                       true};
        DriveSelectHooks hooks;
        hooks.listDrives = [&] { return std::vector<DriveInfo>{disk, card}; };
        ScanContext context;
        DriveSelectDialog dialog(context, hooks);
        ok = save(dialog, dir, QStringLiteral("drive-dialog.png")) && ok;
    }
    {
        AboutBox about;
        ok = save(about, dir, QStringLiteral("about-box.png")) && ok;
    }
    return ok ? 0 : 1;
}

}  // namespace rekkon::ui
