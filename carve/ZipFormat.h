#pragma once

#include <cstdint>
#include <span>

#include "carve/CarveFormat.h"

namespace rekkon {

// A ZIP archive (and the documents kept in one: docx, xlsx, pptx, odt, ods, odp, epub, jar,
// apk) from its first local header to the end of its end-of-central-directory record's comment.
bool zipStarts(std::span<const std::uint8_t> head);
CarveResult checkZip(CarveInput& input);

}  // namespace rekkon
