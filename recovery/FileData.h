#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "recovery/DeletedFileEntry.h"
#include "recovery/ScanContext.h"

namespace rekkon {

// Reads one found file's data back, chunk after chunk from its start, whatever file system it
// came from. Closing is destruction.
class FileDataHandle {
  public:
    virtual ~FileDataHandle() = default;
    // Fills `buffer` with the next bytes (of the named stream on NTFS; empty: the unnamed one);
    // returns how many, 0 at the end or on a read failure.
    virtual std::size_t read(const std::string& streamName, std::span<std::uint8_t> buffer) = 0;
};

// Opens the data of the entry at `location` with `size` bytes; null when it cannot be opened
// (a FAT entry whose first cluster is 0, an NTFS record that cannot be loaded).
std::unique_ptr<FileDataHandle> openFileData(ScanContext& context, std::uint64_t location,
                                             std::uint64_t size);

// The members behind openFileData, one per file system.
std::unique_ptr<FileDataHandle> openFatFileData(ScanContext& context, std::uint64_t location,
                                                std::uint64_t size);
std::unique_ptr<FileDataHandle> openNtfsFileData(ScanContext& context, std::uint64_t location);

inline std::size_t readFileData(FileDataHandle& handle, const std::string& streamName,
                                std::span<std::uint8_t> buffer) {
    return handle.read(streamName, buffer);
}
inline void closeFileData(std::unique_ptr<FileDataHandle>& handle) {
    handle.reset();
}

}  // namespace rekkon
