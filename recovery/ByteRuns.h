#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fs/FileDataHandle.h"

namespace rekkon {

// One piece of a found file's data: `bytes` bytes from `fileOffset` of the file, stored from
// `volumeOffset` of the volume on, or a hole (read as zeros, stored nowhere).
struct ByteRun {
    std::uint64_t fileOffset = 0;
    std::uint64_t volumeOffset = 0;  // not for a hole
    std::uint64_t bytes = 0;
    bool hole = false;
};

struct ByteRunList {
    std::vector<ByteRun> runs;
    // False when the runs stop before the data's end: where the rest lies cannot be told (data
    // kept inside a record, compressed data), or there were more than the most asked for.
    bool complete = true;
};

// Where the first `size` bytes of `data` lie, piece by piece, consecutive pieces merged; at most
// `maxRuns` runs.
ByteRunList byteRunsOf(FileDataHandle& data, std::uint64_t size, std::size_t maxRuns = 100'000);

}  // namespace rekkon
