#pragma once

#include "fat/FatScan.h"
#include "recovery/DeletedFileEntry.h"

namespace rekkon {

// The found-list row of a file the FAT scan found: the location is its first cluster, the
// attribute byte is sign-extended, both listed times are the entry's time, and an estimate of
// 100 reads "Good". The recovered file's times are the write time and the last-access date.
DeletedFileEntry toDeletedFileEntry(const FatFoundFile& found);

}  // namespace rekkon
