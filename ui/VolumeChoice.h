#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "recovery/ScanContext.h"
#include "recovery/SourceSelect.h"

class QWidget;

namespace rekkon::ui {

// Asks which partition of the disk at `diskPath` to scan; nullopt when the user cancelled.
using PartitionAsker = std::function<std::optional<int>(QWidget* parent, const QString& diskPath,
                                                        const PartitionTable& table)>;
// Opens a source and picks its volume (selectSource, or what a test hands in).
using SourceSelector = std::function<SelectedSource(
    const std::string& path, const SourceChoice& choice, const SourceOpener& open)>;

// The volume the desktop program is to mount.
struct VolumeChoice {
    std::unique_ptr<SectorDevice> device;  // null: nothing to mount (see `message`)
    std::optional<int> partition;          // the partition used, when the source is a disk
    std::uint64_t volumeOffset = 0;        // the byte offset of the volume in the source
    std::string fileSystemName;            // the listed file system; empty when none is known
    QString message;                       // why there is no device; empty when cancelled
    std::string unreadFileSystem;          // a file system the boot sector names that is not read
    bool noVolumePartition = false;        // the source opened: a disk without a volume partition

    // The order of mount attempts the listed file system asks for.
    MountOrder mountOrder() const { return mountOrderForName(fileSystemName); }
};

// Opens `sourcePath` for the desktop program: a volume as it is, the one FAT, exFAT or NTFS
// partition of a disk directly, and on a disk with several the one `ask` (by default the
// PartitionPicker) names. A disk whose table holds no FAT, exFAT or NTFS partition, and a source
// that cannot be opened, give a message instead of a device. The real selection run off the
// user-interface thread, so a slow or failing device does not stop the windows painting: the source
// is opened on the calling thread first (opening may wait for an authorisation with events
// running), then its table is read on a worker. `busy(true)` comes before the worker starts and
// `busy(false)` after it ends.
SourceSelector selectOffUiThread(std::function<void(bool)> busy);

VolumeChoice chooseVolume(QWidget* parent, const QString& sourcePath, const SourceOpener& open,
                          const PartitionAsker& ask = {}, const SourceSelector& select = {});

// The message for a volume that cannot be mounted: `unreadFileSystem` ("exFAT") names what its
// boot sector says it is, when that is a file system this version does not read.
QString mountFailedMessage(const QString& sourcePath, const std::string& unreadFileSystem);

// The message for a disk whose partition table holds no FAT, exFAT or NTFS partition.
QString noVolumePartitionMessage(const QString& sourcePath);

}  // namespace rekkon::ui
