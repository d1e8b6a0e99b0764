#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fat/FirstChar.h"
#include "recovery/ScanContext.h"

namespace rekkon {

struct RecoveryOptions {
    std::string destination;  // an existing folder
    // Bytes read and written per step. Small chunks are for tests; large ones keep a big file's
    // copy at the speed of the disk.
    std::size_t chunkBytes = 1 << 20;
};

enum class RecoveryResult {
    Written,         // the whole size was written
    Short,           // the data ended early (unreadable or past the volume's end)
    NoFirstChar,     // a '?' name without an answer
    CannotOpenData,  // nothing to read (first cluster 0, record unreadable)
    NoFreeName,      // the name and its 499 numbered forms all exist
    CannotCreate,    // the output file could not be created
    WriteFailed,     // the destination refused the data (full, or an I/O error)
};

struct RecoveryOutcome {
    const DeletedFileEntry* entry = nullptr;
    RecoveryResult result = RecoveryResult::Written;
    std::string outputPath;
    std::uint64_t bytesWritten = 0;
    int error = 0;  // errno for CannotCreate and WriteFailed
};

// Writes each entry into the destination as a new file, never replacing an existing one (a
// numbered name is taken instead). FAT '?' names go through the first-character rule first.
// Stops after a write failure that every later file would meet too (destination full).
std::vector<RecoveryOutcome> recoverEntries(ScanContext& context,
                                            const std::vector<const DeletedFileEntry*>& entries,
                                            const RecoveryOptions& options, FirstCharAsker& asker);

// Copies the data of one opened entry into `fd`, chunk after chunk, until `size` bytes are
// written or a read comes back short. Returns the bytes written; `error` gets errno when a
// write fails.
std::uint64_t copyFileData(class FileDataHandle& data, const std::string& streamName,
                           std::uint64_t size, int fd, std::size_t chunkBytes, int& error);

// A message for one outcome, saying what happened and what to do.
std::string describeOutcome(const RecoveryOutcome& outcome);

}  // namespace rekkon
