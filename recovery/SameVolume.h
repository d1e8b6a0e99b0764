#pragma once

#include <string>

namespace rekkon {

// Whether writing into `folder` would write to the block device `source` (the same device, or a
// partition of it when `source` is a whole disk). A disk-image source is never such a volume.
bool destinationOnSourceDevice(const std::string& source, const std::string& folder);

}  // namespace rekkon
