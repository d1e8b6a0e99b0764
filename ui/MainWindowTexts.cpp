#include "ui/MainWindowTexts.h"

#include <QLocale>

#include <cerrno>
#include <cstring>

#include "volume/EwfSectorDevice.h"

namespace rekkon::ui {

QString nothingFoundMessage(const QString& scanTarget) {
    return QStringLiteral("Could not find deleted files located in \"%1\"").arg(scanTarget);
}

QString nothingCarvedMessage(const QString& sourcePath) {
    return QStringLiteral("No file of a known format was found in \"%1\".").arg(sourcePath);
}

QString openFailedText(const QString& sourcePath, int error) {
    if (const auto problem = evidenceOpenProblem(sourcePath.toStdString()))
        return QStringLiteral("\"%1\" cannot be opened: %2.")
            .arg(sourcePath, QString::fromStdString(*problem));
    QString what = QString::fromLocal8Bit(std::strerror(error));
    QString advice = QStringLiteral("Check the path.");
    if (error == EACCES || error == EPERM)
        advice = QStringLiteral(
            "Reading a disk or partition directly usually needs administrator rights: start the "
            "program as root, or make a disk image of it and open that.");
    else if (error == EISDIR)
        advice = QStringLiteral(
            "This is a folder, not a device or disk image: choose a drive, or a disk-image file.");
    return QStringLiteral("\"%1\" cannot be opened: %2.\n%3").arg(sourcePath, what, advice);
}

QString openFailedMessage(const QString& sourcePath, int error) {
    return QStringLiteral("Error of Initialization volume\n\n") + openFailedText(sourcePath, error);
}

QString notRecognisedMessage(const QString& sourcePath) {
    return QStringLiteral(
               "Error of Initialization volume\n\n\"%1\" holds no FAT, exFAT or NTFS volume that "
               "can be read, nor a partition table that leads to one. Check that this is the "
               "disk, partition or image you meant.")
        .arg(sourcePath);
}

QString unreadableSectorsText(std::uint64_t sectors) {
    return QStringLiteral(
               "%1 of the source could not be read: files stored there are incomplete, and "
               "deleted files recorded there may be missing.")
        .arg(sectors == 1 ? QStringLiteral("1 sector") : QStringLiteral("%1 sectors").arg(sectors));
}

QString foldersNotEnteredText(std::uint64_t folders, int depthLimit) {
    return QStringLiteral(
               "%1 deeper than %2 levels: the deleted files in them are not listed. Choose a "
               "folder further down to reach them.")
        .arg(folders == 1 ? QStringLiteral("1 folder lies")
                          : QStringLiteral("%1 folders lie").arg(folders))
        .arg(depthLimit);
}

QString cancelledBeforeAnyFileMessage() {
    return QStringLiteral("The search was cancelled before any deleted file was found.");
}

QString foundStatusText(const QString& scanTarget, int found, std::uint64_t unreadableSectors,
                        std::uint64_t foldersNotEntered, bool cancelled) {
    QString text = QStringLiteral("On %1 found  %2 deleted files").arg(scanTarget).arg(found);
    if (cancelled) text += QStringLiteral("  (search cancelled: the list is incomplete)");
    if (unreadableSectors != 0)
        text +=
            QStringLiteral("  (%1 could not be read)")
                .arg(unreadableSectors == 1 ? QStringLiteral("1 sector")
                                            : QStringLiteral("%1 sectors").arg(unreadableSectors));
    if (foldersNotEntered != 0)
        text +=
            QStringLiteral("  (%1 too deep to enter)")
                .arg(foldersNotEntered == 1 ? QStringLiteral("1 folder")
                                            : QStringLiteral("%1 folders").arg(foldersNotEntered));
    return text;
}

QString countsText(int shown, int found, int selected, std::uint64_t selectedBytes) {
    QString text = shown == found ? QStringLiteral("%1 files").arg(found)
                                  : QStringLiteral("Showing %1 of %2 files").arg(shown).arg(found);
    if (selected > 0)
        text += QStringLiteral(", %1 selected (%2)")
                    .arg(selected)
                    .arg(QLocale::system().formattedDataSize(static_cast<qint64>(selectedBytes), 1,
                                                             QLocale::DataSizeIecFormat));
    return text;
}

}  // namespace rekkon::ui
