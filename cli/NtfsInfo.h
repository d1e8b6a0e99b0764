#pragma once

#include <iosfwd>
#include <string>

#include "volume/VolumeContext.h"

namespace rekkon::cli {

// Mounts the source already open in `volume` as NTFS and prints its geometry. Returns false,
// printing nothing, when it is not an NTFS volume that can be read; the device is closed either
// way.
bool printNtfsInfo(rekkon::VolumeContext& volume, const std::string& path, std::ostream& out);

}  // namespace rekkon::cli
