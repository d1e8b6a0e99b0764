#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "recovery/FileData.h"

namespace rekkon {

// Takes the bytes the copy loop delivers, in order; false when they could not be written.
using DataSink = std::function<bool(std::span<const std::uint8_t>)>;

// Takes a hole of `bytes` zero bytes that follows the bytes delivered so far: the sink may pass
// over it instead of writing zeros. False when it could not.
using HoleSink = std::function<bool(std::uint64_t bytes)>;

struct CopyStats {
    std::uint64_t bytesDelivered = 0;   // handed to the sinks, zeros and holes included
    std::uint64_t unreadableBytes = 0;  // of them, zeros standing for sectors that cannot be read
    std::uint64_t holeBytes = 0;        // of them, holes handed to the hole sink
    bool sinkFailed = false;            // the sink refused; the copy stopped there
};

// A failed sector is read this many times before it counts as unreadable.
inline constexpr int kSectorReadAttempts = 2;
// After this many unreadable sectors in a row, a chunk that cannot be read is given as zeros
// whole instead of being tried sector by sector (a dead stretch of a failing disk can take
// seconds per read). Every chunk is still tried once, so readable data after it is found again.
inline constexpr std::uint64_t kMaxProbedBadSectors = 2048;

// The one copy loop for a found file's data: delivers `size` bytes from position 0 to `sink`,
// `chunkBytes` at a time. Reads are positional, so a short read only means the next read starts
// where it ended; a chunk at which nothing can be read is tried again sector by sector (512-byte
// units of the data), and a sector that still cannot be read is delivered as zeros and counted.
// The loop always advances, so it ends after at most size / 512 reads beyond the chunks.
// With `holes`, the data's holes (FileDataHandle::holeBytesAt) go to it whole instead of being
// read and delivered as zeros; without it every byte goes to `sink`.
// `from` skips the first bytes (delivered by other means): the copy starts there.
CopyStats copyFileData(FileDataHandle& data, std::uint64_t size, std::size_t chunkBytes,
                       const DataSink& sink, const HoleSink& holes = {}, std::uint64_t from = 0);

}  // namespace rekkon
