#pragma once

#include <cstdint>
#include <span>

#include "carve/CarveFormat.h"

namespace rekkon {

// A RAR archive, version 4 or 5: its headers (with their CRCs) and the data they announce, up
// to the end-of-archive header.
bool rarStarts(std::span<const std::uint8_t> head);
CarveResult checkRar(CarveInput& input);

}  // namespace rekkon
