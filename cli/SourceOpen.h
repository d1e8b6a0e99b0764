#pragma once

#include <iosfwd>
#include <string>

#include "volume/VolumeContext.h"

namespace rekkon::cli {

// One line for a source that cannot be opened, saying what happened and what to do.
std::string openFailureMessage(const std::string& path, int error);

}  // namespace rekkon::cli
