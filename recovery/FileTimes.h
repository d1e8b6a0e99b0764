#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <optional>

#include "fs/FoundEntry.h"

namespace rekkon {

// A FILETIME (100 ns units since 1601-01-01) as a Unix time. NTFS stores UTC (`local` false);
// FAT stores the wall-clock time of wherever the file was written, with no zone: such a time
// (`local` true) is taken in this machine's time zone, as the system that wrote it most likely
// shared it. nullopt for 0 (not stored) and for a local time the zone cannot place.
std::optional<timespec> unixTimeOf(std::uint64_t fileTime, bool local);

// Gives the open file `fd` the entry's modification and access times (writeTime,
// lastAccessTime); a time the volume does not store is left as it is. False with errno in
// `error` when the file system refused them.
bool setRecoveredTimes(int fd, const DeletedFileEntry& entry, bool localTimes, int& error);

}  // namespace rekkon
