#pragma once

#include <QDialog>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "recovery/ScanContext.h"
#include "ui/VolumeChoice.h"
#include "volume/DriveList.h"
#include "volume/SectorDevice.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace rekkon::ui {

// Opens a listed device or a chosen image read-only. On failure: null, `error` = errno and
// `message` = what happened and what the user can do about it.
using DeviceOpener = std::function<std::unique_ptr<SectorDevice>(const std::string& path,
                                                                 int& error, QString& message)>;
// The opener the dialog uses when none is given (the one place to change how devices open).
DeviceOpener defaultDeviceOpener();

// What the drive dialog does through the system and the desktop; each one left empty does the
// real thing. Tests fill them in to answer without devices or modal windows.
struct DriveSelectHooks {
    // The devices to offer; empty: listDrives() on /sys.
    std::function<std::vector<DriveInfo>()> listDrives;
    // Asks for a disk-image file; an empty text: the user declined.
    std::function<QString(QWidget* parent)> chooseImage;
    // Opens the chosen device or image; empty: defaultDeviceOpener().
    DeviceOpener open;
    // A warning box with the product title as caption.
    std::function<void(QWidget* parent, const QString& text)> warn;
    // Which FAT, exFAT or NTFS partition of a whole-disk image to mount; empty: the partition
    // picker.
    PartitionAsker askPartition;
    // Asks whether to search a source without a volume that mounts by content (`text`: what
    // happened, then the offer); true: search. Empty: a question box.
    std::function<bool(QWidget* parent, const QString& text)> askSearchByContent;
};

// Lets the user pick a FAT, exFAT or NTFS device, or a disk-image file, and mounts it into
// `context`. exec() returns Accepted only once a volume is mounted (sourcePath() then names it and
// the context's scan target is the volume's root); a failed open or mount is reported and the
// dialog stays open for another choice. Cancel leaves nothing mounted. Where a source opens but no
// volume in it mounts, the message offers to search all of it by content instead: accepted, the
// source is mounted for that search (mountForCarving) and the dialog ends Accepted.
//
// The list holds driveItemText() of every device, sorted, with the last one added selected, and
// "Image file..." last. When no device qualifies, exec() asks for an image file at once; the
// dialog itself opens only when that image cannot be mounted. Whenever it ends without a mount
// while no device is listed, it says "Unable to find any drive where you can Rekkon files!".
class DriveSelectDialog : public QDialog {
    Q_OBJECT

  public:
    explicit DriveSelectDialog(ScanContext& context, DriveSelectHooks hooks = {},
                               QWidget* parent = nullptr);

    int exec() override;
    void done(int result) override;

    // The device or image file mounted on OK; empty before.
    QString sourcePath() const { return sourcePath_; }
    // The byte offset of the mounted volume in that source (a partition of a disk image).
    std::uint64_t volumeOffset() const { return volumeOffset_; }
    // The partition of a disk image mounted, and the file system its table lists; none for a
    // volume mounted as it is.
    std::optional<int> partition() const { return partition_; }
    const std::string& fileSystemName() const { return fileSystemName_; }
    // Whether any device is listed (besides "Image file...").
    bool hasDrives() const { return !drives_.empty(); }

    QComboBox* driveList() const { return combo_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }

    static const QString kImageItem;
    static const QString kNoDriveMessage;
    static const QString kInvalidSelectionMessage;
    static const QString kMountFailedMessage;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void chooseSelected();
    void chooseImage();
    // Opens the image at `path` as chooseVolume picks its volume, and mounts it.
    bool openImage(const QString& path);
    QString askForImage(const QString& caption);
    bool mount(const QString& path, const std::string& fileSystem);
    // `unreadFileSystem` names what the volume is when this version does not read it ("exFAT").
    bool mountOpened(const QString& path, std::unique_ptr<SectorDevice> device, MountOrder order,
                     std::uint64_t volumeOffset = 0, const std::string& unreadFileSystem = {});
    void warn(const QString& text);
    // Asks whether to search the source by content, after `message` (what happened).
    bool offerContentSearch(const QString& message);
    void placeControls();

    ScanContext& context_;
    DriveSelectHooks hooks_;
    std::vector<DriveInfo> drives_;
    QString sourcePath_;
    std::uint64_t volumeOffset_ = 0;
    std::optional<int> partition_;
    std::string fileSystemName_;
    QLabel* banner_ = nullptr;
    QLabel* label_ = nullptr;
    QComboBox* combo_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

}  // namespace rekkon::ui
