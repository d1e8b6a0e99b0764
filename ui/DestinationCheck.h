#pragma once

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <QString>
#include <cstdint>
#include <functional>
#include <string>

namespace rekkon::ui {

// How the destination check sees the folder: stat, access and statvfs. Tests hand in their own
// to fake a read-only or full file system.
struct FolderProbe {
    std::function<int(const std::string& path, struct stat& out)> stat =
        [](const std::string& p, struct stat& out) { return ::stat(p.c_str(), &out); };
    // Returns 0 or -1 with errno set, as access(2).
    std::function<int(const std::string& path, int mode)> access =
        [](const std::string& p, int mode) { return ::access(p.c_str(), mode); };
    std::function<int(const std::string& path, struct statvfs& out)> statvfs =
        [](const std::string& p, struct statvfs& out) { return ::statvfs(p.c_str(), &out); };
};

enum class DestinationVerdict {
    Usable,
    Missing,  // not there, or not reachable
    NotAFolder,
    ReadOnly,        // on a read-only file system
    NotWritable,     // the user may not write there
    NoRoom,          // nothing free on its file system
    MayNotHaveRoom,  // less free than the files' sizes add up to (holes may need less)
};

struct DestinationCheck {
    DestinationVerdict verdict = DestinationVerdict::Usable;
    int error = 0;                // errno of a failed stat or access
    std::uint64_t freeBytes = 0;  // what an unprivileged writer may use there
    std::uint64_t neededBytes = 0;
};

// Whether files of `neededBytes` in all can be written into `folder`, found out without creating
// anything there. Room is checked only where statvfs answers.
DestinationCheck checkDestination(const std::string& folder, std::uint64_t neededBytes,
                                  const FolderProbe& probe = {});

// What the user is told of a check that found a fault, and what to do; empty for a usable one.
// For MayNotHaveRoom it ends in a question whose Yes chooses another folder.
QString destinationText(const QString& folder, const DestinationCheck& check);

}  // namespace rekkon::ui
