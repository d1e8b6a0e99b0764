#include "ui/VolumeChoice.h"

#include <cerrno>

#include "ui/MainWindow.h"
#include "ui/OffThread.h"
#include "ui/PartitionPicker.h"

namespace rekkon::ui {

QString noVolumePartitionMessage(const QString& sourcePath) {
    return QStringLiteral(
               "Error of Initialization volume\n\n\"%1\" is a partitioned disk without a FAT, "
               "exFAT or NTFS partition: there is no volume on it that can be read.")
        .arg(sourcePath);
}

QString mountFailedMessage(const QString& sourcePath, const std::string& unreadFileSystem) {
    if (unreadFileSystem.empty()) return notRecognisedMessage(sourcePath);
    return QStringLiteral(
               "Error of Initialization volume\n\n\"%1\" holds an %2 volume that cannot be "
               "read: its boot sector and the backup of it are both damaged.")
        .arg(sourcePath, QString::fromStdString(unreadFileSystem));
}

namespace {

QString failureMessage(const QString& sourcePath, const SelectedSource& selected) {
    switch (selected.status) {
        case SourceStatus::CannotOpen:
            return openFailedMessage(sourcePath, selected.error);
        case SourceStatus::NoVolumePartition:
            return noVolumePartitionMessage(sourcePath);
        default:
            return notRecognisedMessage(sourcePath);
    }
}

}  // namespace

SourceSelector selectOffUiThread(std::function<void(bool)> busy) {
    return [busy = std::move(busy)](const std::string& path, const SourceChoice& choice,
                                    const SourceOpener& open) {
        SelectedSource result;
        int error = 0;
        std::unique_ptr<SectorDevice> device = open(path, error);
        if (!device) {
            result.error = error != 0 ? error : EIO;
            return result;
        }
        // The worker gets the device opened here; it is handed over once.
        const SourceOpener handOver = [&device](const std::string&, int& handOverError) {
            handOverError = device ? 0 : EIO;
            return std::move(device);
        };
        if (busy) busy(true);
        runOffUiThread([&] { result = selectSource(path, choice, handOver); });
        if (busy) busy(false);
        return result;
    };
}

VolumeChoice chooseVolume(QWidget* parent, const QString& sourcePath, const SourceOpener& open,
                          const PartitionAsker& ask, const SourceSelector& select) {
    const SourceSelector& selector = select ? select : SourceSelector(selectSource);
    const std::string path = sourcePath.toStdString();
    SourceChoice choice;
    SelectedSource selected = selector(path, choice, open);
    if (selected.status == SourceStatus::PartitionNeeded && selected.table) {
        const std::optional<int> number =
            ask ? ask(parent, sourcePath, *selected.table)
                : PartitionPicker::ask(parent, sourcePath, *selected.table);
        if (!number) return {};  // cancelled: nothing to say
        choice.partition = number;
        selected = selector(path, choice, open);
    }
    VolumeChoice volume;
    if (selected.status != SourceStatus::Opened || !selected.device) {
        volume.message = failureMessage(sourcePath, selected);
        volume.noVolumePartition = selected.status == SourceStatus::NoVolumePartition;
        return volume;
    }
    volume.device = std::move(selected.device);
    volume.partition = selected.partition;
    volume.volumeOffset = selected.volumeOffset;
    volume.fileSystemName = selected.fileSystemName;
    volume.unreadFileSystem = selected.unreadFileSystem;
    return volume;
}

}  // namespace rekkon::ui
