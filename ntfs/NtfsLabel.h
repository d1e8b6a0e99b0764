#pragma once

#include <string>

#include "ntfs/NtfsVolume.h"

namespace rekkon {

// $VOLUME_NAME values longer than this are cut here (the label holds at most 32 characters).
inline constexpr std::size_t kMaxVolumeNameBytes = 256;

// The label of the mounted NTFS volume: the $VOLUME_NAME attribute of $Volume (MFT record 3),
// UTF-16 converted to UTF-8. Empty when the record cannot be read, holds no such attribute (or
// one that is not resident), or names none.
std::string ntfsVolumeLabel(NtfsVolume& ntfs);

}  // namespace rekkon
