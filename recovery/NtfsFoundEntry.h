#pragma once

#include <string>

#include "ntfs/NtfsScan.h"
#include "recovery/DeletedFileEntry.h"

namespace rekkon {

// Adds the rows of a file the NTFS scan found: the file's own row (location = its MFT record),
// then one "file:stream" row per named data stream with the file's times, flags and folder.
void addNtfsFoundFile(FoundListBuilder& builder, const NtfsFoundFile& found);

// Whether `folder` (a path as entries carry it, "\" the root) is `filter` or lies below it.
// `filter` may use '/' or '\' and need not start with either; letters compare without regard
// to ASCII case, as NTFS names do for them.
bool folderWithin(const std::string& folder, const std::string& filter);

}  // namespace rekkon
