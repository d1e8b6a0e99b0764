#pragma once

#include <QDialog>
#include <QString>

#include <optional>

#include "volume/PartitionTable.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace rekkon::ui {

// The name a partition of the disk at `diskPath` goes by. A disk device (a path under /dev)
// names it as Linux does: the disk's name and the number, with a "p" between them when the
// disk's name ends in a digit ("sdb" 1 -> "sdb1", "mmcblk0" 1 -> "mmcblk0p1", "nvme0n1" 2 ->
// "nvme0n1p2"). A disk-image file has no such names: "disk.img partition 1".
QString partitionName(const QString& diskPath, int number);

// Asks which FAT, exFAT or NTFS partition of a disk to scan: a small modal dialog in the drive
// dialog's colours with the product title as caption, "Select partition:", a list of the partitions
// as the drive dialog words them (driveItemText), first one selected, and OK / Cancel. Partitions
// that hold no FAT, exFAT or NTFS file system are not offered.
class PartitionPicker : public QDialog {
    Q_OBJECT

  public:
    PartitionPicker(const QString& diskPath, const PartitionTable& table,
                    QWidget* parent = nullptr);

    // The partition number of the selected item; nullopt when the list is empty.
    std::optional<int> selectedPartition() const;

    // Shows the picker; the chosen partition's number, or nullopt when it was cancelled.
    static std::optional<int> ask(QWidget* parent, const QString& diskPath,
                                  const PartitionTable& table);

    QLabel* label() const { return label_; }
    QComboBox* partitionList() const { return combo_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }

    static const QString kLabelText;

  private:
    QLabel* label_ = nullptr;
    QComboBox* combo_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

}  // namespace rekkon::ui
