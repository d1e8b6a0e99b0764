#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "recovery/FirstChar.h"
#include "recovery/OutputFile.h"
#include "recovery/ScanContext.h"

namespace rekkon {

struct RecoveryOptions {
    std::string destination;  // an existing folder
    // Bytes read and written per step. Small chunks are for tests; large ones keep a big file's
    // copy at the speed of the disk.
    std::size_t chunkBytes = 1 << 20;
    PendingMethod method = PendingMethod::Auto;
    // FAT: write each file under its long name where the entry has one (see outputNameOf).
    bool longNames = false;
    // Asked before each file and each chunk, and with `hashes` between the pieces of a hole
    // being hashed (from the thread that runs the recovery): true stops it. The file being
    // copied is then discarded and later entries are not tried.
    std::function<bool()> cancelled;
    // Told how many bytes of the current file were just written (holes included).
    std::function<void(std::uint64_t bytes)> copied;
    // Recreate each entry's folder path below the destination and write the file there
    // (recovery/KeptFolders.h: every component made safe, nothing outside the destination);
    // otherwise every file goes into the destination itself.
    bool keepFolders = false;
    // Compute the md5 and sha256 of every file's bytes while copying (for a recovery report).
    bool hashes = false;
};

enum class RecoveryResult {
    Written,         // the whole size was written
    NotWhole,        // written, but with unreadable sectors as zeros or ending at the volume's end
    NoFirstChar,     // a '?' name without an answer
    CannotOpenData,  // nothing to read (first cluster 0, record unreadable)
    NoFreeName,      // the name and its 499 numbered forms all exist
    CannotCreate,    // the output file could not be created
    WriteFailed,     // the destination refused the data (full, or an I/O error)
    Cancelled,       // the user stopped the recovery during this file; nothing was left of it
};

struct RecoveryOutcome {
    const DeletedFileEntry* entry = nullptr;
    RecoveryResult result = RecoveryResult::Written;
    std::string outputPath;
    std::uint64_t bytesWritten = 0;     // the output file's length
    std::uint64_t unreadableBytes = 0;  // zeros written for sectors that could not be read
    std::uint64_t missingBytes = 0;     // of the size, bytes with no place on the volume
    int error = 0;                      // errno for CannotCreate and WriteFailed
    std::string firstChar;  // the character a '?' name was given (empty for other names)
    // Lower-case hex digests of the bytes of the file as written (holes and unreadable parts
    // as the zeros they read as); empty unless RecoveryOptions::hashes and the file was written.
    std::string md5;
    std::string sha256;
};

// Writes each entry into the destination (or, keeping folders, into its folder there) as a new
// file, never replacing an existing one (a numbered name is taken instead). A file appears under
// its name only when it is complete, with the modification and access times the volume stores
// for it (FAT's local times in this machine's zone; recovery/FileTimes.h).
// FAT '?' names go through the first-character rule first, with the entry's proven first
// character as what is known. Stops after a write failure that every later file would meet too
// (destination full), and when cancelled: the outcomes then cover only the entries tried.
std::vector<RecoveryOutcome> recoverEntries(ScanContext& context,
                                            const std::vector<const DeletedFileEntry*>& entries,
                                            const RecoveryOptions& options, FirstCharAsker& asker);

// Whether an outcome lost output: the destination refused a file or its data.
inline bool outputFailed(const RecoveryOutcome& o) {
    return o.result == RecoveryResult::CannotCreate || o.result == RecoveryResult::WriteFailed;
}

// A message for one outcome, saying what happened and what to do.
std::string describeOutcome(const RecoveryOutcome& outcome);

}  // namespace rekkon
