#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>

#include "fs/FileSystem.h"
#include "fs/FoundEntry.h"
#include "volume/SectorDevice.h"
#include "volume/VolumeContext.h"

namespace rekkon {

// The state one front end keeps for its open volume: the source, the file system mounted on it,
// the list of the last scan with its running count, and where progress texts go.
struct ScanContext {
    VolumeContext volume;
    // The mounted file system (null when none is); it reads through `volume`.
    std::unique_ptr<FileSystem> fileSystem;
    FoundList foundList;
    int foundCount = 0;
    ProgressSink progress;   // none installed: progress texts go nowhere
    std::string scanTarget;  // the folder scanned ("\" the root)
    // Set from another thread (or a signal handler) to stop the running scan; the next scan
    // clears it.
    ScanCancel cancel;
    // What the last scan could not do: whether it was cancelled (the list is then incomplete),
    // folders it did not enter, being too deep, and files of lost folders it left out, with
    // the limits behind them.
    ScanOutcome lastScan;

    ~ScanContext();
};

enum class MountStatus { Mounted, CannotOpen, NotRecognised };

// Opens the source at `path` (read-only): null with errno in `error` when it cannot be opened.
using SourceOpener =
    std::function<std::unique_ptr<SectorDevice>(const std::string& path, int& error)>;
// The source as a block device or disk-image file (FileSectorDevice).
std::unique_ptr<SectorDevice> openFileSource(const std::string& path, int& error);

// Which mount is tried first: the file system the platform named for the device (libblkid's
// "NTFS", "FAT32", ...), or with no name as the boot sector says (fs/FileSystemTable.h).
struct MountOrder {
    std::string platformName;  // empty: from the boot sector
};
inline MountOrder mountOrderForName(const std::string& fileSystemName) {
    return {fileSystemName};
}

// Mounts the volume the opened `source` holds, trying the file systems of the table in the
// order `order` gives (mountOrder in fs/FileSystemTable.h). The one place that mounts.
MountStatus mountVolume(ScanContext& context, std::unique_ptr<SectorDevice> source,
                        MountOrder order = {});
// The same on the source `open` gives for `path`; `openError` receives errno when it cannot be
// opened (CannotOpen).
MountStatus mountVolume(ScanContext& context, const std::string& path, int& openError,
                        const SourceOpener& open = openFileSource, MountOrder order = {});
void unmountVolume(ScanContext& context);

inline constexpr int kScanFolderNotFound = -1;

// How a scan goes beyond the folders the volume still records.
struct ScanOptions {
    // Search free space for the content of lost folders and add the files found there, where
    // the file system has such a search (FileSystemCapabilities::lostFolderSearch); progress goes
    // to the context's sink as lostFolderProgressText. Ignored elsewhere.
    bool deep = false;
    // Handed every entry as it is added (a front end writing the list as it is found).
    const FoundSink* sink = nullptr;
    // False: entries go to the sink only and foundList stays empty (foundCount still counts).
    // Only for scans that do not search by content, which looks again at what was found.
    bool keep = true;
};

// Runs the mounted file system's scan; replaces foundList and lastScan and returns how many files
// were found (foundCount), or kScanFolderNotFound when `folder` does not exist. `folder` names the
// folder whose deleted files are wanted, those of its subfolders included (empty: the root); when
// `only` is not empty, the front end wants no entries but those at these locations. A scan
// cancelled through context.cancel returns what it found so far, with lastScan.cancelled set.
int scanVolume(ScanContext& context, const std::string& folder = "",
               std::span<const std::uint64_t> only = {}, const ScanOptions& options = {});

}  // namespace rekkon
