#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "volume/SectorDevice.h"

namespace rekkon {

// Reads `length` bytes (a multiple of 512) from `byteOffset` (a multiple of 512) of `device`;
// nullopt when any of them cannot be read.
std::optional<std::vector<std::uint8_t>> readDeviceBytes(SectorDevice& device,
                                                         std::uint64_t byteOffset,
                                                         std::size_t length);

}  // namespace rekkon
