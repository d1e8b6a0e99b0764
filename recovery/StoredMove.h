#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "fs/FileDataHandle.h"

namespace rekkon {

// Says whether to go on after `bytes` more were moved (progress, a cancel).
using MoveProgress = std::function<bool(std::uint64_t bytes)>;

// Moves a found file's data from position 0 on straight from the source file `source` (the open
// descriptor of a plain image or device that holds the volume from its byte 0) to the end of
// `out`, `chunkBytes` at a time, with sendfile: the bytes go from the page cache into the file
// without passing through this process, a copy fewer than a read and a write.
// It moves only what the data stores in one piece on the source (FileDataHandle::storedAt) and
// stops, leaving the rest to the copy loop (which reads, retries and counts what fails), at:
// a hole or data the file system keeps elsewhere, the first move that fails or falls short (an
// unreadable stretch, the end of a cut-short source, a full destination), a source or
// destination the kernel cannot move between, or `progress` saying stop.
// Returns the bytes moved; `out`'s offset is past them.
std::uint64_t moveStoredData(FileDataHandle& data, std::uint64_t size, int source, int out,
                             std::size_t chunkBytes, const MoveProgress& progress);

}  // namespace rekkon
