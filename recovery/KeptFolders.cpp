#include "recovery/KeptFolders.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "recovery/OutputFile.h"
#include "recovery/OutputName.h"

namespace rekkon {

namespace {

// Components deeper than this are not created: the rest of the path is joined into the last.
constexpr std::size_t kMaxKeptDepth = 64;

std::string numberedFolder(const std::string& name, int n) {
    const std::string suffix = "(" + std::to_string(n) + ")";
    return cutUtf8(name, kMaxNameBytes - suffix.size()) + suffix;
}

// Opens `name` in `parentFd` as a folder, never through a link: -1 with errno otherwise
// (ENOTDIR or ELOOP for something that is not a folder).
int openFolderAt(int parentFd, const std::string& name) {
    const int fd = ::openat(parentFd, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode)) {
        ::close(fd);
        errno = ENOTDIR;
        return -1;
    }
    return fd;
}

}  // namespace

std::string safeFolderName(const std::string& component) {
    std::string out = controlsAsUnderscores(component);
    for (char& c : out)
        if (c == '/' || c == '?') c = '_';
    if (out.empty() || out == "." || out == "..") out = "_" + out;
    return cutUtf8(out, kMaxNameBytes);
}

std::vector<std::string> folderComponents(const std::string& folderPath) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= folderPath.size()) {
        std::size_t end = folderPath.find('\\', start);
        if (end == std::string::npos) end = folderPath.size();
        if (end > start) out.push_back(folderPath.substr(start, end - start));
        start = end + 1;
    }
    if (out.size() > kMaxKeptDepth) {
        std::string rest;
        for (std::size_t i = kMaxKeptDepth - 1; i < out.size(); ++i)
            rest += (rest.empty() ? "" : "_") + out[i];
        out.resize(kMaxKeptDepth - 1);
        out.push_back(rest);
    }
    return out;
}

KeptFolders::KeptFolders(const std::string& destination) : destination_(destination) {
    const std::string dir = destination.empty() ? "." : destination;
    destinationFd_ = ::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (destinationFd_ < 0) openError_ = errno;
}

KeptFolders::Folder::~Folder() {
    if (fd >= 0) ::close(fd);
}

KeptFolders::~KeptFolders() {
    if (destinationFd_ >= 0) ::close(destinationFd_);
}

int KeptFolders::openOrMake(int parentFd, const std::string& name, std::string& used, int& error) {
    for (int n = 0; n <= kMaxNumberedNames; ++n) {
        used = n == 0 ? name : numberedFolder(name, n);
        // Twice at most: once before making the folder, once after (someone else may make it
        // in between, as a folder or not).
        for (int attempt = 0; attempt < 2; ++attempt) {
            const int fd = openFolderAt(parentFd, used);
            if (fd >= 0) return fd;
            error = errno;
            if (error != ENOENT) break;
            if (::mkdirat(parentFd, used.c_str(), 0777) != 0 && errno != EEXIST) {
                error = errno;
                return -1;
            }
        }
        if (error != ENOTDIR && error != ELOOP && error != ENOENT) return -1;
    }
    error = EEXIST;
    return -1;
}

KeptFolders::Folder KeptFolders::folderFor(const std::string& folderPath, bool keep, int& error) {
    Folder out;
    out.path = destination_;
    if (destinationFd_ < 0) {
        error = openError_;
        return out;
    }
    const std::vector<std::string> components =
        keep ? folderComponents(folderPath) : std::vector<std::string>{};
    int current = ::fcntl(destinationFd_, F_DUPFD_CLOEXEC, 0);
    if (current < 0) {
        error = errno;
        return out;
    }
    std::string asked;  // sanitised components so far, joined by '/'
    for (const std::string& component : components) {
        const std::string name = safeFolderName(component);
        asked += (asked.empty() ? "" : "/") + name;
        const auto known = used_.find(asked);
        std::string used;
        // A folder met before is opened under the name it got then; it must still be a folder.
        const int next = known != used_.end() ? openFolderAt(current, known->second)
                                              : openOrMake(current, name, used, error);
        if (known != used_.end()) {
            used = known->second;
            if (next < 0) error = errno;
        }
        out.path = pathInFolder(out.path, used);
        ::close(current);
        if (next < 0) return out;
        used_[asked] = used;
        current = next;
    }
    out.fd = current;
    error = 0;
    return out;
}

}  // namespace rekkon
