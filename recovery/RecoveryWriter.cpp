#include "recovery/RecoveryWriter.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

#include <vector>

#include "recovery/FileData.h"
#include "recovery/OutputName.h"

namespace rekkon {

namespace {

// Creates `name` in `folder` without ever replacing a file: on EEXIST the numbered names
// "base(1).ext" .. "base(499).ext" are tried in turn. Returns the descriptor or -1 with errno
// in `error` (EEXIST when every name is taken).
int createNewFile(const std::string& folder, const std::string& name, std::string& path,
                  int& error) {
    for (int n = 0; n <= kMaxNumberedNames; ++n) {
        const std::string candidate = n == 0 ? name : numberedName(name, n);
        path = folder + (folder.empty() || folder.back() == '/' ? "" : "/") + candidate;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            error = 0;
            return fd;
        }
        error = errno;
        if (error != EEXIST) return -1;
    }
    return -1;
}

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

// Failures that every later file in the same folder would meet as well.
bool destinationUnusable(int error) {
    return error == ENOSPC || error == EDQUOT || error == EROFS;
}

}  // namespace

std::uint64_t copyFileData(FileDataHandle& data, const std::string& streamName, std::uint64_t size,
                           int fd, std::size_t chunkBytes, int& error) {
    std::vector<std::uint8_t> chunk(chunkBytes);
    std::uint64_t written = 0;
    error = 0;
    while (written < size) {
        const std::size_t n = readFileData(data, streamName, chunk);
        if (!writeAll(fd, std::span(chunk).first(n), error)) break;
        written += n;
        if (n != chunk.size()) break;
    }
    return written;
}

std::vector<RecoveryOutcome> recoverEntries(ScanContext& context,
                                            const std::vector<const DeletedFileEntry*>& entries,
                                            const RecoveryOptions& options, FirstCharAsker& asker) {
    std::vector<RecoveryOutcome> outcomes;
    FirstCharRule firstChar(asker);
    const bool ntfs = isNtfsKind(context.volume.kind);
    for (const DeletedFileEntry* entry : entries) {
        RecoveryOutcome& outcome = outcomes.emplace_back();
        outcome.entry = entry;
        std::string name = entry->name;
        if (!ntfs) {
            auto restored = firstChar.resolve(name);
            if (!restored) {
                outcome.result = RecoveryResult::NoFirstChar;
                continue;
            }
            name = *restored;
        }
        auto data = openFileData(context, entry->location, entry->size);
        if (!data) {
            outcome.result = RecoveryResult::CannotOpenData;
            continue;
        }
        const std::string stream = ntfs ? splitStreamName(name).second : std::string();
        const int fd = createNewFile(options.destination, safeOutputName(name), outcome.outputPath,
                                     outcome.error);
        if (fd < 0) {
            outcome.result =
                outcome.error == EEXIST ? RecoveryResult::NoFreeName : RecoveryResult::CannotCreate;
            if (outcome.result == RecoveryResult::NoFreeName) outcome.outputPath.clear();
            if (destinationUnusable(outcome.error)) break;
            continue;
        }
        int error = 0;
        outcome.bytesWritten =
            copyFileData(*data, stream, entry->size, fd, options.chunkBytes, error);
        if (::close(fd) != 0 && error == 0) error = errno;
        closeFileData(data);
        if (error != 0) {
            outcome.result = RecoveryResult::WriteFailed;
            outcome.error = error;
            // An incomplete copy would pass for the recovered file: remove it.
            ::unlink(outcome.outputPath.c_str());
            if (destinationUnusable(error)) break;
        } else if (outcome.bytesWritten < entry->size) {
            outcome.result = RecoveryResult::Short;
        }
    }
    return outcomes;
}

std::string describeOutcome(const RecoveryOutcome& o) {
    const std::string name = o.entry ? o.entry->name : std::string();
    switch (o.result) {
        case RecoveryResult::Written:
            return "recovered " + name + " -> " + o.outputPath + " (" +
                   std::to_string(o.bytesWritten) + " bytes)";
        case RecoveryResult::Short:
            return "recovered " + name + " -> " + o.outputPath + " (" +
                   std::to_string(o.bytesWritten) + " of " +
                   std::to_string(o.entry ? o.entry->size : 0) +
                   " bytes: the rest could not be read)";
        case RecoveryResult::NoFirstChar:
            return "skipped " + name + ": no first character was given for the name";
        case RecoveryResult::CannotOpenData:
            return "skipped " + name + ": its data cannot be located on the volume";
        case RecoveryResult::NoFreeName:
            return "skipped " + name +
                   ": the name and all 499 numbered forms exist in the destination; "
                   "choose an empty folder";
        case RecoveryResult::CannotCreate:
            return "skipped " + name + ": cannot create " + o.outputPath + ": " +
                   std::strerror(o.error) +
                   (o.error == EACCES || o.error == EPERM ? "; choose a folder you can write to"
                                                          : "");
        case RecoveryResult::WriteFailed:
            return "failed " + name + ": writing " + o.outputPath + ": " + std::strerror(o.error) +
                   (o.error == ENOSPC || o.error == EDQUOT
                        ? "; the destination is full: free some space or choose another folder"
                        : "") +
                   " (the incomplete file was removed)";
    }
    return name;
}

}  // namespace rekkon
