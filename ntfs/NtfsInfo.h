#pragma once

#include <string>
#include <utility>
#include <vector>

#include "ntfs/NtfsVolume.h"

namespace rekkon {

// The geometry of the mounted NTFS volume as `info` shows it, {name, value} in order, followed
// by a "Damage" line for each thing the mount had to do without.
std::vector<std::pair<std::string, std::string>> ntfsGeometry(const NtfsVolume& ntfs);

}  // namespace rekkon
