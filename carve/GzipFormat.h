#pragma once

#include <cstdint>
#include <span>

#include "carve/CarveFormat.h"

namespace rekkon {

// A GZIP file: its header, the deflate stream inflated to its end, the CRC-32 and length in the
// trailer it ends with.
bool gzipStarts(std::span<const std::uint8_t> head);
CarveResult checkGzip(CarveInput& input);

}  // namespace rekkon
