#pragma once

#include <cstdint>
#include <span>

#include "carve/CarveFormat.h"

namespace rekkon {

// The PNG signature followed by an IHDR chunk's length and type.
bool pngStarts(std::span<const std::uint8_t> head);

// Walks the chunks from IHDR to IEND, checking each one's CRC; the time from tIME (UTC), the name
// from an eXIf chunk's date and camera.
CarveResult checkPng(CarveInput& input);

}  // namespace rekkon
