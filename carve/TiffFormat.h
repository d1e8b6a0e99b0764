#pragma once

#include <cstdint>
#include <span>

#include "carve/CarveFormat.h"

namespace rekkon {

// "II*\0" or "MM\0*" and a first IFD past the header.
bool tiffStarts(std::span<const std::uint8_t> head);
// A Canon raw photo: "II*\0" with "CR" and its major version 2 at byte 8.
bool cr2Starts(std::span<const std::uint8_t> head);

// Walks the IFD tree (IFD0's chain, SubIFDs, the Exif, GPS and interoperability IFDs); the file
// ends at the largest end of an IFD, a value or a strip or tile they point to. Raw photos built on
// TIFF are told by their content: DNGVersion (dng), a Nikon (nef) or Sony (arw) make, the CR mark
// (cr2). Time and name from DateTimeOriginal (or DateTime), Make and Model.
CarveResult checkTiff(CarveInput& input);
// The same for a file that has the CR mark; NotFormat for any other.
CarveResult checkCr2(CarveInput& input);

}  // namespace rekkon
