#pragma once

#include <cstdint>
#include <span>

namespace rekkon {

// The CRC-32 of `bytes` as GPT headers and entry arrays carry it (IEEE 802.3, reflected,
// initial value and final XOR 0xFFFFFFFF).
std::uint32_t crc32(std::span<const std::uint8_t> bytes);

}  // namespace rekkon
