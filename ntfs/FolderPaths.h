#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

namespace rekkon {

struct NtfsVolume;

// The root folder's MFT record.
inline constexpr std::uint64_t kRootFolderRecord = 5;
// A folder path is followed up at most this many folders; a deeper one is shown from there on.
inline constexpr std::size_t kMaxFolderDepth = 256;
// Folder records held at most; past it the cache is emptied before the next path and filled again.
inline constexpr std::size_t kMaxCachedFolders = 1 << 20;

// MFT record header fields.
inline constexpr std::size_t kRecordSequenceOffset = 0x10;
inline constexpr std::size_t kRecordFlagsOffset = 0x16;
inline constexpr std::size_t kRecordBaseOffset = 0x20;
inline constexpr std::uint16_t kRecordInUse = 0x0001;
inline constexpr std::uint16_t kRecordIsFolder = 0x0002;

// The next sequence number NTFS gives a record when it is freed (0 is skipped on wrapping).
std::uint16_t nextSequenceNumber(std::uint16_t sequence);

// Turns the parent references of $FILE_NAME values into folder paths ("\" the root, "\a\b" below
// it), through live and deleted folders alike. A reference names a folder only when its record
// is a folder whose sequence number is the reference's, or one higher when the record has since
// been freed (NTFS counts it up on deletion). Where that fails, or the chain of folders loops or
// runs deeper than kMaxFolderDepth, the path starts at "<unknown N>\" with the record number N
// of the reference that could not be followed. Each folder record is read once.
class FolderPaths {
  public:
    explicit FolderPaths(NtfsVolume& volume) : volume_(volume) {}

    // The path of the folder that `parentReference` names.
    std::string path(std::uint64_t parentReference);
    // The same into `out`, replacing what it held (its memory is reused).
    void path(std::uint64_t parentReference, std::string& out);

    std::size_t foldersRead() const { return foldersRead_; }

  private:
    struct Folder {
        bool isFolder = false;  // a readable record of a folder
        bool inUse = false;
        std::uint16_t sequence = 0;
        std::string name;
        std::uint64_t parentReference = 0;
        std::optional<std::string> path;  // once known
    };

    Folder& folder(std::uint64_t record);
    bool names(const Folder& folder, std::uint64_t reference) const;

    NtfsVolume& volume_;
    std::unordered_map<std::uint64_t, Folder> folders_;
    std::size_t foldersRead_ = 0;
};

// The folder of a file that names no folder at all (it has no $FILE_NAME left).
inline constexpr const char* kNoFolderMarker = "<unknown>\\";

// "<unknown N>\", the start of a path whose folders above could not be followed.
std::string unknownFolderMarker(std::uint64_t record);

}  // namespace rekkon
