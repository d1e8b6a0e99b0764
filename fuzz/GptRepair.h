#pragma once

#include <cstdint>
#include <vector>

namespace rekkon::fuzz {

// Rewrites the CRC32s of the GPT headers (primary and backup, 4096- then 512-byte sectors) and
// of the entry arrays they name so that they match the bytes, wherever a header's fields let
// them be computed; other bytes stay as they are.
void repairGptChecksums(std::vector<std::uint8_t>& disk);

}  // namespace rekkon::fuzz
