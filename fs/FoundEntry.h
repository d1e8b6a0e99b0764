#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "fs/FoundList.h"

namespace rekkon {

// One deleted file found by a scan (on NTFS also one named data stream of a deleted file).
struct DeletedFileEntry {
    // What found it, as a short fixed text ("fat-entry", "fat-lost-folder", "ntfs-record", ...):
    // the file system that made the entry names it, with static storage. Shown as the `origin`
    // field of JSON and CSV.
    std::string_view origin;
    // FAT: the first cluster. NTFS: the MFT record number. With the origin, the stream and the
    // slot it identifies the entry within a scan (key()).
    std::uint64_t location = 0;
    // What tells apart entries of one origin at one location: FAT the folder entry's place
    // (folder cluster << 16 | entry index); 0 where the location alone tells them apart.
    std::uint64_t slot = 0;
    // NTFS: the named data stream this entry is (empty: the file's unnamed data). The name then
    // reads "file:stream".
    std::string stream;
    // Whether the times are UTC (NTFS) rather than the local wall-clock time the volume was
    // written in (FAT).
    bool timesUtc = false;
    std::uint32_t attributes = 0;  // FAT: the attribute byte sign-extended; NTFS: $FILE_NAME flags
    std::uint64_t size = 0;        // bytes to recover
    std::uint64_t createTime = 0;  // FILETIME, as stored (no zone conversion); 0 when unknown
    std::uint64_t accessTime = 0;
    std::string name;         // UTF-8; FAT deleted names begin with '?'
    std::uint8_t status = 0;  // 0 "Poor", 255 "Good", 1..254 a percentage
    std::string folder;       // UTF-8 path of the folder it was found in ("\" the root)
    // FAT: the long name, where its pieces survive next to the entry (UTF-8). NTFS: absent.
    std::optional<std::string> longName;
    // FAT: the long name is only the start of a longer one (it ends in "…"); no file is written
    // under it.
    bool longNameCut = false;
    // FAT: the 8.3 base is shown in lower case, and so is a letter put in place of its '?'.
    bool lowerCaseBase = false;
    // FAT: a deleted name's lost first character (UTF-8), where the long-name pieces' checksum
    // proves it. NTFS: absent.
    std::optional<std::string> firstChar;
    // The times a recovered file is given (FILETIME; 0 when the volume stores none): the last
    // change of its data and its last access. FAT: the entry's write date and time (its creation
    // time when no write time is stored) and its last-access date (a date only, taken as
    // midnight), local times as stored; NTFS: the $STANDARD_INFORMATION times (else those of the
    // $FILE_NAME), UTC. Unlike accessTime, which is what the list shows, these are the raw times.
    std::uint64_t writeTime = 0;
    std::uint64_t lastAccessTime = 0;
    // For timelines, as stored (0 when the volume keeps none): when the file was created (FAT's
    // creation date and time, which createTime does not show; NTFS's and exFAT's creation time)
    // and when its record last changed (NTFS's $STANDARD_INFORMATION change time; FAT and exFAT
    // keep none).
    std::uint64_t birthTime = 0;
    std::uint64_t changeTime = 0;
    // Files found by their content (origin "carved"): the format's type ("jpg") and what its
    // check found ("whole", "truncated", "damaged: <what broke>"). Empty for other entries.
    std::string_view contentType;
    std::string contentCheck;
    // Files whose data a search by content found in two fragments (carved files, and entries
    // whose data starts there): the first fragment's bytes, and the bytes of other data between
    // it and the rest (0: in one piece).
    std::uint64_t firstFragmentBytes = 0;
    std::uint64_t fragmentGapBytes = 0;
};

// The name an entry is written under: its long name when `longNames` is set and the entry has
// one that is not cut off, else its name (which may begin with '?').
const std::string& outputNameOf(const DeletedFileEntry& entry, bool longNames);

// `restored`, the entry's name with a character put in place of its '?', in the case the volume
// shows that name in: an ASCII letter put there is lowered where the base is in lower case.
std::string inEntryCase(const DeletedFileEntry& entry, std::string restored);

// What identifies an entry within one scan: origin, location, stream and slot.
struct EntryKey {
    std::string_view origin;
    std::uint64_t location = 0;
    std::string_view stream;
    std::uint64_t slot = 0;
    auto operator<=>(const EntryKey&) const = default;
    bool operator==(const EntryKey&) const = default;
};
inline EntryKey keyOf(const DeletedFileEntry& e) {
    return {e.origin, e.location, e.stream, e.slot};
}

// Whether `folder` (a path as entries carry it, "\" the root) is `filter` or lies below it.
// `filter` may use '/' or '\' and need not start with either; letters compare without regard
// to ASCII case.
bool folderWithin(const std::string& folder, const std::string& filter);

inline constexpr std::uint8_t kStatusPoor = 0;
inline constexpr std::uint8_t kStatusGood = 255;

// Receives the progress texts of a running scan; the front end installs one (or none).
using ProgressSink = std::function<void(const std::string&)>;

// Receives each entry as a scan adds it (a front end writing the list as it is found).
using FoundSink = std::function<void(const DeletedFileEntry&)>;

// The found-file list under construction: every entry added counts as a found file and is
// announced as "Found %d deleted files. Searching...". Stream entries of a file do not count.
// With a sink, every entry added is handed to it as well; with `keep` false it goes there only.
class FoundListBuilder {
  public:
    FoundListBuilder(FoundList& list, int& foundCount, const ProgressSink& progress,
                     const FoundSink* sink = nullptr, bool keep = true)
        : list_(list), foundCount_(foundCount), progress_(progress), sink_(sink), keep_(keep) {}

    void addFile(const DeletedFileEntry& entry);
    void addStream(const DeletedFileEntry& entry);
    // Files found so far.
    int count() const { return foundCount_; }
    // Makes room for `entries` more.
    void reserve(std::size_t entries) { list_.reserve(entries); }
    // What was kept so far (a later pass may look at what an earlier one found, and replace an
    // entry with what it learns about it).
    const FoundList& entries() const { return list_; }
    void replace(std::size_t index, const DeletedFileEntry& entry) { list_.replace(index, entry); }

  private:
    FoundList& list_;
    int& foundCount_;
    const ProgressSink& progress_;
    const FoundSink* sink_;
    bool keep_;
};

// "Found %d deleted files. Searching..."
std::string foundProgressText(int count);
// "Found %d deleted files. Searching free space for lost folders (%d%%)..."
std::string lostFolderProgressText(int found, int percent);
// "Found %d deleted files. Searching free space by content (%d%%)..."
std::string carveProgressText(int found, int percent);

}  // namespace rekkon
