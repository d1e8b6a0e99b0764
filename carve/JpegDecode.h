#pragma once

#include <cstdint>
#include <string>

#include "carve/CarveInput.h"

namespace rekkon {

// How decoding a JPEG's image data went.
struct JpegDecodeResult {
    enum class Outcome : std::uint8_t {
        Decoded,     // every scan decoded to the end without a fault
        Broken,      // the data stops decoding at `brokenAt`
        Unverified,  // the decoder cannot tell (a precision or size it does not take)
    };
    Outcome outcome = Outcome::Unverified;
    std::uint64_t brokenAt = 0;
    std::string problem;
};

// Decodes the JPEG in the input's first `length` bytes (at 1/8 scale: the entropy-coded data is
// decoded in full, the picture is not built) and says where it stops decoding, if it does.
JpegDecodeResult decodeJpeg(CarveInput& input, std::uint64_t length);

}  // namespace rekkon
