#pragma once

#include <sys/types.h>

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "recovery/RecoveryWriter.h"

namespace rekkon {

// Where the recovered files came from, as the report names it.
struct ReportSource {
    std::string source;              // the device or image path as the user gave it
    std::uint64_t volumeOffset = 0;  // byte offset of the volume in it (partition or --offset)
};

// The stable word a report gives an outcome: "written", "not-whole", "skipped-no-first-char",
// "skipped-no-data", "skipped-no-free-name", "failed-create", "failed-write", "cancelled".
const char* reportStatus(RecoveryResult result);
// The word for an entry the recovery stopped before.
inline constexpr const char* kReportNotTried = "not-tried";

// The recovery report as JSON text: an array with one object per outcome, then one per entry of
// `notTried` (selected, but the recovery stopped before it: cancelled, or the destination full).
// Each object: source, volumeOffset, location, name, longName, firstChar (the character the
// output name was given), folder, size, bytesWritten, whole, status, outputPath, md5, sha256,
// unreadableBytes, missingBytes, message. Absent values (a skipped file's output path and
// hashes, a name without a long name) are null. Text that is not valid UTF-8 gets U+FFFD.
std::string recoveryReportJson(const ReportSource& source,
                               std::span<const RecoveryOutcome> outcomes,
                               std::span<const DeletedFileEntry* const> notTried = {});

// A report file that did not exist before: created with O_EXCL (and not through a link at its
// own name), so an existing file is never replaced, written once when the recovery has ended.
// A report that was not written whole (the write failed, or the recovery ended without it:
// cancelled, interrupted, an error) is removed again when the object goes, so no empty or cut
// report blocks the next run; only the file this object created is removed, never one that
// took its name meanwhile.
class ReportFile {
  public:
    // Null with errno in `error` (EEXIST when the name is taken).
    static std::unique_ptr<ReportFile> create(const std::string& path, int& error);
    ~ReportFile();
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;

    // Writes `text`, flushes it to the disk and closes the file; false with errno in `error`
    // (the file is then removed).
    bool write(const std::string& text, int& error);
    const std::string& path() const { return path_; }

  private:
    ReportFile(std::string path, int fd, dev_t device, ino_t inode)
        : path_(std::move(path)), fd_(fd), device_(device), inode_(inode) {}
    // Closes the file and removes it when its name still leads to it.
    void discard();
    std::string path_;
    int fd_ = -1;
    dev_t device_;
    ino_t inode_;
    bool complete_ = false;
};

}  // namespace rekkon
