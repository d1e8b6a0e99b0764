#pragma once

#include <cstdint>
#include <span>

#include "carve/CarveFormat.h"

namespace rekkon {

// "GIF87a" or "GIF89a" and a logical screen of some width and height.
bool gifStarts(std::span<const std::uint8_t> head);

// Walks the blocks (images with their colour tables and data sub-blocks, extensions) to the
// trailer byte 0x3B.
CarveResult checkGif(CarveInput& input);

}  // namespace rekkon
