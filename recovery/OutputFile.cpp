#include "recovery/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>

#include "recovery/OutputName.h"

namespace rekkon {

namespace {

// Tries for a hidden name that does not exist yet.
constexpr int kHiddenNameAttempts = 100;

std::string candidateName(const std::string& name, int n) {
    return n == 0 ? name : numberedName(name, n);
}

// The file systems that lack unnamed files say so with one of these.
bool noUnnamedFiles(int error) {
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

int openFolder(const std::string& folder, int& error) {
    const std::string dir = folder.empty() ? "." : folder;
    const int fd = ::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) error = errno;
    return fd;
}

int openHidden(int folderFd, std::string& name, int& error) {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device seed;
    std::mt19937 random(seed());
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    for (int attempt = 0; attempt < kHiddenNameAttempts; ++attempt) {
        std::string suffix(6, 'x');
        for (char& c : suffix)
            c = kLetters[pick(random)];
        name = ".rekkon-" + suffix;
        const int fd = ::openat(folderFd, name.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) return fd;
        error = errno;
        if (error != EEXIST) return -1;
    }
    return -1;
}

}  // namespace

std::string pathInFolder(const std::string& folder, const std::string& name) {
    return folder + (folder.empty() || folder.back() == '/' ? "" : "/") + name;
}

bool someNameFreeIn(int folderFd, const std::string& name) {
    for (int n = 0; n <= kMaxNumberedNames; ++n) {
        struct stat st {};
        if (::fstatat(folderFd, candidateName(name, n).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 &&
            errno == ENOENT)
            return true;
    }
    return false;
}

bool someNameFree(const std::string& folder, const std::string& name) {
    int error = 0;
    const int fd = openFolder(folder, error);
    if (fd < 0) return error == ENOENT;  // creating the file will tell what is wrong
    const bool free = someNameFreeIn(fd, name);
    ::close(fd);
    return free;
}

std::unique_ptr<PendingFile> PendingFile::create(const std::string& folder, int& error,
                                                 PendingMethod method) {
    error = 0;
    const int folderFd = openFolder(folder, error);
    if (folderFd < 0) return nullptr;
    auto file = createIn(folderFd, folder, error, method);
    ::close(folderFd);
    return file;
}

std::unique_ptr<PendingFile> PendingFile::createIn(int folderFd, const std::string& folder,
                                                   int& error, PendingMethod method) {
    error = 0;
    const int ownFd = ::fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
    if (ownFd < 0) {
        error = errno;
        return nullptr;
    }
    // Naming an unnamed file may have to go through /proc/self/fd; without it the data could not
    // be named. Whether it is there is asked once.
    static const bool procFds = ::access("/proc/self/fd", X_OK) == 0;
    if (method == PendingMethod::Auto && procFds) {
        const int fd = ::openat(ownFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd >= 0) return std::unique_ptr<PendingFile>(new PendingFile(folder, ownFd, fd, ""));
        if (!noUnnamedFiles(errno)) {
            error = errno;
            ::close(ownFd);
            return nullptr;
        }
    }
    std::string hidden;
    const int fd = openHidden(ownFd, hidden, error);
    if (fd < 0) {
        ::close(ownFd);
        return nullptr;
    }
    return std::unique_ptr<PendingFile>(new PendingFile(folder, ownFd, fd, hidden));
}

PendingFile::~PendingFile() {
    discard();
    if (folderFd_ >= 0) ::close(folderFd_);
}

void PendingFile::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!hiddenName_.empty()) ::unlinkat(folderFd_, hiddenName_.c_str(), 0);
    hiddenName_.clear();
}

bool PendingFile::linkUnnamed(const std::string& target, int& error) {
    // Straight from the descriptor where the process may (it needs CAP_DAC_READ_SEARCH), else
    // through its /proc path.
    if (::linkat(fd_, "", folderFd_, target.c_str(), AT_EMPTY_PATH) == 0) return true;
    if (errno == EEXIST) {
        error = errno;
        return false;
    }
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    if (::linkat(AT_FDCWD, self.c_str(), folderFd_, target.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return true;
    error = errno;
    return false;
}

// Renames the hidden file to `target` unless that exists: rename without replacing where the
// file system has it, else a hard link, else an empty file made with O_EXCL to hold the name.
bool PendingFile::renameHidden(const std::string& target, int& error) {
    const char* from = hiddenName_.c_str();
    const char* to = target.c_str();
    if (::renameat2(folderFd_, from, folderFd_, to, RENAME_NOREPLACE) == 0) return true;
    error = errno;
    if (error != EINVAL && error != ENOSYS && error != EOPNOTSUPP) return false;
    if (::linkat(folderFd_, from, folderFd_, to, 0) == 0) {
        ::unlinkat(folderFd_, from, 0);
        return true;
    }
    error = errno;
    if (error != EPERM && error != EOPNOTSUPP && error != EMLINK) return false;
    const int holder =
        ::openat(folderFd_, to, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (holder < 0) {
        error = errno;
        return false;
    }
    ::close(holder);
    if (::renameat(folderFd_, from, folderFd_, to) == 0) return true;
    error = errno;
    ::unlinkat(folderFd_, to, 0);
    return false;
}

bool PendingFile::publish(const std::string& name, std::string& path, int& error) {
    error = 0;
    if (fd_ < 0) {
        error = EBADF;
        return false;
    }
    if (!unnamed()) {
        // A hidden file is complete once closed: a failed close means lost data.
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) {
            error = errno;
            discard();
            return false;
        }
    }
    for (int n = 0; n <= kMaxNumberedNames; ++n) {
        const std::string candidate = candidateName(name, n);
        path = pathInFolder(folder_, candidate);
        const bool named =
            unnamed() ? linkUnnamed(candidate, error) : renameHidden(candidate, error);
        if (named) {
            hiddenName_.clear();
            if (fd_ >= 0) {
                const int fd = fd_;
                fd_ = -1;
                if (::close(fd) != 0) {
                    // The data may not have reached the disk: take the name back.
                    error = errno;
                    ::unlinkat(folderFd_, candidate.c_str(), 0);
                    return false;
                }
            }
            error = 0;
            return true;
        }
        if (error != EEXIST) break;
    }
    discard();
    return false;
}

}  // namespace rekkon
