#pragma once

#include <cstdint>
#include <span>

#include "carve/CarveFormat.h"

namespace rekkon {

// A 7z archive: its signature header (with its CRC) points at the next header, whose CRC it
// holds; the archive ends with that header.
bool sevenZipStarts(std::span<const std::uint8_t> head);
CarveResult checkSevenZip(CarveInput& input);

}  // namespace rekkon
