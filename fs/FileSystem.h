#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "fs/FileDataHandle.h"
#include "fs/FoundEntry.h"
#include "volume/FreeSpaceMap.h"

namespace rekkon {

// What a mounted file system can do, asked by the front ends instead of which file system it is.
struct FileSystemCapabilities {
    // Its live folders can be listed (FileSystem::liveFolders) and a scan started at one.
    bool foldersChoosable = false;
    // Deleted names lose their first character (shown as '?'), which the user may be asked for.
    bool namesLoseFirstChar = false;
    // Entries may carry a long name beside their short one, which files can be written under.
    bool longNames = false;
    // A deep scan searches free space for the content of folders whose entries are gone.
    bool lostFolderSearch = false;
    // Entries are numbered records whose data can be opened by number alone (`cat`).
    bool numberedRecords = false;
};

// Stops a running scan from another thread (the desktop's Cancel) or a signal handler (the
// command line's SIGINT): the scan looks at it between folders, records and read windows.
class ScanCancel {
  public:
    void request() { requested_.store(true, std::memory_order_relaxed); }
    void reset() { requested_.store(false, std::memory_order_relaxed); }
    bool requested() const { return requested_.load(std::memory_order_relaxed); }

  private:
    std::atomic<bool> requested_{false};
};

// What a scan is asked for.
struct ScanRequest {
    // The folder whose deleted files are wanted, those of its subfolders included (empty: the
    // whole volume). A file system that walks folders starts there; one that reads every record
    // keeps the files whose folder lies there.
    std::string folder;
    // When not empty, no entries are wanted but those at these locations (the file system may
    // examine only those, or leave the filtering to the caller).
    std::span<const std::uint64_t> only;
    // Go beyond the folders the volume still records (lost-folder search), where the file system
    // has such a search.
    bool deep = false;
    // Texts saying how far the scan has come; none: they go nowhere.
    const ProgressSink* progress = nullptr;
    // Looked at between folders, records and read windows; null: the scan runs to its end.
    const ScanCancel* cancel = nullptr;
    // Where a deep scan reads the free clusters anyway (lost-folder search), it hands each one
    // read to this as well, in ascending order, with its byte offset on the volume (no bytes: it
    // could not be read), so that another search of free space (by content) shares the pass.
    std::function<void(std::uint64_t offset, std::span<const std::uint8_t> bytes)> freeClusters;

    bool cancelled() const { return cancel != nullptr && cancel->requested(); }
    void say(const std::string& text) const {
        if (progress != nullptr && *progress) (*progress)(text);
    }
};

// What a scan could not do.
struct ScanOutcome {
    bool folderNotFound = false;  // the requested folder does not exist: nothing was scanned
    bool cancelled = false;       // stopped by ScanRequest::cancel: the list is incomplete
    // Folders too deep to enter (past folderDepthLimit levels): their files are not listed.
    std::uint64_t foldersNotEntered = 0;
    int folderDepthLimit = 0;
    // Files of lost folders left out, past lostEntryLimit kept.
    std::uint64_t lostEntriesLeftOut = 0;
    std::size_t lostEntryLimit = 0;
    // The scan's pass over free space handed every free cluster to ScanRequest::freeClusters.
    bool freeClustersHanded = false;
};

// One live folder, as the Change Folder dialog offers it.
struct LiveFolder {
    std::string name;       // what a scan's folder path names it by (UTF-8)
    std::string shownName;  // what a person is shown (a long name where there is one)
    std::uint64_t id = 0;   // what liveFolders takes to list the folders inside it
};

// A line of the geometry `info` prints: {"Bytes per sector", "512"}.
using GeometryLine = std::pair<std::string, std::string>;

// A mounted volume, whatever its file system: what every front end and the recovery code use.
// The file system reads through the VolumeContext it was mounted on, which outlives it.
class FileSystem {
  public:
    virtual ~FileSystem() = default;

    // The volume's file system as users know it ("FAT12", "FAT16", "FAT32", "NTFS").
    virtual std::string name() const = 0;
    // The family it belongs to, as the file-system table names it ("FAT", "NTFS").
    virtual std::string typeName() const = 0;
    virtual FileSystemCapabilities capabilities() const = 0;
    // The volume label in UTF-8 as stored; empty when it has none or it cannot be read.
    virtual std::string label() = 0;
    // The geometry `info` prints after the file system's name and label, in order; lines named
    // "Damage" say what the mount had to do without.
    virtual std::vector<GeometryLine> geometry() = 0;

    // Adds every deleted file the request asks for to `found`.
    virtual ScanOutcome scan(const ScanRequest& request, FoundListBuilder& found) = 0;
    // Opens the data of an entry this file system found (or one naming a record, where entries
    // are numbered records). Null with the reason in `why` when it cannot be opened.
    virtual std::unique_ptr<FileDataHandle> openData(const DeletedFileEntry& entry,
                                                     DataOpenError& why) = 0;

    // The volume's free clusters as runs (for searches of free space); null when the file system
    // cannot tell which clusters are free.
    virtual std::unique_ptr<FreeSpaceMap> freeSpace() { return nullptr; }
    // Where an entry's data starts, in bytes from the volume's start, where the entry says so
    // without reading the volume (a first cluster); nullopt elsewhere.
    virtual std::optional<std::uint64_t> dataOffset(const DeletedFileEntry& /*entry*/) const {
        return std::nullopt;
    }

    // The root folder's id for liveFolders (foldersChoosable only).
    virtual std::uint64_t rootFolder() const { return 0; }
    // The live subfolders of the folder `id`, in the order the volume holds them; empty when it
    // cannot be read or the file system has no choosable folders.
    virtual std::vector<LiveFolder> liveFolders(std::uint64_t /*id*/) { return {}; }
    // How many levels of folders a scan enters below where it starts.
    virtual int folderDepthLimit() const { return 0; }
};

}  // namespace rekkon
