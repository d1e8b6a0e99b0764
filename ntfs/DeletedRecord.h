#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "ntfs/ClusterBitmap.h"
#include "ntfs/FileName.h"
#include "ntfs/FolderPaths.h"
#include "ntfs/MftFile.h"
#include "ntfs/NtfsScan.h"

namespace rekkon {

struct NtfsVolume;

// Records below this one are reserved for the volume's own files; a free one without a name is
// never a deleted file.
inline constexpr std::uint64_t kFirstUserRecord = 24;

// The name a deleted file is listed under when its record holds no $FILE_NAME any more:
// "<record N>". NTFS names written by Windows cannot hold '<' or '>'.
std::string namelessRecordName(std::uint64_t record);

// Why a free record is not listed.
enum class RecordVerdict {
    Listed,
    Unreadable,  // no "FILE" record (never used, or damaged): fixups or signature fail
    Extension,   // holds attributes of another file (its base reference is not zero)
    Folder,      // an $I30 index, or a folder's $FILE_NAME
    NoData,      // no unnamed $DATA
    NoName,      // no usable $FILE_NAME, and a reserved record or one whose data is empty
};

// Examines free MFT records one at a time and describes those that are deleted files. A file
// whose $FILE_NAME values are gone (the ntfs-3g driver removes them when it deletes a file with
// extension records) but whose data survives is listed as namelessRecordName(N), in the folder
// a remaining $FILE_NAME too short for a name still gives, else in "<unknown>\".
class DeletedRecordReader {
  public:
    explicit DeletedRecordReader(NtfsVolume& volume)
        : volume_(volume), clusters_(volume), folders_(volume) {}

    // Examines record `number`, given as stored (`stored`, fixups not applied; an empty span when
    // it could not be read). Fills `out` when the verdict is Listed.
    RecordVerdict examine(std::uint64_t number, std::span<const std::uint8_t> stored,
                          NtfsFoundFile& out);

    const ClusterBitmap& clusters() const { return clusters_; }
    const FolderPaths& folders() const { return folders_; }

  private:
    bool open(std::uint64_t number, std::span<const std::uint8_t> stored);
    void readTimes(NtfsFoundFile& out) const;

    NtfsVolume& volume_;
    ClusterBitmap clusters_;
    FolderPaths folders_;
    MftFile file_;        // the record being examined
    FileNameValue name_;  // the name chosen for it
};

}  // namespace rekkon
