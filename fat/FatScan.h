#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fat/DirEntry.h"
#include "fat/FatGeometry.h"
#include "fat/FatScanRecord.h"
#include "fat/FatTable.h"
#include "fat/SlotNames.h"

namespace rekkon {

class ScanCancel;

// A deleted folder's entries are read from free clusters; no more than this of it is examined.
inline constexpr std::uint64_t kDeletedFolderBytes = 8192;
// Folders nest at most this deep in a scan: a Linux path of 4,096 bytes holds about 2,000
// levels. Folders below it are counted (FatScanStats), not entered. The walk keeps a small
// suspended state per level, so this also bounds its memory.
inline constexpr int kMaxScanDepth = 2048;

// One candidate a folder walk returns.
struct FatCandidate {
    DirEntry entry;  // byte 0 of a deleted entry's name is '?'
    bool deleted = false;
    std::uint32_t cluster = 0;
    int status = 0;               // estimate 0..100 (live folders 0)
    std::uint16_t entryTime = 0;  // write time, or creation time when that is 0
    std::uint16_t entryDate = 0;  // write date, or creation date when that is 0
    std::string entryName;        // "NAME.EXT" in the volume's code page
    // The long name before the entry: a live one for a live entry, for a deleted one the name
    // its pieces verify (see recoverDeletedLongName), with the first byte the checksum proves.
    std::optional<std::string> longName;  // UTF-8
    std::optional<std::uint8_t> firstByte;
    bool longNameCut = false;  // only the start of a longer name (see DeletedLongName)
};

// The state of one folder walk: which folder, how it is read, and where the walk stands.
class FatFindState {
  public:
    FatFindState(FatVolume& fat, std::uint32_t folderCluster, bool inDeletedFolder);
    // The next entry worth a look: deleted entries with a free first cluster, live folders, and
    // inside a deleted folder also live files with a free first cluster. nullopt at the end.
    std::optional<FatCandidate> findNextDeleted();
    // Bytes of the folder examined so far (the walk stops at the end marker).
    std::uint64_t examinedBytes() const { return position_; }
    // The index in the folder of the entry findNextDeleted returned last.
    std::uint64_t lastEntryIndex() const {
        return position_ == 0 ? 0 : (position_ - 1) / kDirEntrySize;
    }
    // Gives back the memory of the block read and of the table window while the walk is set
    // aside (a subfolder is walked); the next findNextDeleted reads them again.
    void suspend();
    // Once `cancel` is requested the walk reads no further block of the folder and ends.
    void stopOn(const ScanCancel* cancel) { cancel_ = cancel; }

  private:
    bool loadBlock(std::uint64_t blockStart);
    // Block `index` of a live folder whose chain ended on a member the table calls free; 0 when
    // it does not go on there.
    std::size_t readPastFreeEnd(std::uint64_t index, std::span<std::uint8_t> dest);

    FatVolume& fat_;
    bool inDeletedFolder_;
    std::uint64_t blockBytes_;  // a cluster
    std::uint64_t position_ = 0;
    std::vector<std::uint8_t> block_;
    std::uint64_t blockStart_ = 0;
    std::size_t blockValid_ = 0;  // bytes of block_ read; block_ holds nothing when 0
    bool blockSkipped_ = false;   // block_ is a deleted folder's guessed cluster of other data
    std::unique_ptr<FreeClusterWalk> freeWalk_;  // a deleted folder: its free clusters
    std::unique_ptr<ChainReader> chain_;         // a live folder: its chain
    bool ended_ = false;
    const ScanCancel* cancel_ = nullptr;
    SlotNames names_;  // the long names of the slots read so far
};

// -1 when the entry's first cluster is in use; else the share (0..100, rounded down, in 64-bit
// integers) of free clusters among the n = size / cluster size clusters from the first one on:
// the first, plus the free ones directly after it. Clusters past the volume, past the end of
// the source or behind an unreadable part of the table count as taken; 100 when n is 0.
int estimateFatStatus(FatVolume& fat, const DirEntry& entry);

// One deleted file a scan found, as the FAT reader sees it.
struct FatFoundFile {
    std::uint32_t firstCluster = 0;
    std::uint8_t attributes = 0;  // the entry's attribute byte
    std::uint32_t size = 0;
    std::uint64_t time = 0;         // the entry's write (or creation) date and time as a FILETIME
    std::uint64_t createdTime = 0;  // the entry's creation date and time as a FILETIME (0: none)
    std::string name;               // UTF-8; a deleted name begins with '?'
    int score = 0;                  // estimate 0..100 (estimateFatStatus)
    std::string folder;  // UTF-8 path of the folder it lies in ("\" the root), long names
    std::optional<std::string> longName;   // UTF-8, where the long-name pieces survive
    std::optional<std::string> firstChar;  // UTF-8: the lost first character, where proven
    bool longNameCut = false;              // longName is cut off (it ends in kCutNameMark)
    bool lowerCaseBase = false;            // the 8.3 base is shown in lower case (DirEntry)
    // The entry's last-access date (midnight) as a FILETIME; 0 when none is stored.
    std::uint64_t accessDate = 0;
    // Where its entry lies: the folder's first cluster << 16 | the entry's index in the folder
    // (a folder holds at most 65,536 entries). Tells apart entries that share a first cluster.
    std::uint64_t slot = 0;
};
using FatFoundSink = std::function<void(FatFoundFile)>;

// What a scan could not reach.
struct FatScanStats {
    // Folders below the depth limit, which the walk did not enter: their files are not listed.
    std::uint64_t foldersNotEntered = 0;
    // The walk was stopped through its ScanCancel: folders after that point were not walked.
    bool cancelled = false;
};

// Walks the folder `target` ('\' or '/' separated 8.3 or long names, '?' for deleted folders;
// empty or "\" for the root; a leading "X:" is ignored) and every folder below it, handing each
// deleted file whose data may still be there to `found`. Returns 0, or ENOENT when the target
// folder cannot be found. When `record` is given, it receives the folders walked and the files
// handed out; `stats` receives what the walk could not reach. Folders more than `maxDepth`
// levels below the target are not entered. Once `cancel` is requested the walk stops before the
// next entry or folder block (stats->cancelled); the files handed out so far stay handed out.
int scanFat(FatVolume& fat, const std::string& target, const FatFoundSink& found,
            FatScanRecord* record = nullptr, FatScanStats* stats = nullptr,
            int maxDepth = kMaxScanDepth, const ScanCancel* cancel = nullptr);

}  // namespace rekkon
