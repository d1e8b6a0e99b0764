#include "recovery/RecoveryWriter.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <optional>

#include "recovery/DataCopy.h"
#include "recovery/DataDigest.h"
#include "recovery/FileData.h"
#include "recovery/FileTimes.h"
#include "recovery/KeptFolders.h"
#include "recovery/OutputName.h"
#include "recovery/StoredMove.h"

namespace rekkon {

namespace {

bool writeAll(int fd, std::span<const std::uint8_t> bytes, int& error) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = n < 0 ? errno : ENOSPC;
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
    return true;
}

// Moves the file's offset `bytes` on without writing, leaving a hole. The length follows at the
// end (setLength), when nothing is written after the hole.
bool skipHole(int fd, std::uint64_t bytes, int& error) {
    if (bytes > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
        error = EFBIG;
        return false;
    }
    if (::lseek(fd, static_cast<off_t>(bytes), SEEK_CUR) < 0) {
        error = errno == EINVAL ? EFBIG : errno;  // EINVAL: past what the file system allows
        return false;
    }
    return true;
}

bool setLength(int fd, std::uint64_t length, int& error) {
    int result = 0;
    do {
        result = ::ftruncate(fd, static_cast<off_t>(length));
    } while (result != 0 && errno == EINTR);
    if (result != 0) error = errno;
    return result == 0;
}

// A hole is hashed this many zero bytes at a time, with a look for a cancel between pieces.
constexpr std::uint64_t kHoleDigestPieceBytes = 1 << 20;

// Failures that every later file in the same folder would meet as well.
bool destinationUnusable(int error) {
    return error == ENOSPC || error == EDQUOT || error == EROFS;
}

// Copies one opened entry into a new file of `folder` and names it when complete.
// `source`: the descriptor of the plain file or device the volume starts at, when it is one.
void writeEntry(FileDataHandle& data, const std::string& name, const KeptFolders::Folder& folder,
                bool localTimes, std::optional<int> source, const RecoveryOptions& options,
                RecoveryOutcome& outcome) {
    const std::uint64_t size = outcome.entry->size;
    // A file of more than one chunk is not copied in vain: first a look whether any name is
    // left. For a smaller one the look would cost as much as the copy; publishing decides.
    if (size > options.chunkBytes && !someNameFreeIn(folder.fd, name)) {
        outcome.result = RecoveryResult::NoFreeName;
        outcome.error = EEXIST;
        return;
    }
    auto file = PendingFile::createIn(folder.fd, folder.path, outcome.error, options.method);
    if (!file) {
        outcome.outputPath = folder.path;
        outcome.result = RecoveryResult::CannotCreate;
        return;
    }
    std::optional<DataDigest> digest;
    if (options.hashes) digest.emplace();
    // Bytes past what the volume can hold for the entry are not written.
    const std::uint64_t copySize = std::min(size, data.size());
    int writeError = 0;
    bool cancelled = false;
    const int fd = file->fd();
    // A cancel is noticed between chunks; the sink refusing then ends the copy loop.
    const auto stopNow = [&] {
        cancelled = cancelled || (options.cancelled && options.cancelled());
        return cancelled;
    };
    const auto told = [&](bool ok, std::uint64_t bytes) {
        if (ok && options.copied) options.copied(bytes);
        return ok;
    };
    // Without hashes to compute, the bytes stored in one piece need not pass through this
    // process: the kernel moves them, and the copy loop reads what is left from where it ended.
    std::uint64_t moved = 0;
    if (!digest && source) {
        moved =
            moveStoredData(data, copySize, *source, fd, options.chunkBytes,
                           [&](std::uint64_t bytes) { return told(true, bytes) && !stopNow(); });
    }
    CopyStats stats = copyFileData(
        data, copySize, options.chunkBytes,
        [&](std::span<const std::uint8_t> bytes) {
            if (stopNow() || !told(writeAll(fd, bytes, writeError), bytes.size())) return false;
            if (digest) digest->add(bytes);
            return true;
        },
        [&](std::uint64_t bytes) {
            if (stopNow() || !skipHole(fd, bytes, writeError)) return false;
            if (!digest) return told(true, bytes);
            // Hashed as the zeros it reads as, a piece at a time: a hole of terabytes takes
            // hours, and a cancel is seen between the pieces.
            for (std::uint64_t left = bytes; left > 0;) {
                if (stopNow()) return false;
                const std::uint64_t n = std::min(left, kHoleDigestPieceBytes);
                digest->addZeros(n);
                told(true, n);
                left -= n;
            }
            return true;
        },
        moved);
    if (cancelled) {
        outcome.result = RecoveryResult::Cancelled;
        outcome.bytesWritten = 0;
        return;  // the pending file is discarded
    }
    // A hole at the end is kept by the length alone.
    if (!stats.sinkFailed && stats.holeBytes != 0 && !setLength(fd, copySize, writeError))
        stats.sinkFailed = true;
    outcome.bytesWritten = moved + stats.bytesDelivered;
    outcome.unreadableBytes = stats.unreadableBytes;
    outcome.missingBytes = size - copySize;
    if (stats.sinkFailed) {
        outcome.outputPath = pathInFolder(folder.path, name);
        outcome.result = RecoveryResult::WriteFailed;
        outcome.error = writeError;
        return;  // the pending file is discarded: nothing appears under the name
    }
    // Set before the name is given, so no one sees the file with the copy's times. A file
    // system that keeps no such times (or refuses them) costs the file nothing.
    int timesError = 0;
    setRecoveredTimes(fd, *outcome.entry, localTimes, timesError);
    if (!file->publish(name, outcome.outputPath, outcome.error)) {
        if (outcome.error == EEXIST) {
            outcome.result = RecoveryResult::NoFreeName;
            outcome.outputPath.clear();
        } else {
            outcome.result = RecoveryResult::WriteFailed;
        }
        return;
    }
    if (digest) {
        DataDigest::Hex hex = digest->finish();
        outcome.md5 = std::move(hex.md5);
        outcome.sha256 = std::move(hex.sha256);
    }
    if (outcome.unreadableBytes != 0 || outcome.missingBytes != 0)
        outcome.result = RecoveryResult::NotWhole;
}

}  // namespace

