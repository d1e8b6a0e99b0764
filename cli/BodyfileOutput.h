#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "fs/FoundEntry.h"

namespace rekkon::cli {

// Seconds since 1970-01-01 of a FILETIME as stored (a FAT time is the volume's wall-clock time
// and so counts as UTC here); 0 for an unknown time or one before 1970.
std::int64_t unixSeconds(std::uint64_t fileTime);

// The path of an entry in a timeline: "/" then its folders and its name ('/' between them; the
// long name where a whole one is known), control characters and '|' escaped as terminalText
// escapes them, and " (deleted)" after it.
std::string timelinePath(const DeletedFileEntry& entry);

// The found files as a body file, one line per entry:
// MD5|name|inode|mode|UID|GID|size|atime|mtime|ctime|crtime, with 0 for the MD5, the entry's
// location as inode (FAT and exFAT: first cluster; NTFS: MFT record, "-stream" after it for a
// named stream), "r/rrwxrwxrwx" as mode ("r/rr-xr-xr-x" for a read-only file), 0 for UID and
// GID, times in seconds since 1970 (unixSeconds): atime the last access, mtime the last change of
// the data, ctime the record's change (NTFS), crtime the creation; 0 where the volume keeps none.
void printBodyfile(std::ostream& out, const std::vector<const DeletedFileEntry*>& entries);
// One line of it, appended to `line`.
void appendBodyfileLine(std::string& line, const DeletedFileEntry& entry);

}  // namespace rekkon::cli
