#pragma once

#include <memory>

#include "fs/FileDataHandle.h"
#include "fs/FoundEntry.h"
#include "recovery/ScanContext.h"

namespace rekkon {

// Opens the data of `entry` on the volume mounted in `context`, as the file system that found it
// reads it. Null when it cannot be opened, with the reason in `why` when given.
std::unique_ptr<FileDataHandle> openFileData(ScanContext& context, const DeletedFileEntry& entry,
                                             DataOpenError* why = nullptr);
// The same for the data a location names where no entry was listed (a record number the user
// gives): `size` bytes at `location`, or the data attribute named `stream` of a numbered record.
std::unique_ptr<FileDataHandle> openFileData(ScanContext& context, std::uint64_t location,
                                             std::uint64_t size, const std::string& stream = {},
                                             DataOpenError* why = nullptr);

}  // namespace rekkon
