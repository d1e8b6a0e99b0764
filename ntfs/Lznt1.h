#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace rekkon {

// LZNT1, the compression of NTFS compression units. The stream is a sequence of chunks, each a
// u16 header (bits 0-11: data bytes - 1; bit 15: compressed) and its data; a header whose low 12
// bits are 0 ends the stream. Every chunk stands for one 4096-byte block of output: a stored
// chunk holds the bytes as they are, a compressed one groups of a flag byte and up to eight
// items (bit clear: a literal byte; bit set: a u16 back-reference into the block's output).
inline constexpr std::size_t kLznt1BlockBytes = 4096;

// Decompresses `in` into `out`, block by block, until the stream or the input ends or `out` is
// full. Bytes that no chunk produces are left as they are (callers clear `out` first). A
// back-reference as a block's first item or reaching before the block's start, or a block that
// would grow past 4096 bytes, ends the decompression there. Returns the offset just past the
// last byte produced.
std::size_t decompressLznt1(std::span<std::uint8_t> out, std::span<const std::uint8_t> in);

}  // namespace rekkon
