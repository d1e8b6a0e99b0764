#pragma once

#include <cstdint>
#include <span>

#include "carve/CarveFormat.h"

namespace rekkon {

// SOI followed by a marker a JPEG file starts with (APPn, DQT, DHT, SOF, COM, DRI).
bool jpegStarts(std::span<const std::uint8_t> head);

// Follows the segments from SOI to the EOI after the main image's last scan (an Exif thumbnail
// inside APP1 is skipped with its segment; pictures a Multi-Picture Format index places after EOI
// belong to the file), checks the escapes and restart markers of the entropy-coded data, then
// decodes it to find where it stops decoding. Names the file from its Exif date and camera.
CarveResult checkJpeg(CarveInput& input);

// Whether `unit` may lie inside a JPEG's entropy-coded data: every 0xFF is followed by a stuffed
// zero, a restart marker or the EOI (after which anything may follow), and the bytes are not all
// alike (cleared or erased space).
bool jpegContinues(std::span<const std::uint8_t> unit);

}  // namespace rekkon
