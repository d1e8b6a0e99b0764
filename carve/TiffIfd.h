#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "carve/CarveInput.h"
#include "carve/ImageMeta.h"

namespace rekkon {

// One entry of a TIFF image file directory.
struct TiffEntry {
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    std::uint64_t valueAt = 0;  // where its value's bytes lie (in the entry, or where it points)
    std::uint64_t bytes = 0;    // count × the type's size
};

// What walking a TIFF structure (a TIFF file, a raw photo, an Exif block) found: every IFD of the
// IFD0 chain, its SubIFDs and Exif, GPS and interoperability IFDs, and every value, strip and tile
// they point to.
struct TiffWalk {
    bool plausible = false;  // a TIFF header and a first IFD that looks like one
    bool bigEndian = false;
    std::uint64_t extent = 0;    // the largest end of anything the tree holds or points to
    bool pastLimit = false;      // something it points to lies past the input's limit
    std::uint64_t brokenAt = 0;  // where the first fault lies (0: none)
    std::string problem;         // that fault in a few words
    ExifInfo exif;               // Make, Model, DateTime, DateTimeOriginal
    bool dng = false;            // holds a DNGVersion tag
};

// Called for every entry of a known type; may read through the stream (the walk re-seeks).
using TiffVisitor = std::function<void(CarveStream&, const TiffEntry&, bool bigEndian)>;

// Walks the TIFF structure that starts at the input's first byte ("II*\0" or "MM\0*").
TiffWalk walkTiff(CarveInput& input, const TiffVisitor& visit = {});

// Value `index` of a BYTE, SHORT, LONG or IFD entry, or nullopt.
std::optional<std::uint32_t> tiffValue(CarveStream& s, const TiffEntry& e, bool bigEndian,
                                       std::uint32_t index);

}  // namespace rekkon
