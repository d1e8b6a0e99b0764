#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "carve/CarveInput.h"

namespace rekkon {

// How a raw deflate stream inflated from a CarveStream ended.
enum class InflateEnd : std::uint8_t {
    Done,       // the stream's last block ended
    Truncated,  // the input ran out (the stream's limit or the source's) before it did
    Corrupt,    // the bytes do not decode, or the stream ran past `maxIn` or `maxOut`
};

struct InflateOutcome {
    InflateEnd end = InflateEnd::Corrupt;
    std::uint64_t consumed = 0;  // compressed bytes up to the stream's end (or where it stopped)
    std::uint64_t produced = 0;  // bytes it inflates to
    std::uint32_t crc = 0;       // CRC-32 of those bytes
};

// Inflates the raw deflate stream at the stream's position, reading at most `maxIn` bytes and
// producing at most `maxOut`, and leaves the stream just past it. `keep`, when given, receives
// the first `keepMax` bytes inflated.
InflateOutcome inflateRaw(CarveStream& s, std::uint64_t maxIn, std::uint64_t maxOut,
                          std::string* keep = nullptr, std::size_t keepMax = 0);

// CRC-32 of `bytes` bytes from the stream's position on, leaving the stream past them; nullopt
// when they cannot all be read.
std::optional<std::uint32_t> crcOfStretch(CarveStream& s, std::uint64_t bytes,
                                          std::string* keep = nullptr, std::size_t keepMax = 0);

// A Windows FILETIME of seconds since 1970-01-01.
std::uint64_t fileTimeOfUnix(std::int64_t seconds);
// A Windows FILETIME of a civil date and time (no zone), 0 when the fields are out of range.
std::uint64_t fileTimeOfCivil(int year, int month, int day, int hour, int minute, int second);

}  // namespace rekkon
