#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "carve/CarveInput.h"

namespace rekkon {

// An ID3v2 tag at the start of an MP3 file: a 10-byte header ("ID3", version,
// flags, a syncsafe size) and frames.
struct Id3Tag {
    std::uint8_t major = 0;  // 2, 3 or 4
    std::uint8_t flags = 0;
    std::uint64_t end = 0;  // the first byte after the tag (and its footer)
};

// The tag whose header lies at `from` in `s`; nullopt when the bytes there are
// none.
std::optional<Id3Tag> readId3Header(CarveStream& s, std::uint64_t from);

// The title (TIT2, TT2) of the tag whose header is at `from`, as UTF-8; empty
// when it has none or holds it in a form not read here (compressed, encrypted,
// unsynchronised).
std::string id3Title(CarveStream& s, std::uint64_t from, const Id3Tag& tag);

}  // namespace rekkon
