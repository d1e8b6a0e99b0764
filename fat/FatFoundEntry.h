#pragma once

#include "fat/FatScan.h"
#include "fs/FoundEntry.h"

namespace rekkon {

// The origins of FAT entries: a folder entry the walk reached, or one in a lost folder's content.
inline constexpr std::string_view kFatEntryOrigin = "fat-entry";
inline constexpr std::string_view kFatLostFolderOrigin = "fat-lost-folder";

// The found-list row of a file the FAT scan found: the location is its first cluster, the
// attribute byte is sign-extended, both listed times are the entry's time, and an estimate of
// 100 reads "Good". The recovered file's times are the write time and the last-access date.
DeletedFileEntry toDeletedFileEntry(const FatFoundFile& found,
                                    std::string_view origin = kFatEntryOrigin);

}  // namespace rekkon
