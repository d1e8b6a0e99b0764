#pragma once

#include <QString>
#include <functional>
#include <vector>

#include "fs/FoundEntry.h"
#include "recovery/FirstChar.h"
#include "recovery/RecoveryWriter.h"
#include "recovery/SameVolume.h"
#include "recovery/ScanContext.h"
#include "ui/DestinationCheck.h"

class QUrl;
class QWidget;

namespace rekkon::ui {

// Where the recovery flow meets the user. Every member left empty shows the real dialog; tests
// hand in their own.
struct RecoverFlowHooks {
    // The destination folder; empty when the user cancelled.
    std::function<QString(QWidget* parent)> chooseFolder;
    // A Yes/No question (the same-volume warning); true for Yes.
    std::function<bool(QWidget* parent, const QString& text)> askYesNo;
    // The closing summary and other messages; empty: a message box (the summary's with an
    // "Open Folder" button).
    std::function<void(QWidget* parent, const QString& text)> showMessage;
    // Asks for lost first characters; null: FirstCharDialog.
    FirstCharAsker* firstCharAsker = nullptr;
    // How the same-volume check sees devices.
    DeviceProbe probe;
    // How the chosen folder is checked for writing and room.
    FolderProbe folderProbe;
    // Opens the destination folder from the summary ("Open Folder"); false when nothing opened
    // it. Empty: QDesktopServices::openUrl.
    std::function<bool(const QUrl& url)> openUrl;
    // Bytes per copy step (small in tests, so that a cancel lands inside a file).
    std::size_t chunkBytes = 1 << 20;
    // Called on the UI thread once the copy has started, with a function that cancels it.
    std::function<void(const std::function<void()>& cancel)> copyStarted;
    // FAT files are written under their long names where known ("Recover under long names").
    bool longNames = false;
    // Each file goes into its folder path below the destination ("Recover into their folders").
    bool keepFolders = false;
    // Where the folder chooser opens (the last destination); empty: its own default.
    QString startFolder;
    // Given the destination folder once it is chosen and checked, when not null.
    QString* chosenFolder = nullptr;
};

// Recovers `entries` of the mounted volume: destination folder chooser, same-volume warning,
// the folder checked for writing and room (the chooser again while it fails), first characters
// (asked only for names whose character the volume does not prove; "Use for all files" serves only
// those), copy off the UI thread with progress/cancel, closing summary. `longNames`: write FAT
// files under their long names where known; `keepFolders`: recreate each entry's folder path below
// the destination. The md5 and sha256 of every file written are computed while copying, for the
// recovery report. Returns the outcome of every entry tried (empty when the user chose no folder).
std::vector<RecoveryOutcome> recoverSelected(QWidget* parent, ScanContext& context,
                                             const QString& sourcePath,
                                             const std::vector<const DeletedFileEntry*>& entries,
                                             bool longNames = false, bool keepFolders = false);

// The same with injected dialogs.
std::vector<RecoveryOutcome> recoverSelected(QWidget* parent, ScanContext& context,
                                             const QString& sourcePath,
                                             const std::vector<const DeletedFileEntry*>& entries,
                                             const RecoverFlowHooks& hooks);

// Whether `folder` lies on the scanned device: known by the open source's device number when it
// is a block device (also one handed over as a descriptor), else by its path.
bool onScannedDevice(const ScanContext& context, const QString& sourcePath, const QString& folder,
                     const DeviceProbe& probe = {});

}  // namespace rekkon::ui
