#pragma once

#include <QString>
#include <QtGlobal>

namespace rekkon::ui {

// The text a drive list shows for one device or partition:
//
//     NAME (FILESYSTEM) SIZE[ LABEL]
//
// e.g. "sdb1 (FAT32) 7.5 GiB CARD", "nvme0n1p3 (NTFS) 465.8 GiB", "loop0 (FAT16) 16.0 MiB".
// - NAME is the kernel's device name as given.
// - "(FILESYSTEM)" is left out when the file system name is empty.
// - SIZE is in binary units: below 1 KiB as whole bytes ("512 B"); otherwise in the largest of
//   KiB, MiB, GiB, TiB, PiB, EiB that keeps the number below 1024 after rounding, with exactly one
//   decimal, rounded half up, and always '.' as the decimal point whatever the locale.
// - LABEL follows after one space when the volume has one (leading and trailing blanks of the
//   label are dropped; a label of blanks counts as none).
QString driveItemText(const QString& name, const QString& fileSystem, quint64 sizeBytes,
                      const QString& label);

// SIZE of the format above on its own: "512 B", "7.5 GiB".
QString binarySizeText(quint64 sizeBytes);

// The order of drive lists: runs of digits compare by their value ("sdb2" before "sdb10"),
// everything else character by character without regard to case. Negative, 0 or positive.
int compareDriveTexts(const QString& a, const QString& b);

}  // namespace rekkon::ui
