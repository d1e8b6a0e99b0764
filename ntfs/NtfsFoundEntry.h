#pragma once

#include <string>

#include "fs/FoundEntry.h"
#include "ntfs/NtfsScan.h"

namespace rekkon {

// The origin of NTFS entries: an MFT record.
inline constexpr std::string_view kNtfsRecordOrigin = "ntfs-record";

// Adds the rows of a file the NTFS scan found: the file's own row (location = its MFT record),
// then one "file:stream" row per named data stream with the file's times, flags and folder.
void addNtfsFoundFile(FoundListBuilder& builder, const NtfsFoundFile& found);

}  // namespace rekkon
