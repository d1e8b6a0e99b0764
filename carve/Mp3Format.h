#pragma once

#include <span>

#include "carve/CarveFormat.h"

namespace rekkon {

// MP3 files: an optional ID3v2 tag, then MPEG audio layer III frames one after
// another, then an optional 128-byte ID3v1 trailer ("TAG").
bool mp3Starts(std::span<const std::uint8_t> head);

// Follows the frames to where they stop; the name is the ID3 title.
CarveResult checkMp3(CarveInput& input);

}  // namespace rekkon
