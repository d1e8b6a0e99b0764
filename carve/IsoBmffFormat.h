#pragma once

#include <cstdint>
#include <span>

#include "carve/CarveFormat.h"

namespace rekkon {

// ISO base media files (MP4, QuickTime MOV, 3GP, M4A, HEIC, AVIF): an `ftyp` box first, then
// top-level boxes whose sizes chain to the file's end. The brands in `ftyp` name the kind.
enum class IsoBmffKind : std::uint8_t { None, Mp4, Mov, ThreeGp, M4a, Heic, Avif };

// The kind the `ftyp` box at the start of `head` names (None: no plausible `ftyp` box there).
IsoBmffKind isoBmffKind(std::span<const std::uint8_t> head);

bool mp4Starts(std::span<const std::uint8_t> head);
bool movStarts(std::span<const std::uint8_t> head);
bool threeGpStarts(std::span<const std::uint8_t> head);
bool m4aStarts(std::span<const std::uint8_t> head);
bool heicStarts(std::span<const std::uint8_t> head);
bool avifStarts(std::span<const std::uint8_t> head);

// Walks the top-level boxes; the extension follows the brands, the time is the movie header's
// creation time (UTC).
CarveResult checkIsoBmff(CarveInput& input);

}  // namespace rekkon
