#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>

#include "fat/FatGeometry.h"
#include "ntfs/NtfsVolume.h"
#include "recovery/DeletedFileEntry.h"
#include "volume/SectorDevice.h"
#include "volume/VolumeContext.h"

namespace rekkon {

// The state one front end keeps for its open volume: the volume and its FAT geometry, the
// list of the last scan with its running count, and where progress texts go.
struct ScanContext {
    VolumeContext volume;
    FatGeometry fatGeometry;
    // The NTFS part; it stays where it is while mounted, since its open records point at it.
    std::unique_ptr<NtfsVolume> ntfs = std::make_unique<NtfsVolume>();
    FoundList foundList;
    int foundCount = 0;
    ProgressSink progress;   // none installed: progress texts go nowhere
    std::string scanTarget;  // the folder scanned on FAT ("\" the root)
    // Folders the last scan did not enter, being too deep (FAT, kMaxScanDepth): their files
    // are missing from the list.
    std::uint64_t foldersNotEntered = 0;
    // Files of lost folders the last deep scan left out, past kMaxLostFolderEntries.
    std::uint64_t lostEntriesLeftOut = 0;

    FatVolume fat() { return FatVolume{volume, fatGeometry, 0}; }
};

// The limits behind foldersNotEntered and lostEntriesLeftOut, for the front ends' messages.
extern const int kScanFolderDepthLimit;
extern const std::size_t kLostFolderEntryLimit;

// The mounted volume's label (FAT: the root folder's label entry, else the boot sector's field;
// NTFS: $Volume's name), in UTF-8 as stored; empty when it has none or it cannot be read.
std::string volumeLabel(ScanContext& context);

// Hands a progress text to whatever sink the front end installed.
void setProgressText(ScanContext& context, const std::string& text);

enum class MountStatus { Mounted, CannotOpen, NotRecognised };

// Opens the source at `path` (read-only): null with errno in `error` when it cannot be opened.
using SourceOpener =
    std::function<std::unique_ptr<SectorDevice>(const std::string& path, int& error)>;
// The source as a block device or disk-image file (FileSectorDevice).
std::unique_ptr<SectorDevice> openFileSource(const std::string& path, int& error);

// Which mount is tried first: as the boot sector names the volume, or as the platform's
// file-system name for the device (libblkid) says.
enum class MountOrder { FromBootSector, NtfsFirst, FatFirst };
// The order a platform file-system name ("NTFS", "FAT32", "exFAT", ...) asks for: NTFS first when
// the name holds "NTFS", FAT first otherwise.
MountOrder mountOrderForName(const std::string& fileSystemName);

// Mounts the volume the opened `source` holds, trying NTFS and FAT in `order` (by default NTFS
// first when the boot sector names NTFS, FAT first otherwise), then the other. The one place
// that decides the order.
MountStatus mountVolume(ScanContext& context, std::unique_ptr<SectorDevice> source,
                        MountOrder order = MountOrder::FromBootSector);
// The same on the source `open` gives for `path`; `openError` receives errno when it cannot be
// opened (CannotOpen).
MountStatus mountVolume(ScanContext& context, const std::string& path, int& openError,
                        const SourceOpener& open = openFileSource,
                        MountOrder order = MountOrder::FromBootSector);
void unmountVolume(ScanContext& context);

inline constexpr int kScanFolderNotFound = -1;

// Runs the scan that fits the mounted volume; replaces foundList and returns how many files were
// found (foundCount). `folder` names the folder whose deleted files are wanted, those of its
// subfolders included (empty: the root). On FAT it is the folder the scan starts at, and one
// that cannot be found gives kScanFolderNotFound; on NTFS, where the whole MFT is walked, it
// keeps the files whose folder path lies there, deleted folders included. When `only` is not
// empty, the front end wants no entries but those at these locations: on NTFS only those MFT
// records are examined (FAT scans its folders whole; the front end filters). With `options.deep`
// on FAT, files of lost folders follow those of the walk; with a folder they are kept when their
// folder path, as far as known, lies there.
// How a scan goes beyond the folders the volume still records.
struct ScanOptions {
    // FAT: after the folder walk, search every free cluster of the data area for lost folder
    // content and add the files found there (fat/LostFolders.h); progress goes to the context's
    // sink as lostFolderProgressText. Ignored on NTFS, whose scan reads every MFT record anyway.
    bool deep = false;
};

int scanVolume(ScanContext& context, const std::string& folder = "",
               std::span<const std::uint64_t> only = {}, const ScanOptions& options = {});

// "Found %d deleted files. Searching free space for lost folders (%d%%)..."
std::string lostFolderProgressText(int found, int percent);

}  // namespace rekkon