std::vector<RecoveryOutcome> recoverEntries(ScanContext& context,
                                            const std::vector<const DeletedFileEntry*>& entries,
                                            const RecoveryOptions& options, FirstCharAsker& asker) {
    std::vector<RecoveryOutcome> outcomes;
    FirstCharRule firstChar(asker);
    // Names that lost their first character get it back by the rule; whole names are kept.
    const bool firstChars =
        context.fileSystem && context.fileSystem->capabilities().namesLoseFirstChar;
    KeptFolders folders(options.destination);
    const std::optional<int> source = context.volume.reader.sourceDescriptor();
    for (const DeletedFileEntry* entry : entries) {
        if (options.cancelled && options.cancelled()) break;
        RecoveryOutcome& outcome = outcomes.emplace_back();
        outcome.entry = entry;
        std::string name = outputNameOf(*entry, options.longNames);
        if (firstChars) {
            auto restored = firstChar.resolve(name, entry->firstChar);
            if (!restored) {
                outcome.result = RecoveryResult::NoFirstChar;
                continue;
            }
            // The rule replaced the '?' (one byte) by the character given.
            if (name.rfind('?', 0) == 0) *restored = inEntryCase(*entry, std::move(*restored));
            if (name.rfind('?', 0) == 0)
                outcome.firstChar = restored->substr(0, restored->size() - (name.size() - 1));
            name = *restored;
        }
        auto data = openFileData(context, *entry);
        if (!data) {
            outcome.result = RecoveryResult::CannotOpenData;
            continue;
        }
        const KeptFolders::Folder folder =
            folders.folderFor(entry->folder, options.keepFolders, outcome.error);
        if (folder.fd < 0) {
            outcome.outputPath = folder.path;
            outcome.result = RecoveryResult::CannotCreate;
            if (destinationUnusable(outcome.error)) break;
            continue;
        }
        // Times are stored in UTC, or in the local wall-clock time the volume was written in.
        writeEntry(*data, safeOutputName(name), folder, !entry->timesUtc, source, options, outcome);
        if (outcome.result == RecoveryResult::Cancelled) break;
        if (outputFailed(outcome) && destinationUnusable(outcome.error)) break;
    }
    return outcomes;
}

std::string describeOutcome(const RecoveryOutcome& o) {
    const std::string name = o.entry ? o.entry->name : std::string();
    switch (o.result) {
        case RecoveryResult::Written:
            return "recovered " + name + " -> " + o.outputPath + " (" +
                   std::to_string(o.bytesWritten) + " bytes)";
        case RecoveryResult::NotWhole: {
            std::string text = "recovered " + name + " -> " + o.outputPath + " (" +
                               std::to_string(o.bytesWritten) + " bytes), not whole:";
            if (o.unreadableBytes != 0)
                text += " " + std::to_string(o.unreadableBytes) +
                        " bytes could not be read and were written as zeros" +
                        (o.missingBytes != 0 ? ";" : "");
            if (o.missingBytes != 0)
                text += " the last " + std::to_string(o.missingBytes) + " of " +
                        std::to_string(o.entry ? o.entry->size : 0) +
                        " bytes have no place on the volume and were left out";
            return text;
        }
        case RecoveryResult::NoFirstChar:
            return "skipped " + name + ": no first character was given for the name";
        case RecoveryResult::CannotOpenData:
            return "skipped " + name + ": its data cannot be located on the volume";
        case RecoveryResult::NoFreeName:
            return "skipped " + name +
                   ": the name and all 499 numbered forms exist in the destination; "
                   "choose an empty folder";
        case RecoveryResult::CannotCreate:
            return "failed " + name + ": cannot create a file in " + o.outputPath + ": " +
                   std::strerror(o.error) +
                   (o.error == EACCES || o.error == EPERM ? "; choose a folder you can write to"
                                                          : "");
        case RecoveryResult::WriteFailed:
            return "failed " + name + ": writing " + o.outputPath + ": " + std::strerror(o.error) +
                   (o.error == ENOSPC || o.error == EDQUOT
                        ? "; the destination is full: free some space or choose another folder"
                        : "") +
                   " (nothing was left under its name)";
        case RecoveryResult::Cancelled:
            return "cancelled " + name +
                   ": the recovery was stopped while it was copied; "
                   "nothing was left of it";
    }
    return name;
}

}  // namespace rekkon
