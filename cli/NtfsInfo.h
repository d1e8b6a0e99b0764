#pragma once

#include <iosfwd>
#include <string>

#include "ntfs/NtfsVolume.h"

namespace rekkon::cli {

// Prints the label and geometry of the mounted NTFS volume read from `path`.
void printNtfsInfo(const NtfsVolume& ntfs, const std::string& path, const std::string& label,
                   std::ostream& out);

}  // namespace rekkon::cli
