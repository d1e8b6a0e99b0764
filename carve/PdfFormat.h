#pragma once

#include <cstdint>
#include <span>

#include "carve/CarveFormat.h"

namespace rekkon {

// A PDF document from "%PDF-" to the last "%%EOF" a cross-reference section supports (the last
// incremental update's).
bool pdfStarts(std::span<const std::uint8_t> head);
CarveResult checkPdf(CarveInput& input);

}  // namespace rekkon
