#pragma once

#include <QString>

#include <cstdint>

namespace rekkon::ui {

// Messages of the main window.
QString nothingFoundMessage(const QString& scanTarget);
// What a search of a whole source by content that found nothing says.
QString nothingCarvedMessage(const QString& sourcePath);
QString openFailedMessage(const QString& sourcePath, int error);
// The same without its heading: what happened, and what to do.
QString openFailedText(const QString& sourcePath, int error);
QString notRecognisedMessage(const QString& sourcePath);
// What the user is told when sectors of the source could not be read (`sectors` > 0): appended
// to the message of a scan that found nothing, and the status line's tooltip.
QString unreadableSectorsText(std::uint64_t sectors);
// The status line after a scan that found `found` files; it ends with how many sectors could
// not be read when any could not, and how many folders were too deep to enter when any were.
// That is not a message box: a failing card would raise one on every scan, and the count stays in
// view while the list is used. A `cancelled` scan's line says the list is incomplete.
QString foundStatusText(const QString& scanTarget, int found, std::uint64_t unreadableSectors,
                        std::uint64_t foldersNotEntered = 0, bool cancelled = false);
// What a scan cancelled before it found anything says instead of nothingFoundMessage.
QString cancelledBeforeAnyFileMessage();
// What the user is told when the scan did not enter `folders` (> 0) folders, being too deep.
QString foldersNotEnteredText(std::uint64_t folders, int depthLimit);

}  // namespace rekkon::ui
