#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace rekkon {

struct NtfsVolume;

// Case folding through the volume's upcase table ($UpCase, record 10), of which the first 256
// entries are held; units beyond them fold only 'a'..'z'.
std::uint16_t upcaseChar(const NtfsVolume& volume, std::uint16_t unit);

// Compares the first `length` units of two UTF-16 names without regard to case: -1, 0 or 1.
// Both names must hold at least `length` units.
int compareWideNames(const NtfsVolume& volume, std::span<const std::uint16_t> first,
                     std::span<const std::uint16_t> second, std::size_t length);

// The UTF-16 units of a UTF-8 text (invalid sequences become U+FFFD), the form names are
// compared in.
std::vector<std::uint16_t> utf8ToUtf16(std::string_view utf8);

}  // namespace rekkon
