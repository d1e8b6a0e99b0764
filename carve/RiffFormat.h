#pragma once

#include <span>

#include "carve/CarveFormat.h"

namespace rekkon {

// RIFF files: AVI video, WAVE audio, WEBP pictures. The RIFF header's size
// gives the extent; the chunks inside must add up to it.
bool aviStarts(std::span<const std::uint8_t> head);
bool wavStarts(std::span<const std::uint8_t> head);
bool webpStarts(std::span<const std::uint8_t> head);

// Walks the chunks (and the lists in them); the extension follows the form
// type, the name the title an INFO list holds.
CarveResult checkRiff(CarveInput& input);

}  // namespace rekkon
