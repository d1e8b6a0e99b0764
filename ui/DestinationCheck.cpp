#include "ui/DestinationCheck.h"

#include <QLocale>
#include <cerrno>
#include <cstring>
#include <limits>

namespace rekkon::ui {

namespace {

std::uint64_t saturatingProduct(std::uint64_t a, std::uint64_t b) {
    if (a != 0 && b > std::numeric_limits<std::uint64_t>::max() / a)
        return std::numeric_limits<std::uint64_t>::max();
    return a * b;
}

QString sizeWords(std::uint64_t bytes) {
    return QLocale().formattedDataSize(
        static_cast<qint64>(std::min<std::uint64_t>(bytes, std::numeric_limits<qint64>::max())));
}

}  // namespace

DestinationCheck checkDestination(const std::string& folder, std::uint64_t neededBytes,
                                  const FolderProbe& probe) {
    DestinationCheck check;
    check.neededBytes = neededBytes;
    struct stat st {};
    errno = 0;
    if (probe.stat(folder, st) != 0) {
        check.error = errno;
        check.verdict = DestinationVerdict::Missing;
        return check;
    }
    if (!S_ISDIR(st.st_mode)) {
        check.verdict = DestinationVerdict::NotAFolder;
        return check;
    }
    struct statvfs vfs {};
    const bool knowsRoom = probe.statvfs(folder, vfs) == 0;
    if (knowsRoom && (vfs.f_flag & ST_RDONLY) != 0) {
        check.verdict = DestinationVerdict::ReadOnly;
        return check;
    }
    errno = 0;
    if (probe.access(folder, W_OK | X_OK) != 0) {
        check.error = errno;
        check.verdict =
            errno == EROFS ? DestinationVerdict::ReadOnly : DestinationVerdict::NotWritable;
        return check;
    }
    if (!knowsRoom) return check;
    check.freeBytes = saturatingProduct(vfs.f_bavail, vfs.f_frsize);
    if (neededBytes > 0 && check.freeBytes == 0)
        check.verdict = DestinationVerdict::NoRoom;
    else if (neededBytes > check.freeBytes)
        check.verdict = DestinationVerdict::MayNotHaveRoom;
    return check;
}

QString destinationText(const QString& folder, const DestinationCheck& check) {
    const QString why = QString::fromLocal8Bit(std::strerror(check.error));
    switch (check.verdict) {
        case DestinationVerdict::Usable:
            return {};
        case DestinationVerdict::Missing:
            return QStringLiteral("The folder\n%1\ncannot be reached (%2). Choose another folder.")
                .arg(folder, why);
        case DestinationVerdict::NotAFolder:
            return QStringLiteral("%1\nis not a folder. Choose a folder.").arg(folder);
        case DestinationVerdict::ReadOnly:
            return QStringLiteral(
                       "The folder\n%1\nis on a read-only file system. Choose a folder on "
                       "another drive.")
                .arg(folder);
        case DestinationVerdict::NotWritable:
            return QStringLiteral(
                       "You may not write into the folder\n%1\n(%2). Choose a folder of your own, "
                       "or one on another drive.")
                .arg(folder, why);
        case DestinationVerdict::NoRoom:
            return QStringLiteral(
                       "The drive of the folder\n%1\nhas no room: nothing is free there, and the "
                       "selected file(s) take %2. Choose a folder on another drive, or make room "
                       "on this one.")
                .arg(folder, sizeWords(check.neededBytes));
        case DestinationVerdict::MayNotHaveRoom:
            return QStringLiteral(
                       "The drive of the folder\n%1\nmay not have room: %2 is free there, and the "
                       "selected file(s) take up to %3.\nDo you wish to choose another folder ?")
                .arg(folder, sizeWords(check.freeBytes), sizeWords(check.neededBytes));
    }
    return {};
}

}  // namespace rekkon::ui
