#pragma once

#include <cstdint>
#include <span>

#include "carve/CarveFormat.h"

namespace rekkon {

// "BM", zero reserved fields and an information header of a known size.
bool bmpStarts(std::span<const std::uint8_t> head);

// Checks the file-size field against the headers, the palette and the pixel array (and a
// version 5 header's embedded colour profile); the file is what that field says.
CarveResult checkBmp(CarveInput& input);

}  // namespace rekkon
