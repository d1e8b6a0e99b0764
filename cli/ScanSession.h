#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/Options.h"
#include "recovery/ScanContext.h"

namespace rekkon::cli {

// Mounts SOURCE, scans it (with progress on a terminal) and applies --name and --only.
struct ScanSession {
    ScanContext context;
    std::string source;
    std::string target;              // shown in messages: SOURCE:\FOLDER
    std::uint64_t volumeOffset = 0;  // of the volume in SOURCE (a partition's or --offset)
    // The entries wanted, in the order found; `entries` points into it.
    std::vector<DeletedFileEntry> wanted;
    std::vector<const DeletedFileEntry*> entries;
    // When set before openAndScan, each wanted entry is handed to it as the scan finds it instead,
    // and neither the context's list nor `entries` keeps any (`streamed` counts them). Not with
    // --carve, whose search by content looks again at entries found before it: those are handed
    // over after the scan.
    FoundSink stream;
    std::uint64_t streamed = 0;
    // SIGINT or SIGTERM came during the scan: it stopped there, and `entries` holds what it had
    // found (the command then ends with kExitInterrupted).
    bool interrupted = false;
};

// Returns kExitOk with `session` filled, or an exit status after printing the reason. Folders the
// scan did not enter (too deep) are told on stderr; the command then ends with kExitSkipped.
// SIGINT and SIGTERM stop the scan (session.interrupted) rather than the process.
int openAndScan(const Options& options, Streams& io, ScanSession& session);

// Says on stderr how many sectors of `source` could not be read, when `sectors` is not 0, and how
// many of them lie past its end (`pastEnd`); returns whether it said so (the command then ends
// with kExitSkipped at least).
bool reportUnreadableSectors(Streams& io, const std::string& source, std::uint64_t sectors,
                             std::uint64_t pastEnd = 0);

// Ends a command that scanned: says how many sectors could not be read (and how many of them
// lie past the source's end); returns whether the list may be incomplete for any reason (those
// sectors, folders too deep to enter, lost-folder entries past the limit), and the command then
// ends with kExitSkipped at least.
bool reportScanGaps(Streams& io, const ScanSession& session);

// Says on stderr that the scan was interrupted and the list is incomplete, with how many files it
// had found; `what` says what comes of it ("nothing was written").
void reportInterruptedScan(Streams& io, const ScanSession& session, const std::string& what);

// True when `name` matches the shell pattern `glob` (*, ?, [...]), ignoring ASCII case.
bool nameMatches(const std::string& glob, const std::string& name);

}  // namespace rekkon::cli
